#!/usr/bin/env bash
# The sources of the library and the command line (src/, cli/) are clang-tidy
# clean under the repository's .clang-tidy, compiled as the build compiles them.
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$(pwd)
tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
[ -n "$tidy" ] || { echo "80-tidy: clang-tidy is not installed" >&2; exit 1; }

# Configuring is enough: compile_commands.json is written at generation time.
cmake -S . -B build-tidy -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF -DMAVREL_WAV_CHORUS_BUILD_BENCH=OFF \
  -DMAVREL_WAV_CHORUS_INSTALL=OFF >/dev/null

files=$(python3 - "$src" <<'PY'
import json, os, sys
src = sys.argv[1]
seen = set()
for entry in json.load(open("build-tidy/compile_commands.json")):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    rel = os.path.relpath(path, src)
    if rel.split(os.sep)[0] in ("src", "cli") and path not in seen:
        seen.add(path)
        print(path)
PY
)
[ -n "$files" ] || { echo "80-tidy: no sources of src/ or cli/ in compile_commands.json" >&2; exit 1; }
echo "80-tidy: $("$tidy" --version | grep -i version | head -1 | sed 's/^ *//'), $(echo "$files" | wc -l) files"

# Two at a time; any warning fails the step.
if ! echo "$files" | xargs -P 2 -n 1 "$tidy" -p build-tidy --quiet --warnings-as-errors='*' \
  >build-tidy/tidy.log 2>&1; then
  grep -E 'warning:|error:' -A3 build-tidy/tidy.log >&2 || cat build-tidy/tidy.log >&2
  echo "80-tidy: FAIL: clang-tidy found the problems above" >&2
  exit 1
fi
echo "80-tidy: clean"
