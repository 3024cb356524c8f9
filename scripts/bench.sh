#!/usr/bin/env bash
# The benchmark (not part of the test suite): builds in build-bench, writes the
# input files to a temporary directory, and prints a Markdown report of
#   - the engine alone, in values per second (Google Benchmark);
#   - whole-file times side by side with hyperfine: wavchorus, cp of the same
#     file (the floor), ffmpeg's and sox's chorus with one voice, and the
#     straightforward reference build of our signal path, on a 10-minute, a
#     1-second and a 1,000-frame 44.1 kHz stereo file, as medians and ratios;
#   - peak memory (/usr/bin/time -v) for a 1-minute and a 60-minute file.
# Takes two to four minutes and about 1.5 GB of temporary disk space.
#   scripts/bench.sh [REPORT.md]    the report goes to stdout and, if given, to REPORT.md
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
report_file=${1:-}

scripts/deps.sh bench
build=$root/build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target wavchorus wavchorus_reference make_bench_wav engine_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/mavrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
wavchorus=$build/cli/wavchorus
reference=$build/bench/wavchorus_reference
make_wav=$build/bench/make_bench_wav
rate=44100

say() { echo "bench: $*" >&2; }

# The same five commands for every input; the outputs go to the temporary
# directory and are overwritten on every run, as a user's would be. With "all",
# also cp into a temporary file renamed over the output: the floor for a program
# that, like wavchorus, replaces its output only once it is complete.
commands() {
  local in=$1
  if [ "${2:-}" = all ]; then
    printf '%s\n' "cp+rename" "$work/cp-rename.sh $in $work/out-cp-rename.wav"
  fi
  printf '%s\n' \
    "cp" "cp $in $work/out-cp.wav" \
    "wavchorus" "$wavchorus $in $work/out-wavchorus.wav" \
    "ffmpeg" "ffmpeg -nostdin -hide_banner -loglevel error -y -i $in -af chorus=in_gain=1:out_gain=1:delays=25:decays=1:speeds=0.1:depths=10 $work/out-ffmpeg.wav" \
    "sox" "sox $in $work/out-sox.wav chorus 1 1 25 1 0.1 10 -s" \
    "reference" "$reference $in $work/out-reference.wav"
}

# time_set NAME INPUT WARMUP RUNS ROUNDS [all]: hyperfine over the commands,
# ROUNDS times with RUNS runs each, so that a burst of load from elsewhere falls
# on every tool alike; NAME.tsv gets each tool's median over all its runs.
time_set() {
  local name=$1 in=$2 warmup=$3 runs=$4 rounds=$5 which=${6:-}
  local args=()
  while IFS= read -r label && IFS= read -r cmd; do
    args+=(-n "$label" "$cmd")
  done < <(commands "$in" "$which")
  say "timing $name ($rounds rounds of $runs runs each)"
  local round
  for round in $(seq "$rounds"); do
    hyperfine -N --style none --warmup "$warmup" --runs "$runs" \
      --export-json "$work/$name-$round.json" "${args[@]}" >/dev/null
  done
  jq -rs '[.[].results[]] | group_by(.command) | .[]
      | { name: .[0].command, times: ([.[].times[]] | sort),
          cpu: (map(.user + .system) | add / length) }
      | "\(.name)\t\(.times[(.times | length) / 2 | floor])\t\(.cpu)"' \
    "$work/$name"-*.json >"$work/$name.tsv"
}

# A Markdown table of the medians of NAME.tsv with their ratios to cp and to
# wavchorus.
table() {
  local name=$1 title=$2
  echo
  echo "### $title"
  echo
  echo "| Tool | Median time | Ratio to cp | Ratio to wavchorus | CPU time (user + system) |"
  echo "|---|---:|---:|---:|---:|"
  local tool
  for tool in cp cp+rename wavchorus ffmpeg sox reference; do
    awk -F'\t' -v tool="$tool" '{ by[$1] = $2; cpu[$1] = $3 }
      END { if (tool in by)
              printf "| %s | %.1f ms | %.2f | %.2f | %.1f ms |\n", tool, by[tool] * 1000,
                by[tool] / by["cp"], by[tool] / by["wavchorus"], cpu[tool] * 1000 }' \
      "$work/$name.tsv"
  done
}

