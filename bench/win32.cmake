# The Windows program's press-to-key latency under Wine (bench/win32_run.sh): a
# Linux program that drives the simulator and reads the Windows target's output.
if(QUORVANE_LINUX)
  add_executable(quorvane-win32-latency ${CMAKE_CURRENT_LIST_DIR}/win32_latency.cpp)
  target_link_libraries(quorvane-win32-latency PRIVATE quorvane_device_sim_unix)
endif()
