#!/usr/bin/env bash
# Sets up everything, builds and runs every test: the steps in scripts/checks/,
# in the order of their names. Each step is a script of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
failed=()
for step in scripts/checks/*.sh; do
  echo "=== ${step##*/}"
  if ! bash "$step"; then
    failed+=("${step##*/}")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED steps: ${failed[*]}"
  exit 1
fi
echo "All test steps passed."
