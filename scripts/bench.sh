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
#     for a 17 KB 8 kHz prompt and a 1-second 44.1 kHz stereo file; and the
#     instructions of a call counted with callgrind;
#   - peak memory (/usr/bin/time -v) for a 1-minute and a 60-minute file.
#   - decoding: a 10-minute 24-bit file against the 16-bit one and sox's two steps.
# Takes three to five minutes and about 1.5 GB of temporary disk space.
#   scripts/bench.sh [REPORT.md]    the report goes to stdout and, if given, to REPORT.md
#   scripts/bench.sh --instructions [REPORT.md]    the instruction counts alone
#     (before and after), a few minutes, which the machine's load does not change
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# --instructions: only the instruction counts of a call and of a frame, before
# and after the engine's stereo frames (a minute, and independent of the load).
only=
if [ "${1:-}" = --instructions ]; then
  only=instructions
  shift
fi
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

say() { echo "bench: $*" >&2; }

# The commands for an input, as label and command line; the outputs go to the
# temporary directory and are overwritten on every run, as a user's would be.
# With "floors", cp into a temporary file renamed over the output, and the plain
# program that reads the file, writes it to a temporary file and renames that
# (call_loop with no library): the floors for a program that, like wavchorus,
# replaces its output only once it is complete. With "peers", the other
# choruses and the reference build; with "all", the lot.
commands() {
  local in=$1 which=${2:-all}
  if [ "$which" != peers ]; then
    printf '%s\n' "cp" "cp $in $work/out-cp.wav"
  fi
  if [ "$which" = floors ]; then
    printf '%s\n' "cp+rename" "$work/cp-rename.sh $in $work/out-cp-rename.wav" \
      "plain" "$call_loop --calls 1 --warmup 0 --results $work/plain.tsv $in $work/plain"
  fi
  if [ "$which" != peers ]; then
    printf '%s\n' "wavchorus" "$wavchorus $in $work/out-wavchorus.wav"
  fi
  if [ "$which" != floors ]; then
    printf '%s\n' \
      "ffmpeg" "ffmpeg -nostdin -hide_banner -loglevel error -y -i $in -af chorus=in_gain=1:out_gain=1:delays=25:decays=1:speeds=0.1:depths=10 $work/out-ffmpeg.wav" \
      "sox" "sox $in $work/out-sox.wav chorus 1 1 25 1 0.1 10 -s" \
      "reference" "$reference $in $work/out-reference.wav"
  fi
}

# time_set NAME INPUT WARMUP RUNS ROUNDS [WHICH]: hyperfine over the commands,
# ROUNDS times with RUNS runs each, so that a burst of load from elsewhere falls
# on every tool alike; NAME.tsv gets each tool's median over all its runs.
time_set() {
  local name=$1 in=$2 warmup=$3 runs=$4 rounds=$5 which=${6:-all}
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
  summarise "$name"
}

# time_interleaved NAME INPUT ROUNDS [WHICH]: one run of each tool in turn,
# ROUNDS times, after a round that is not counted. For the long file, whose runs
# leave the disk busy: each tool finds it as the others, all of about the same
# speed, leave it, rather than as its own previous run left it.
time_interleaved() {
  local name=$1 in=$2 rounds=$3 which=${4:-all}
  local args=()
  while IFS= read -r label && IFS= read -r cmd; do
    args+=(-n "$label" "$cmd")
  done < <(commands "$in" "$which")
  say "timing $name ($rounds rounds of one run each)"
  hyperfine -N --style none --runs 1 "${args[@]}" >/dev/null
  local round
  for round in $(seq "$rounds"); do
    hyperfine -N --style none --runs 1 \
      --export-json "$work/$name-$round.json" "${args[@]}" >/dev/null
  done
  summarise "$name"
}

