# The program under Xvfb and openbox: simulated button presses end as key
# events in a real X client, and the foreground comes back.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_dispatch
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm openbox --
            ${CMAKE_CURRENT_LIST_DIR}/app_dispatch_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim> $<TARGET_FILE:quorvane-keytarget>)
  set_tests_properties(quorvane_system_dispatch PROPERTIES TIMEOUT 60)
endif()

# The tray icon under icewm: its menu opens the window and ends the program.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_tray
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm icewm --
            ${CMAKE_CURRENT_LIST_DIR}/app_tray_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim>)
  set_tests_properties(quorvane_system_tray PROPERTIES TIMEOUT 60)
endif()
