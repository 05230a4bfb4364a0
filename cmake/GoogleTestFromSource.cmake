# GoogleTest for the Windows build: Debian ships it as source (package
# googletest, /usr/src/googletest), so it is compiled here with the cross
# compiler. The targets get the names that find_package(GTest) gives on Linux.
set(QUORVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${QUORVANE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${QUORVANE_GOOGLETEST_SOURCE} "
                      "(Debian package googletest; scripts/install-deps.sh installs it)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# GoogleTest is not ours to keep warning-free.
add_subdirectory(${QUORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t} AND NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
