#!/usr/bin/env bash
# The library's dynamic symbol table defines WAVChorus and nothing else.
set -euo pipefail
lib=$1
defined=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort -u)
if [ "$defined" != "WAVChorus" ]; then
  echo "exports of $lib are not WAVChorus alone:"
  echo "$defined"
  exit 1
fi
echo "exports: WAVChorus"
