#!/usr/bin/env bash
# Sets up, builds and runs the chorus on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF >/dev/null
cmake --build build --target wavchorus
build/cli/wavchorus samples/pluck.wav build/pluck-chorus.wav
echo
echo "The chorused sample is at $(pwd)/build/pluck-chorus.wav"
