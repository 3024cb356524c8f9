#!/usr/bin/env bash
# The benchmark (not part of the test suite): builds in build-bench, writes the
# input files to a temporary directory, and prints a Markdown report of
#   - the engine alone, in values per second (Google Benchmark);
#   - whole-file times side by side with hyperfine: wavchorus, cp of the same
#     file, cp to a temporary file renamed over the output and a plain program
#     that reads the file, writes it to a temporary file and renames that (the
#     floors of replacing a file), ffmpeg's and sox's chorus with one voice, and
#     the reference build (the test suite's straightforward model behind the
#     same entry point), on a 10-minute, a 1-second and a 1,000-frame 44.1 kHz
#     stereo file, as medians and ratios;
#   - short files in a host process: call_loop calls WAVChorus many times in one
#     process, side by side with the floor of the same work in the same process,
#     for a 17 KB 8 kHz prompt and a 1-second 44.1 kHz stereo file;
#   - instructions in user space (callgrind, which the machine's load does not
#     change): per call, and per frame of the 10-minute file, before and after;
#   - peak memory (/usr/bin/time -v) for a 1-minute and a 60-minute file;
#   - decoding: a 10-minute 24-bit file against the 16-bit one and sox's two steps;
#   - writing the output before and after unnamed files; the engine before and
#     after stereo frames in place; many short files (scripts/bench-batch.sh);
#     the LV2 plugin against the engine;
#   - the targets, met or not.
# Takes some twenty minutes on a 2-core machine (26 with other builds running)
# and about 1.5 GB of temporary disk space.
#   scripts/bench.sh [REPORT.md]    the report goes to stdout and, if given, to REPORT.md
#   scripts/bench.sh --instructions [REPORT.md]    the instruction counts alone
#     (before and after), a few minutes
#   scripts/bench.sh --times [REPORT.md]    the times, memory, decoding and targets
#     alone, without the instruction counts and the later sections, some minutes
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
only=
case "${1:-}" in
  --instructions) only=instructions && shift ;;
  --times) only=times && shift ;;
esac
report_file=${1:-}

scripts/deps.sh bench
build=$root/build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target wavchorus wavchorus_reference make_bench_wav engine_bench \
  call_loop >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/mavrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
wavchorus=$build/cli/wavchorus
reference=$build/bench/wavchorus_reference
make_wav=$build/bench/make_bench_wav
call_loop=$build/bench/call_loop
library=$build/src/libMavrelWAVChorus.so
reference_library=$build/bench/libMavrelWAVChorusReference.so
rate=44100
frames_ten=$((600 * rate))
mkdir "$work/plain" "$work/host"
printf '#!/bin/sh\ncp "$1" "$2.tmp" && mv "$2.tmp" "$2"\n' >"$work/cp-rename.sh"
chmod +x "$work/cp-rename.sh"

say() { echo "bench: $*" >&2; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v v="$1" -v op="$2" -v limit="$3" 'BEGIN {
  ok = (op == "<=") ? v <= limit : v >= limit; print ok ? "met" : "NOT met" }'; }
# The value of KEY in column 2 (or COLUMN) of the table NAME.tsv.
get() { awk -F'\t' -v k="$2" -v c="${3:-2}" '$1 == k { print $c }' "$work/$1.tsv"; }

# --- Measuring: each way is written once --------------------------------------

