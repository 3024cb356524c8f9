#!/usr/bin/env bash
# make_reference.sh NATIVE_BUILD OUT_DIR NAME...
# Makes the reference for a cross build's tests with a native (x86-64 Linux)
# build: OUT_DIR/inputs/NAME.wav, the native library's outputs as
# OUT_DIR/expected/NAME.wav, and its limiter table as OUT_DIR/expected/limiter.bin.
set -euo pipefail
native=${1-} # empty when the cross build was configured without a reference
out=${2:?usage: make_reference.sh NATIVE_BUILD OUT_DIR NAME...}
shift 2

tools=("$native/tests/cross/make_cross_inputs" "$native/tests/cross/limiter_table"
       "$native/cli/wavchorus")
for tool in "${tools[@]}"; do
  if [ ! -x "$tool" ]; then
    echo "make_reference: $tool is missing. Build the native reference first:" >&2
    echo "  cmake -S . -B build-ref -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_REFERENCE_TOOLS=ON" >&2
    echo "  cmake --build build-ref" >&2
    echo "and configure this build with -DMAVREL_WAV_CHORUS_REFERENCE_BUILD=\$PWD/build-ref" >&2
    exit 1
  fi
done

rm -rf "$out"
mkdir -p "$out/inputs" "$out/expected"
"${tools[0]}" "$out/inputs" "$@"
for name in "$@"; do
  "${tools[2]}" --raw "$out/inputs/$name.wav" "$out/expected/$name.wav" >/dev/null
done
# Files in other layouts and formats, made by sox from the first input, and the
# native wavchorus's decoding of them (for wavchorus.exe; tests/windows), with
# an output encoded as AIFF.
mkdir -p "$out/decoded/inputs" "$out/decoded/expected"
first=$out/inputs/$1.wav
sox "$first" -b 24 "$out/decoded/inputs/24-bit.wav"
sox "$first" -b 32 -e floating-point "$out/decoded/inputs/float.wav"
sox "$first" -b 8 -e unsigned-integer "$out/decoded/inputs/8-bit.wav"
sox "$first" -e u-law "$out/decoded/inputs/u-law.wav"
sox "$first" "$out/decoded/inputs/aiff.aiff"
for f in "$out"/decoded/inputs/*; do
  name=$(basename "$f")
  "${tools[2]}" -q "$f" "$out/decoded/expected/${name%.*}.wav" >/dev/null
done
"${tools[2]}" -q "$first" "$out/decoded/expected/encoded.aiff"
"${tools[1]}" "$out/expected/limiter.bin"
echo "reference: $# inputs and the limiter table from $native"
