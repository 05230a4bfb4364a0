# The transport and the receiver protocol over the hidraw backend's transfer
# code, against a receiver firmware played on a socket pair.
if(QUORVANE_LINUX)
  add_executable(quorvane_device_integration_tests
    ${CMAKE_CURRENT_LIST_DIR}/device_ReceiverOverHidrawTest.cpp
  )
  target_link_libraries(quorvane_device_integration_tests PRIVATE
    quorvane_device_linux quorvane_test_support GTest::gtest_main)
  gtest_discover_tests(quorvane_device_integration_tests)
endif()
