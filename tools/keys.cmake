# quorvane-keytarget: an X client with a chosen WM_CLASS that logs the key
# events it receives (system tests, benchmarks, demo).
if(QUORVANE_LINUX)
  find_package(X11 REQUIRED)
  add_executable(quorvane-keytarget keytarget/main.cpp)
  target_link_libraries(quorvane-keytarget PRIVATE X11::X11)
endif()

# quorvane-pingprobe: how quickly a window answers _NET_WM_PING (system tests).
if(QUORVANE_LINUX)
  add_executable(quorvane-pingprobe pingprobe/main.cpp)
  target_link_libraries(quorvane-pingprobe PRIVATE X11::X11)
endif()
