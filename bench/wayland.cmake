# The program on headless sway: press -> first key (bench/wayland_run.sh).
if(TARGET quorvane_keys_wayland AND TARGET GTest::gtest_main)
  add_executable(bench_wayland_latency wayland_latency.cpp)
  target_include_directories(bench_wayland_latency PRIVATE ${PROJECT_SOURCE_DIR}/tests/wayland)
  target_link_libraries(bench_wayland_latency PRIVATE quorvane_keys_wayland
                        quorvane_device_sim_unix GTest::gtest_main)
  target_compile_definitions(bench_wayland_latency PRIVATE
    QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>"
    QV_WAYLANDTARGET="$<TARGET_FILE:quorvane-waylandtarget>"
    QV_PROGRAM="$<TARGET_FILE:quorvane>"
    QV_SIM="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(bench_wayland_latency quorvane quorvane-sim quorvane-keytarget
                   quorvane-waylandtarget)
endif()

# The virtual keyboard's delivery time on headless sway, per layout and client
# (bench/keys_latency.sh runs it after the X11 figures).
if(TARGET quorvane_keys_wayland AND TARGET GTest::gtest_main)
  add_executable(bench_virtual_keyboard_latency virtual_keyboard_latency.cpp)
  target_include_directories(bench_virtual_keyboard_latency PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/wayland)
  target_link_libraries(bench_virtual_keyboard_latency PRIVATE quorvane_keys_wayland
                        GTest::gtest)
  target_compile_definitions(bench_virtual_keyboard_latency PRIVATE
    QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>"
    QV_WAYLANDTARGET="$<TARGET_FILE:quorvane-waylandtarget>")
  add_dependencies(bench_virtual_keyboard_latency quorvane-keytarget quorvane-waylandtarget)
endif()
