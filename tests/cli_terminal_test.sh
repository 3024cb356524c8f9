#!/usr/bin/env bash
# The command line in a real terminal (tmux): the progress line for a batch and
# for a single stream that takes longer than a second, none for a single
# regular file, gone when the work is done,
# with the reports and messages that came meanwhile whole around it; none with
# --no-progress; audio neither read from nor written to the terminal.
#   cli_terminal_test.sh WAVCHORUS SAMPLE.wav [CAPTURE.txt]
# A slow input is a FIFO whose writer stops half-way until the test opens a
# gate, so nothing here depends on how fast the machine is.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
cli=$1
sample=$2
capture_file=${3:-}
work=$(mktemp -d)
socket=wavchorus-test-$$
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
writers=()
cleanup() {
  tmux_ kill-server 2>/dev/null
  for pid in "${writers[@]}"; do pkill -P "$pid" 2>/dev/null; kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

command -v tmux >/dev/null || { echo "tmux is not installed (Debian: tmux)"; exit 1; }
tmux_ new-session -d -x 120 -y 40 "env -i PATH=$PATH TERM=xterm bash --norc --noprofile" || {
  echo "cannot start tmux"
  exit 1
}
screen() { tmux_ capture-pane -p -J -S -200; }
# wait_for PATTERN: until the terminal shows a line matching PATTERN (grep -E);
# gives up after 60 seconds, which only a hung program takes.
wait_for() {
  local k
  for k in $(seq 600); do
    screen | grep -qE -- "$1" && return 0
    sleep 0.1
  done
  echo "the terminal never showed /$1/:"
  screen
  return 1
}
# run_line COMMAND: types COMMAND, then `echo "status $?"`, on a cleared
# terminal with no history.
run_line() {
  tmux_ send-keys -t 0 -l "clear" && tmux_ send-keys -t 0 Enter
  local k
  for k in $(seq 100); do
    [ "$(tmux_ capture-pane -p | grep -c .)" -le 1 ] && break
    sleep 0.1
  done
  tmux_ clear-history
  tmux_ send-keys -t 0 -l "$1; echo \"status \$?\"" && tmux_ send-keys -t 0 Enter
}
# The terminal without the command line typed and the prompts.
output() { screen | grep -vE '^(bash-[0-9.]+# |status [0-9]+$)' | grep -v '^$'; }
progress='^wavchorus: [0-9]+/[0-9]+ files, [0-9.]+ [kMG]?B( of [0-9.]+ [kMG]?B)?, [0-9]+:[0-9]{2} elapsed, ([0-9]+:[0-9]{2}|--:--) left$'

# slow_input NAME: a FIFO NAME.wav fed with the sample, stopping after 300,000
# bytes until `open_gate NAME`.
slow_input() {
  mkfifo "$work/$1.wav" "$work/gate-$1"
  ( { head -c 300044 "$sample"; cat "$work/gate-$1" >/dev/null; tail -c +300045 "$sample"; } \
    >"$work/$1.wav" ) &
  writers+=($!)
}
open_gate() { timeout 30 sh -c ": >'$work/gate-$1'"; }

"$cli" "$sample" "$work/ref.wav" >"$work/ref-report"
mkdir "$work/in" "$work/out"
for k in 1 2 3; do cp "$sample" "$work/in/f$k.wav"; done

# A batch: the line shows while the last file waits for its input.
slow_input batch
run_line "'$cli' -t '$work/out' '$work'/in/*.wav '$work/batch.wav'"
# Once the three files are done (sooner or later, as fast as the build is).
wait_for '^wavchorus: 3/4 files, '
line=$(screen | grep -E -- "$progress" | tail -1)
echo "progress line: $line"
[ -n "$capture_file" ] && echo "$line" >"$capture_file"
check "batch: the line counts the files" grep -qE '^wavchorus: 3/4 files, ' <<<"$line"
open_gate batch
wait_for '^status '
shown=$(screen)
check "batch exits 0" grep -qx 'status 0' <<<"$shown"
check "batch: the line is gone" bash -c "! grep -qE -- '$progress' <<<'$shown'"
check "batch: the summary" grep -qx 'wavchorus: 4 files: 4 written, 0 failed' <<<"$shown"
check "batch: four whole reports" [ "$(grep -c '^Wave data is$' <<<"$shown")" -eq 4 ]
check "batch: no report line written into the progress line" \
  bash -c "! grep -E 'wavchorus: .*(Wave|Channel|Sample)|(Hz|ch|[0-9]) *wavchorus' <<<'$shown'"
report_lines=$(output | grep -v '^wavchorus' | sort | uniq -c | awk '{ print $1 }' | sort -u | tr '\n' ' ')
check "batch: every report line four times" [ "$report_lines" = "4 8 " ]
check "batch: the slow file's output" cmp -s "$work/out/batch.wav" "$work/ref.wav"

# One file that takes longer than a second, from a pipe.
slow_input single
run_line "'$cli' - '$work/single-out.wav' <'$work/single.wav'"
wait_for "^wavchorus: 0/1 files, 300.0 kB of 529.2 kB, "
line=$(screen | grep -E -- "$progress" | tail -1)
echo "progress line: $line"
[ -n "$capture_file" ] && echo "$line" >>"$capture_file"
open_gate single
wait_for '^status '
shown=$(screen)
check "single: exits 0" grep -qx 'status 0' <<<"$shown"
check "single: the line is gone" bash -c "! grep -qE -- '$progress' <<<'$shown'"
check "single: the report whole, and nothing else" [ "$(output)" = "$(grep -v '^$' "$work/ref-report")" ]
check "single: the output" cmp -s "$work/single-out.wav" "$work/ref.wav"

# A header alone that declares 4 GiB of mono, from a pipe: read at once, then
# padded with silence into a pipe that is not read for three seconds. The time
# left is not known then, and not 0:00.
printf 'RIFF\xff\xff\xff\xffWAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\xfe\xff\xff\xff' \
  >"$work/padded.wav"
run_line "cat '$work/padded.wav' | '$cli' -q - - | { sleep 3; cat >/dev/null; }"
wait_for "$progress"
line=$(screen | grep -E -- "$progress" | tail -1)
check "padding: the time left is not known" grep -qE -- ' 44 B, [0-9:]+ elapsed, --:-- left$' <<<"$line"
tmux_ send-keys -t 0 C-c
wait_for '^bash-[0-9.]+# ?$'

# A single regular file shows no line, even one that runs long: the same header
# as a file, padded into a pipe that is not read for a while (two seconds,
# beyond the one after which a stream's line shows).
run_line "'$cli' -q '$work/padded.wav' - | { sleep 30; cat >/dev/null; }"
sleep 2
check "a regular file: no line" bash -c "! tmux -L '$socket' capture-pane -p | grep -qE -- '$progress'"
tmux_ send-keys -t 0 C-c
wait_for '^bash-[0-9.]+# ?$'

# --no-progress: nothing while the file waits (two seconds, beyond the one
# after which the line would show).
slow_input quiet
run_line "'$cli' -q --no-progress '$work/quiet.wav' '$work/quiet-out.wav'"
sleep 2
check "--no-progress: no line" bash -c "! tmux -L '$socket' capture-pane -p | grep -qE -- '$progress'"
open_gate quiet
wait_for '^status '
check "--no-progress: exits 0" grep -qx 'status 0' <<<"$(screen)"
check "--no-progress: the output" cmp -s "$work/quiet-out.wav" "$work/ref.wav"

# The terminal is not an audio stream.
run_line "'$cli' '$sample' -"
wait_for '^status '
shown=$(screen)
check "OUT - on a terminal is refused" grep -qx 'status 2' <<<"$shown"
check "OUT - on a terminal is explained" grep -q 'standard output is a terminal' <<<"$shown"
run_line "'$cli' - '$work/never.wav'"
wait_for '^status '
shown=$(screen)
check "IN - from a terminal is refused" grep -qx 'status 2' <<<"$shown"
check "IN - from a terminal is explained" grep -q 'standard input is a terminal' <<<"$shown"
check "IN - from a terminal writes nothing" [ ! -e "$work/never.wav" ]

checks_done