# The commands for an input, as label and command line; the outputs are
# overwritten on every run, as a user's would be. floors: cp, cp into a
# temporary file renamed over the output, and the plain program (call_loop with
# no library), the floors for a program that, like wavchorus, replaces its
# output only once it is complete, then wavchorus; peers: the other choruses and
# the reference build; all: cp, wavchorus and the peers.
commands() {
  local in=$1 which=$2
  if [ "$which" != peers ]; then
    printf '%s\n' cp "cp $in $work/out-cp.wav"
  fi
  if [ "$which" = floors ]; then
    printf '%s\n' cp+rename "$work/cp-rename.sh $in $work/out-cp-rename.wav" \
      plain "$call_loop --calls 1 --warmup 0 --results $work/plain.tsv $in $work/plain"
  fi
  if [ "$which" != peers ]; then
    printf '%s\n' wavchorus "$wavchorus $in $work/out-wavchorus.wav"
  fi
  if [ "$which" != floors ]; then
    printf '%s\n' \
      ffmpeg "ffmpeg -nostdin -hide_banner -loglevel error -y -i $in -af chorus=in_gain=1:out_gain=1:delays=25:decays=1:speeds=0.1:depths=10 $work/out-ffmpeg.wav" \
      sox "sox $in $work/out-sox.wav chorus 1 1 25 1 0.1 10 -s" \
      reference "$reference $in $work/out-reference.wav"
  fi
}

