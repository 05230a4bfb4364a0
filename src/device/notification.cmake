# Device arrival and removal: the notifier and the main window's hotplug
# handling (portable), and the udev event source (Linux).
add_library(quorvane_device_notification STATIC
  ${CMAKE_CURRENT_LIST_DIR}/clsDeviceNotification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clsDeviceNotification.h
  ${CMAKE_CURRENT_LIST_DIR}/DeviceEvents.h
)
target_include_directories(quorvane_device_notification PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(quorvane_device_notification PUBLIC quorvane_shell quorvane_common)

if(QUORVANE_LINUX)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)
  add_library(quorvane_device_udev STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/UdevDeviceEvents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/UdevDeviceEvents.h
  )
  target_include_directories(quorvane_device_udev PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(quorvane_device_udev PUBLIC quorvane_common PRIVATE PkgConfig::LIBUDEV)
endif()
