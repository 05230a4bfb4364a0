# End-to-end keystroke latency on a real Xvfb, side by side with xdotool.
# Run: bench/keys_latency.sh [build-dir] [rounds]  (or: ninja bench_keys_run)
if(QUORVANE_LINUX)
  add_executable(bench_keys_latency keys_latency.cpp)
  target_link_libraries(bench_keys_latency PRIVATE quorvane_keys_x11)
  target_compile_definitions(bench_keys_latency PRIVATE QV_KEYTARGET="$<TARGET_FILE:quorvane-keytarget>")
  add_dependencies(bench_keys_latency quorvane-keytarget)
  add_custom_target(bench_keys_run
    COMMAND ${PROJECT_SOURCE_DIR}/bench/keys_latency.sh ${PROJECT_BINARY_DIR} 30
    DEPENDS bench_keys_latency
    USES_TERMINAL)
endif()