# hyper NAME ROUNDS RUNS WARMUP [--prepare CMD] LABEL CMD...: hyperfine over the
# commands (each after its own CMD of --prepare, when given), ROUNDS times with
# RUNS runs each, so that a burst of load from elsewhere falls on every command
# alike. WARMUP "round": one run of each in turn first, not counted; with RUNS 1
# the commands then take turns, each finding the disk as the others leave it.
# NAME.tsv: each one's median over all its runs, its mean CPU time (user +
# system), its fastest and its slowest run, from the runs of NAME and of any set
# named NAME-something.
hyper() {
  local name=$1 rounds=$2 runs=$3 warmup=$4 round args=()
  shift 4
  while [ $# -gt 0 ]; do
    if [ "$1" = --prepare ]; then
      args+=(--prepare "$2")
    else
      args+=(-n "$1" "$2")
    fi
    shift 2
  done
  say "timing $name ($rounds rounds of $runs runs each)"
  if [ "$warmup" = round ]; then
    hyperfine -N --style none --runs 1 "${args[@]}" >/dev/null
    warmup=0
  fi
  for round in $(seq "$rounds"); do
    hyperfine -N --style none --warmup "$warmup" --runs "$runs" \
      --export-json "$work/$name-$round.json" "${args[@]}" >/dev/null
  done
  summarise "$name"
}
summarise() {
  jq -rs '[.[].results[]] | group_by(.command) | .[]
      | { name: .[0].command, times: ([.[].times[]] | sort),
          cpu: (map(.user + .system) | add / length) }
      | "\(.name)\t\(.times[(.times | length) / 2 | floor])\t\(.cpu)\t\(.times[0])\t\(.times[-1])"' \
    "$work/$1"-*.json >"$work/$1.tsv"
}
# time_file NAME INPUT WHICH ROUNDS RUNS WARMUP: hyper over commands().
time_file() {
  local name=$1 in=$2 which=$3 args=()
  shift 3
  mapfile -t args < <(commands "$in" "$which")
  hyper "$name" "$@" "${args[@]}"
}

# host_set NAME INPUT CALLS ROUNDS [NAME=LIBRARY]...: ROUNDS processes of
# call_loop, each timing CALLS calls of the floor and of each library side by
# side (default: wavchorus and the reference); NAME.tsv: each one's median over
# the rounds of its per-call medians (wall and CPU).
host_set() {
  local name=$1 in=$2 calls=$3 rounds=$4 round
  shift 4
  [ $# -gt 0 ] || set -- wavchorus="$library" reference="$reference_library"
  say "calling the library in one process: $name ($rounds rounds of $calls calls)"
  for round in $(seq "$rounds"); do
    "$call_loop" --calls "$calls" --warmup 50 --results "$work/host-$name-$round.tsv" \
      "$in" "$work/host" "$@" >/dev/null
  done
  awk -F'\t' '{ wall[$1] = wall[$1] " " $2; cpu[$1] = cpu[$1] " " $3 }
    function median(list,   v, n, i, j, t) {
      n = split(list, v, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      return v[int((n + 1) / 2)]
    }
    END { for (k in wall) printf "%s\t%s\t%s\n", k, median(wall[k]), median(cpu[k]) }' \
    "$work/host-$name"-*.tsv >"$work/host-$name.tsv"
}

# Instructions in user space of a command (callgrind, every thread).
instructions() {
  valgrind --tool=callgrind --separate-threads=no --callgrind-out-file="$work/callgrind.out" \
    "$@" >/dev/null 2>"$work/callgrind.log"
  sed -n 's/^summary: //p' "$work/callgrind.out"
  rm -f "$work/callgrind.out"
}
# call_loop's instructions for CALLS calls of INPUT [with LIBRARY], each after
# the floor's own work.
loop_instructions() {
  instructions "$call_loop" --calls "$1" --warmup 0 --results "$work/callgrind.tsv" "$2" \
    "$work/host" ${3:+x="$3"}
}
# Instructions of one call of INPUT [with LIBRARY] (the floor's included), from
# the difference between 40 and 20 calls: the loader and the first calls cancel.
per_call() {
  echo $((($(loop_instructions 40 "$@") - $(loop_instructions 20 "$@")) / 20))
}

# peak_kib CMD...: the median over five runs of the maximum resident set size in
# KiB, which varies by some 100 KiB from run to run.
peak_kib() {
  local k
  for k in 1 2 3 4 5; do
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
  done | sort -n | sed -n 3p
}

# build_at REV DIR TARGET...: the tree of REV, built in DIR.
build_at() {
  local rev=$1 dir=$2
  shift 2
  say "building $* of $(git -C "$root" rev-parse --short "$rev")"
  rm -rf "$dir-src"
  mkdir -p "$dir-src"
  git -C "$root" archive "$rev" | tar -x -C "$dir-src"
  cmake -S "$dir-src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=OFF \
    -DMAVREL_WAV_CHORUS_INSTALL=OFF >/dev/null
  cmake --build "$dir" --target "$@" >/dev/null
}
# The parent of the commit that first gave PATH (or changed it to hold TEXT);
# empty when that history is not in this clone.
parent_of_first() {
  local path=$1 text=${2:-} first
  if [ -n "$text" ]; then
    first=$(git -C "$root" log --format=%H -S "$text" -- "$path" 2>/dev/null | tail -1)
  else
    first=$(git -C "$root" log --diff-filter=A --format=%H -- "$path" 2>/dev/null | tail -1)
  fi
  if [ -n "$first" ] && git -C "$root" cat-file -e "$first^" 2>/dev/null; then
    git -C "$root" rev-parse "$first^"
  fi
}

# --- Printing ------------------------------------------------------------------

# A Markdown table of the medians of NAME.tsv with their ratios to cp and to
# wavchorus.
table() {
  echo
  echo "### $2"
  echo
  echo "| Tool | Median time | Ratio to cp | Ratio to wavchorus | CPU time (user + system) |"
  echo "|---|---:|---:|---:|---:|"
  awk -F'\t' '{ by[$1] = $2; cpu[$1] = $3 }
    END { n = split("cp cp+rename plain wavchorus ffmpeg sox reference", order, " ")
          for (i = 1; i <= n; i++) if ((t = order[i]) in by)
            printf "| %s | %.1f ms | %.2f | %.2f | %.1f ms |\n", t, by[t] * 1000,
              by[t] / by["cp"], by[t] / by["wavchorus"], cpu[t] * 1000 }' "$work/$1.tsv"
}
host_table() {
  echo
  echo "### $2"
  echo
  echo "| In one process | Median wall time per call | Ratio to the floor | Median CPU time per call | Ratio to the floor |"
  echo "|---|---:|---:|---:|---:|"
  awk -F'\t' '{ wall[$1] = $2; cpu[$1] = $3 }
    END { n = split("floor wavchorus reference", order, " ")
          for (i = 1; i <= n; i++) { w = order[i]
            printf "| %s | %.1f µs | %.2f | %.1f µs | %.2f |\n", w, wall[w] * 1e6,
              wall[w] / wall["floor"], cpu[w] * 1e6, cpu[w] / cpu["floor"] } }' \
    "$work/host-$1.tsv"
}

# --- The inputs ------------------------------------------------------------------

say "writing the input files"
"$make_wav" "$work/ten-minutes.wav" "$frames_ten"
"$make_wav" "$work/one-second.wav" $rate
"$make_wav" "$work/thousand-frames.wav" 1000
"$make_wav" "$work/one-minute.wav" $((60 * rate))
# A telephony prompt: 8 kHz mono, 17,444 bytes.
"$make_wav" "$work/prompt.wav" 8700 8000 1
ten=$work/ten-minutes.wav

# Every output byte of the fast engine is the reference's.
"$wavchorus" "$ten" "$work/check-fast.wav" >/dev/null
"$reference" "$ten" "$work/check-reference.wav" >/dev/null
if ! cmp -s "$work/check-fast.wav" "$work/check-reference.wav"; then
  echo "bench: wavchorus and the reference build differ on the 10-minute file" >&2
  exit 1
fi
rm -f "$work/check-fast.wav" "$work/check-reference.wav"

# --- Instructions (callgrind): before and after -------------------------------
# The library and command line as they were before the chorus read stereo frames
# in place (the parent of the commit that added processFrames).
before_rev=$(parent_of_first src/chorus/ChorusState.h processFrames)
[ "$only" != times ] || before_rev=
if [ -n "$before_rev" ]; then
  build_at "$before_rev" "$build/before-engine" MavrelWAVChorus wavchorus
  before_library=$build/before-engine/src/libMavrelWAVChorus.so
  before_cli=$build/before-engine/cli/wavchorus
fi

# Per frame of the 10-minute file in one call of a fresh process, and per call
# of the prompt and of the 1-second file; the floor's own instructions left out.
declare -A ir_frame ir_prompt ir_second
if [ "$only" != times ]; then
  say "counting instructions (callgrind)"
  ir_floor_ten=$(loop_instructions 1 "$ten")
  ir_floor_prompt=$(per_call "$work/prompt.wav")
  ir_floor_second=$(per_call "$work/one-second.wav")
  for who in after before reference; do
    case $who in
      after) lib=$library ;;
      before) lib=${before_library:-} ;;
      reference) lib=$reference_library ;;
    esac
    [ -n "$lib" ] || continue
    ir_prompt[$who]=$(($(per_call "$work/prompt.wav" "$lib") - ir_floor_prompt))
    ir_second[$who]=$(($(per_call "$work/one-second.wav" "$lib") - ir_floor_second))
    if [ "$who" != reference ]; then
      ir_frame[$who]=$(awk -v a="$(loop_instructions 1 "$ten" "$lib")" -v f="$ir_floor_ten" \
        -v n="$frames_ten" 'BEGIN { printf "%.2f", (a - f) / n }')
    fi
  done
