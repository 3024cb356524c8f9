#!/usr/bin/env bash
# Concurrent calls under ThreadSanitizer: eight threads calling WAVChorus at once
# on different files, on one output, and failing beside working ones; and the
# command line's batches, streams and progress line. Any data race fails the
# step.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMAVREL_WAV_CHORUS_SANITIZE=thread >/dev/null
cmake --build build-tsan -j2 --target concurrency_tests wavchorus
# halt_on_error: the first race ends the test with a failure.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -L concurrency --output-on-failure -j2
