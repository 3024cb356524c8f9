# Windows x86 (32-bit) with Debian's MinGW-w64 (g++-mingw-w64-i686-posix,
# mingw-w64-tools for widl). Tests run under Debian's wine32 in a 32-bit prefix.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine32 package puts its 32-bit loader here rather than on the PATH.
find_program(MAVREL_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(MAVREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAVREL_WINE})
endif()
