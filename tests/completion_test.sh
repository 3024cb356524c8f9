#!/usr/bin/env bash
# The bash completion of wavchorus, as bash calls it: options, directories after
# -t, WAV files for operands, anything after --; and of wavchorus-hosts.
#   completion_test.sh COMPLETION_FILE HOSTS_COMPLETION_FILE
set -uo pipefail
shopt -s extglob
# shellcheck source=/dev/null
source "$1"
# shellcheck source=/dev/null
source "$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p takes/one dir2
touch a.wav b.WAV notes.txt takes/t.wav
failures=0
pass=0
# completes WORDS... -> the sorted candidates for the last word
command=wavchorus
completes() {
  COMP_WORDS=("$command" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  "_${command//-/_}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' '
}
expect() { # name, expected, words...
  local name=$1 want=$2
  shift 2
  local got
  got=$(completes "$@")
  if [ "$got" = "$want" ]; then
    pass=$((pass + 1))
  else
    echo "FAIL: $name: got '$got', want '$want'"
    failures=$((failures + 1))
  fi
}
expect "long options" "--help --jobs= --no-progress --quiet --raw --target-directory= --version " --
expect "long options by prefix" "--no-progress " --no
expect "a directory after -t" "dir2 takes " -t ""
expect "a directory after --target-directory=" "takes " --target-directory=ta
expect "job counts after -j" "$(seq 1 "$(getconf _NPROCESSORS_ONLN)" | LC_ALL=C sort | tr '\n' ' ')" -j ""
expect "WAV files and directories" "a.wav b.WAV dir2 takes " ""
expect "WAV files below a directory" "takes/one takes/t.wav " takes/
expect "anything after --" "a.wav b.WAV dir2 notes.txt takes " -- ""
complete -p wavchorus | grep -q -- '-F _wavchorus' || { echo "FAIL: not registered"; failures=$((failures + 1)); }
command=wavchorus-hosts
expect "wavchorus-hosts: options" "--help --joblog= --resume-failed --retries= " --
expect "wavchorus-hosts: nothing for the hosts" " " --resume-failed ""
expect "wavchorus-hosts: WAV files after the hosts" "a.wav b.WAV dir2 takes " --joblog=x 8/alpha,: ""
complete -p wavchorus-hosts | grep -q -- '-F _wavchorus_hosts' ||
  { echo "FAIL: wavchorus-hosts not registered"; failures=$((failures + 1)); }
echo "$pass passed, $failures failed"
[ "$failures" -eq 0 ]
