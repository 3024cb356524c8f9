#!/usr/bin/env bash
# Builds libsndfile for the web page's decoder module with Debian's emscripten,
# from Debian's source packages, as static libraries: WAV in every layout,
# AIFF, FLAC, Ogg Vorbis and Opus, as the command line reads them (libogg,
# libFLAC, libvorbis and libopus are built with it; MP3 is left to the
# browser). Made once, into DIR; a later run finds it.
#   scripts/web-sndfile.sh DIR     DIR/prefix/include and DIR/prefix/lib/libsndfile.a
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(mkdir -p "${1:?usage: web-sndfile.sh DIR}" && cd "$1" && pwd)
prefix=$dir/prefix
[ -f "$prefix/lib/libsndfile.a" ] && exit 0

scripts/debian-source.sh "$dir" libogg flac libvorbis opus libsndfile
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
started=$SECONDS

# CMake's type-size checks read the size from the compiled test, which
# emscripten puts in a .wasm beside the .js that CMake reads: the sizes of
# wasm32 are given instead.
sizes=$dir/sizes.cmake
: >"$sizes"
for entry in int16_t:2:INT16_SIZE uint16_t:2:UINT16_SIZE u_int16_t:2:U_INT16_SIZE \
  int32_t:4:INT32_SIZE uint32_t:4:UINT32_SIZE u_int32_t:4:U_INT32_SIZE int64_t:8:INT64_SIZE \
  short:2:SHORT_SIZE int:4:INT_SIZE long:4:LONG_SIZE long_long:8:LONG_LONG_SIZE \
  int64_t:8:SIZEOF_INT64_T long:4:SIZEOF_LONG long_long:8:SIZEOF_LONG_LONG ssize_t:4:SIZEOF_SSIZE_T \
  wchar_t:4:SIZEOF_WCHAR_T off_t:8:SIZEOF_OFF_T void_p:4:SIZEOF_VOIDP; do
  IFS=: read -r _ size name <<<"$entry"
  printf 'set(HAVE_%s TRUE CACHE INTERNAL "")\nset(%s %s CACHE INTERNAL "")\n' "$name" "$name" "$size" >>"$sizes"
done

# name, then its own options; each finds the ones before it in the prefix.
build() {
  local name=$1
  shift
  local log=$dir/build-$name.log
  echo "web-sndfile: building $name"
  emcmake cmake -C "$sizes" -S "$dir/$name-source" -B "$dir/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@" >"$log" 2>&1 &&
    cmake --build "$dir/build-$name" -j2 >>"$log" 2>&1 &&
    cmake --install "$dir/build-$name" >>"$log" 2>&1 ||
    { tail -30 "$log" >&2; exit 1; }
}
[ -f "$prefix/lib/libogg.a" ] || build libogg -DINSTALL_DOCS=OFF
[ -f "$prefix/lib/libFLAC.a" ] || build flac -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
  -DINSTALL_MANPAGES=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
[ -f "$prefix/lib/libvorbis.a" ] || build libvorbis
# Opus 1.3.1's release tarball lacks the CMake file that sets the default
# build type; the build type is given here, so an empty one does.
touch "$dir/opus-source/opus_buildtype.cmake"
build opus -DOPUS_STACK_PROTECTOR=OFF -DOPUS_BUILD_PROGRAMS=OFF
build libsndfile -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF \
  -DENABLE_PACKAGE_CONFIG=ON
echo "web-sndfile: built in $((SECONDS - started)) s"
