#!/usr/bin/env bash
# The web page: the library compiled to WebAssembly, tested in Debian's chromium
# (headless, driven by playwright-core) against the x86-64 Linux build, whose
# outputs and reports it must equal byte for byte.
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/web.sh --no-serve
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
cmake --build build-web -j2 --target wavchorus_registry_probe

# The native build that gives the expected results, as for the cross builds.
cmake -S . -B build-ref -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF \
  -DMAVREL_WAV_CHORUS_BUILD_REFERENCE_TOOLS=ON >/dev/null
cmake --build build-ref -j2 --target wavchorus make_cross_inputs

(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)

export MAVREL_WEB_SITE=$PWD/build-web/site
export MAVREL_WEB_PROBE=$PWD/build-web/probe/wavchorus_registry_probe.js
export MAVREL_NATIVE_WAVCHORUS=$PWD/build-ref/cli/wavchorus
export MAVREL_CROSS_INPUTS_TOOL=$PWD/build-ref/tests/cross/make_cross_inputs
export MAVREL_SAMPLE=$PWD/samples/pluck.wav
export MAVREL_WEB_SCREENSHOTS=$PWD/build-web/screenshots
echo "The page downloads $(du -cb build-web/site/*.{html,css,js,wasm,svg} | tail -1 | cut -f1) bytes before a file is chosen"
cd tests/web
node --test --test-concurrency=1 module.test.mjs page.test.mjs
