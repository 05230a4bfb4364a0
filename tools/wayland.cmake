# quorvane-waylandtarget: a native Wayland client with a chosen app_id that
# logs the key events it receives (Wayland system tests).
if(TARGET quorvane_wayland_protocols)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QV_XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
  add_executable(quorvane-waylandtarget waylandtarget/main.cpp)
  target_link_libraries(quorvane-waylandtarget PRIVATE quorvane_wayland_protocols
                        PkgConfig::QV_XKBCOMMON)
endif()
