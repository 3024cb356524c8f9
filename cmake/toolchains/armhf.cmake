# 32-bit ARM Linux (armhf) with Debian's g++-arm-linux-gnueabihf. Tests run under
# qemu-user.
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/armhf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(_triple arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MAVREL_QEMU NAMES qemu-arm qemu-arm-static NO_CMAKE_FIND_ROOT_PATH)
if(MAVREL_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAVREL_QEMU} -L /usr/${_triple})
endif()
