# The Windows program's own folders: backends, the window, tools and tests.
# Included from the top-level CMakeLists.txt for Windows builds only.
add_subdirectory(${PROJECT_SOURCE_DIR}/src/common/win32 ${PROJECT_BINARY_DIR}/src/common/win32)
add_subdirectory(${PROJECT_SOURCE_DIR}/src/config/win32 ${PROJECT_BINARY_DIR}/src/config/win32)
add_subdirectory(${PROJECT_SOURCE_DIR}/src/device/win32 ${PROJECT_BINARY_DIR}/src/device/win32)
add_subdirectory(${PROJECT_SOURCE_DIR}/src/keys/win32 ${PROJECT_BINARY_DIR}/src/keys/win32)

# quorvane-inicheck.exe: what the program reads from a configuration file.
add_executable(quorvane-inicheck ${PROJECT_SOURCE_DIR}/tools/inicheck/main.cpp)
target_link_libraries(quorvane-inicheck PRIVATE quorvane_config_win32 quorvane_common_win32)

if(QUORVANE_BUILD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${PROJECT_BINARY_DIR}/tests/win32)
endif()
