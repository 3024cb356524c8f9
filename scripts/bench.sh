#!/usr/bin/env bash
# The benchmark, not part of the test suite: builds in build-bench, writes its
# inputs to a temporary directory, checks that wavchorus and the reference build
# write the same bytes, and prints a Markdown report (docs/performance.md says
# what each section measures). Some twenty minutes on 2 cores and about 1.5 GB
# of temporary disk space. The ways of measuring and of printing a table are
# written once, in scripts/bench-common.sh; this file says what is measured.
#   scripts/bench.sh [REPORT.md]    to stdout and, if given, to REPORT.md
#   scripts/bench.sh --instructions [REPORT.md]    the instruction counts alone
#   scripts/bench.sh --times [REPORT.md]    the times, memory, decoding and targets alone
set -euo pipefail
cd "$(dirname "$0")/.."
only=
case "${1:-}" in
  --instructions) only="instructions" && shift ;;
  --times) only="times" && shift ;;
esac
report_file=${1:-}

. scripts/bench-common.sh
build=$PWD/build-bench
build_bench wavchorus wavchorus_reference make_bench_wav engine_bench call_loop
work=$(mktemp -d "${TMPDIR:-/tmp}/mavrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
wavchorus=$build/cli/wavchorus
reference=$build/bench/wavchorus_reference
make_wav=$build/bench/make_bench_wav
call_loop=$build/bench/call_loop
library=$build/src/libMavrelWAVChorus.so
reference_library=$build/bench/libMavrelWAVChorusReference.so
libraries=(wavchorus="$library" reference="$reference_library")
rate=44100
frames_ten=$((600 * rate))
ten=$work/ten-minutes.wav second=$work/one-second.wav prompt=$work/prompt.wav
minute=$work/one-minute.wav
mkdir "$work/plain" "$work/host"
# shellcheck disable=SC2016
printf '#!/bin/sh\ncp "$1" "$2.tmp" && mv "$2.tmp" "$2"\n' >"$work/cp-rename.sh"
chmod +x "$work/cp-rename.sh"
plain="$call_loop --calls 1 --warmup 0 --results $work/plain.tsv"
loadavg() { cut -d' ' -f1-3 /proc/loadavg; }

# --- Measuring ----------------------------------------------------------------

# time_file SET INPUT WHICH ROUNDS RUNS WARMUP: hyper over the commands tagged
# WHICH, each writing over its output of the previous run, as a user's would.
# The floors of a program that, like wavchorus, replaces its output only once
# it is complete: cp to a temporary file renamed over the output, and the plain
# program (call_loop with no library).
time_file() {
  local set=$1 in=$2 which=$3 tags name command args=()
  shift 3
  while IFS='|' read -r tags name command; do
    [[ " $tags " != *" $which "* ]] || args+=("$name" "$command")
  done <<COMMANDS
floors all|cp|cp $in $work/out-cp.wav
floors|cp+rename|$work/cp-rename.sh $in $work/out-cp-rename.wav
floors|plain|$plain $in $work/plain
floors all|wavchorus|$wavchorus $in $work/out-wavchorus.wav
peers all|ffmpeg|ffmpeg -nostdin -hide_banner -loglevel error -y -i $in -af chorus=in_gain=1:out_gain=1:delays=25:decays=1:speeds=0.1:depths=10 $work/out-ffmpeg.wav
peers all|sox|sox $in $work/out-sox.wav chorus 1 1 25 1 0.1 10 -s
peers all|reference|$reference $in $work/out-reference.wav
COMMANDS
  hyper "$set" "$@" "${args[@]}"
}

# same_bytes WHAT A B: programs A and B write the same bytes for the 10-minute file.
same_bytes() {
  "$2" "$ten" "$work/check-a.wav" >/dev/null
  "$3" "$ten" "$work/check-b.wav" >/dev/null
  cmp -s "$work/check-a.wav" "$work/check-b.wav" ||
    { say "$1 write different bytes for the 10-minute file"; exit 1; }
  rm -f "$work/check-a.wav" "$work/check-b.wav"
}

# --- Printing, from the store -------------------------------------------------

# tool_table SET TITLE: whole-file medians with their ratios to cp and to wavchorus.
tool_table() {
  heading "### $2"
  columns Tool "Median time" "Ratio to cp" "Ratio to wavchorus" "CPU time (user + system)"
  figures 'for (i = 1; i <= names(s, t); i++)
    printf "| %s | %.1f ms | %.2f | %.2f | %.1f ms |\n", t[i], med(s, t[i]) * 1000,
      med(s, t[i]) / med(s, "cp"), med(s, t[i]) / med(s, "wavchorus"), cpu(s, t[i]) * 1000' s="$1"
}
# host_table SET TITLE: medians per call in one process with their ratios to the floor.
host_table() {
  heading "### $2"
  columns "In one process" "Median wall time per call" "Ratio to the floor" \
    "Median CPU time per call" "Ratio to the floor"
  figures 'for (i = 1; i <= names(s, t); i++)
    printf "| %s | %.1f µs | %.2f | %.1f µs | %.2f |\n", t[i], med(s, t[i]) * 1e6,
      med(s, t[i]) / med(s, "floor"), cpumed(s, t[i]) * 1e6,
      cpumed(s, t[i]) / cpumed(s, "floor")' s="$1"
}

# --- The inputs and the instructions (callgrind), before and after ------------

say "writing the input files"
"$make_wav" "$ten" "$frames_ten"
"$make_wav" "$second" $rate
"$make_wav" "$work/thousand-frames.wav" 1000
"$make_wav" "$minute" $((60 * rate))
# A telephony prompt: 8 kHz mono, 17,444 bytes.
"$make_wav" "$prompt" 8700 8000 1
same_bytes "wavchorus and the reference build" "$wavchorus" "$reference"

# Before: the tree before the chorus read stereo frames in place.
before_engine=
if [ "$only" != times ]; then
  build_before "$build/before-engine" src/chorus/ChorusState.h processFrames
  before_engine=$before
  say "counting instructions (callgrind)"
  declare -A floor=([ten]=$(loop_instructions 1 "$ten") [prompt]=$(per_call "$prompt")
    [second]=$(per_call "$second"))
  record "ir floor" "17 KB prompt" "${floor[prompt]}"
  record "ir floor" "1-second file" "${floor[second]}"
  for who in after:"$library" before:"${before:+$build/before-engine/src/libMavrelWAVChorus.so}" \
    reference:"$reference_library"; do
    lib=${who#*:} who=${who%%:*}
    [ -n "$lib" ] || continue
    record "ir $who" "17 KB prompt" $(($(per_call "$prompt" "$lib") - floor[prompt]))
    record "ir $who" "1-second file" $(($(per_call "$second" "$lib") - floor[second]))
    [ "$who" = reference ] ||
      record "ir $who" "10-minute file" $(($(loop_instructions 1 "$ten" "$lib") - floor[ten]))
  done
fi

instructions_section() {
  heading "### Instructions per frame and per call (callgrind): before and after"
  if [ -z "$before_engine" ]; then
    echo "Skipped: the history before processFrames is not in this clone."
    return
  fi
  echo "Before: $before_engine. After: this tree." \
    "In user space, the floor's own instructions left out."
  echo
  columns "" Before After "After / before"
  figures 'b = sprintf("%.2f", one("ir before", "10-minute file") / frames)
    a = sprintf("%.2f", one("ir after", "10-minute file") / frames)
    printf "| 10-minute file, per frame | %s | %s | %.2f |\n", b, a, a / b
    for (i = 1; i <= names("ir floor", t); i++) {
      b = one("ir before", t[i]); a = one("ir after", t[i])
      printf "| %s, per call | %.0f k | %.0f k | %.2f |\n", t[i], b / 1000, a / 1000, a / b
    }' frames="$frames_ten"
}
if [ "$only" = instructions ]; then
  instructions_section | tee ${report_file:+"$report_file"}
  exit 0
fi

# --- Times, memory and decoding -----------------------------------------------

say "running the engine benchmark"
engine=$("$build/bench/engine_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null)

# The floors and wavchorus in turn; then the slower peers, which would leave
# the disk busier for whatever ran after them, in the same table.
time_file ten "$ten" floors 15 1 round
time_file ten "$ten" peers 2 3 1
time_file second "$second" all 10 30 10
time_file thousand "$work/thousand-frames.wav" all 10 30 10
host_set host-prompt "$prompt" 1000 5 "${libraries[@]}"
host_set host-second "$second" 400 5 "${libraries[@]}"

say "measuring peak memory (the 60-minute file is written, used and deleted)"
"$make_wav" "$work/sixty-minutes.wav" $((3600 * rate))
for run in "wavchorus 1:$minute" "reference 1:$minute" "wavchorus 60:$work/sixty-minutes.wav" \
  "reference 60:$work/sixty-minutes.wav"; do
  program=${run%% *}
  record memory "${run%%:*}" "$(peak_kib "${!program}" "${run#*:}" "$work/out-mem.wav")"
done
rm -f "$work/sixty-minutes.wav" "$work/out-mem.wav"

# Decoding 24 bits as the file is read, against 16 bits and two steps through
# sox; the instructions count every thread of the process, and sox's too.
ten24=$work/ten-minutes-24.wav minute24=$work/one-minute-24.wav
sox "$ten" -b 24 "$ten24"
sox "$minute" -b 24 "$minute24"
decoded=("16-bit canonical" "24-bit, decoded" "sox to 16-bit, then wavchorus")
hyper decode 1 5 1 \
  "${decoded[0]}" "$wavchorus -q $ten $work/out-16.wav" \
  "${decoded[1]}" "$wavchorus -q $ten24 $work/out-24.wav" \
  "${decoded[2]}" "sh -c 'sox $ten24 -b 16 $work/tmp16.wav && $wavchorus -q $work/tmp16.wav $work/out-sox.wav'"
say "counting the instructions of one minute (callgrind)"
record "decode ir" "${decoded[0]}" "$(instructions "$wavchorus" -q "$minute" "$work/out-16.wav")"
record "decode ir" "${decoded[1]}" "$(instructions "$wavchorus" -q "$minute24" "$work/out-24.wav")"
record "decode ir" "${decoded[2]}" $(($(instructions sox "$minute24" -b 16 "$work/tmp16.wav") +
  $(instructions "$wavchorus" -q "$work/tmp16.wav" "$work/out-sox.wav")))
rm -f "$work"/out-16.wav "$work"/out-24.wav "$work"/out-sox.wav "$work"/tmp16.wav "$ten24"

main_report() {
  echo "## Benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(lscpu | awk -F': *' '/^Model name/ { print $2 }'), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM," \
    "$(uname -sr), $(df -T "$work" | awk 'NR == 2 { print $2 }') temporary directory;" \
    "load average at the end: $(loadavg)."
  echo "Inputs: 16-bit stereo at $rate Hz, tones and noise. Each tool writes over its output"
  echo "of the previous run, as a user's would; cp copies the file unchanged inside the kernel;"
  echo "cp+rename and plain (read, write to a temporary file, rename) are the floors of"
  echo "replacing a file atomically, as wavchorus does."
  echo "Times are medians over all runs of several rounds (for the 10-minute file, 15 rounds"
  echo "of one run of each tool in turn); CPU time is the mean user + system time, which leaves"
  echo "out waiting for the disk."
  heading "### The engine alone"
  columns Engine Rate "Values per second"
  echo "$engine" | awk -F, '/^"BM_/ {
      split($1, part, "/"); gsub(/"|BM_/, "", part[1]); gsub(/"/, "", part[2])
      for (i = 1; i <= NF; i++) if (header[i] == "items_per_second") ips = $i
      printf "| %s | %s Hz | %.1f M |\n", part[1], part[2], ips / 1e6 }
    /^name,/ { for (i = 1; i <= NF; i++) header[i] = $i }'
  tool_table ten "10-minute file (26,460,000 frames, 106 MB)"
  tool_table second "1-second file (44,100 frames)"
  tool_table thousand "1,000-frame file"
  host_table host-prompt "17 KB 8 kHz mono prompt, called in one process (5 rounds of 1,000 calls)"
  host_table host-second "1-second file, called in one process (5 rounds of 400 calls)"
  if [ "$only" != times ]; then
    heading "### Instructions per call in user space (callgrind)"
    columns File floor wavchorus reference
    figures 'for (i = 1; i <= names("ir floor", t); i++)
      printf "| %s | %.0f k | %.0f k | %.0f k |\n", t[i], one("ir floor", t[i]) / 1000,
        one("ir after", t[i]) / 1000, one("ir reference", t[i]) / 1000'
  fi
  heading "### Peak memory (maximum resident set size)"
  columns Program "1-minute file" "60-minute file"
  figures 'split("wavchorus reference", p, " ")
    for (i = 1; i <= 2; i++)
      printf "| %s | %s KiB | %s KiB |\n", p[i], one("memory", p[i] " 1"),
        one("memory", p[i] " 60")'
  heading "## Decoding"
  echo "A 10-minute 44.1 kHz stereo file (medians of 5 runs) and a 1-minute one (instructions)."
  echo
  columns Input "10 minutes" "Instructions, 1 minute" "/ 16-bit"
  figures 'for (i = 1; i <= names("decode", t); i++)
    printf "| %s | %.1f ms | %s | %s |\n", t[i], med("decode", t[i]) * 1000,
      one("decode ir", t[i]), ratio(one("decode ir", t[i]), one("decode ir", t[1]))'
  heading "### Targets"
  columns Target Measured ""
  # The floor of replacing a file atomically: the faster of cp + mv and the plain
  # program. The same peak memory: within the run-to-run spread of a few pages.
  figures 'w = med("ten", "wavchorus"); f = med("ten", "cp+rename")
    if (med("ten", "plain") < f) f = med("ten", "plain")
    target("wavchorus at most 1.10 x the faster floor (10 minutes)", ratio(w, f), "<=", 1.10)
    target("ffmpeg at least 3 x wavchorus (10 minutes)", ratio(med("ten", "ffmpeg"), w), ">=", 3)
    target("a call on the 17 KB prompt at most 1.3 x its floor",
      ratio(med("host-prompt", "wavchorus"), med("host-prompt", "floor")), "<=", 1.3)
    target("a call on the 1-second file at most 1.5 x its floor",
      ratio(med("host-second", "wavchorus"), med("host-second", "floor")), "<=", 1.5)
    a = one("memory", "wavchorus 1"); b = one("memory", "wavchorus 60")
    printf "| same peak memory for 1 and 60 minutes | %s / %s KiB | %s |\n", a, b,
      a - b <= 128 && b - a <= 128 ? "met" : "NOT met"
    d = med("decode", "24-bit, decoded")
    target("the 24-bit file at most 2 x the 16-bit file\047s time (10 minutes)",
      ratio(d, med("decode", "16-bit canonical")), "<=", 2)
    target("the 24-bit file faster than the two steps through sox",
      ratio(d, med("decode", "sox to 16-bit, then wavchorus")), "<=", 0.99)'
}
main_report | tee ${report_file:+"$report_file"}
[ "$only" != times ] || exit 0
# Later sections are appended to the report as they are measured.
append() { tee ${report_file:+-a "$report_file"}; }

# --- The later sections -------------------------------------------------------
# Replacing an earlier output that is not the input is the common case, which
# must be no slower; in place, this build now syncs the data and the directory.
output_section() {
  heading "### Writing the output: before and after unnamed files"
  build_before "$build/before" src/file/UnnamedFile_linux.cpp
  if [ -z "$before" ]; then
    echo "Skipped: the history before src/file/UnnamedFile_linux.cpp is not in this clone."
    return
  fi
  local old=$build/before/cli/wavchorus new=$wavchorus
  same_bytes "the builds before and after unnamed files" "$old" "$new"
  cp "$ten" "$work/in-place-before.wav"
  cp "$ten" "$work/in-place-after.wav"
  # Writes the earlier outputs first, so that each run replaces one.
  "$old" "$ten" "$work/replaced-before.wav" >/dev/null
  "$new" "$ten" "$work/replaced-after.wav" >/dev/null
  # out_set SET ROUNDS RUNS PREPARE-BEFORE PREPARE-AFTER BEFORE AFTER: both
  # commands in each round, after one run of each not counted.
  out_set() { hyper "$1" "$2" "$3" 1 --prepare "$4" before "$6" --prepare "$5" after "$7"; }
  out_set out-replace 5 4 true true \
    "$old $ten $work/replaced-before.wav" "$new $ten $work/replaced-after.wav"
  out_set out-new 3 4 "rm -f $work/new-before.wav" "rm -f $work/new-after.wav" \
    "$old $ten $work/new-before.wav" "$new $ten $work/new-after.wav"
  out_set out-second 5 30 true true \
    "$old $second $work/second-before.wav" "$new $second $work/second-after.wav"
  out_set out-in-place 3 4 true true \
    "$old $work/in-place-before.wav $work/in-place-before.wav" \
    "$new $work/in-place-after.wav $work/in-place-after.wav"
  rm -f "$work"/replaced-*.wav "$work"/new-*.wav "$work"/second-*.wav "$work"/in-place-*.wav

  echo "Before: $before, the output written to a named temporary file and renamed over"
  echo "the target, never synced. After: this tree, an unnamed file (O_TMPFILE) linked to its"
  echo "name, synced only in place. Medians, with the fastest and slowest run."
  echo
  columns Run Before After "After / before"
  # No slower: within 3 %, the spread of the medians from one round to the next.
  figures 'split("out-replace out-new out-second out-in-place", s, " ")
    split("10 minutes, replacing an earlier output|10 minutes, new output|" \
      "1 second, replacing an earlier output|" \
      "10 minutes, in place (after: data and directory synced)", t, "|")
    for (i = 1; i <= 4; i++)
      printf "| %s | %.1f ms (%.1f–%.1f) | %.1f ms (%.1f–%.1f) | %.2f |\n", t[i],
        med(s[i], "before") * 1000, lo(s[i], "before") * 1000, hi(s[i], "before") * 1000,
        med(s[i], "after") * 1000, lo(s[i], "after") * 1000, hi(s[i], "after") * 1000,
        med(s[i], "after") / med(s[i], "before")
    r = ratio(med("out-replace", "after"), med("out-replace", "before"))
    printf "\nReplacing an output that is not the input no slower than before (10 minutes):" \
      " %s x, %s.\n", r, met(r, "<=", 1.03)'
}
output_section | append
instructions_section | append

engine_timing_section() {
  [ -n "$before_engine" ] || return 0
  local dir=$build/before-engine
  hyper engine-ten 15 1 round plain "$plain $ten $work/plain" \
    before "$dir/cli/wavchorus $ten $work/out-before.wav" \
    after "$wavchorus $ten $work/out-after.wav"
  host_set host-engine-prompt "$prompt" 1000 5 before="$dir/src/libMavrelWAVChorus.so" \
    after="$library"
  heading "### The engine before ($before_engine) and after, with the floor, side by side"
  columns Run Floor Before After
  figures 's = "engine-ten"; f = med(s, "plain"); b = med(s, "before"); a = med(s, "after")
    printf "| 10 minutes, replacing the output (plain floor) | %.1f ms | %.1f ms, %.2f x |" \
      " %.1f ms, %.2f x |\n",
      f * 1000, b * 1000, b / f, a * 1000, a / f
    s = "host-engine-prompt"; f = med(s, "floor"); b = med(s, "before"); a = med(s, "after")
    printf "| 17 KB prompt, per call in one process | %.1f µs | %.1f µs, %.2f x |" \
      " %.1f µs, %.2f x |\n",
      f * 1e6, b * 1e6, b / f, a * 1e6, a / f'
}
engine_timing_section | append

scripts/bench-batch.sh "$wavchorus" | append

# The LV2 plugin's run() against the engine's processBlock (bench/PluginBench.cpp);
# instructions per frame from the difference between 3 rounds and 1 of 480,000.
lv2_section() {
  heading "### The LV2 plugin"
  if ! cmake --build "$build" --target MavrelWAVChorusLV2 plugin_bench >/dev/null 2>&1; then
    echo "Skipped: the plugin is not built here (it needs lv2-dev)."
    return
  fi
  local bundle=$build/lib/lv2/MavrelWAVChorus.lv2 bench=$build/bench/plugin_bench run
  local plugin=$bundle/MavrelWAVChorus.so
  say "timing the LV2 plugin against the engine"
  "$bench" "$plugin" --rounds 31 | awk '{ print "lv2\t" $1 "\t" $2 "\t" }' >>"$work/figures.tsv"
  for run in "engine 1" "engine 3" "plugin 1" "plugin 3"; do
    record "lv2 ir" "$run" \
      "$(instructions "$bench" "$plugin" --only "${run% *}" --rounds "${run#* }")"
  done
  LV2_PATH=$(dirname "$bundle") lv2bench -f -b 64 -n 4800000 urn:mavrelwavchorus:mono |
    awk '!/^#/ && NF >= 3 { print "lv2\tlv2bench\t" $3 / $2 * 1e9 "\t" }' >>"$work/figures.tsv"
  echo "Mono, 48 kHz, blocks of 64 frames from buffers that stay in the cache; load average"
  echo "$(loadavg) on $(nproc) cores."
  echo
  columns "" "Time per frame (median of 31 rounds)" "Instructions per frame (callgrind)"
  figures 'split("engine plugin", w, " ")
    for (i = 1; i <= 2; i++)
      ir[w[i]] = sprintf("%.1f", (one("lv2 ir", w[i] " 3") - one("lv2 ir", w[i] " 1")) / 2 / 480000)
    printf "| the engine, processBlock | %.2f ns | %s |\n", one("lv2", "engine"), ir["engine"]
    printf "| the plugin, run() | %.2f ns | %s |\n", one("lv2", "plugin"), ir["plugin"]
    printf "| the plugin in lv2bench (its own buffers) | %.2f ns | |\n", one("lv2", "lv2bench")
    r = one("lv2", "ratio")
    printf "\nrun() at most 1.5 x the engine: %s x in time, %s x in instructions, %s.\n",
      r, ratio(ir["plugin"], ir["engine"]), met(r, "<=", 1.5)'
}
lv2_section | append
