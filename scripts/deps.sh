#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, only when missing.
#   scripts/deps.sh build   the compiler and CMake: enough to build and run the demo
#   scripts/deps.sh test    everything the test command uses
#   scripts/deps.sh bench   what scripts/bench.sh runs and compares against
#   scripts/deps.sh web     what scripts/web.sh builds and serves the web page with
set -euo pipefail

build_packages=(g++ cmake ninja-build pkg-config)
test_packages=(
  "${build_packages[@]}"
  googletest libgtest-dev libsndfile1-dev sndfile-programs binutils sox
  dpkg-dev python3 clang-tidy file groff-base
  # The fuzzer (clang with libFuzzer and the sanitizer runtimes, the symbolizer
  # for its reports) and the memory checks of the command line.
  clang-14 libclang-rt-14-dev llvm-14 valgrind
  # The Windows DLLs, x64 and 32-bit x86, and their tests under Wine
  # (scripts/checks/40-windows.sh). wine32 comes from the i386 architecture.
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine32:i386
  # The Linux cross builds and their tests under qemu (scripts/checks/50-linux-cross.sh)
  g++-arm-linux-gnueabihf g++-aarch64-linux-gnu g++-s390x-linux-gnu g++-riscv64-linux-gnu
  qemu-user
  # Correctly rounded sine and arctangent for the maths-library test
  libmpfr-dev
  libbenchmark-dev
  # The command line in a real terminal (tests/cli_terminal_test.sh, Ctrl-C in
  # tests/hardening/ctrl_c_test.sh), and the recipe for GNU parallel
  tmux parallel
  # The GNU parallel recipe over real ssh hosts (tests/ssh_hosts_test.sh): two
  # sshd on loopback addresses, the client, and rsync for --transferfile/--return
  openssh-server openssh-client rsync
  # The LV2 plugin (lv2/): its headers and schemas, hosts that load it (lv2ls,
  # lv2info, lv2apply; lilv for the test host) and the checker of its .ttl files
  lv2-dev lilv-utils liblilv-dev sordi
)
# The web page: Debian's emscripten (with its acorn for Node) and a static server;
# its test drives Debian's chromium (scripts/checks/85-web.sh). Node.js and npm
# come with the machine.
web_packages=("${build_packages[@]}" emscripten node-acorn python3)
test_packages+=(emscripten node-acorn chromium)
# The page's decoder module: libsndfile and its codecs from Debian's source
# packages (scripts/web-sndfile.sh), unpacked by dpkg-source.
web_packages+=(dpkg-dev)
# The files people have (tests/decode_test.sh): ffmpeg makes them and decodes
# them independently of wavchorus's libsndfile.
test_packages+=(ffmpeg)
# How often wavchorus closes a descriptor (tests/decode_test.sh): strace.
test_packages+=(strace)
bench_packages=(
  "${build_packages[@]}"
  libbenchmark-dev hyperfine ffmpeg sox time jq
  # The speech prompts of the batch section (scripts/bench-batch.sh)
  espeak-ng
  # The instructions of a call (callgrind)
  valgrind
  # The LV2 plugin and lv2bench (the LV2 section of scripts/bench.sh)
  lv2-dev lilv-utils
)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  web) wanted=("${web_packages[@]}") ;;
  *) echo "usage: $0 build|test|bench|web" >&2; exit 2 ;;
esac
case "${1:-build}" in
  test | web)
    if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
      echo "deps: the web page's build and test need Node.js (20 or later) and npm" >&2
      exit 1
    fi
    ;;
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
# One install at a time: two runs of this script (two worktrees, say) would
# otherwise meet at apt's lock, and the second would fail at once.
exec 9>/tmp/mavrel-deps.lock
flock 9
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (wine32:i386) need it added before the update.
for p in "${missing[@]}"; do
  case "$p" in
    *:*)
      arch=${p##*:}
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
        ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        dpkg --add-architecture "$arch"
      fi
      ;;
  esac
done
apt-get update -qq
apt-get install -y -qq -o DPkg::Lock::Timeout=900 --no-install-recommends "${missing[@]}" >/dev/null
