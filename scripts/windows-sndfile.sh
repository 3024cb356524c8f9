#!/usr/bin/env bash
# Builds libsndfile for Windows (x64 and 32-bit x86) with MinGW-w64, from
# Debian's source package, as a static library for wavchorus.exe: WAV in every
# layout, RF64, W64, AIFF, CAF and the other formats libsndfile reads by itself.
# FLAC, Ogg, Opus and MP3 would need their libraries cross-built too, and are
# left out (wavchorus --help says so). Made once, into DIR; a later run finds it.
#   scripts/windows-sndfile.sh DIR     DIR/ARCH/include and DIR/ARCH/lib/libsndfile.a
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=$(mkdir -p "${1:?usage: windows-sndfile.sh DIR}" && cd "$1" && pwd)

# Debian's source package, unpacked into DIR/libsndfile-source.
scripts/debian-source.sh "$dir" libsndfile
src=$dir/libsndfile-source

for arch in x86_64 i686; do
  prefix=$dir/$arch
  [ -f "$prefix/lib/libsndfile.a" ] && continue
  echo "windows-sndfile: building libsndfile for $arch"
  cmake -S "$src" -B "$dir/build-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DENABLE_EXTERNAL_LIBS=OFF \
    -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF \
    -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF \
    >"$dir/build-$arch.log" 2>&1 &&
    cmake --build "$dir/build-$arch" -j2 >>"$dir/build-$arch.log" 2>&1 &&
    cmake --install "$dir/build-$arch" >>"$dir/build-$arch.log" 2>&1 ||
    { tail -30 "$dir/build-$arch.log" >&2; exit 1; }
done
