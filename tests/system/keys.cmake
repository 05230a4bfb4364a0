# Keystroke output on a real X server: XTest and EWMH backends against
# quorvane-keytarget windows, under openbox, under icewm and without a window manager.
if(QUORVANE_LINUX)
  find_package(X11 REQUIRED)
  add_executable(keys_system_test keys_system_test.cpp keys_target.h)
  target_link_libraries(keys_system_test PRIVATE quorvane_keys_x11 X11::X11 GTest::gtest_main)
  target_include_directories(keys_system_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(keys_system_test PRIVATE QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>")
  add_dependencies(keys_system_test quorvane-keytarget)

  set(_qv_xvfb ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb.sh)
  add_test(NAME keys_system_openbox
           COMMAND ${_qv_xvfb} --wm openbox -- $<TARGET_FILE:keys_system_test>)
  set_tests_properties(keys_system_openbox PROPERTIES ENVIRONMENT "QV_EXPECT_WM=1" TIMEOUT 120)
  add_test(NAME keys_system_icewm
           COMMAND ${_qv_xvfb} --wm icewm -- $<TARGET_FILE:keys_system_test>)
  set_tests_properties(keys_system_icewm PROPERTIES ENVIRONMENT "QV_EXPECT_WM=1" TIMEOUT 120)
  add_test(NAME keys_system_nowm
           COMMAND ${_qv_xvfb} --wm none -- $<TARGET_FILE:keys_system_test>)
  set_tests_properties(keys_system_nowm PROPERTIES ENVIRONMENT "QV_EXPECT_WM=0" TIMEOUT 120)

  # Capture and replay by physical key, once per keyboard layout.
  add_executable(keys_layout_test keys_layout_test.cpp keys_target.h)
  target_link_libraries(keys_layout_test PRIVATE quorvane_keys_x11 X11::X11 X11::Xtst GTest::gtest_main)
  target_compile_definitions(keys_layout_test PRIVATE QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>")
  add_dependencies(keys_layout_test quorvane-keytarget)
  foreach(_qv_layout us jp)
    add_test(NAME keys_layout_${_qv_layout}
             COMMAND ${_qv_xvfb} --wm none -- $<TARGET_FILE:keys_layout_test>)
    set_tests_properties(keys_layout_${_qv_layout} PROPERTIES
                         ENVIRONMENT "QV_LAYOUT=${_qv_layout}" TIMEOUT 120)
  endforeach()
endif()
