# Tray system test: a small Qt program using the shell's tray, menu and
# geometry backends under Xvfb and icewm (which has a system tray).
if(TARGET quorvane_shell_qt)
  add_executable(shell_tray_probe ${CMAKE_CURRENT_LIST_DIR}/shell_tray_probe.cpp)
  target_link_libraries(shell_tray_probe PRIVATE quorvane_shell_qt)
  add_test(NAME system_shell_tray
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm icewm --
            ${CMAKE_CURRENT_LIST_DIR}/shell_tray.sh $<TARGET_FILE:shell_tray_probe>
            ${CMAKE_CURRENT_BINARY_DIR}/shell_tray_output)
  set_tests_properties(system_shell_tray PROPERTIES TIMEOUT 120)
endif()
if(TARGET shell_tray_probe)
  add_test(NAME system_shell_tray_late_host
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm none --
            ${CMAKE_CURRENT_LIST_DIR}/shell_tray.sh --late-host $<TARGET_FILE:shell_tray_probe>
            ${CMAKE_CURRENT_BINARY_DIR}/shell_tray_late_output)
  set_tests_properties(system_shell_tray_late_host PROPERTIES TIMEOUT 120)
endif()