fi

instructions_section() {
  echo
  echo "### Instructions per frame and per call (callgrind): before and after"
  echo
  if [ -z "$before_rev" ]; then
    echo "Skipped: the history before processFrames is not in this clone."
    return
  fi
  echo "Before: $(git -C "$root" rev-parse --short "$before_rev"). After: this tree." \
    "In user space, the floor's own instructions left out."
  echo
  echo "| | Before | After | After / before |"
  echo "|---|---:|---:|---:|"
  awk -v b="${ir_frame[before]}" -v a="${ir_frame[after]}" 'BEGIN {
    printf "| 10-minute file, per frame | %.2f | %.2f | %.2f |\n", b, a, a / b }'
  local what
  for what in "17 KB prompt:${ir_prompt[before]}:${ir_prompt[after]}" \
    "1-second file:${ir_second[before]}:${ir_second[after]}"; do
    IFS=: read -r title b a <<<"$what"
    awk -v t="$title" -v b="$b" -v a="$a" 'BEGIN {
      printf "| %s, per call | %.0f k | %.0f k | %.2f |\n", t, b / 1000, a / 1000, a / b }'
  done
}
if [ "$only" = instructions ]; then
  instructions_section | tee ${report_file:+"$report_file"}
  exit 0
fi

# --- Times, memory and decoding ------------------------------------------------

