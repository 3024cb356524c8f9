#!/usr/bin/env bash
# The LV2 plugin's section of the benchmark (scripts/bench.sh runs it): run() per
# frame against the engine's own processBlock per value, at 48 kHz in blocks of
# 64 frames, as medians of plugin_bench's alternating rounds and as instructions
# per frame (callgrind, which the load of a shared machine does not change), and
# lv2bench's own time for the plugin. Prints a Markdown section.
#   scripts/bench-lv2.sh BUILD    a build folder configured with the plugin
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
echo
echo "### The LV2 plugin"
echo
if ! cmake --build "$build" --target MavrelWAVChorusLV2 plugin_bench >/dev/null 2>&1; then
  echo "Skipped: the plugin is not built here (it needs lv2-dev)."
  exit 0
fi
bundle=$build/lib/lv2/MavrelWAVChorus.lv2
plugin=$bundle/MavrelWAVChorus.so
bench=$build/bench/plugin_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "bench: timing the LV2 plugin against the engine" >&2

"$bench" "$plugin" --rounds 31 >"$work/times"
value() { awk -v k="$1" '$1 == k { print $2 }' "$work/times"; }
# Instructions per frame: the difference between 3 rounds and 1 of 480,000 frames.
instructions() {
  local rounds total=()
  for rounds in 1 3; do
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
      "$bench" "$plugin" --only "$1" --rounds "$rounds" >/dev/null 2>"$work/callgrind.log"
    total+=("$(sed -n 's/^summary: //p' "$work/callgrind.out")")
  done
  awk -v a="${total[0]}" -v b="${total[1]}" 'BEGIN { printf "%.1f", (b - a) / 2 / 480000 }'
}
ir_engine=$(instructions engine)
ir_plugin=$(instructions plugin)
lv2bench_ns=$(LV2_PATH=$(dirname "$bundle") lv2bench -f -b 64 -n 4800000 urn:mavrelwavchorus:mono |
  awk '!/^#/ && NF >= 3 { printf "%.2f", $3 / $2 * 1e9 }')
ratio_time=$(value ratio)
ratio_ir=$(awk -v a="$ir_plugin" -v b="$ir_engine" 'BEGIN { printf "%.2f", a / b }')

echo "Mono, 48 kHz, blocks of 64 frames from buffers that stay in the cache; load average"
echo "$(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores."
echo
echo "| | Time per frame (median of 31 rounds) | Instructions per frame (callgrind) |"
echo "|---|---:|---:|"
printf '| the engine, processBlock | %.2f ns | %s |\n' "$(value engine)" "$ir_engine"
printf '| the plugin, run() | %.2f ns | %s |\n' "$(value plugin)" "$ir_plugin"
echo "| the plugin in lv2bench (its own buffers) | $lv2bench_ns ns | |"
echo
echo "run() at most 1.5 x the engine: $ratio_time x in time, $ratio_ir x in instructions," \
  "$(awk -v r="$ratio_time" 'BEGIN { print r <= 1.5 ? "met" : "NOT met" }')."
