# Linux on IBM Z (s390x, 64-bit big-endian) with Debian's g++-s390x-linux-gnu.
# Tests run under qemu-user: they keep the byte order of the files right on a
# big-endian machine.
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(_triple s390x-linux-gnu)
set(_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
