# Windows x64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix, mingw-w64-tools
# for widl). Tests run under Debian's wine64.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's wine64 package puts its loader here rather than on the PATH.
find_program(MAVREL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MAVREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAVREL_WINE})
endif()