# NAME.tsv: each tool's median over all its runs and its mean CPU time, from the
# runs of NAME and of any set named NAME-something.
summarise() {
  jq -rs '[.[].results[]] | group_by(.command) | .[]
      | { name: .[0].command, times: ([.[].times[]] | sort),
          cpu: (map(.user + .system) | add / length) }
      | "\(.name)\t\(.times[(.times | length) / 2 | floor])\t\(.cpu)"' \
    "$work/$1"-*.json >"$work/$1.tsv"
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
  for tool in cp cp+rename plain wavchorus ffmpeg sox reference; do
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
mkdir "$work/plain" "$work/host"

# host_set NAME INPUT CALLS ROUNDS: ROUNDS processes of call_loop, each timing
# CALLS calls of the floor, wavchorus and the reference side by side; NAME.tsv
# gets each one's median over the rounds of its per-call medians (wall and CPU).
host_set() {
  local name=$1 in=$2 calls=$3 rounds=$4 round
  say "calling the library in one process: $name ($rounds rounds of $calls calls)"
  for round in $(seq "$rounds"); do
    "$call_loop" --calls "$calls" --warmup 50 --results "$work/host-$name-$round.tsv" \
      "$in" "$work/host" wavchorus="$library" reference="$reference_library" >/dev/null
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

host_table() {
  local name=$1 title=$2
  echo
  echo "### $title"
  echo
  echo "| In one process | Median wall time per call | Ratio to the floor | Median CPU time per call | Ratio to the floor |"
  echo "|---|---:|---:|---:|---:|"
  local who
  for who in floor wavchorus reference; do
    awk -F'\t' -v who="$who" '{ wall[$1] = $2; cpu[$1] = $3 }
      END { printf "| %s | %.1f µs | %.2f | %.1f µs | %.2f |\n", who, wall[who] * 1e6,
              wall[who] / wall["floor"], cpu[who] * 1e6, cpu[who] / cpu["floor"] }' \
      "$work/host-$name.tsv"
  done
}
host_ratio() { awk -F'\t' '{ w[$1] = $2 } END { printf "%.2f", w["wavchorus"] / w["floor"] }' "$work/host-$1.tsv"; }

# Instructions of one round in user space (callgrind), from the difference between
# runs of 40 and 20 rounds: the loader and the first calls cancel out.
call_instructions() {
  local in=$1 lib=$2 n total=()
  for n in 20 40; do
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
      "$call_loop" --calls "$n" --warmup 0 --results "$work/callgrind.tsv" "$in" "$work/host" \
      x="$lib" >/dev/null 2>"$work/callgrind.log"
    total+=("$(sed -n 's/^summary: //p' "$work/callgrind.out")")
  done
  rm -f "$work/callgrind.out"
  awk -v a="${total[0]}" -v b="${total[1]}" 'BEGIN { printf "%.0f", (b - a) / 20 }'
}
floor_instructions() {
  local in=$1 n total=()
  for n in 20 40; do
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
      "$call_loop" --calls "$n" --warmup 0 --results "$work/callgrind.tsv" "$in" "$work/host" \
      >/dev/null 2>"$work/callgrind.log"
    total+=("$(sed -n 's/^summary: //p' "$work/callgrind.out")")
  done
  rm -f "$work/callgrind.out"
  awk -v a="${total[0]}" -v b="${total[1]}" 'BEGIN { printf "%.0f", (b - a) / 20 }'
}

say "writing the input files"
"$make_wav" "$work/ten-minutes.wav" $((600 * rate))
"$make_wav" "$work/one-second.wav" $rate
"$make_wav" "$work/thousand-frames.wav" 1000
"$make_wav" "$work/one-minute.wav" $((60 * rate))
# A telephony prompt: 8 kHz mono, 17,444 bytes.
"$make_wav" "$work/prompt.wav" 8700 8000 1

# Every output byte of the fast engine is the reference's.
"$wavchorus" "$work/ten-minutes.wav" "$work/check-fast.wav" >/dev/null
"$reference" "$work/ten-minutes.wav" "$work/check-reference.wav" >/dev/null
if ! cmp -s "$work/check-fast.wav" "$work/check-reference.wav"; then
  echo "bench: wavchorus and the reference build differ on the 10-minute file" >&2
  exit 1
fi
rm -f "$work/check-fast.wav" "$work/check-reference.wav"

# --- The engine before and after stereo frames in place ----------------------
# The library and command line as they were before the chorus read stereo frames
# in place (the parent of the commit that added processFrames), built in
# build-bench/before-engine; before_library stays empty when the history is not
# in this clone.
before_library=
before_cli=
build_before_engine() {
  local added src=$build/before-engine-src dir=$build/before-engine
  added=$(git -C "$root" log --format=%H -S processFrames -- src/chorus/ChorusState.h \
    2>/dev/null | tail -1)
  if [ -z "$added" ] || ! git -C "$root" cat-file -e "$added^" 2>/dev/null; then
    return
  fi
  before_rev=$(git -C "$root" rev-parse --short "$added^")
  say "building the library and command line of $before_rev (before stereo frames in place)"
  rm -rf "$src"
  mkdir -p "$src"
  git -C "$root" archive "$added^" | tar -x -C "$src"
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=OFF \
    -DMAVREL_WAV_CHORUS_INSTALL=OFF >/dev/null
  cmake --build "$dir" --target MavrelWAVChorus wavchorus >/dev/null
  before_library=$dir/src/libMavrelWAVChorus.so
  before_cli=$dir/cli/wavchorus
}

# Instructions in user space (callgrind), which hold on a loaded machine and
# travel to another: per frame of the 10-minute file in one call of a fresh
# process, and per call of the prompt and of the 1-second file from the
# difference between 40 and 20 calls in one process; the floor's own
# instructions left out.
instructions_section() {
  echo
  echo "### Instructions per frame and per call (callgrind): before and after"
  echo
  if [ -z "$before_library" ]; then
    echo "Skipped: the history before processFrames is not in this clone."
    return
  fi
  local frames=$((600 * rate)) who lib floor_ten floor_prompt floor_second
  local -A per_frame per_prompt per_second
  say "counting instructions (callgrind)"
  one_call() {
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
      "$call_loop" --calls 1 --warmup 0 --results "$work/callgrind.tsv" \
      "$work/ten-minutes.wav" "$work/host" ${1:+x="$1"} >/dev/null 2>"$work/callgrind.log"
    sed -n 's/^summary: //p' "$work/callgrind.out"
    rm -f "$work/callgrind.out"
  }
  floor_ten=$(one_call)
  floor_prompt=$(floor_instructions "$work/prompt.wav")
  floor_second=$(floor_instructions "$work/one-second.wav")
  for who in before after; do
    lib=$library
    [ "$who" = before ] && lib=$before_library
    per_frame[$who]=$(awk -v a="$(one_call "$lib")" -v f="$floor_ten" -v n="$frames" \
      'BEGIN { printf "%.2f", (a - f) / n }')
    per_prompt[$who]=$(($(call_instructions "$work/prompt.wav" "$lib") - floor_prompt))
    per_second[$who]=$(($(call_instructions "$work/one-second.wav" "$lib") - floor_second))
  done
  echo "Before: $before_rev. After: this tree."
  echo
  echo "| | Before | After | After / before |"
  echo "|---|---:|---:|---:|"
  awk -v b="${per_frame[before]}" -v a="${per_frame[after]}" 'BEGIN {
    printf "| 10-minute file, per frame | %.2f | %.2f | %.2f |\n", b, a, a / b }'
  awk -v b="${per_prompt[before]}" -v a="${per_prompt[after]}" 'BEGIN {
    printf "| 17 KB prompt, per call | %.0f k | %.0f k | %.2f |\n", b / 1000, a / 1000, a / b }'
  awk -v b="${per_second[before]}" -v a="${per_second[after]}" 'BEGIN {
    printf "| 1-second file, per call | %.0f k | %.0f k | %.2f |\n", b / 1000, a / 1000, a / b }'
}

