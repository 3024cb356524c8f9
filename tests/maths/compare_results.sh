#!/usr/bin/env bash
# compare_results.sh KIND EXPECTED ACTUAL COMMAND...
# Runs COMMAND, a maths_engine_* program that writes ACTUAL, and compares ACTUAL
# with EXPECTED, which the program with the platform's own sin and atan wrote.
#   KIND same              ACTUAL must equal EXPECTED line for line.
#   KIND sine-one-moved    the program's sine returns less than 1 where the true
#                          value rounds to 1: ACTUAL must differ from EXPECTED in
#                          exactly the quarter cycles where baseDelay + depth is
#                          a whole number (the delay there is one less), and in
#                          the chorus of those rates, and nowhere else.
set -uo pipefail
kind=$1 expected=$2 actual=$3
shift 3

rm -f "$actual"
if ! "$@"; then
  echo "FAIL: the command failed: $*" >&2
  exit 1
fi
if [ ! -s "$expected" ] || [ ! -s "$actual" ]; then
  echo "FAIL: $expected or $actual is missing or empty" >&2
  exit 1
fi

# The differences as "- line" (EXPECTED only) and "+ line" (ACTUAL only).
differences=$(diff "$expected" "$actual" | sed -n 's/^< /- /p; s/^> /+ /p')

case "$kind" in
  same)
    if [ -n "$differences" ]; then
      echo "FAIL: $actual differs from $expected in $(echo "$differences" | wc -l) lines:" >&2
      echo "$differences" | head -20 >&2
      exit 1
    fi
    echo "identical: $(wc -l <"$actual") lines"
    ;;
  sine-one-moved)
    # What must differ, from the rates of EXPECTED: at an even rate R whose
    # baseDelay + depth = 0.035 R is whole, frame 2.5 R has that delay for one
    # frame, and the frame after it one less.
    wanted=$(awk '$1 == "chorus" {
        r = $2
        if (r % 2 == 0 && (r * 35) % 1000 == 0) {
          top = r * 35 / 1000
          printf "- delay %d %d %d\n", r, r * 5 / 2, top
          printf "- delay %d %d %d\n", r, r * 5 / 2 + 1, top - 1
          printf "chorus %d\n", r
        }
      }' "$expected" | sort)
    # Each differing chorus line counts once, whichever side it is on.
    got=$(echo "$differences" | awk '$2 == "chorus" { print "chorus", $3; next } { print }' |
      sort -u)
    if [ -z "$wanted" ] || [ "$got" != "$wanted" ]; then
      echo "FAIL: $actual does not differ from $expected where the sine's 1 decides" >&2
      diff <(echo "$wanted") <(echo "$got") | head -20 >&2
      exit 1
    fi
    echo "differs exactly at the $(echo "$wanted" | grep -c '^chorus') quarter cycles" \
      "where the delay is a whole number"
    ;;
  *)
    echo "usage: compare_results.sh same|sine-one-moved EXPECTED ACTUAL COMMAND..." >&2
    exit 2
    ;;
esac
