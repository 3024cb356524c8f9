# 64-bit RISC-V Linux (riscv64) with Debian's g++-riscv64-linux-gnu. Tests run
# under qemu-user.
#   cmake -S . -B build-riscv64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/riscv64.cmake
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(_triple riscv64-linux-gnu)
set(_qemu qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
