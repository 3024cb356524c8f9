#!/usr/bin/env bash
# The command-line host: options, exit codes, messages, paths and warnings.
set -uo pipefail
cli=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
pass=0

check() { # name, condition...
  local name=$1
  shift
  if "$@"; then
    pass=$((pass + 1))
  else
    echo "FAIL: $name"
    failures=$((failures + 1))
  fi
}

run() { # runs the CLI, keeping stdout, stderr and the exit status
  "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
  status=$?
}

contains() { grep -qF -- "$2" "$1"; }
empty() { [ ! -s "$1" ]; }

run --help
check "--help exits 0" [ "$status" -eq 0 ]
check "--help shows usage" contains "$work/stdout" "Usage: wavchorus [OPTION]... IN.wav OUT.wav"

run --version
check "--version exits 0" [ "$status" -eq 0 ]
check "--version prints 1.0.0.1" contains "$work/stdout" "wavchorus (MavrelWAVChorus) 1.0.0.1"

run
check "no operands is a usage error" [ "$status" -eq 2 ]
check "no operands explains" contains "$work/stderr" "Try 'wavchorus --help'"

run "$sample"
check "one operand is a usage error" [ "$status" -eq 2 ]

run a b c
check "three operands is a usage error" [ "$status" -eq 2 ]

run --bogus a b
check "unknown option is a usage error" [ "$status" -eq 2 ]
check "unknown option is named" contains "$work/stderr" "'--bogus'"

run "$sample" "$work/out.wav"
check "sample succeeds" [ "$status" -eq 0 ]
check "report on stdout" contains "$work/stdout" "Sample rate   = 44100 Hz "
check "no warning for a canonical file" empty "$work/stderr"
check "output written" [ -s "$work/out.wav" ]

# A valid UTF-8 name that is not ASCII round-trips exactly.
name=$'ch\xc5\x93ur \xe5\x90\x88\xe5\x94\xb1 \xf0\x9f\x8e\xb5.wav'
run "$sample" "$work/$name"
check "non-ASCII output name succeeds" [ "$status" -eq 0 ]
check "non-ASCII output name is exact" cmp -s "$work/$name" "$work/out.wav"
cp "$sample" "$work/$name.in"
run "$work/$name.in" "$work/from-unicode.wav"
check "non-ASCII input name succeeds" [ "$status" -eq 0 ]

# A name that is not UTF-8 cannot be passed on as UTF-16.
run "$sample" "$work/bad"$'\xff'".wav"
check "non-UTF-8 path fails" [ "$status" -eq 1 ]
check "non-UTF-8 path is explained" contains "$work/stderr" "not valid UTF-8"
check "non-UTF-8 path creates nothing" [ ! -e "$work/bad"$'\xff'".wav" ]

run "$work/missing.wav" "$work/x.wav"
check "missing input fails with 1" [ "$status" -eq 1 ]
check "missing input is explained" contains "$work/stderr" "missing.wav\": No such file or directory"

# A header that is not the canonical 16-bit PCM layout is flagged, not refused.
{ head -c 20 "$sample"; printf '\003\000'; head -c 44 "$sample" | tail -c 22; tail -c +45 "$sample" | head -c 4000; } >"$work/float.wav"
run "$work/float.wav" "$work/float-out.wav"
check "non-canonical header still processed" [ "$status" -eq 0 ]
check "non-canonical header warned" contains "$work/stderr" "warning:"
check "warning names the format" contains "$work/stderr" "format 3"
check "warning suggests converting" contains "$work/stderr" "Convert it first"

# A header that declares more frames than the file holds is flagged.
head -c 1044 "$sample" >"$work/short.wav"
run "$work/short.wav" "$work/short-out.wav"
check "short file still processed" [ "$status" -eq 0 ]
check "short file warned" contains "$work/stderr" "the header declares 132300 frames but the file holds 250"

echo "$pass passed, $failures failed"
[ "$failures" -eq 0 ]
