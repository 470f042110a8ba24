# Tests of the Windows cross build: GoogleTest built from Debian's sources
# with the cross compiler, and the tests run under the cross-compiling
# emulator (Wine, see MinGW-w64.cmake). A test program finds the files of the
# source and build trees by their Linux paths: Wine runs it with a working
# directory on drive Z:, which is the Linux root, so "/work/..." resolves to
# "Z:\work\...".
set(KALVORAN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${KALVORAN_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KALVORAN_GOOGLETEST_SOURCE} "
                      "(Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KALVORAN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Every test program writes its output unchanged (no CR LF), as on Linux.
add_library(kalvoran_binary_stdio OBJECT ${PROJECT_SOURCE_DIR}/tests/support/binary_stdio_win.cpp)
link_libraries(kalvoran_binary_stdio)

include(GoogleTest)
# Listing a test program's cases runs it, which only the emulator can do,
# and only once the tests run; a program under Wine starts slowly, the first
# one in a fresh Wine session most of all.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
function(gtest_discover_tests target)
  _gtest_discover_tests(${target} ${ARGN} DISCOVERY_TIMEOUT 120)
endfunction()