median_of() { awk -F'\t' -v want="$2" '$1 == want { print $2 }' "$work/$1.tsv"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v v="$1" -v op="$2" -v limit="$3" 'BEGIN {
  ok = (op == "<=") ? v <= limit : v >= limit; print ok ? "met" : "NOT met" }'; }

# The median over five runs of the maximum resident set size in KiB, which
# varies by some 100 KiB from run to run.
peak_kib() {
  local k
  for k in 1 2 3 4 5; do
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
  done | sort -n | sed -n 3p
}

printf '#!/bin/sh\ncp "$1" "$2.tmp" && mv "$2.tmp" "$2"\n' >"$work/cp-rename.sh"
chmod +x "$work/cp-rename.sh"

say "writing the input files"
"$make_wav" "$work/ten-minutes.wav" $((600 * rate))
"$make_wav" "$work/one-second.wav" $rate
"$make_wav" "$work/thousand-frames.wav" 1000
"$make_wav" "$work/one-minute.wav" $((60 * rate))

# Every output byte of the fast engine is the reference's.
"$wavchorus" "$work/ten-minutes.wav" "$work/check-fast.wav" >/dev/null
"$reference" "$work/ten-minutes.wav" "$work/check-reference.wav" >/dev/null
if ! cmp -s "$work/check-fast.wav" "$work/check-reference.wav"; then
  echo "bench: wavchorus and the reference build differ on the 10-minute file" >&2
  exit 1
fi
rm -f "$work/check-fast.wav" "$work/check-reference.wav"

say "running the engine benchmark"
engine=$("$build/bench/engine_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)

time_set ten "$work/ten-minutes.wav" 1 4 4 all
time_set second "$work/one-second.wav" 10 30 10
time_set thousand "$work/thousand-frames.wav" 10 30 10

say "measuring peak memory (the 60-minute file is written, used and deleted)"
mem_fast_1=$(peak_kib "$wavchorus" "$work/one-minute.wav" "$work/out-mem.wav")
mem_ref_1=$(peak_kib "$reference" "$work/one-minute.wav" "$work/out-mem.wav")
"$make_wav" "$work/sixty-minutes.wav" $((3600 * rate))
mem_fast_60=$(peak_kib "$wavchorus" "$work/sixty-minutes.wav" "$work/out-mem.wav")
mem_ref_60=$(peak_kib "$reference" "$work/sixty-minutes.wav" "$work/out-mem.wav")
rm -f "$work/sixty-minutes.wav" "$work/out-mem.wav"

fast_ten=$(median_of ten wavchorus)
cp_ten=$(median_of ten cp)
ffmpeg_ten=$(median_of ten ffmpeg)
fast_small=$(median_of thousand wavchorus)
ref_small=$(median_of thousand reference)
r_cp=$(ratio "$fast_ten" "$cp_ten")
r_ffmpeg=$(ratio "$ffmpeg_ten" "$fast_ten")
r_small=$(ratio "$fast_small" "$ref_small")

{
  echo "## Benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(lscpu | awk -F': *' '/^Model name/ { print $2 }'), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM," \
    "$(uname -sr), $(df -T "$work" | awk 'NR == 2 { print $2 }') temporary directory;" \
    "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Inputs: 16-bit stereo at $rate Hz, tones and noise. Each tool writes over its output"
  echo "of the previous run, as a user's would; cp copies the file unchanged (the I/O floor)."
  echo "Times are medians over all runs of several rounds; CPU time is the mean user + system"
  echo "time, which leaves out waiting for the disk."
  echo
  echo "### The engine alone"
  echo
  echo "| Engine | Rate | Values per second |"
  echo "|---|---:|---:|"
  echo "$engine" | awk -F, '/^"BM_/ {
      split($1, part, "/"); gsub(/"|BM_/, "", part[1]); gsub(/"/, "", part[2])
      for (i = 1; i <= NF; i++) if (header[i] == "items_per_second") ips = $i
      printf "| %s | %s Hz | %.1f M |\n", part[1], part[2], ips / 1e6 }
    /^name,/ { for (i = 1; i <= NF; i++) header[i] = $i }'
  table ten "10-minute file (26,460,000 frames, 106 MB)"
  table second "1-second file (44,100 frames)"
  table thousand "1,000-frame file"
  echo
  echo "### Peak memory (maximum resident set size)"
  echo
  echo "| Program | 1-minute file | 60-minute file |"
  echo "|---|---:|---:|"
  echo "| wavchorus | $mem_fast_1 KiB | $mem_fast_60 KiB |"
  echo "| reference | $mem_ref_1 KiB | $mem_ref_60 KiB |"
  echo
  echo "### Targets"
  echo
  echo "| Target | Measured | |"
  echo "|---|---:|---|"
  echo "| wavchorus at most 1.5 x cp (10 minutes) | $r_cp x | $(check "$r_cp" "<=" 1.5) |"
  echo "| ffmpeg at least 3 x wavchorus (10 minutes) | $r_ffmpeg x | $(check "$r_ffmpeg" ">=" 3) |"
  echo "| 1,000 frames no slower than the reference | $r_small x | $(check "$r_small" "<=" 1) |"
  # The same within the run-to-run spread of a few pages.
  echo "| same peak memory for 1 and 60 minutes | $mem_fast_1 / $mem_fast_60 KiB |" \
    "$(awk -v a="$mem_fast_1" -v b="$mem_fast_60" 'BEGIN {
      d = a - b; if (d < 0) d = -d; print d <= 128 ? "met" : "NOT met" }') |"
} | tee ${report_file:+"$report_file"}

