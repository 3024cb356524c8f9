#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, only when missing.
#   scripts/deps.sh build   the compiler and CMake: enough to build and run the demo
#   scripts/deps.sh test    everything the test command uses
#   scripts/deps.sh bench   what scripts/bench.sh runs and compares against
set -euo pipefail

build_packages=(g++ cmake ninja-build pkg-config)
test_packages=(
  "${build_packages[@]}"
  googletest libgtest-dev libsndfile1-dev sndfile-programs binutils sox
  dpkg-dev python3 clang-tidy file groff-base
  # The fuzzer (clang with libFuzzer and the sanitizer runtimes, the symbolizer
  # for its reports) and the memory checks of the command line.
  clang-14 libclang-rt-14-dev llvm-14 valgrind
  # The Windows DLL and its tests under Wine (scripts/checks/40-windows.sh)
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64
  # The ARM builds and their tests under qemu (scripts/checks/50-arm.sh)
  g++-arm-linux-gnueabihf g++-aarch64-linux-gnu qemu-user
  libbenchmark-dev
)
bench_packages=(
  "${build_packages[@]}"
  libbenchmark-dev hyperfine ffmpeg sox time jq
  # The instructions of a call (callgrind)
  valgrind
)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  *) echo "usage: $0 build|test|bench" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing packages: ${missing[*]}; run as root or install them" >&2
  exit 1
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
