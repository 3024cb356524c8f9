#!/usr/bin/env bash
# wine_prefix.sh PREFIX: makes sure that the tests' Wine prefix serves 32-bit
# programs as well as 64-bit ones. A prefix made while Debian's wine32 was not
# installed holds no 32-bit system DLLs (drive_c/windows/syswow64), and once
# wine32 is there Wine fails in it with "could not load kernel32.dll". Such a
# prefix is removed, and the next program that Wine starts makes it afresh.
set -euo pipefail
prefix=${1:?usage: wine_prefix.sh PREFIX}

if [ ! -e "$prefix/system.reg" ]; then
  echo "no prefix yet at $prefix: the first program makes it"
  exit 0
fi
if ! grep -q '^#arch=win64' "$prefix/system.reg"; then
  echo "32-bit prefix at $prefix"
  exit 0
fi
if [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "prefix at $prefix serves 32-bit and 64-bit programs"
  exit 0
fi
if [ ! -x /usr/lib/wine/wine ]; then
  echo "prefix at $prefix is 64-bit only, and wine32 is not installed"
  exit 0
fi
echo "prefix at $prefix was made without wine32; removing it so that it is made afresh"
for server in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if [ -x "$server" ]; then
    WINEPREFIX=$prefix "$server" -k 2>/dev/null || true
    break
  fi
done
rm -rf "$prefix"
