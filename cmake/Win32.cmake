# The Windows program's own folders: backends, the window, tools and tests.
# Included from the top-level CMakeLists.txt for Windows builds only.
add_subdirectory(${PROJECT_SOURCE_DIR}/src/common/win32 ${PROJECT_BINARY_DIR}/src/common/win32)
add_subdirectory(${PROJECT_SOURCE_DIR}/src/config/win32 ${PROJECT_BINARY_DIR}/src/config/win32)
add_subdirectory(${PROJECT_SOURCE_DIR}/src/device/win32 ${PROJECT_BINARY_DIR}/src/device/win32)
# The keystroke backends implement the key-stroke ports of the application core;
# until those are on this branch, they are left out.
file(READ ${PROJECT_SOURCE_DIR}/src/keys/InputInjector.h quorvane_injector_port)
if(quorvane_injector_port MATCHES "struct KeyStroke")
  add_subdirectory(${PROJECT_SOURCE_DIR}/src/keys/win32 ${PROJECT_BINARY_DIR}/src/keys/win32)
endif()

if(QUORVANE_BUILD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${PROJECT_BINARY_DIR}/tests/win32)
endif()