# Wall-clock, side by side in one run: the 10-minute file with the plain floor
# and both command lines in turn (15 rounds after one not counted), and the
# prompt with the floor and both libraries in one process (5 processes of 1,000
# calls).
engine_timing_section() {
  [ -n "$before_library" ] || return 0
  local ten=$work/ten-minutes.wav round
  say "timing the engine before and after (15 rounds of one run each)"
  local args=(-n plain "$call_loop --calls 1 --warmup 0 --results $work/plain.tsv $ten $work/plain"
    -n before "$before_cli $ten $work/out-before.wav" -n after "$wavchorus $ten $work/out-after.wav")
  hyperfine -N --style none --runs 1 "${args[@]}" >/dev/null
  for round in $(seq 15); do
    hyperfine -N --style none --runs 1 --export-json "$work/engine-ten-$round.json" "${args[@]}" \
      >/dev/null
  done
  summarise engine-ten
  say "calling both libraries in one process: prompt (5 rounds of 1000 calls)"
  for round in 1 2 3 4 5; do
    "$call_loop" --calls 1000 --warmup 50 --results "$work/engine-prompt-$round.tsv" \
      "$work/prompt.wav" "$work/host" before="$before_library" after="$library" >/dev/null
  done
  awk -F'\t' '{ wall[$1] = wall[$1] " " $2 }
    function median(list,   v, n, i, j, t) {
      n = split(list, v, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      return v[int((n + 1) / 2)]
    }
    END { for (k in wall) printf "%s\t%s\n", k, median(wall[k]) }' \
    "$work"/engine-prompt-*.tsv >"$work/engine-prompt.tsv"
  echo
  echo "### The engine before ($before_rev) and after, with the floor, side by side"
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
    "$work/engine-prompt.tsv"
}

build_before_engine
if [ "$only" = instructions ]; then
  instructions_section | tee ${report_file:+"$report_file"}
  exit 0
fi

say "running the engine benchmark"
engine=$("$build/bench/engine_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)

# The floors and wavchorus in turn; then the slower peers, which would leave
# the disk busier for whatever ran after them; then both sets in one table.
time_interleaved ten "$work/ten-minutes.wav" 15 floors
time_set ten-peers "$work/ten-minutes.wav" 1 3 2 peers
summarise ten
time_set second "$work/one-second.wav" 10 30 10
time_set thousand "$work/thousand-frames.wav" 10 30 10
host_set prompt "$work/prompt.wav" 1000 5
host_set second "$work/one-second.wav" 400 5

say "counting the instructions of a call (callgrind)"
ir_prompt_floor=$(floor_instructions "$work/prompt.wav")
ir_prompt_fast=$(call_instructions "$work/prompt.wav" "$library")
ir_prompt_ref=$(call_instructions "$work/prompt.wav" "$reference_library")
ir_second_floor=$(floor_instructions "$work/one-second.wav")
ir_second_fast=$(call_instructions "$work/one-second.wav" "$library")
ir_second_ref=$(call_instructions "$work/one-second.wav" "$reference_library")

say "measuring peak memory (the 60-minute file is written, used and deleted)"
mem_fast_1=$(peak_kib "$wavchorus" "$work/one-minute.wav" "$work/out-mem.wav")
mem_ref_1=$(peak_kib "$reference" "$work/one-minute.wav" "$work/out-mem.wav")
"$make_wav" "$work/sixty-minutes.wav" $((3600 * rate))
mem_fast_60=$(peak_kib "$wavchorus" "$work/sixty-minutes.wav" "$work/out-mem.wav")
mem_ref_60=$(peak_kib "$reference" "$work/sixty-minutes.wav" "$work/out-mem.wav")
rm -f "$work/sixty-minutes.wav" "$work/out-mem.wav"

fast_ten=$(median_of ten wavchorus)
ffmpeg_ten=$(median_of ten ffmpeg)
# The floor of replacing a file atomically: the faster of cp + mv and the plain
# program.
floor_ten=$(awk -v a="$(median_of ten cp+rename)" -v b="$(median_of ten plain)" \
  'BEGIN { print a < b ? a : b }')
r_floor=$(ratio "$fast_ten" "$floor_ten")
r_ffmpeg=$(ratio "$ffmpeg_ten" "$fast_ten")
r_prompt=$(host_ratio prompt)
r_second=$(host_ratio second)
# Instructions in user space of the floor, and of a call alone (each round of
# call_loop also runs the floor once).
ir_row() { awk -v f="$2" -v w="$3" -v r="$4" -v t="$1" 'BEGIN {
  printf "| %s | %.0f k | %.0f k | %.0f k |\n", t, f / 1000, (w - f) / 1000, (r - f) / 1000 }'; }

{
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
  echo
  echo "### Instructions per call in user space (callgrind)"
  echo
  echo "| File | floor | wavchorus | reference |"
  echo "|---|---:|---:|---:|"
  ir_row "17 KB prompt" "$ir_prompt_floor" "$ir_prompt_fast" "$ir_prompt_ref"
  ir_row "1-second file" "$ir_second_floor" "$ir_second_fast" "$ir_second_ref"
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
  echo "| wavchorus at most 1.10 x the faster floor (10 minutes) | $r_floor x | $(check "$r_floor" "<=" 1.10) |"
  echo "| ffmpeg at least 3 x wavchorus (10 minutes) | $r_ffmpeg x | $(check "$r_ffmpeg" ">=" 3) |"
  echo "| a call on the 17 KB prompt at most 1.3 x its floor | $r_prompt x | $(check "$r_prompt" "<=" 1.3) |"
  echo "| a call on the 1-second file at most 1.5 x its floor | $r_second x | $(check "$r_second" "<=" 1.5) |"
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
instructions_section | tee ${report_file:+-a "$report_file"}
engine_timing_section | tee ${report_file:+-a "$report_file"}
# Many short files in one process: its own section (scripts/bench-batch.sh).
scripts/bench-batch.sh "$wavchorus" | tee ${report_file:+-a "$report_file"}
# The LV2 plugin's run() against the engine: its own section (scripts/bench-lv2.sh).
scripts/bench-lv2.sh "$build" | tee ${report_file:+-a "$report_file"}

# Decoding: a 10-minute 24-bit stereo WAV through wavchorus (decoded by
# libsndfile as it is read) against the 16-bit canonical file and against the
# two-step route through sox; medians of interleaved runs, and the instructions
# of one minute of each (callgrind, every thread of the process; sox's too).
decode_section() {
  local ten=$work/ten-minutes.wav ten24=$work/ten-minutes-24.wav
  local minute=$work/one-minute.wav minute24=$work/one-minute-24.wav
  sox "$ten" -b 24 "$ten24"
  sox "$minute" -b 24 "$minute24"
  say "timing the 24-bit file (5 rounds)"
  hyperfine -N --style none --warmup 1 --runs 5 --export-json "$work/decode.json" \
    -n "16-bit canonical" "$wavchorus -q $ten $work/out-16.wav" \
    -n "24-bit, decoded" "$wavchorus -q $ten24 $work/out-24.wav" \
    -n "sox to 16-bit, then wavchorus" "sh -c 'sox $ten24 -b 16 $work/tmp16.wav && $wavchorus -q $work/tmp16.wav $work/out-sox.wav'" \
    >/dev/null
  jq -r '.results[] | "\(.command)\t\(.median)"' "$work/decode.json" >"$work/decode.tsv"
  instructions() {
    valgrind --tool=callgrind --callgrind-out-file="$work/decode.callgrind" "$@" \
      >/dev/null 2>"$work/decode-callgrind.log"
    cat "$work"/decode.callgrind* | sed -n 's/^summary: //p' | awk '{ n += $1 } END { print n }'
    rm -f "$work"/decode.callgrind*
  }
  local i16 i24 isox
  say "counting the instructions of one minute (callgrind)"
  i16=$(instructions --separate-threads=no "$wavchorus" -q "$minute" "$work/out-16.wav")
  i24=$(instructions --separate-threads=no "$wavchorus" -q "$minute24" "$work/out-24.wav")
  isox=$(( $(instructions sox "$minute24" -b 16 "$work/tmp16.wav") +
    $(instructions --separate-threads=no "$wavchorus" -q "$work/tmp16.wav" "$work/out-sox.wav") ))
  rm -f "$work"/out-16.wav "$work"/out-24.wav "$work"/out-sox.wav "$work"/tmp16.wav
  echo
  echo "## Decoding"
  echo
  echo "A 10-minute 44.1 kHz stereo file (medians of 5 runs) and a 1-minute one (instructions)."
  echo
  echo "| Input | 10 minutes | Instructions, 1 minute | / 16-bit |"
  echo "|---|---:|---:|---:|"
  local name m ins
  for name in "16-bit canonical:$i16" "24-bit, decoded:$i24" "sox to 16-bit, then wavchorus:$isox"; do
    ins=${name##*:}
    name=${name%:*}
    m=$(awk -F'\t' -v want="$name" '$1 == want { print $2 }' "$work/decode.tsv")
    printf '| %s | %.1f ms | %s | %s |\n' "$name" "$(awk -v m="$m" 'BEGIN { print m * 1000 }')" \
      "$ins" "$(ratio "$ins" "$i16")"
  done
  local r24 rsox
  r24=$(ratio "$(awk -F'\t' '$1 == "24-bit, decoded" { print $2 }' "$work/decode.tsv")" \
    "$(awk -F'\t' '$1 == "16-bit canonical" { print $2 }' "$work/decode.tsv")")
  rsox=$(ratio "$(awk -F'\t' '$1 == "24-bit, decoded" { print $2 }' "$work/decode.tsv")" \
    "$(awk -F'\t' '$1 == "sox to 16-bit, then wavchorus" { print $2 }' "$work/decode.tsv")")
  echo
  echo "The 24-bit file at most twice the 16-bit file's time: $r24 x, $(check "$r24" "<=" 2)."
  echo "Less than the two steps through sox: $rsox x, $(check "$rsox" "<=" 0.99)."
}
decode_section | tee ${report_file:+-a "$report_file"}
