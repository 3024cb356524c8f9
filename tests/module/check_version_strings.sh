#!/usr/bin/env bash
# check_version_strings.sh LIBRARY
# The version strings are in the library's .mavrel_version section, in order,
# and standard tools (readelf, strings) read them.
set -euo pipefail
lib=$1
expected=(
  "CompanyName="
  "FileDescription=MavrelWAVChorus DLL"
  "FileVersion=1, 0, 0, 1"
  "InternalName=MavrelWAVChorus"
  "LegalTrademarks="
  "OriginalFilename=MavrelWAVChorus.DLL"
  "ProductName=MavrelWAVChorus Dynamic Link Library"
  "ProductVersion=1, 0, 0, 1"
)

# readelf -p prints "  [offset]  text" per string.
mapfile -t found < <(readelf -p .mavrel_version "$lib" | sed -n 's/^ *\[ *[0-9a-f]*\]  //p')
if [ "${found[*]-}" != "${expected[*]}" ] || [ ${#found[@]} -ne ${#expected[@]} ]; then
  echo "FAIL: readelf -p .mavrel_version $lib gives:" >&2
  printf '  %s\n' "${found[@]-}" >&2
  echo "expected:" >&2
  printf '  %s\n' "${expected[@]}" >&2
  exit 1
fi

all_strings=$(strings -a "$lib")
for s in "${expected[@]}"; do
  if ! grep -qxF -- "$s" <<<"$all_strings"; then
    echo "FAIL: strings does not find \"$s\" in $lib" >&2
    exit 1
  fi
done
echo "version strings: ${#expected[@]} found by readelf and strings"
