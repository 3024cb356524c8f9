#!/usr/bin/env bash
# check_dll.sh OBJDUMP NM DLL FRAMEWORK_DLL
# The DLL exports WAVChorus alone, under its plain name (on 32-bit Windows
# neither _WAVChorus nor WAVChorus@8), its entry point is MavrelWAVChorusEntry,
# and both DLLs import from system DLLs only (the C and C++ run-time is linked
# in), the library from the framework's DLL besides.
set -euo pipefail
objdump=$1 nm=$2 dll=$3 framework=$4

exports=$("$objdump" -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
if [ "$exports" != "WAVChorus" ]; then
  echo "FAIL: $dll exports:" >&2
  echo "${exports:-(nothing)}" >&2
  exit 1
fi
echo "exports: $exports"

# The entry point: the address of MavrelWAVChorusEntry, which 32-bit Windows
# decorates as _MavrelWAVChorusEntry@12. A linker that cannot find the entry
# symbol only warns and leaves the address 0, and DllMain never runs.
headers=$("$objdump" -p "$dll")
entry=$(printf '%s\n' "$headers" | awk '$1 == "AddressOfEntryPoint" { print $2 }')
base=$(printf '%s\n' "$headers" | awk '$1 == "ImageBase" { print $2 }')
symbol=$("$nm" "$dll" | awk '$3 ~ /^_?MavrelWAVChorusEntry(@12)?$/ { print $1 }')
if [ -z "$symbol" ] || [ -z "$entry" ] ||
  [ $((16#$base + 16#$entry)) -ne $((16#$symbol)) ]; then
  echo "FAIL: the entry point of $dll (address ${entry:-none} from ${base:-?}) is not" \
    "MavrelWAVChorusEntry (${symbol:-not found})" >&2
  exit 1
fi
echo "entry point: MavrelWAVChorusEntry at $entry"

system_dll='^(kernel32|msvcrt|ntdll|user32|advapi32|ole32|oleaut32|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for file in "$dll" "$framework"; do
  imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
  echo "$(basename "$file") imports: $(echo $imports)"
  for name in $imports; do
    lower=${name,,}
    if [[ $lower =~ $system_dll ]]; then
      continue
    fi
    if [ "$file" = "$dll" ] && [ "$lower" = "$(basename "${framework,,}")" ]; then
      continue
    fi
    echo "FAIL: $(basename "$file") needs $name, which is neither a system DLL nor the framework" >&2
    status=1
  done
done
exit $status
