# The application's window on Qt's offscreen platform, with the in-process
# receiver simulator and recording keystroke, window, tray and dialog ports.
if(QUORVANE_LINUX)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(quorvane_app_integration_tests
    ${CMAKE_CURRENT_LIST_DIR}/app_EditorTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_Harness.h
    ${CMAKE_CURRENT_LIST_DIR}/app_ReceiveLoopTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_StartupTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_TestMain.cpp
  )
  target_include_directories(quorvane_app_integration_tests PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/unit/config
    ${PROJECT_SOURCE_DIR}/tests/unit/shell
  )
  target_link_libraries(quorvane_app_integration_tests PRIVATE
    quorvane_app
    quorvane_config_linux
    quorvane_sim
    quorvane_keys_test_fakes
    quorvane_test_support
    Qt6::Test
    GTest::gtest
  )
  gtest_discover_tests(quorvane_app_integration_tests
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 30)
endif()