# --- Writing the output, before and after unnamed files -----------------------
# The same command line built from the tree just before outputs went to unnamed
# files (the parent of the commit that added src/file/UnnamedFile_linux.cpp),
# timed against this one: replacing an earlier output that is not the input
# (the common case, which must be no slower), a new output, a 1-second file, and
# in place, where this build now syncs the data and the directory.
output_section() {
  echo
  echo "### Writing the output: before and after unnamed files"
  echo
  local added
  added=$(git -C "$root" log --diff-filter=A --format=%H -- src/file/UnnamedFile_linux.cpp \
    2>/dev/null | tail -1)
  if [ -z "$added" ] || ! git -C "$root" cat-file -e "$added^{commit}" 2>/dev/null ||
    ! git -C "$root" cat-file -e "$added^" 2>/dev/null; then
    echo "Skipped: the history before src/file/UnnamedFile_linux.cpp is not in this clone."
    return
  fi
  local before_rev before_src=$build/before-src before_build=$build/before
  before_rev=$(git -C "$root" rev-parse --short "$added^")
  say "building the command line of $before_rev (before unnamed files)"
  rm -rf "$before_src"
  mkdir -p "$before_src"
  git -C "$root" archive "$added^" | tar -x -C "$before_src"
  cmake -S "$before_src" -B "$before_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=OFF \
    -DMAVREL_WAV_CHORUS_INSTALL=OFF >/dev/null
  cmake --build "$before_build" --target wavchorus >/dev/null
  local old=$before_build/cli/wavchorus new=$wavchorus
  local ten=$work/ten-minutes.wav second=$work/one-second.wav

  "$old" "$ten" "$work/check-before.wav" >/dev/null
  "$new" "$ten" "$work/check-after.wav" >/dev/null
  if ! cmp -s "$work/check-before.wav" "$work/check-after.wav"; then
    echo "bench: the two builds write different bytes" >&2
    exit 1
  fi
  rm -f "$work/check-before.wav" "$work/check-after.wav"
  cp "$ten" "$work/in-place-before.wav"
  cp "$ten" "$work/in-place-after.wav"

  # out_set NAME RUNS ROUNDS [PREPARE-BEFORE PREPARE-AFTER] -- BEFORE AFTER:
  # both commands in each round; NAME.tsv gets the median of each.
  out_set() {
    local name=$1 runs=$2 rounds=$3 prep_old=$4 prep_new=$5 cmd_old=$6 cmd_new=$7 round
    say "timing $name ($rounds rounds of $runs runs each)"
    for round in $(seq "$rounds"); do
      hyperfine -N --style none --warmup 1 --runs "$runs" --export-json "$work/$name-$round.json" \
        --prepare "$prep_old" -n before "$cmd_old" --prepare "$prep_new" -n after "$cmd_new" \
        >/dev/null
    done
    jq -rs '[.[].results[]] | group_by(.command) | .[]
        | { name: .[0].command, times: ([.[].times[]] | sort) }
        | "\(.name)\t\(.times[(.times | length) / 2 | floor])\t\(.times[0])\t\(.times[-1])"' \
      "$work/$name"-*.json >"$work/$name.tsv"
  }
  # Writes the earlier outputs first, so that each run replaces one.
  "$old" "$ten" "$work/replaced-before.wav" >/dev/null
  "$new" "$ten" "$work/replaced-after.wav" >/dev/null
  out_set out-replace 4 5 true true \
    "$old $ten $work/replaced-before.wav" "$new $ten $work/replaced-after.wav"
  out_set out-new 4 3 "rm -f $work/new-before.wav" "rm -f $work/new-after.wav" \
    "$old $ten $work/new-before.wav" "$new $ten $work/new-after.wav"
  out_set out-second 30 5 true true \
    "$old $second $work/second-before.wav" "$new $second $work/second-after.wav"
  out_set out-in-place 4 3 true true \
    "$old $work/in-place-before.wav $work/in-place-before.wav" \
    "$new $work/in-place-after.wav $work/in-place-after.wav"
  rm -f "$work"/replaced-*.wav "$work"/new-*.wav "$work"/second-*.wav "$work"/in-place-*.wav

  echo "Before: $before_rev, the output written to a named temporary file and renamed over"
  echo "the target, never synced. After: this tree, an unnamed file (O_TMPFILE) linked to its"
  echo "name, synced only in place. Medians, with the fastest and slowest run."
  echo
  echo "| Run | Before | After | After / before |"
  echo "|---|---:|---:|---:|"
  local set title
  for set in out-replace:"10 minutes, replacing an earlier output" \
    out-new:"10 minutes, new output" out-second:"1 second, replacing an earlier output" \
    out-in-place:"10 minutes, in place (after: data and directory synced)"; do
    title=${set#*:}
    awk -F'\t' -v title="$title" '{ m[$1] = $2; lo[$1] = $3; hi[$1] = $4 }
      END { printf "| %s | %.1f ms (%.1f–%.1f) | %.1f ms (%.1f–%.1f) | %.2f |\n", title,
              m["before"] * 1000, lo["before"] * 1000, hi["before"] * 1000,
              m["after"] * 1000, lo["after"] * 1000, hi["after"] * 1000, m["after"] / m["before"] }' \
      "$work/${set%%:*}.tsv"
  done
  local r
  r=$(awk -F'\t' '{ m[$1] = $2 } END { printf "%.2f", m["after"] / m["before"] }' \
    "$work/out-replace.tsv")
  echo
  # Within 3 %: the spread of the medians from one round to the next.
  echo "Replacing an output that is not the input no slower than before (10 minutes):" \
    "$r x, $(check "$r" "<=" 1.03)."
}
output_section | tee ${report_file:+-a "$report_file"}
# Many short files in one process: its own section (scripts/bench-batch.sh).
scripts/bench-batch.sh "$wavchorus" | tee ${report_file:+-a "$report_file"}
