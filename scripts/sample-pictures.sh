#!/usr/bin/env bash
# Draws the README's before-and-after spectrograms of the bundled sample with
# sox's spectrogram effect:
#   scripts/sample-pictures.sh [OUTDIR]   (default docs/: pluck-before.png, pluck-after.png)
# Builds the command-line host in build-docs/, unless WAVCHORUS names one to use.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"
command -v sox >/dev/null || { echo "spectrograms: needs sox (apt-get install sox)" >&2; exit 1; }
if [ -z "${WAVCHORUS:-}" ]; then
  scripts/deps.sh build
  cmake -S . -B build-docs -G Ninja -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF >/dev/null
  cmake --build build-docs --target wavchorus >/dev/null
  WAVCHORUS=build-docs/cli/wavchorus
fi
chorused=$(mktemp --suffix=.wav)
trap 'rm -f "$chorused"' EXIT
"$WAVCHORUS" samples/pluck.wav "$chorused" >/dev/null

# The left channel (after the chorus both channels are the same), 0 to 5.5 kHz
# where the strings' harmonics lie, on one colour scale of 100 dB.
draw() {
  sox "$1" -n remix 1 rate 11025 spectrogram -x 900 -y 513 -z 100 -t "$2" -c "MavrelWAVChorus" -o "$3"
}
draw samples/pluck.wav "pluck.wav before the chorus (left channel)" "$out/pluck-before.png"
draw "$chorused" "pluck.wav after the chorus" "$out/pluck-after.png"
echo "spectrograms: wrote $out/pluck-before.png and $out/pluck-after.png"
