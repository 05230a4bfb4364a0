# End-to-end figures of the program against the simulator daemon; run with
# bench/app_run.sh (latency, idle CPU and memory, start-up time).
if(QUORVANE_LINUX)
  add_executable(quorvane-app-bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
  target_link_libraries(quorvane-app-bench PRIVATE quorvane_device_sim_unix)
endif()
