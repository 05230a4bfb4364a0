# The program under Xvfb and openbox: simulated button presses end as key
# events in a real X client, and the foreground comes back.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_dispatch
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm openbox --
            ${CMAKE_CURRENT_LIST_DIR}/app_dispatch_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim> $<TARGET_FILE:quorvane-keytarget>)
  set_tests_properties(quorvane_system_dispatch PROPERTIES TIMEOUT 60)
endif()

# The tray icon under icewm (started by the test, which restarts it): the
# menu shows and hides the window beside the tray and ends the program.
# Screenshots stay in app_tray_output.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_tray
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm none --
            ${CMAKE_CURRENT_LIST_DIR}/app_tray_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim>
            ${CMAKE_CURRENT_BINARY_DIR}/app_tray_output)
  set_tests_properties(quorvane_system_tray PROPERTIES TIMEOUT 90)
endif()

# The shown window answers _NET_WM_PING within bounds while the simulated
# receiver is silent for 3 s, and fires again afterwards.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_ping_with_silent_receiver
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm openbox --
            ${CMAKE_CURRENT_LIST_DIR}/app_ping_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim> $<TARGET_FILE:quorvane-pingprobe>)
  set_tests_properties(quorvane_system_ping_with_silent_receiver PROPERTIES TIMEOUT 90)
endif()
