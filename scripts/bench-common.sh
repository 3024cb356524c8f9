# shellcheck shell=bash disable=SC2154 # $work and $call_loop are the caller's
# The benchmark's ways of building, measuring and printing, each written once;
# sourced by scripts/bench.sh and scripts/bench-batch.sh, which set $work (and,
# for call_loop, $call_loop) before they measure. Every figure goes to one
# store, $work/figures.tsv (set, name, value, CPU time); every table is printed
# from it.

say() { echo "$(basename "$0" .sh): $*" >&2; }

# build_bench TARGET...: the packages, then the targets in build-bench.
build_bench() {
  scripts/deps.sh bench
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=ON >/dev/null
  cmake --build build-bench --target "$@" >/dev/null
}

# record SET NAME VALUE: one figure of its own (an instruction count, a size).
record() { printf '%s\t%s\t%s\t\n' "$@" >>"$work/figures.tsv"; }

# hyper SET ROUNDS RUNS WARMUP [--prepare CMD] NAME CMD...: hyperfine over the
# commands (each after its own CMD of --prepare, when given), ROUNDS times with
# RUNS runs each, so that a burst of load from elsewhere falls on every command
# alike; after the last round, each run's time goes to the store with the mean
# CPU time (user + system) of its round. WARMUP "round": one run of each in turn
# first, not counted; with RUNS 1 the commands then take turns, each finding the
# disk as the others leave it. Commands run without a shell unless hyper_shell
# says one.
hyper() {
  local set=$1 rounds=$2 runs=$3 warmup=$4 round args=()
  shift 4
  while [ $# -gt 0 ]; do
    if [ "$1" = --prepare ]; then args+=(--prepare "$2"); else args+=(-n "$1" "$2"); fi
    shift 2
  done
  say "timing $set ($rounds rounds of $runs runs each)"
  if [ "$warmup" = round ]; then
    hyperfine "${hyper_shell:--N}" --style none --runs 1 "${args[@]}" >/dev/null
    warmup=0
  fi
  for round in $(seq "$rounds"); do
    hyperfine "${hyper_shell:--N}" --style none --warmup "$warmup" --runs "$runs" \
      --export-json "$work/hyperfine-$round.json" "${args[@]}" >/dev/null
  done
  jq -r --arg set "$set" '.results[] | .command as $name | (.user + .system) as $cpu
    | .times[] | [$set, $name, ., $cpu] | @tsv' "$work"/hyperfine-*.json >>"$work/figures.tsv"
  rm -f "$work"/hyperfine-*.json
}

# host_set SET INPUT CALLS ROUNDS [NAME=LIBRARY]...: ROUNDS rounds of one
# process of call_loop (bench/CallLoop.cpp) for each library, timing CALLS calls
# of the floor and of that library side by side; each process's medians per
# call, wall and CPU, go to the store. A library has a process to itself, as in
# a host: another in the same process changes what the allocator keeps.
host_set() {
  local set=$1 in=$2 calls=$3 rounds=$4 library
  shift 4
  say "calling the library in one process: $set ($rounds rounds of $calls calls)"
  for _ in $(seq "$rounds"); do
    for library in "$@"; do
      "$call_loop" --calls "$calls" --warmup 50 --results "$work/call_loop.tsv" \
        "$in" "$work/host" "$library" >/dev/null
      awk -v set="$set" '{ print set "\t" $0 }' "$work/call_loop.tsv" >>"$work/figures.tsv"
    done
  done
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
  for _ in 1 2 3 4 5; do
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { print $2 }'
  done | sort -n | sed -n 3p
}

# build_before DIR PATH [TEXT]: the library and command line of this clone's
# tree just before the commit that first gave PATH (or made it hold TEXT), built
# in DIR; sets before to that commit, left empty when that history is not here.
build_before() {
  local dir=$1 path=$2 how=(--diff-filter=A) first
  [ -z "${3:-}" ] || how=(-S "$3")
  before=
  first=$(git log --format=%H "${how[@]}" -- "$path" 2>/dev/null | tail -1)
  [ -n "$first" ] && git cat-file -e "$first^" 2>/dev/null || return 0
  before=$(git rev-parse --short "$first^")
  say "building the library and wavchorus of $before"
  rm -rf "$dir-src"
  mkdir -p "$dir-src"
  git archive "$before" | tar -x -C "$dir-src"
  cmake -S "$dir-src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=OFF \
    -DMAVREL_WAV_CHORUS_INSTALL=OFF >/dev/null
  cmake --build "$dir" --target MavrelWAVChorus wavchorus >/dev/null
}

# heading TEXT: the heading between blank lines.
heading() { printf '\n%s\n\n' "$1"; }
# columns TITLE...: a table's first two lines; numbers right-aligned, the first
# column and untitled ones left.
columns() {
  local title head="|" rule="|---|"
  for title; do head+="${title:+ $title} |"; done
  shift
  for title; do rule+="---${title:+:}|"; done
  printf '%s\n%s\n' "$head" "$rule"
}

# figures CODE [NAME=VALUE]...: runs the awk CODE once with the whole store at
# hand. For the values of NAME in SET: med(SET, NAME), the median (the upper
# one of an even count), lo and hi, the fastest and slowest, one, the first;
# cpu, the mean CPU time, and cpumed, its median. names(SET, LIST) fills LIST
# with the set's names in the order they came and counts them. ratio(A, B) is
# A / B to two places; met(R, OP, LIMIT) and target(TEXT, R, OP, LIMIT) say
# whether R is <= or >= LIMIT. The store's own arrays begin with "_".
figures() {
  local code=$1 vars=() pair
  shift
  for pair; do vars+=(-v "$pair"); done
  awk -F'\t' "${vars[@]}" '
    { if (!(($1, $2) in _count)) _order[$1, ++_names[$1]] = $2
      _value[$1, $2, ++_count[$1, $2]] = $3; _cpus[$1, $2, _count[$1, $2]] = $4 }
    function sorted(from, s, x, to,   n, i, j, t) {
      n = _count[s, x]
      for (i = 1; i <= n; i++) to[i] = from[s, x, i] + 0
      for (i = 2; i <= n; i++)
        for (j = i; j > 1 && to[j] < to[j - 1]; j--) { t = to[j]; to[j] = to[j - 1]; to[j - 1] = t }
      return n
    }
    function middle(from, s, x,   v) { return v[int(sorted(from, s, x, v) / 2) + 1] }
    function med(s, x) { return middle(_value, s, x) }
    function cpumed(s, x) { return middle(_cpus, s, x) }
    function lo(s, x,   v) { sorted(_value, s, x, v); return v[1] }
    function hi(s, x,   v) { return v[sorted(_value, s, x, v)] }
    function one(s, x) { return _value[s, x, 1] }
    function cpu(s, x,   i, t) {
      for (i = 1; i <= _count[s, x]; i++) t += _cpus[s, x, i]
      return t / _count[s, x]
    }
    function names(s, list,   i) {
      for (i = 1; i <= _names[s]; i++) list[i] = _order[s, i]
      return _names[s]
    }
    function ratio(a, b) { return sprintf("%.2f", a / b) }
    function met(r, op, limit) {
      return (op == "<=" ? r + 0 <= limit : r + 0 >= limit) ? "met" : "NOT met"
    }
    function target(text, r, op, limit) {
      printf "| %s | %s x | %s |\n", text, r, met(r, op, limit)
    }
    END {'"$code"'}' "$work/figures.tsv"
}
