# The Qt window over the application core on Qt's offscreen platform, with the
# in-process receiver simulator and the core tests' fakes.
if(QUORVANE_LINUX)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(quorvane_app_integration_tests
    ${CMAKE_CURRENT_LIST_DIR}/app_QtWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_TestMain.cpp
  )
  target_include_directories(quorvane_app_integration_tests PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/unit/config
    ${PROJECT_SOURCE_DIR}/tests/unit/app/core
  )
  target_link_libraries(quorvane_app_integration_tests PRIVATE
    quorvane_app_qt
    quorvane_config_linux
    quorvane_sim
    Qt6::Test
    GTest::gtest
  )
  gtest_discover_tests(quorvane_app_integration_tests
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 30)
endif()
