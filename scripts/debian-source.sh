#!/usr/bin/env bash
# Unpacks Debian's source packages into DIR/NAME-source, for the builds of
# libraries that the machine has no package of for the target (MinGW, the
# WebAssembly module). apt-get source needs a deb-src entry: the machine's own
# entries, as deb-src, in an apt configuration of our own under DIR (the
# machine's is not changed). A source already unpacked is kept.
#   scripts/debian-source.sh DIR PACKAGE...
set -euo pipefail
dir=$(mkdir -p "${1:?usage: debian-source.sh DIR PACKAGE...}" && cd "$1" && pwd)
shift
[ $# -gt 0 ] || { echo "usage: debian-source.sh DIR PACKAGE..." >&2; exit 2; }

wanted=()
for package in "$@"; do
  [ -f "$dir/$package-source/debian/control" ] || wanted+=("$package")
done
[ ${#wanted[@]} -eq 0 ] && exit 0

apt=$dir/apt
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$dir/download"
if [ ! -f "$apt/updated" ]; then
  rm -f "$apt"/sources.list.d/* "$apt/sources.list"
  found=0
  for entry in /etc/apt/sources.list.d/*.sources; do
    [ -f "$entry" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$entry" >"$apt/sources.list.d/$(basename "$entry")"
    found=1
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt/sources.list"
    [ -s "$apt/sources.list" ] && found=1
  fi
  [ $found -eq 1 ] || { echo "debian-source: no apt source entry to copy" >&2; exit 1; }
  touch "$apt/sources.list"
fi
opts=(-o "Dir::Etc::SourceParts=$apt/sources.list.d" -o "Dir::Etc::SourceList=$apt/sources.list"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
log=$dir/apt.log
if [ ! -f "$apt/updated" ]; then
  apt-get -q "${opts[@]}" update >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  touch "$apt/updated"
fi
for package in "${wanted[@]}"; do
  rm -rf "$dir/$package-source"
  mkdir -p "$dir/download/$package"
  (cd "$dir/download/$package" && apt-get -q "${opts[@]}" source --download-only "$package") \
    >>"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  dpkg-source --no-check -x "$dir/download/$package"/*.dsc "$dir/$package-source" >>"$log" 2>&1 ||
    { cat "$log" >&2; exit 1; }
done
