#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz variant into build/fuzz and runs every
# fuzz target found there (fuzz_*) for SECONDS each (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
scripts/build.sh fuzz
status=0
for t in $(find build/fuzz -type f -name 'fuzz_*' ! -name '*.*' -perm -u+x | sort); do
  name=$(basename "$t")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "=== $name (${secs}s)"
  if ! "$t" -max_total_time="$secs" -print_final_stats=0 "$corpus" >build/fuzz/$name.log 2>&1; then
    echo "*** $name failed; see build/fuzz/$name.log" >&2
    tail -40 build/fuzz/$name.log >&2
    status=1
  fi
done
exit $status
