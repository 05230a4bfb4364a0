# The quorvane-sim daemon and its command-line client, reached through the
# program's socket backends.
if(QUORVANE_LINUX)
  add_executable(integration_sim
    ${CMAKE_CURRENT_LIST_DIR}/sim_daemon_test.cpp
  )
  target_link_libraries(integration_sim PRIVATE quorvane_device_sim GTest::gtest GTest::gtest_main)
  target_compile_definitions(integration_sim PRIVATE
    QV_SIM_BINARY="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(integration_sim quorvane-sim)
  gtest_discover_tests(integration_sim DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
endif()