say "running the engine benchmark"
engine=$("$build/bench/engine_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)

# The floors and wavchorus in turn; then the slower peers, which would leave
# the disk busier for whatever ran after them; then both sets in one table.
time_file ten "$ten" floors 15 1 round
time_file ten-peers "$ten" peers 2 3 1
summarise ten
time_file second "$work/one-second.wav" all 10 30 10
time_file thousand "$work/thousand-frames.wav" all 10 30 10
host_set prompt "$work/prompt.wav" 1000 5
host_set second "$work/one-second.wav" 400 5

say "measuring peak memory (the 60-minute file is written, used and deleted)"
mem_fast_1=$(peak_kib "$wavchorus" "$work/one-minute.wav" "$work/out-mem.wav")
mem_ref_1=$(peak_kib "$reference" "$work/one-minute.wav" "$work/out-mem.wav")
"$make_wav" "$work/sixty-minutes.wav" $((3600 * rate))
mem_fast_60=$(peak_kib "$wavchorus" "$work/sixty-minutes.wav" "$work/out-mem.wav")
mem_ref_60=$(peak_kib "$reference" "$work/sixty-minutes.wav" "$work/out-mem.wav")
rm -f "$work/sixty-minutes.wav" "$work/out-mem.wav"

# Decoding: a 10-minute 24-bit stereo WAV through wavchorus (decoded by
# libsndfile as it is read) against the 16-bit canonical file and against the
# two-step route through sox; and the instructions of one minute of each (every
# thread of the process; sox's too).
ten24=$work/ten-minutes-24.wav
minute24=$work/one-minute-24.wav
sox "$ten" -b 24 "$ten24"
sox "$work/one-minute.wav" -b 24 "$minute24"
decoded=("16-bit canonical" "24-bit, decoded" "sox to 16-bit, then wavchorus")
hyper decode 1 5 1 \
  "${decoded[0]}" "$wavchorus -q $ten $work/out-16.wav" \
  "${decoded[1]}" "$wavchorus -q $ten24 $work/out-24.wav" \
  "${decoded[2]}" "sh -c 'sox $ten24 -b 16 $work/tmp16.wav && $wavchorus -q $work/tmp16.wav $work/out-sox.wav'"
say "counting the instructions of one minute (callgrind)"
ir_16=$(instructions "$wavchorus" -q "$work/one-minute.wav" "$work/out-16.wav")
ir_24=$(instructions "$wavchorus" -q "$minute24" "$work/out-24.wav")
ir_sox=$(($(instructions sox "$minute24" -b 16 "$work/tmp16.wav") +
  $(instructions "$wavchorus" -q "$work/tmp16.wav" "$work/out-sox.wav")))
rm -f "$work"/out-16.wav "$work"/out-24.wav "$work"/out-sox.wav "$work"/tmp16.wav "$ten24"

# The floor of replacing a file atomically: the faster of cp + mv and the plain
# program.
floor_ten=$(awk -v a="$(get ten cp+rename)" -v b="$(get ten plain)" 'BEGIN { print a < b ? a : b }')
r_floor=$(ratio "$(get ten wavchorus)" "$floor_ten")
r_ffmpeg=$(ratio "$(get ten ffmpeg)" "$(get ten wavchorus)")
r_prompt=$(ratio "$(get host-prompt wavchorus)" "$(get host-prompt floor)")
r_second=$(ratio "$(get host-second wavchorus)" "$(get host-second floor)")
r_24=$(ratio "$(get decode "${decoded[1]}")" "$(get decode "${decoded[0]}")")
r_sox=$(ratio "$(get decode "${decoded[1]}")" "$(get decode "${decoded[2]}")")

instructions_per_call_table() {
  echo
  echo "### Instructions per call in user space (callgrind)"
  echo
  echo "| File | floor | wavchorus | reference |"
  echo "|---|---:|---:|---:|"
  awk -v f="$ir_floor_prompt" -v w="${ir_prompt[after]}" -v r="${ir_prompt[reference]}" 'BEGIN {
    printf "| 17 KB prompt | %.0f k | %.0f k | %.0f k |\n", f / 1000, w / 1000, r / 1000 }'
  awk -v f="$ir_floor_second" -v w="${ir_second[after]}" -v r="${ir_second[reference]}" 'BEGIN {
    printf "| 1-second file | %.0f k | %.0f k | %.0f k |\n", f / 1000, w / 1000, r / 1000 }'
}
main_report() {
  echo "## Benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(lscpu | awk -F': *' '/^Model name/ { print $2 }'), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM," \
    "$(uname -sr), $(df -T "$work" | awk 'NR == 2 { print $2 }') temporary directory;" \
    "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Inputs: 16-bit stereo at $rate Hz, tones and noise. Each tool writes over its output"
  echo "of the previous run, as a user's would; cp copies the file unchanged inside the kernel;"
  echo "cp+rename and plain (read, write to a temporary file, rename) are the floors of"
  echo "replacing a file atomically, as wavchorus does."
  echo "Times are medians over all runs of several rounds (for the 10-minute file, 15 rounds"
  echo "of one run of each tool in turn); CPU time is the mean user + system time, which leaves"
  echo "out waiting for the disk."
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
  host_table prompt "17 KB 8 kHz mono prompt, called in one process (5 rounds of 1,000 calls)"
  host_table second "1-second file, called in one process (5 rounds of 400 calls)"
  [ "$only" = times ] || instructions_per_call_table
  echo
  echo "### Peak memory (maximum resident set size)"
  echo
  echo "| Program | 1-minute file | 60-minute file |"
  echo "|---|---:|---:|"
  echo "| wavchorus | $mem_fast_1 KiB | $mem_fast_60 KiB |"
  echo "| reference | $mem_ref_1 KiB | $mem_ref_60 KiB |"
  echo
  echo "## Decoding"
  echo
  echo "A 10-minute 44.1 kHz stereo file (medians of 5 runs) and a 1-minute one (instructions)."
  echo
  echo "| Input | 10 minutes | Instructions, 1 minute | / 16-bit |"
  echo "|---|---:|---:|---:|"
  local k ins=("$ir_16" "$ir_24" "$ir_sox")
  for k in 0 1 2; do
    printf '| %s | %.1f ms | %s | %s |\n' "${decoded[$k]}" \
      "$(awk -v m="$(get decode "${decoded[$k]}")" 'BEGIN { print m * 1000 }')" "${ins[$k]}" \
      "$(ratio "${ins[$k]}" "$ir_16")"
  done
  echo
  echo "### Targets"
  echo
  echo "| Target | Measured | |"
  echo "|---|---:|---|"
  echo "| wavchorus at most 1.10 x the faster floor (10 minutes) | $r_floor x | $(check "$r_floor" "<=" 1.10) |"
  echo "| ffmpeg at least 3 x wavchorus (10 minutes) | $r_ffmpeg x | $(check "$r_ffmpeg" ">=" 3) |"
  echo "| a call on the 17 KB prompt at most 1.3 x its floor | $r_prompt x | $(check "$r_prompt" "<=" 1.3) |"
  echo "| a call on the 1-second file at most 1.5 x its floor | $r_second x | $(check "$r_second" "<=" 1.5) |"
  # The same within the run-to-run spread of a few pages.
  echo "| same peak memory for 1 and 60 minutes | $mem_fast_1 / $mem_fast_60 KiB |" \
    "$(awk -v a="$mem_fast_1" -v b="$mem_fast_60" 'BEGIN {
      d = a - b; if (d < 0) d = -d; print d <= 128 ? "met" : "NOT met" }') |"
  echo "| the 24-bit file at most 2 x the 16-bit file's time (10 minutes) | $r_24 x | $(check "$r_24" "<=" 2) |"
  echo "| the 24-bit file faster than the two steps through sox | $r_sox x | $(check "$r_sox" "<=" 0.99) |"
}
main_report | tee ${report_file:+"$report_file"}
[ "$only" != times ] || exit 0
# Later sections are appended to the report as they are measured.
append() { tee ${report_file:+-a "$report_file"}; }

