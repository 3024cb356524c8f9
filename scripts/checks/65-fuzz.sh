#!/usr/bin/env bash
# Fuzzes the whole WAVChorus call for a bounded time (about 2 minutes) with
# AddressSanitizer and UndefinedBehaviorSanitizer. Fails on any crash, leak,
# undefined behaviour, broken promise of the call (see fuzz/FuzzWAVChorus.cpp),
# over-large allocation or hang.
#   MAVREL_FUZZ_SECONDS=3600 scripts/checks/65-fuzz.sh    a longer run
# New inputs that reach further are kept in build-fuzz/corpus, so later runs go on
# from there; a crashing input is saved in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${MAVREL_FUZZ_SECONDS:-120}
build=build-fuzz

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMAVREL_WAV_CHORUS_FUZZ=ON \
  "-DMAVREL_WAV_CHORUS_SANITIZE=address;undefined;float-divide-by-zero" \
  -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_CLI=OFF >/dev/null
cmake --build "$build" -j2 --target wavchorus_fuzz make_fuzz_corpus

rm -rf "$build/seeds"
"$build/fuzz/make_fuzz_corpus" "$build/seeds"
mkdir -p "$build/corpus" "$build/artifacts"
scratch=$(mktemp -d "${MAVREL_FUZZ_TMP:-/dev/shm}/wavchorus-fuzz.XXXXXX" 2>/dev/null ||
  mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# -timeout: one input may take at most 10 s (the slowest takes well under 0.1 s).
# -malloc_limit_mb=1: any single allocation of 1 MiB or more is a failure.
# -close_fd_mask=3: the report on stdout and the library's messages on stderr are
#   dropped; the fuzzer's own output and the sanitizers' reports still appear.
symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
if [ -x "$symbolizer" ]; then
  export ASAN_SYMBOLIZER_PATH="$symbolizer" UBSAN_SYMBOLIZER_PATH="$symbolizer"
fi
log="$build/fuzz.log"
status=0
TMPDIR="$scratch" ASAN_OPTIONS=detect_leaks=1 \
  "$build/fuzz/wavchorus_fuzz" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1 \
  -max_len=16384 -dict=fuzz/wav.dict -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/" \
  "$build/corpus" "$build/seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "65-fuzz: the fuzzer found a fault (exit $status); the input is in $build/artifacts/"
  exit 1
fi
grep -E '^Done [0-9]+ runs|^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log"
echo "65-fuzz: no crash, leak, undefined behaviour or hang;" \
  "$(ls "$build/corpus" | wc -l) inputs in the corpus"
