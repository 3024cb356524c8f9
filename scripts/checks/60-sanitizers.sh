#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (any finding stops the test that made it), then the command line under
# valgrind: memcheck must find no error and no leak, and massif must measure a
# heap under 1 MiB for headers that declare gigabytes.
set -euo pipefail
cd "$(dirname "$0")/../.."

echo "--- ASan + UBSan: build-asan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DMAVREL_WAV_CHORUS_SANITIZE=address;undefined;float-cast-overflow" >/dev/null
cmake --build build-asan -j2
failures=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2 || failures=$((failures + 1))

echo "--- valgrind: build-valgrind"
cmake -S . -B build-valgrind -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF >/dev/null
cmake --build build-valgrind -j2 --target wavchorus
cli=build-valgrind/cli/wavchorus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# wav FILE CHANNELS RATE DATABYTES VALUES: a canonical header, then VALUES samples.
wav() {
  {
    printf 'RIFF'; le32 $((($4 + 36) & 0xFFFFFFFF)); printf 'WAVEfmt '; le32 16; le16 1
    le16 "$2"; le32 "$3"; le32 $(($2 * $3 * 2 & 0xFFFFFFFF)); le16 $(($2 * 2 & 65535))
    le16 16; printf 'data'; le32 "$4"
    head -c $(($5 * 2)) /dev/urandom
  } >"$1"
}
wav "$work/many.wav" 65535 768000 4000 3000
wav "$work/declares-4gib.wav" 1 44100 $((0xFFFFFFFF)) 500
wav "$work/rate.wav" 2 $((0x7FFFFFFF)) 400 200
wav "$work/nochannels.wav" 0 44100 400 200
head -c 30 samples/pluck.wav >"$work/short.wav"
cp samples/pluck.wav "$work/inplace.wav"

# memcheck NAME EXPECTED-EXIT IN OUT [ulimit -f in KiB]; raw=1 before it for --raw
memcheck() {
  local name=$1 want=$2 in=$3 out=$4 limit=${5:-unlimited} got=0
  (
    trap '' XFSZ
    ulimit -f "$limit"
    exec valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
      --errors-for-leak-kinds=definite,indirect,possible --track-fds=no \
      "$cli" ${raw:+--raw} "$in" "$out"
  ) >/dev/null 2>"$work/$name.log" || got=$?
  if [ "$got" -ne "$want" ]; then
    echo "memcheck $name: exit $got, expected $want"
    cat "$work/$name.log"
    failures=$((failures + 1))
  else
    echo "memcheck $name: clean (exit $got)"
  fi
}
memcheck sample 0 samples/pluck.wav "$work/out.wav"
memcheck in-place 0 "$work/inplace.wav" "$work/inplace.wav"
# More values than it declares, for the library's reading of the whole file.
raw=1 memcheck many-channels 0 "$work/many.wav" "$work/out.wav"
# Decoded by libsndfile, and encoded.
sox samples/pluck.wav -b 24 "$work/t24.wav"
sox -n -r 48000 -c 2 -b 24 "$work/long24.flac" synth 60 pluck C3
memcheck decoded 0 "$work/t24.wav" "$work/out.wav"
memcheck encoded 0 samples/pluck.wav "$work/out.flac"
memcheck decoded-in-place 0 "$work/t24.wav" "$work/t24.wav"
memcheck declares-4gib-file-limit 1 "$work/declares-4gib.wav" "$work/big.wav" 1024
memcheck huge-rate 1 "$work/rate.wav" "$work/out.wav"
memcheck no-channels 1 "$work/nochannels.wav" "$work/out.wav"
memcheck short 1 "$work/short.wav" "$work/out.wav"
memcheck missing 1 "$work/missing.wav" "$work/out.wav"
memcheck full-device 1 samples/pluck.wav /dev/full
memcheck missing-directory 1 samples/pluck.wav "$work/no/such/dir/out.wav"
if ls -A "$work" | grep -q '^\.'; then
  echo "a temporary file was left: $(ls -A "$work" | grep '^\.')"
  failures=$((failures + 1))
fi

# massif NAME IN OUT [ulimit -f in KiB]: the peak heap of the whole process,
# under heap bytes (1 MiB unless given before it).
massif() {
  local name=$1 in=$2 out=$3 limit=${4:-unlimited} peak
  (
    trap '' XFSZ
    ulimit -f "$limit"
    exec valgrind -q --tool=massif --massif-out-file="$work/$name.massif" "$cli" ${raw:+--raw} "$in" "$out"
  ) >/dev/null 2>&1 || true
  peak=$(sed -n 's/^mem_heap_B=//p' "$work/$name.massif" | sort -n | tail -n 1)
  if [ -z "$peak" ] || [ "$peak" -ge "${heap:-1048576}" ]; then
    echo "massif $name: peak heap ${peak:-unknown} bytes, expected under ${heap:-1048576}"
    failures=$((failures + 1))
  else
    echo "massif $name: peak heap $peak bytes"
  fi
}
massif declares-4gib "$work/declares-4gib.wav" "$work/big.wav" 4096
raw=1 massif many-channels-highest-rate "$work/many.wav" "$work/out.wav"
# A minute of 24-bit FLAC, decoded as it is read and encoded as it is written.
massif decoded-minute "$work/long24.flac" "$work/out.wav"
# libFLAC's encoder keeps about half a MiB of its own, whatever the length.
heap=2097152 massif encoded-minute "$work/long24.flac" "$work/out.flac"
massif sample samples/pluck.wav "$work/out.wav"

if [ "$failures" -ne 0 ]; then
  echo "60-sanitizers: $failures check(s) failed"
  exit 1
fi
echo "60-sanitizers: clean"