# --- Writing the output, before and after unnamed files -----------------------
# The command line built from the tree just before outputs went to unnamed files
# (the parent of the commit that added src/file/UnnamedFile_linux.cpp), timed
# against this one: replacing an earlier output that is not the input (the
# common case, which must be no slower), a new output, a 1-second file, and in
# place, where this build now syncs the data and the directory.
output_section() {
  echo
  echo "### Writing the output: before and after unnamed files"
  echo
  local rev
  rev=$(parent_of_first src/file/UnnamedFile_linux.cpp)
  if [ -z "$rev" ]; then
    echo "Skipped: the history before src/file/UnnamedFile_linux.cpp is not in this clone."
    return
  fi
  build_at "$rev" "$build/before" wavchorus
  local old=$build/before/cli/wavchorus new=$wavchorus second=$work/one-second.wav
  "$old" "$ten" "$work/check-before.wav" >/dev/null
  "$new" "$ten" "$work/check-after.wav" >/dev/null
  if ! cmp -s "$work/check-before.wav" "$work/check-after.wav"; then
    echo "bench: the two builds write different bytes" >&2
    exit 1
  fi
  rm -f "$work/check-before.wav" "$work/check-after.wav"
  cp "$ten" "$work/in-place-before.wav"
  cp "$ten" "$work/in-place-after.wav"
  # out_set NAME RUNS ROUNDS PREPARE-BEFORE PREPARE-AFTER BEFORE AFTER: both
  # commands in each round, after one run of each not counted.
  out_set() {
    hyper "$1" "$3" "$2" 1 --prepare "$4" before "$6" --prepare "$5" after "$7"
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

  echo "Before: $(git -C "$root" rev-parse --short "$rev"), the output written to a named temporary file and renamed over"
  echo "the target, never synced. After: this tree, an unnamed file (O_TMPFILE) linked to its"
  echo "name, synced only in place. Medians, with the fastest and slowest run."
  echo
  echo "| Run | Before | After | After / before |"
  echo "|---|---:|---:|---:|"
  local set
  for set in out-replace:"10 minutes, replacing an earlier output" \
    out-new:"10 minutes, new output" out-second:"1 second, replacing an earlier output" \
    out-in-place:"10 minutes, in place (after: data and directory synced)"; do
    awk -F'\t' -v title="${set#*:}" '{ m[$1] = $2; lo[$1] = $4; hi[$1] = $5 }
      END { printf "| %s | %.1f ms (%.1f–%.1f) | %.1f ms (%.1f–%.1f) | %.2f |\n", title,
              m["before"] * 1000, lo["before"] * 1000, hi["before"] * 1000,
              m["after"] * 1000, lo["after"] * 1000, hi["after"] * 1000, m["after"] / m["before"] }' \
      "$work/${set%%:*}.tsv"
  done
  local r
  r=$(ratio "$(get out-replace after)" "$(get out-replace before)")
  echo
  # Within 3 %: the spread of the medians from one round to the next.
  echo "Replacing an output that is not the input no slower than before (10 minutes):" \
    "$r x, $(check "$r" "<=" 1.03)."
}
output_section | append
instructions_section | append

# Wall-clock, side by side in one run: the 10-minute file with the plain floor
# and both command lines in turn (15 rounds after one not counted), and the
# prompt with the floor and both libraries in one process (5 processes of 1,000
# calls).
engine_timing_section() {
  [ -n "$before_rev" ] || return 0
  hyper engine-ten 15 1 round \
    plain "$call_loop --calls 1 --warmup 0 --results $work/plain.tsv $ten $work/plain" \
    before "$before_cli $ten $work/out-before.wav" after "$wavchorus $ten $work/out-after.wav"
  host_set engine-prompt "$work/prompt.wav" 1000 5 before="$before_library" after="$library"
  echo
  echo "### The engine before ($(git -C "$root" rev-parse --short "$before_rev")) and after, with the floor, side by side"
  echo
  echo "| Run | Floor | Before | After |"
  echo "|---|---:|---:|---:|"
  awk -F'\t' '{ m[$1] = $2 } END {
    printf "| 10 minutes, replacing the output (plain floor) | %.1f ms | %.1f ms, %.2f x | %.1f ms, %.2f x |\n",
      m["plain"] * 1000, m["before"] * 1000, m["before"] / m["plain"], m["after"] * 1000, m["after"] / m["plain"] }' \
    "$work/engine-ten.tsv"
  awk -F'\t' '{ m[$1] = $2 } END {
    printf "| 17 KB prompt, per call in one process | %.1f µs | %.1f µs, %.2f x | %.1f µs, %.2f x |\n",
      m["floor"] * 1e6, m["before"] * 1e6, m["before"] / m["floor"], m["after"] * 1e6, m["after"] / m["floor"] }' \
    "$work/host-engine-prompt.tsv"
}
engine_timing_section | append

