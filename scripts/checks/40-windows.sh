#!/usr/bin/env bash
# The Windows DLLs, x64 and 32-bit x86: cross-built with MinGW-w64, tested under
# Wine (loading, registration, resources, the export and its calling convention,
# file handling, and outputs byte for byte equal to the x86-64 Linux build's),
# then packed as a ZIP each.
set -euo pipefail
cd "$(dirname "$0")/../.."

# The x86-64 Linux build that makes the expected outputs.
cmake -S . -B build-ref -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF \
  -DMAVREL_WAV_CHORUS_BUILD_REFERENCE_TOOLS=ON >/dev/null
cmake --build build-ref -j2 --target wavchorus make_cross_inputs limiter_table

# libsndfile for wavchorus.exe, from Debian's source, built once into a build
# folder of its own.
scripts/windows-sndfile.sh build-sndfile-win
sndfile=$PWD/build-sndfile-win

status=0
# build directory, toolchain, package suffix
for target in "build-win mingw-w64-x86_64 win64" "build-win32 mingw-w64-i686 win32"; do
  read -r build toolchain suffix <<<"$target"
  echo "--- $toolchain"
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain.cmake" \
    -DMAVREL_SNDFILE_INCLUDE_DIR="$sndfile/${toolchain#mingw-w64-}/include" \
    -DMAVREL_SNDFILE_LIBRARY="$sndfile/${toolchain#mingw-w64-}/lib/libsndfile.a" \
    -DMAVREL_WAV_CHORUS_REFERENCE_BUILD="$PWD/build-ref" >/dev/null
  cmake --build "$build" -j2

  ctest --test-dir "$build" --output-on-failure -j2 || status=1

  # The ZIP holds the two DLLs and wavchorus.exe as built, the header and the readme.
  (cd "$build" && cpack -G ZIP >/dev/null)
  name=MavrelWAVChorus-1.0.0.1-$suffix
  zip=$build/$name.zip
  listing=$(cmake -E tar tf "$zip" | sort)
  expected=$(printf '%s\n' MavrelFramework.dll MavrelWAVChorus.DLL README.txt include/ \
    include/MavrelWAVChorus.h wavchorus.exe | sed "s|^|$name/|" | sort)
  if [ "$listing" != "$expected" ]; then
    echo "FAIL: $zip holds:"; echo "$listing"
    status=1
  else
    unpacked=$(mktemp -d)
    (cd "$unpacked" && cmake -E tar xf "$OLDPWD/$zip")
    for dll in MavrelWAVChorus.DLL MavrelFramework.dll wavchorus.exe; do
      if ! cmp -s "$build/bin/$dll" "$unpacked/$name/$dll"; then
        echo "FAIL: $dll in $zip is not the one built"
        status=1
      fi
    done
    rm -rf "$unpacked"
    [ $status -eq 0 ] && echo "package: $zip"
  fi

  # The Wine server of the build's prefix ends with the step.
  for server in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
    if [ -x "$server" ]; then
      WINEPREFIX="$PWD/$build/wineprefix" "$server" -k 2>/dev/null || true
      break
    fi
  done
done
exit $status
