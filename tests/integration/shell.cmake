# The shell's Qt backends on Qt's offscreen platform.
if(TARGET quorvane_shell_qt)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  add_executable(integration_shell ${CMAKE_CURRENT_LIST_DIR}/shell_qt_test.cpp)
  set_target_properties(integration_shell PROPERTIES AUTOMOC ON)
  target_link_libraries(integration_shell PRIVATE quorvane_shell_qt Qt6::Test)
  add_test(NAME integration_shell COMMAND integration_shell)
  set_tests_properties(integration_shell PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
