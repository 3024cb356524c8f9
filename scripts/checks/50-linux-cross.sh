#!/usr/bin/env bash
# The Linux cross builds: the library and the command-line host cross-built for
# 32-bit and 64-bit ARM (armhf, aarch64), IBM Z (s390x, big-endian) and 64-bit
# RISC-V (riscv64), run under qemu-user on the same generated inputs as the
# x86-64 Linux build; the outputs must be equal byte for byte.
set -euo pipefail
cd "$(dirname "$0")/../.."

# The x86-64 Linux build that makes the expected outputs.
cmake -S . -B build-ref -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF \
  -DMAVREL_WAV_CHORUS_BUILD_REFERENCE_TOOLS=ON >/dev/null
cmake --build build-ref -j2 --target wavchorus make_cross_inputs limiter_table

status=0
for arch in armhf aarch64 s390x riscv64; do
  echo "--- $arch"
  cmake -S . -B "build-$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake" \
    -DMAVREL_WAV_CHORUS_REFERENCE_BUILD="$PWD/build-ref" >/dev/null
  cmake --build "build-$arch" -j2
  ctest --test-dir "build-$arch" --output-on-failure -j2 || status=1
done
exit $status
