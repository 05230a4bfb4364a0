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
  find_package(X11 REQUIRED)
  add_executable(x_keyboard_grabbed ${CMAKE_CURRENT_LIST_DIR}/x_keyboard_grabbed.cpp)
  target_link_libraries(x_keyboard_grabbed PRIVATE X11::X11)
  add_test(NAME quorvane_system_tray
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm none --
            ${CMAKE_CURRENT_LIST_DIR}/app_tray_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim>
            ${CMAKE_CURRENT_BINARY_DIR}/app_tray_output $<TARGET_FILE:x_keyboard_grabbed>)
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

# Key capture and replay through the real program, once per keyboard layout
# (us; jp with the jp106 model): keys pressed into the key-list box, the slot
# stored, its KeyList line read from the file and fired into a target window.
# Prints the table of keys tried, recorded and received.
if(QUORVANE_LINUX)
  find_package(X11 REQUIRED)
  add_executable(app_layout_test ${CMAKE_CURRENT_LIST_DIR}/app_layout_test.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/keys_target.h)
  target_link_libraries(app_layout_test PRIVATE X11::X11 X11::Xtst GTest::gtest_main)
  target_include_directories(app_layout_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(app_layout_test PRIVATE
    QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>"
    QV_QUORVANE="$<TARGET_FILE:quorvane>"
    QV_SIM="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(app_layout_test quorvane quorvane-sim quorvane-keytarget)
  foreach(_qv_layout us jp)
    add_test(NAME quorvane_system_layout_${_qv_layout}
      COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm openbox --
              $<TARGET_FILE:app_layout_test>)
    set_tests_properties(quorvane_system_layout_${_qv_layout} PROPERTIES
                         ENVIRONMENT "QV_LAYOUT=${_qv_layout}" TIMEOUT 60)
  endforeach()
endif()

# The overwrite question on a Japanese desktop (LANG=ja_JP.UTF-8): Qt's
# Japanese texts are loaded, the question comes when a slot is stored again,
# Enter answers いいえ. The picture for the README stays in app_overwrite_output.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_overwrite_question_ja
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh --wm openbox --
            ${CMAKE_CURRENT_LIST_DIR}/app_overwrite_ja_test.sh
            $<TARGET_FILE:quorvane> $<TARGET_FILE:quorvane-sim>
            ${CMAKE_CURRENT_BINARY_DIR}/app_overwrite_output)
  set_tests_properties(quorvane_system_overwrite_question_ja PROPERTIES TIMEOUT 60)
endif()

# A FIFO, a device, a folder or a link to a FIFO as the configuration file is
# refused at once and left alone.
if(QUORVANE_LINUX)
  add_test(NAME quorvane_system_config_refusal
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/app_config_refusal_test.sh $<TARGET_FILE:quorvane>)
  set_tests_properties(quorvane_system_config_refusal PROPERTIES TIMEOUT 60)
endif()
