# quorvane-inicheck: prints what the program reads from a configuration file and
# the problems it works around.
if(QUORVANE_LINUX)
  add_executable(quorvane-inicheck inicheck/main.cpp)
  target_link_libraries(quorvane-inicheck PRIVATE quorvane_config_linux)
endif()
