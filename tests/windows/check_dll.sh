#!/usr/bin/env bash
# check_dll.sh OBJDUMP DLL FRAMEWORK_DLL
# The DLL exports WAVChorus alone, under its plain name, and both DLLs import
# from system DLLs only (the C and C++ run-time is linked in), the library from
# the framework's DLL besides.
set -euo pipefail
objdump=$1 dll=$2 framework=$3

exports=$("$objdump" -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
if [ "$exports" != "WAVChorus" ]; then
  echo "FAIL: $dll exports:" >&2
  echo "${exports:-(nothing)}" >&2
  exit 1
fi
echo "exports: $exports"

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
