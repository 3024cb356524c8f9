# 32-bit ARM Linux (armhf) with Debian's g++-arm-linux-gnueabihf. Tests run under
# qemu-user.
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(_triple arm-linux-gnueabihf)
set(_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
