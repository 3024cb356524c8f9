#!/usr/bin/env bash
# The recipe of wavchorus-hosts(1) for spreading an archive over machines with
# GNU parallel, run on this machine alone (:): each file's exit status in
# the job log, the bad file named on stderr, the status the number of failed
# files, and outputs equal to the single-file form's; then the same archive as
# batches, a chunk of files per job (-X). tests/ssh_hosts_test.sh runs the
# recipe over ssh hosts.
#   parallel_test.sh WAVCHORUS WAVCHORUS-HOSTS SAMPLE.wav
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
cli=$(realpath "$1")
hosts_script=$(realpath "$2")
sample=$(realpath "$3")
# The recipe calls both by name, as installed ones.
PATH=$(dirname "$cli"):$(dirname "$hosts_script"):$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v parallel >/dev/null || { echo "GNU parallel is not installed (Debian: parallel)"; exit 1; }

cd "$work" || exit 1
mkdir -p archive/2024 archive/2025
cp "$sample" archive/2024/pluck.wav
sox "$sample" -c 1 -r 8000 archive/2024/prompt.wav
sox "$sample" -c 1 -r 16000 "archive/2025/a name with spaces.wav"
head -c 30 "$sample" >archive/2025/cut.wav
mkdir expected
for f in archive/2024/pluck.wav archive/2024/prompt.wav "archive/2025/a name with spaces.wav"; do
  "$cli" "$f" "expected/$(basename "$f")" >/dev/null
done

# The recipe, with ":" (this machine) as the only host.
find archive -name '*.wav' ! -name '*.chorus.wav' -print0 |
  wavchorus-hosts --joblog=jobs.log : 2>stderr.txt
status=$?
check "the status is the number of failed files" [ "$status" -eq 1 ]
exit_of() { awk -F'\t' -v f="$1" 'index($9, f) { print $7 }' jobs.log; }
check "the job log gives the bad file exit 1" [ "$(exit_of archive/2025/cut.wav)" = 1 ]
check "the job log gives a good file exit 0" [ "$(exit_of archive/2024/prompt.wav)" = 0 ]
check "the bad file is named with its reason" \
  grep -qF 'cannot read input "archive/2025/cut.wav": shorter than the 44-byte WAV header' stderr.txt
for f in archive/2024/pluck archive/2024/prompt "archive/2025/a name with spaces"; do
  check "$f.chorus.wav is the single-file form's" cmp -s "$f.chorus.wav" "expected/$(basename "$f").wav"
done
check "no output for the bad file" [ ! -e archive/2025/cut.chorus.wav ]

# Batches of up to two files a job, into one directory.
mkdir flat
find archive -name '*.wav' ! -name '*.chorus.wav' -print0 |
  parallel --will-cite -0 --sshlogin : -X -N 2 wavchorus -q -t flat 2>batch-stderr.txt
status=$?
check "one failed batch makes parallel's status 1" [ "$status" -eq 1 ]
check "the batch names the bad file" grep -qF '"archive/2025/cut.wav": shorter' batch-stderr.txt
check "the failed batch sums up" grep -qE '^wavchorus: [0-9]+ files?: [0-9]+ written, 1 failed$' batch-stderr.txt
for f in pluck prompt "a name with spaces"; do
  check "flat/$f.wav is the single-file form's" cmp -s "flat/$f.wav" "expected/$f.wav"
done

checks_done
