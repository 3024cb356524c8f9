#!/usr/bin/env bash
# The Linux x86-64 build and its test suite, with the LV2 plugin and its hosts.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=ON -DMAVREL_WAV_CHORUS_BUILD_LV2=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2
