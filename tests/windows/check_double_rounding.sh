#!/usr/bin/env bash
# check_double_rounding.sh OBJDUMP ARCHIVE
# 32-bit x86: the signal path's code computes in SSE2, where every operation is
# rounded to double. The x87 unit holds 80-bit values and would round them only
# when it stores them. Loads and stores of doubles are all the x87 code allowed:
# a maths function of the 32-bit convention returns its double in st(0), which
# the caller stores, rounded to double, and a double returned is loaded there.
set -euo pipefail
objdump=$1 archive=$2

listing=$("$objdump" -d --no-show-raw-insn "$archive")
# The mnemonic of each instruction line ("  addr:<TAB>mnemonic operands").
x87=$(printf '%s\n' "$listing" | awk -F'\t' '/^ *[0-9a-f]+:\t/ { split($2, w, " "); print w[1] }' |
  grep -E '^f' | sort | uniq -c || true)
functions=$(printf '%s\n' "$listing" | grep -c '^[0-9a-f]* <' || true)
if [ "$functions" -eq 0 ]; then
  echo "FAIL: no code found in $archive" >&2
  exit 1
fi
arithmetic=$(printf '%s\n' "$x87" | awk '$2 !~ /^(fldl|fstpl|fstl)$/ && NF == 2')
if [ -n "$arithmetic" ]; then
  echo "FAIL: x87 instructions in the signal path ($archive):" >&2
  echo "$arithmetic" >&2
  exit 1
fi
echo "$functions functions; x87 instructions: $(echo ${x87:-none})"
