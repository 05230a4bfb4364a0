# quorvane-keytarget: an X client with a chosen WM_CLASS that logs the key
# events it receives (system tests, benchmarks, demo).
if(QUORVANE_LINUX)
  find_package(X11 REQUIRED)
  add_executable(quorvane-keytarget keytarget/main.cpp)
  target_link_libraries(quorvane-keytarget PRIVATE X11::X11)
endif()
