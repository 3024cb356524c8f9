#!/usr/bin/env bash
# The LV2 bundle in Debian's own hosts and checker:
#   - lv2ls and lv2info find both plugins in the build folder through LV2_PATH,
#     with their ports and no latency;
#   - sord_validate checks the bundle's .ttl files against the LV2 schemas of
#     lv2-dev (Debian has no lv2lint);
#   - lv2apply writes the samples of wavchorus, byte for byte, on whole 16-bit
#     files: mono through the mono plugin, stereo through the stereo one, at 8,
#     44.1, 48, 96 and 192 kHz.
#   lv2_hosts_test.sh BUNDLE WAVCHORUS
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
bundle=$1
wavchorus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
LV2_PATH=$(dirname "$bundle")
export LV2_PATH
mono=urn:mavrelwavchorus:mono
stereo=urn:mavrelwavchorus:stereo

lv2ls >"$work/ls" 2>&1
check "lv2ls finds the mono plugin" grep -qx "$mono" "$work/ls"
check "lv2ls finds the stereo plugin" grep -qx "$stereo" "$work/ls"

# ports FILE DIRECTION: the number of audio ports of that direction that lv2info
# lists, and no port of another type.
ports() {
  awk -v dir="lv2core#$2" '
    /^\tPort [0-9]+:/ { if (n) close_port(); n = 1; audio = 0; match_dir = 0; next }
    n && /lv2core#AudioPort/ { audio = 1 }
    n && index($0, dir) { match_dir = 1 }
    function close_port() { if (audio && match_dir) count++; if (!audio) other++ }
    END { if (n) close_port(); print count + 0 (other ? " and other ports" : "") }' "$1"
}
quiet() { ! grep -qiE '^(error|warning)|lilv_.*error' "$1"; }
for plugin in "$mono:1" "$stereo:2"; do
  uri=${plugin%:*}
  want=${plugin##*:}
  lv2info "$uri" >"$work/info" 2>&1
  check "lv2info $uri: $want audio inputs" [ "$(ports "$work/info" InputPort)" = "$want" ]
  check "lv2info $uri: $want audio outputs" [ "$(ports "$work/info" OutputPort)" = "$want" ]
  check "lv2info $uri: no latency" grep -qE '^[[:space:]]*Has latency:[[:space:]]*no' "$work/info"
  check "lv2info $uri: its binary in the bundle" grep -qF "$bundle/MavrelWAVChorus.so" "$work/info"
  check "lv2info $uri: no errors: $(grep -i error "$work/info")" quiet "$work/info"
done

schemas=$(pkg-config --variable=prefix lv2)/lib/lv2
sord_validate "$schemas"/schemas.lv2/*.ttl "$schemas"/core.lv2/*.ttl \
  "$bundle/manifest.ttl" "$bundle/MavrelWAVChorus.ttl" >"$work/validate" 2>&1
check "sord_validate accepts the bundle: $(cat "$work/validate")" [ $? -eq 0 ]
check "sord_validate has no warnings: $(cat "$work/validate")" quiet "$work/validate"

# samples FILE: the 16-bit samples of a WAV file, as raw little-endian bytes.
samples() { sox -D "$1" -t raw -e signed-integer -b 16 -L -; }
for rate in 8000 44100 48000 96000 192000; do
  for channels in 1 2; do
    name=$rate-$channels
    uri=$mono
    [ "$channels" -eq 1 ] || uri=$stereo
    # A swept sine on the left, noise on the right, each near full scale.
    sox -V1 -R -D -n -r "$rate" -b 16 -c "$channels" "$work/$name.wav" \
      synth 2.5 sine 220-3000 whitenoise gain -n -0.1
    "$wavchorus" -q "$work/$name.wav" "$work/$name-library.wav" >/dev/null 2>"$work/err" ||
      echo "wavchorus: $(cat "$work/err")"
    lv2apply -i "$work/$name.wav" -o "$work/$name-plugin.wav" "$uri" >"$work/err" 2>&1 ||
      echo "lv2apply: $(cat "$work/err")"
    check "lv2apply at $rate Hz, $channels channel(s): 16-bit output" \
      [ "$(soxi -b "$work/$name-plugin.wav")/$(soxi -c "$work/$name-plugin.wav")" = "16/$channels" ]
    check "lv2apply at $rate Hz, $channels channel(s): the library's samples" \
      cmp <(tail -c +45 "$work/$name-library.wav") <(samples "$work/$name-plugin.wav")
  done
done
checks_done
