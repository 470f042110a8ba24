# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the posix
# thread model, for std::thread and std::mutex):
#   cmake -S . -B build/windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64.cmake
# The programs link the compiler's runtime statically, so a bare Windows runs
# them without any DLL of ours. When Wine is installed, the build's programs
# and tests run under it (a private Wine prefix inside the build folder).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KALVORAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KALVORAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALVORAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KALVORAN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KALVORAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's wine64 package puts its loader outside the PATH.
find_program(KALVORAN_WINE NAMES wine64 wine HINTS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KALVORAN_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KALVORAN_WINE} ${CMAKE_BINARY_DIR}/wineprefix)
endif()
