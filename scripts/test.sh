#!/usr/bin/env bash
# Builds every variant and runs the whole test suite in each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "=== layers"
python3 scripts/check_layers.py
jobs=$(nproc)
for v in release gcstress asan; do
  echo "=== $v build"
  scripts/build.sh "$v"
  echo "=== $v tests"
  (cd build/$v && ctest --output-on-failure -j "$jobs")
done
echo "=== fuzz"
XEB_FUZZ_AT_ONCE=$(( jobs > 1 ? jobs / 2 : 1 )) scripts/fuzz.sh 60
