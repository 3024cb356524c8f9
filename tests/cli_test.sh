#!/usr/bin/env bash
# The command-line host: options, exit codes, messages, paths and warnings;
# standard input and output as "-", FIFOs; batches (-t DIR) with their usage
# errors and bad files; reports whole; no progress line off a terminal.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
cli=$1
sample=$2
work=$(mktemp -d)
writers=()
cleanup() {
  for pid in "${writers[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

run() { # runs the CLI, keeping stdout, stderr and the exit status
  "$cli" "$@" >"$work/stdout" 2>"$work/stderr"
  status=$?
}

contains() { grep -qF -- "$2" "$1"; }

# feed FIFO COMMAND: COMMAND's output goes into the new FIFO. Once this returns
# the writer has the FIFO open, and a reader of ours holds what it writes until
# `unfeed`, however early the writer finishes.
feed() {
  mkfifo "$1"
  timeout 60 sh -c "$2 >'$1'" &
  writers+=($!)
  exec {holder}<"$1"
}
unfeed() { exec {holder}<&-; }
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
check "three operands points to -t" contains "$work/stderr" "use -t DIR for many files"

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

# With --raw, a header that is not the canonical 16-bit PCM layout is read at
# the library's fixed offsets: flagged, not refused.
{ head -c 20 "$sample"; printf '\003\000'; head -c 44 "$sample" | tail -c 22; tail -c +45 "$sample" | head -c 4000; } >"$work/float.wav"
run --raw "$work/float.wav" "$work/float-out.wav"
check "non-canonical header still processed" [ "$status" -eq 0 ]
check "non-canonical header warned" contains "$work/stderr" "warning:"
check "warning names the format" contains "$work/stderr" "format 3"
check "warning suggests converting" contains "$work/stderr" "Convert it first"

# A header that declares more frames than the file holds is flagged.
head -c 1044 "$sample" >"$work/short.wav"
run "$work/short.wav" "$work/short-out.wav"
check "short file still processed" [ "$status" -eq 0 ]
check "short file warned" contains "$work/stderr" "the header declares 132300 frames but the file holds 250"

# --- Standard input and output ------------------------------------------------

run "$sample" "$work/ref.wav"
cp "$work/stdout" "$work/ref-report"
check "the report is the library's eight lines" [ "$(wc -l <"$work/ref-report")" -eq 9 ]

cat "$sample" | "$cli" - - >"$work/piped.wav" 2>"$work/piped.err"
check "a pipe in and out exits 0" [ $? -eq 0 ]
check "stdout carries the WAV alone" cmp -s "$work/piped.wav" "$work/ref.wav"
check "the report goes to stderr with OUT -" cmp -s "$work/piped.err" "$work/ref-report"

"$cli" - "$work/from-stdin.wav" <"$sample" >"$work/stdout" 2>"$work/stderr"
check "IN - from a redirected file" cmp -s "$work/from-stdin.wav" "$work/ref.wav"
check "IN - keeps the report on stdout" cmp -s "$work/stdout" "$work/ref-report"

# A regular file as stdout is written where it stands: after what >> keeps.
printf 'earlier\n' >"$work/appended"
"$cli" "$sample" - >>"$work/appended" 2>/dev/null
check "OUT - appends to a file opened with >>" \
  cmp -s <(tail -c +9 "$work/appended") "$work/ref.wav"
check "OUT - leaves what was there" [ "$(head -c 8 "$work/appended")" = "earlier" ]

run -q "$sample" "$work/quiet.wav"
check "-q succeeds" [ "$status" -eq 0 ]
check "-q drops the report" empty "$work/stdout"
check "-q output is the same" cmp -s "$work/quiet.wav" "$work/ref.wav"

"$cli" - "$work/never.wav" </dev/null >"$work/stdout" 2>"$work/stderr"
status=$?
check "empty stdin fails with 1" [ "$status" -eq 1 ]
check "empty stdin is named" contains "$work/stderr" \
  "wavchorus: cannot read standard input: shorter than the 44-byte WAV header"
check "empty stdin writes nothing" [ ! -e "$work/never.wav" ]

# A stream that ends early is a file cut short, and is said to be so.
sox "$sample" -c 1 -r 8000 "$work/mono.wav"
head -c 20044 "$work/mono.wav" >"$work/mono-cut.wav"
"$cli" "$work/mono-cut.wav" "$work/cut-ref.wav" >/dev/null 2>&1
head -c 20044 "$work/mono.wav" | "$cli" - "$work/cut-piped.wav" >/dev/null 2>"$work/stderr"
check "a stream cut short is padded as the file would be" cmp -s "$work/cut-piped.wav" "$work/cut-ref.wav"
check "a stream cut short is warned about" contains "$work/stderr" \
  "wavchorus: warning: standard input: the header declares 24000 frames but the stream held 10000; the missing part was written as silence"

# Three or more channels are padded by values, not frames: the warning says so.
{ head -c 22 "$work/mono.wav"; printf '\004\000'; tail -c +25 "$work/mono.wav" | head -c 2020; } >"$work/quad-cut.wav"
run -q "$work/quad-cut.wav" "$work/quad-out.wav"
check "a short file of 4 channels is warned about as it is padded" contains "$work/stderr" \
  "the header declares 6000 frames but the file holds 250; with 4 channels silence is added only up to 6000 values, so the output will end after 1500 frames, its header still declaring 6000"
check "a short file of 4 channels ends where the warning says" [ "$(stat -c %s "$work/quad-out.wav")" -eq $((44 + 1500 * 8)) ]

# A FIFO nobody writes to reads as empty at once; one with a writer is read.
mkfifo "$work/idle.fifo"
run "$work/idle.fifo" "$work/never.wav"
check "a FIFO with no writer fails with 1" [ "$status" -eq 1 ]
check "a FIFO with no writer is named" contains "$work/stderr" \
  "cannot read $work/idle.fifo: shorter than the 44-byte WAV header"
feed "$work/fed.fifo" "cat '$sample'"
run "$work/fed.fifo" "$work/from-fifo.wav"
unfeed
check "a FIFO with a writer is read to its end" cmp -s "$work/from-fifo.wav" "$work/ref.wav"

# Audio is not written to, or read from, a terminal; without one, no
# progress line: checked in a real terminal by tests/cli_terminal_test.sh.
check "no progress line when stderr is not a terminal" \
  bash -c "! grep -q \$'\r' '$work/stderr'"

# --- The environment: descriptors, signals, names ----------------------------

# An OUT that is stdout's own file is written as "-" is.
"$cli" -q "$sample" /dev/stdout 2>/dev/null | cat >"$work/via-fd1.wav"
check "OUT /dev/stdout with -q carries the WAV alone" cmp -s "$work/via-fd1.wav" "$work/ref.wav"
printf 'earlier\n' >"$work/appended-fd1"
"$cli" "$sample" /dev/fd/1 >>"$work/appended-fd1" 2>/dev/null
check "OUT /dev/fd/1 appends after what >> keeps" \
  cmp -s <(tail -c +9 "$work/appended-fd1") "$work/ref.wav"

# Closed standard descriptors: nothing of ours takes their place.
timeout 20 "$cli" - "$work/never.wav" <&- 2>"$work/stderr"
check "a closed stdin reads as empty, without a hang" contains "$work/stderr" \
  "cannot read standard input: shorter than the 44-byte WAV header"
mkdir -p "$work/closed-in" "$work/closed-out"
for k in $(seq 40); do cp "$work/mono-cut.wav" "$work/closed-in/c$k.wav"; done
"$cli" -j 4 -t "$work/closed-out" "$work"/closed-in/*.wav >&- 2>&-
same=yes
for k in $(seq 40); do cmp -s "$work/closed-out/c$k.wav" "$work/cut-ref.wav" || same=no; done
check "closed stdout and stderr: no report or warning inside an output" [ $same = yes ]

# SIGUSR1 (a status request to dd) keeps its default action: it ends the run.
mkfifo "$work/held.fifo"
exec {held}<>"$work/held.fifo"
"$cli" - "$work/never.wav" <"$work/held.fifo" 2>/dev/null &
pid=$!
for k in $(seq 100); do [ "$(ls "/proc/$pid/task" 2>/dev/null | wc -l)" -ge 2 ] && break; sleep 0.05; done
kill -USR1 "$pid"
for k in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
kill -KILL "$pid" 2>/dev/null
wait "$pid"
check "SIGUSR1 ends a run as its default action does" [ $? -eq $((128 + 10)) ]
exec {held}>&-

# A name as long as a name can be (250 bytes) is replaced and processed in place.
long=$work/$(printf '\xe6\x97\xa5%.0s' $(seq 82)).wav
cp "$work/ref.wav" "$long"
run -q "$sample" "$long"
check "an output of a 250-byte name is replaced" [ "$status" -eq 0 ]
cp "$sample" "$long"
run -q "$long" "$long"
check "an input of a 250-byte name is processed in place" cmp -s "$long" "$work/ref.wav"

# A stream that the library stops reading, as its output failed, was not short.
cat "$sample" | "$cli" - /dev/full >/dev/null 2>"$work/stderr"
check "a failed output gives no warning of a short stream" \
  bash -c "! grep -q 'stream held' '$work/stderr'"

# One FIFO as IN and OUT would feed itself for ever.
feed "$work/loop.fifo" "cat '$sample'"
timeout 20 "$cli" "$work/loop.fifo" "$work/loop.fifo" >/dev/null 2>"$work/stderr"
status=$?
unfeed
check "one FIFO as IN and OUT is a usage error" [ "$status" -eq 2 ]

# A dangling symbolic link as OUT: its target receives the output.
ln -s dangling-target.wav "$work/dangling.wav"
run -q "$sample" "$work/dangling.wav"
check "a dangling link's target is written" cmp -s "$work/dangling-target.wav" "$work/ref.wav"
check "a dangling link stays a link" [ -L "$work/dangling.wav" ]

# --- Batches: wavchorus -t DIR IN.wav... --------------------------------------

mkdir -p "$work/in/sub" "$work/out"
cp "$sample" "$work/in/stereo.wav"
cp "$work/mono.wav" "$work/in/mono.wav"
cp "$work/mono-cut.wav" "$work/in/cut.wav"
{ head -c 22 "$sample"; printf '\001\000'; tail -c +25 "$sample" | head -c 30000; } >"$work/in/one.wav"
for f in stereo mono cut one; do
  "$cli" "$work/in/$f.wav" "$work/single-$f.wav" >/dev/null 2>&1
done
for jobs in 1 3 ""; do
  rm -rf "$work/out" && mkdir "$work/out"
  "$cli" ${jobs:+-j "$jobs"} -t "$work/out" "$work"/in/*.wav >"$work/stdout" 2>"$work/stderr"
  status=$?
  check "batch -j ${jobs:-default} exits 0" [ "$status" -eq 0 ]
  same=yes
  for f in stereo mono cut one; do cmp -s "$work/out/$f.wav" "$work/single-$f.wav" || same=no; done
  check "batch -j ${jobs:-default} writes what the single-file form writes" [ $same = yes ]
  check "batch -j ${jobs:-default} prints four reports" [ "$(grep -c '^Wave data is$' "$work/stdout")" -eq 4 ]
  check "batch -j ${jobs:-default} sums up" contains "$work/stderr" "wavchorus: 4 files: 4 written, 0 failed"
done
check "a batch's file cut short is warned about" contains "$work/stderr" \
  "wavchorus: warning: $work/in/cut.wav: the header declares 24000 frames"

# Reports of files done at once come out whole: 24 runs of the same nine lines.
for k in $(seq 24); do cp "$work/mono.wav" "$work/in/sub/m$k.wav"; done
rm -rf "$work/out" && mkdir "$work/out"
"$cli" -j 4 -t "$work/out" "$work"/in/sub/*.wav >"$work/stdout" 2>/dev/null
one_report=$("$cli" "$work/mono.wav" "$work/x.wav")
check "concurrent reports are whole" \
  [ "$(cat "$work/stdout")" = "$(for k in $(seq 24); do echo "$one_report"; done)" ]

run -q -t "$work/out" "$work/in/mono.wav"
check "a quiet batch that succeeds prints nothing" [ "$status" -eq 0 ]
check "a quiet batch prints no report" empty "$work/stdout"
check "a quiet batch prints no summary" empty "$work/stderr"

# Bad files: each is named once, with the reason; the others are still done,
# and nothing else is left in the target.
bad=$work/bad
mkdir -p "$bad" "$work/out-bad"
cp "$work/mono.wav" "$bad/good1.wav"
cp "$sample" "$bad/good2.wav"
cp "$work/mono.wav" "$bad/unreadable.wav"
chmod 000 "$bad/unreadable.wav"
mkdir "$bad/folder.wav"
head -c 43 "$sample" >"$bad/short.wav"
{ head -c 22 "$sample"; printf '\000\000'; tail -c +25 "$sample" | head -c 1000; } >"$bad/nochannels.wav"
# The writer goes away after 10,000 values of a file that declares 24,000.
feed "$bad/broken.wav" "head -c 20044 '$work/mono.wav'"
# As root, without the capabilities that read any file.
unprivileged=()
[ "$(id -u)" -eq 0 ] && unprivileged=(setpriv --bounding-set -dac_override,-dac_read_search)
"${unprivileged[@]}" "$cli" -q -t "$work/out-bad" "$bad/good1.wav" "$bad/missing.wav" \
  "$bad/unreadable.wav" "$bad/folder.wav" "$bad/short.wav" "$bad/nochannels.wav" \
  "$bad/broken.wav" "$bad/good2.wav" >"$work/stdout" 2>"$work/stderr"
status=$?
unfeed
check "a batch with bad files exits 1" [ "$status" -eq 1 ]
line_for() { [ "$(grep -cF -- "$1" "$work/stderr")" -eq 1 ]; }
check "missing file named" line_for "\"$bad/missing.wav\": No such file or directory"
check "unreadable file named" line_for "\"$bad/unreadable.wav\": Permission denied"
check "directory named" line_for "\"$bad/folder.wav\": neither a regular file nor a pipe"
check "short file named" line_for "\"$bad/short.wav\": shorter than the 44-byte WAV header"
check "0 channels named" line_for "\"$bad/nochannels.wav\": the header gives 0 channels"
check "broken pipe named" line_for "warning: $bad/broken.wav: the header declares 24000 frames but the stream held 10000"
check "one line per bad file, and the summary" [ "$(wc -l <"$work/stderr")" -eq 7 ]
check "the summary counts the failures" contains "$work/stderr" "wavchorus: 8 files: 3 written, 5 failed"
check "the good files are still done" cmp -s "$work/out-bad/good2.wav" "$work/ref.wav"
check "the broken pipe's output is the file's, cut short" cmp -s "$work/out-bad/broken.wav" "$work/cut-ref.wav"
check "nothing else is left in the target" \
  [ "$(cd "$work/out-bad" && ls -A | tr '\n' ' ')" = "broken.wav good1.wav good2.wav " ]

# Usage errors: exit 2 before any file is touched.
usage_error() { # name, expected text, args...
  local name=$1 text=$2
  shift 2
  local before
  before=$(ls -lAR --time-style=full-iso "$work/in" "$work/out")
  run "$@"
  check "$name exits 2" [ "$status" -eq 2 ]
  check "$name is explained" contains "$work/stderr" "$text"
  check "$name touches nothing" [ "$before" = "$(ls -lAR --time-style=full-iso "$work/in" "$work/out")" ]
}
rm -rf "$work/out" && mkdir "$work/out"
usage_error "a missing target" "target '$work/nowhere' is not an existing directory" \
  -t "$work/nowhere" "$work/in/mono.wav"
usage_error "a target that is a file" "target '$work/in/mono.wav' is not an existing directory" \
  -t "$work/in/mono.wav" "$work/in/stereo.wav"
usage_error "two inputs with one file name" \
  "'$work/in/mono.wav' and '$work/in/sub/../mono.wav' have the same file name" \
  -t "$work/out" "$work/in/mono.wav" "$work/in/sub/../mono.wav"
ln -s "$work/in/stereo.wav" "$work/out/mono.wav"
usage_error "an output that would overwrite another input" \
  "the output '$work/out/mono.wav' of '$work/in/mono.wav' would overwrite the input '$work/in/stereo.wav'" \
  -t "$work/out" "$work/in/mono.wav" "$work/in/stereo.wav"
rm "$work/out/mono.wav"
touch "$work/out/cut.wav"
ln "$work/out/cut.wav" "$work/out/one.wav"
usage_error "two outputs that are one file" \
  "the outputs '$work/out/cut.wav' and '$work/out/one.wav' are the same file" \
  -t "$work/out" "$work/in/cut.wav" "$work/in/one.wav"
rm "$work/out/cut.wav" "$work/out/one.wav"
for jobs in 0 -1 1025 x 2x ""; do
  usage_error "-j '$jobs'" "invalid number of jobs '$jobs'" -j "$jobs" -t "$work/out" "$work/in/mono.wav"
done
usage_error "-t without inputs" "missing input files" -t "$work/out"
usage_error "standard input in a batch" "standard input ('-') cannot be one of the files" \
  -t "$work/out" - "$work/in/mono.wav"
usage_error "two targets" "multiple target directories" -t "$work/out" -t "$work/in" "$work/in/mono.wav"
usage_error "an input without a file name" "'$work/in/..' has no file name" -t "$work/out" "$work/in/.."

# Two outputs that become one file only as the run writes them (a dangling
# link here; on a case-insensitive file system, two spellings of a name): the
# second is refused, and the first result stays.
mkdir -p "$work/twin1" "$work/twin2" && rm -rf "$work/out" && mkdir "$work/out"
cp "$work/mono.wav" "$work/twin1/a.wav"
cp "$sample" "$work/twin2/b.wav"
ln -s a.wav "$work/out/b.wav"
run -q -j 1 -t "$work/out" "$work/twin1/a.wav" "$work/twin2/b.wav"
check "an output written twice in one run fails" [ "$status" -eq 1 ]
check "an output written twice in one run keeps the first result" \
  cmp -s "$work/out/a.wav" "$work/single-mono.wav"
rm -rf "$work/out" && mkdir "$work/out"

# An output that is its own input is processed in place, as in the single form.
cp "$work/mono.wav" "$work/out/self.wav"
run -q -t "$work/out" "$work/out/self.wav"
check "a batch file processed in place" cmp -s "$work/out/self.wav" "$work/single-mono.wav"

# The long options, and joined short ones.
rm -rf "$work/out" && mkdir "$work/out"
run --quiet --jobs=2 --no-progress --target-directory="$work/out" "$work/in/mono.wav"
check "long options" cmp -s "$work/out/mono.wav" "$work/single-mono.wav"
rm -rf "$work/out" && mkdir "$work/out"
run -qj2 "-t$work/out" "$work/in/mono.wav"
check "joined short options" cmp -s "$work/out/mono.wav" "$work/single-mono.wav"

checks_done
