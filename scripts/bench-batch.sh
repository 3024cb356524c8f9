#!/usr/bin/env bash
# The batch section of the benchmark (scripts/bench.sh runs it at its end; it
# also runs alone): a directory of short speech prompts, as a telephony system
# keeps them (8 kHz mono, 10 to 90 KB, spoken by espeak-ng from varied
# sentences), chorused
#   - by one `wavchorus -q -t DIR` over all of them (and with -j 1, one thread);
#   - by a shell loop of `wavchorus IN OUT`, one process per file;
#   - by a shell loop of sox's chorus, one voice (chorus 1 1 25 1 0.1 10 -s).
# It checks first that the batch writes exactly the bytes of the single-file
# form, then prints a Markdown section with medians (hyperfine) and the targets
# (the batch at least 5 x faster than the wavchorus loop, 20 x than the sox
# loop): in the temporary directory, on the disk, over the outputs of the
# previous run and into empty directories, and in /dev/shm, in memory, where a
# new file costs nothing of the file system's own.
#   scripts/bench-batch.sh [WAVCHORUS]   (default: builds build-bench)
# Environment: PROMPTS (number of prompts, 520), BATCH_RUNS (10).
set -euo pipefail
cd "$(dirname "$0")/.."
prompts=${PROMPTS:-520}
runs=${BATCH_RUNS:-10}
. scripts/bench-common.sh
hyper_shell=--shell=bash
wavchorus=${1:-$PWD/build-bench/cli/wavchorus}
[ $# -ge 1 ] || build_bench wavchorus
work=$(mktemp -d "${TMPDIR:-/tmp}/mavrel-bench-batch.XXXXXX")
cleanup_dirs=("$work")
trap 'rm -rf "${cleanup_dirs[@]}"' EXIT

# Sentences of 3 to 14 words from a telephony vocabulary, the same every run.
say "speaking $prompts prompts with espeak-ng"
mkdir "$work/prompts"
words=(please press one two three four five six seven eight nine zero to for
  your call account balance payment is being transferred hold the line our
  agents are busy thank you calling option main menu repeat again record after
  tone message goodbye welcome service customer number enter followed by hash
  key pound star sorry that was not valid try later office hours monday friday
  from until closed today invoice order status delivery address confirm cancel)
RANDOM=42
mkdir "$work/text"
made=0
while [ "$made" -lt "$prompts" ]; do
  n=$((3 + RANDOM % 12))
  sentence=
  for ((k = 0; k < n; k++)); do sentence+="${words[RANDOM % ${#words[@]}]} "; done
  printf '%s\n' "$sentence" >"$work/text/$(printf 'prompt-%04d' "$made").txt"
  made=$((made + 1))
done
# shellcheck disable=SC2016
find "$work/text" -name '*.txt' -print0 | xargs -0 -P 2 -n 16 bash -c '
  for t in "$@"; do
    out=${t%.txt}.wav; out=${out/\/text\//\/prompts\/}
    espeak-ng --stdout -f "$t" | sox -q -t wav - -r 8000 -c 1 -b 16 -e signed-integer "$out"
  done' bash
sizes=$(find "$work/prompts" -name '*.wav' -printf '%s\n' | sort -n)
count=$(echo "$sizes" | wc -l)
smallest=$(echo "$sizes" | head -1)
largest=$(echo "$sizes" | tail -1)
total=$(echo "$sizes" | awk '{ s += $1 } END { print s }')
[ "$count" -eq "$prompts" ] || { say "made $count prompts of $prompts"; exit 1; }

# The batch writes exactly what the single-file form writes.
mkdir "$work/single" "$work/batch"
for f in "$work"/prompts/*.wav; do "$wavchorus" -q "$f" "$work/single/${f##*/}"; done
"$wavchorus" -q -t "$work/batch" "$work"/prompts/*.wav
for f in "$work"/prompts/*.wav; do
  cmp -s "$work/single/${f##*/}" "$work/batch/${f##*/}" ||
    { say "the batch's ${f##*/} differs from the single-file form's"; exit 1; }
done
say "the batch's $count outputs equal the single-file form's"

# time_in DIR TITLE [new]: the four commands on a copy of the prompts in DIR, as
# a Markdown section. The outputs are written over on every run, as a user's
# would be when running the batch again; with "new", every run writes into
# empty directories, as the first run does.
time_in() {
  local base=$1 title=$2 fresh=${3:-} w
  w=$(mktemp -d "$base/mavrel-bench-batch.XXXXXX")
  cleanup_dirs+=("$w")
  cp -r "$work/prompts" "$w/prompts"
  mkdir "$w/batch" "$w/single" "$w/sox"
  local p=$w/prompts
  # Before each run: nothing, or empty output directories.
  local empty=true
  if [ -n "$fresh" ]; then
    empty="rm -rf $w/batch $w/single $w/sox && mkdir $w/batch $w/single $w/sox"
  fi
  hyper "$title" 1 "$runs" 1 --prepare "$empty" \
    "wavchorus -q -t DIR (one process)" "$wavchorus -q -t $w/batch $p/*.wav" \
    "wavchorus -q -j 1 -t DIR (one thread)" "$wavchorus -q -j 1 -t $w/batch $p/*.wav"
  hyper "$title" 1 5 1 --prepare "$empty" "shell loop of wavchorus IN OUT" \
    "for f in $p/*.wav; do $wavchorus \"\$f\" \"$w/single/\${f##*/}\"; done"
  hyper "$title" 1 3 1 --prepare "$empty" "shell loop of sox's chorus" \
    "for f in $p/*.wav; do sox -V1 \"\$f\" \"$w/sox/\${f##*/}\" chorus 1 1 25 1 0.1 10 -s; done"
  heading "#### $title ($(df -T "$w" | awk 'NR == 2 { print $2 }') at $base)"
  columns Command "Median time" "Per file" "Ratio to the batch" "CPU time (user + system)"
  figures 'b = med(s, "wavchorus -q -t DIR (one process)")
    for (i = 1; i <= names(s, t); i++)
      printf "| %s | %.0f ms | %.2f ms | %.1f | %.0f ms |\n", t[i], med(s, t[i]) * 1000,
        med(s, t[i]) * 1000 / n, med(s, t[i]) / b, cpu(s, t[i]) * 1000' s="$title" n="$count"
  echo
  columns Target Measured ""
  figures 'b = med(s, "wavchorus -q -t DIR (one process)")
    target("the batch at least 5 x faster than a shell loop of wavchorus",
      sprintf("%.1f", med(s, "shell loop of wavchorus IN OUT") / b), ">=", 5)
    target("the batch at least 20 x faster than a shell loop of sox\047s chorus",
      sprintf("%.1f", med(s, "shell loop of sox\047s chorus") / b), ">=", 20)' s="$title"
  rm -rf "$w"
}

heading "### Many short files: $count speech prompts in one directory"
echo "8 kHz mono 16-bit prompts spoken by espeak-ng, $smallest to $largest bytes," \
  "$(awk -v t="$total" 'BEGIN { printf "%.1f MB", t / 1e6 }') in all; $(nproc) cores;" \
  "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg). The batch's $count outputs" \
  "equal the single-file form's, byte for byte."
time_in "${TMPDIR:-/tmp}" "On the disk, over the outputs of the previous run"
# A first run, into an empty target directory: no earlier output is replaced,
# so the file system neither writes the new file out at the rename (ext4 does,
# to keep a replaced file whole through a crash) nor frees the old one.
time_in "${TMPDIR:-/tmp}" "On the disk, into an empty directory" new
# In memory, without the file system's own cost of a new file.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  time_in /dev/shm "In memory"
fi
