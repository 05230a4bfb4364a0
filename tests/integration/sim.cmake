# The quorvane-sim daemon and its command-line client, reached through the
# program's simulator backends over its Unix socket and its TCP port.
if(QUORVANE_LINUX)
  add_executable(integration_sim
    ${CMAKE_CURRENT_LIST_DIR}/sim_daemon_test.cpp
  )
  target_link_libraries(integration_sim PRIVATE quorvane_device_sim_unix quorvane_test_support
                                        GTest::gtest GTest::gtest_main)
  target_compile_definitions(integration_sim PRIVATE
    QV_SIM_BINARY="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(integration_sim quorvane-sim)
  gtest_discover_tests(integration_sim DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

  # Its TCP port, which the Windows program under Wine reaches.
  add_executable(integration_sim_tcp
    ${CMAKE_CURRENT_LIST_DIR}/sim_tcp_test.cpp
  )
  target_link_libraries(integration_sim_tcp PRIVATE quorvane_device_sim GTest::gtest_main)
  target_compile_definitions(integration_sim_tcp PRIVATE
    QV_SIM_BINARY="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(integration_sim_tcp quorvane-sim)
  gtest_discover_tests(integration_sim_tcp DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
endif()