# Many short files in one process: its own section, which also runs alone.
scripts/bench-batch.sh "$wavchorus" | append

# The LV2 plugin's run() per frame against the engine's own processBlock per
# value, at 48 kHz in blocks of 64 frames: medians of plugin_bench's alternating
# rounds, instructions per frame (the difference between 3 rounds and 1 of
# 480,000 frames), and lv2bench's own time for the plugin.
lv2_section() {
  echo
  echo "### The LV2 plugin"
  echo
  if ! cmake --build "$build" --target MavrelWAVChorusLV2 plugin_bench >/dev/null 2>&1; then
    echo "Skipped: the plugin is not built here (it needs lv2-dev)."
    return
  fi
  local bundle=$build/lib/lv2/MavrelWAVChorus.lv2 bench=$build/bench/plugin_bench who
  local plugin=$bundle/MavrelWAVChorus.so
  local -A ir
  say "timing the LV2 plugin against the engine"
  "$bench" "$plugin" --rounds 31 | awk '{ print $1 "\t" $2 }' >"$work/lv2.tsv"
  for who in engine plugin; do
    ir[$who]=$(awk -v a="$(instructions "$bench" "$plugin" --only "$who" --rounds 1)" \
      -v b="$(instructions "$bench" "$plugin" --only "$who" --rounds 3)" \
      'BEGIN { printf "%.1f", (b - a) / 2 / 480000 }')
  done
  local lv2bench_ns
  lv2bench_ns=$(LV2_PATH=$(dirname "$bundle") lv2bench -f -b 64 -n 4800000 urn:mavrelwavchorus:mono |
    awk '!/^#/ && NF >= 3 { printf "%.2f", $3 / $2 * 1e9 }')
  echo "Mono, 48 kHz, blocks of 64 frames from buffers that stay in the cache; load average"
  echo "$(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores."
  echo
  echo "| | Time per frame (median of 31 rounds) | Instructions per frame (callgrind) |"
  echo "|---|---:|---:|"
  printf '| the engine, processBlock | %.2f ns | %s |\n' "$(get lv2 engine)" "${ir[engine]}"
  printf '| the plugin, run() | %.2f ns | %s |\n' "$(get lv2 plugin)" "${ir[plugin]}"
  echo "| the plugin in lv2bench (its own buffers) | $lv2bench_ns ns | |"
  echo
  echo "run() at most 1.5 x the engine: $(get lv2 ratio) x in time," \
    "$(ratio "${ir[plugin]}" "${ir[engine]}") x in instructions," \
    "$(check "$(get lv2 ratio)" "<=" 1.5)."
}
lv2_section | append
