# The shell's Qt backends on Qt's offscreen platform.
if(TARGET quorvane_shell_qt)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  add_executable(integration_shell ${CMAKE_CURRENT_LIST_DIR}/shell_qt_test.cpp)
  set_target_properties(integration_shell PROPERTIES AUTOMOC ON)
  target_link_libraries(integration_shell PRIVATE quorvane_shell_qt Qt6::Test)
  add_test(NAME integration_shell COMMAND integration_shell)
  set_tests_properties(integration_shell PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# Hotplug through the real udev source, with umockdev faking the devices.
if(TARGET quorvane_device_linux)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
  find_program(UMOCKDEV_WRAPPER umockdev-wrapper)
  if(UMOCKDEV_FOUND AND UMOCKDEV_WRAPPER)
    add_executable(integration_shell_hotplug ${CMAKE_CURRENT_LIST_DIR}/shell_hotplug_test.cpp)
    target_link_libraries(integration_shell_hotplug PRIVATE
      quorvane_device_linux quorvane_test_support PkgConfig::UMOCKDEV GTest::gtest_main)
    add_test(NAME integration_shell_hotplug
      COMMAND ${UMOCKDEV_WRAPPER} $<TARGET_FILE:integration_shell_hotplug>)
  else()
    message(STATUS "umockdev not found: the hotplug integration test is not built")
  endif()
endif()
