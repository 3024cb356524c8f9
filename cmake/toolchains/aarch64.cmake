# 64-bit ARM Linux (aarch64) with Debian's g++-aarch64-linux-gnu. Tests run under
# qemu-user.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(_triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MAVREL_QEMU NAMES qemu-aarch64 qemu-aarch64-static NO_CMAKE_FIND_ROOT_PATH)
if(MAVREL_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAVREL_QEMU} -L /usr/${_triple})
endif()
