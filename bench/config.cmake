# Configuration benchmarks: start-up load of a full remote table, single reads and
# writes on a large file, matching.
if(QUORVANE_LINUX)
  find_package(benchmark REQUIRED)
  add_executable(bench_config_load config_load.cpp)
  target_link_libraries(bench_config_load PRIVATE quorvane_config_linux benchmark::benchmark)
endif()
