#!/usr/bin/env bash
# compare_output.sh KIND EXPECTED ACTUAL COMMAND...
# Runs COMMAND (which writes ACTUAL) and requires ACTUAL to equal EXPECTED byte
# for byte. On a difference, names the first differing 16-bit values: for KIND
# wav by value and frame of the output, for KIND limiter by mix value k.
set -uo pipefail
kind=$1 expected=$2 actual=$3
shift 3

rm -f "$actual"
if ! "$@" >/dev/null; then
  echo "FAIL: the command failed: $*" >&2
  exit 1
fi
if [ ! -f "$actual" ]; then
  echo "FAIL: $actual was not written" >&2
  exit 1
fi
if cmp -s "$expected" "$actual"; then
  echo "identical: $(stat -c %s "$actual") bytes"
  exit 0
fi

echo "FAIL: $actual differs from $expected" >&2
echo "sizes: expected $(stat -c %s "$expected"), got $(stat -c %s "$actual")" >&2
channels=1
if [ "$kind" = wav ]; then
  channels=$(od -An -tu2 -j22 -N2 "$expected" | tr -d ' ')
fi
# cmp -l: 1-based byte offset, then the two bytes in octal.
cmp -l "$expected" "$actual" 2>/dev/null | awk -v kind="$kind" -v ch="$channels" '
  {
    off = $1 - 1
    if (kind == "wav") {
      if (off < 44) { printf "header byte %d differs\n", off; next }
      v = int((off - 44) / 2)
      key = sprintf("value %d (frame %d, channel %d)", v, int(v / ch), v % ch)
    } else {
      key = sprintf("mix value k = %d", int(off / 2) - 65536)
    }
    if (!(key in seen)) { seen[key] = 1; n++; if (n <= 20) print key " differs" }
  }
  END { printf "%d differing 16-bit values\n", n }' >&2
exit 1
