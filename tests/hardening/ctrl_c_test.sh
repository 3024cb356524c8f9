#!/usr/bin/env bash
# Ctrl-C in a real terminal (tmux): wavchorus, run by a shell loop, stops with
# its one line, the shell sees status 130 and stops the loop too, the file in
# progress leaves nothing behind and the earlier output is intact.
#   ctrl_c_test.sh WAVCHORUS
set -euo pipefail
cli=$1
command -v tmux >/dev/null || { echo "FAIL: tmux is not installed"; exit 1; }
work=$(mktemp -d) # the outputs' directory, nothing else in it
aside=$(mktemp -d) # the terminal's socket and what the shell reports
sock=$aside/tmux.sock
trap 'tmux -S "$sock" kill-server 2>/dev/null || true; rm -rf "$work" "$aside"' EXIT

# 20 minutes of 16-bit stereo silence at 44.1 kHz: a run of a few tenths of a
# second, long enough to be caught writing.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"
  printf "\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
bytes=$((1200 * 44100 * 4))
{ printf 'RIFF'; le32 $((bytes + 36)); printf 'WAVEfmt '; le32 16; printf '\001\000\002\000'
  le32 44100; le32 176400; printf '\004\000\020\000data'; le32 $bytes
  head -c $bytes /dev/zero; } >"$work/in.wav"
printf 'earlier' >"$work/out.wav"

tmux -S "$sock" new-session -d -x 160 -y 20 "bash --norc --noprofile"
type_line() { tmux -S "$sock" send-keys -l "$1"; tmux -S "$sock" send-keys Enter; }
# Each run writes its pid before it becomes wavchorus; a round that finishes
# says so in the status file.
type_line "for round in 1 2; do bash -c 'echo \$\$ >$aside/pid; exec \"\$0\" \"\$@\"' $cli $work/in.wav $work/out.wav >/dev/null; echo \"round \$round: \$?\" >>$aside/rounds; done"

# Bounded waits for what the other processes do, not measurements.
wait_for() { # seconds, condition...
  local tries=$(($1 * 100))
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ $tries -gt 0 ] || return 1
    sleep 0.01
  done
}
# wavchorus has its output open: an unnamed file shows as "DIR/#INODE (deleted)".
writing() {
  local pid
  pid=$(cat "$aside/pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$work/#.*(deleted)"
}
fail_now() {
  echo "FAIL: $*"
  tmux -S "$sock" capture-pane -p
  exit 1
}
wait_for 20 writing || fail_now "wavchorus was not seen writing its output"
tmux -S "$sock" send-keys C-c
# The next line is typed once wavchorus has ended, so that the terminal's echo of
# it cannot land inside wavchorus's line.
gone() { [ ! -e "/proc/$(cat "$aside/pid")" ]; }
wait_for 30 gone || fail_now "wavchorus did not end on Ctrl-C"
type_line "echo \"after the loop: \$?\" >$aside/after"
wait_for 30 test -s "$aside/after" || fail_now "the shell did not come back"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ "$(cat "$aside/after")" = "after the loop: 130" ] || fail "the shell saw: $(cat "$aside/after")"
[ ! -e "$aside/rounds" ] || fail "the loop went on after Ctrl-C: $(tr '\n' ' ' <"$aside/rounds")"
tmux -S "$sock" capture-pane -p | grep -qx '^^Cwavchorus: stopped by SIGINT *' ||
  fail "the terminal does not show the line: $(tmux -S "$sock" capture-pane -p)"
left=$(ls -A "$work" | tr '\n' ' ')
[ "$left" = "in.wav out.wav " ] || fail "the directory holds: $left"
printf earlier | cmp -s - "$work/out.wav" || fail "the earlier output was changed"
[ $failures -eq 0 ] && echo "Ctrl-C: passed"
exit $failures
