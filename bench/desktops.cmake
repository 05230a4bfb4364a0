# KDE Plasma and GNOME, headless: bursts, switch time and the program's press
# -> first key (bench/desktops_run.sh).
if(TARGET quorvane_keys_kde AND TARGET quorvane_keys_gnome AND TARGET GTest::gtest_main)
  add_executable(bench_desktops_latency desktops_latency.cpp)
  target_include_directories(bench_desktops_latency PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/wayland ${PROJECT_SOURCE_DIR}/tests/desktops)
  target_link_libraries(bench_desktops_latency PRIVATE quorvane_keys_kde quorvane_keys_gnome
                        quorvane_keys_uinput quorvane_device_sim_unix GTest::gtest_main)
  target_compile_definitions(bench_desktops_latency PRIVATE
    QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>"
    QV_WAYLANDTARGET="$<TARGET_FILE:quorvane-waylandtarget>"
    QV_PROGRAM="$<TARGET_FILE:quorvane>"
    QV_SIM="$<TARGET_FILE:quorvane-sim>")
  add_dependencies(bench_desktops_latency quorvane quorvane-sim quorvane-keytarget
                   quorvane-waylandtarget)
endif()
