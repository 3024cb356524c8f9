#!/usr/bin/env bash
# Sets up everything, builds and runs every test: the steps in scripts/checks/,
# in the order of their names. Each step is a script of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
failed=()
passed=0
for step in scripts/checks/*.sh; do
  echo "=== ${step##*/}"
  if bash "$step"; then
    passed=$((passed + 1))
  else
    failed+=("${step##*/}")
  fi
done
echo "steps: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED steps: ${failed[*]}"
  exit 1
fi
