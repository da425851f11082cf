#!/usr/bin/env bash
# fuzz.sh [SECONDS] [JOBS] [TARGET...]: builds the fuzz targets into build/fuzz
# and runs each (or each TARGET named) for SECONDS (default 60) in JOBS
# parallel processes (default 1) sharing one corpus, kept outside the
# checkout in $XEB_FUZZ_CORPUS/TARGET (default ~/.cache/xeb-fuzz/TARGET), so
# that each run, a fresh clone's included, goes on from the last one. Every
# library is built with ASan, UBSan and coverage instrumentation, so a fault
# anywhere under a target is found. Logs go to build/fuzz/logs/TARGET, crash inputs to
# build/fuzz/crashes/TARGET; a summary line per target gives the executions,
# the corpus size and the coverage (cov: edges, ft: features).
# XEB_FUZZ_AT_ONCE=N runs up to N targets at the same time (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
jobs=${2:-1}
shift $(( $# < 2 ? $# : 2 ))
dir=build/fuzz
# The compiler cache keyed by the source, as scripts/build.sh keys it.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
[ -f $dir/build.ninja ] || cmake -S . -B $dir -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXEB_FUZZ=ON \
  -DXEB_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(ninja -C $dir -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): .*/\1/p' | sort -u)
fi
cmake --build $dir -j "$(nproc)" --target $targets
root=$(pwd)
corpora=${XEB_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/xeb-fuzz}
at_once=${XEB_FUZZ_AT_ONCE:-1}
# run_target NAME: fuzzes one target; prints its summary; fails on a fault.
run_target() {
  local name=$1 t corpus logs crashes src ok fault execs last args seeds=() return_status=0
  t=$root/$(find $dir -type f -name "$name" -perm -u+x | head -1)
  corpus=$corpora/$name
  logs=$root/$dir/logs/$name
  crashes=$root/$dir/crashes/$name
  mkdir -p "$corpus" "$logs" "$crashes"
  rm -f "$logs"/*.log
  echo "=== $name (${secs}s, $jobs jobs)"
  # The heap may legitimately reach its 4 GiB region; libFuzzer's default
  # 2 GB limit would report a large but bounded input as a fault.
  args=(-max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$crashes/" -rss_limit_mb=6144)
  # A target's source may have a dictionary (NAME.dict) and seed inputs
  # (NAME_seeds/) beside it.
  src=$(find tests -name "$name.cpp" | head -1)
  [ -f "${src%.cpp}.dict" ] && args+=(-dict="$root/${src%.cpp}.dict")
  [ -d "${src%.cpp}_seeds" ] && seeds+=("$root/${src%.cpp}_seeds")
  # With -jobs, libFuzzer writes each worker's output to fuzz-N.log in the
  # working directory.
  [ "$jobs" -gt 1 ] && args+=(-jobs="$jobs" -workers="$jobs")
  ok=1
  (cd "$logs" && "$t" "${args[@]}" "$corpus" "${seeds[@]}" >"$logs/main.log" 2>&1) || ok=0
  # A worker's crash shows in its log whatever the parent's exit status.
  # A slow unit is written for a look, not as a fault.
  fault='ERROR: \|runtime error:\|DEADLY\|Test unit written to [^ ]*/\(crash\|leak\|timeout\|oom\)-'
  grep -q "$fault" "$logs"/*.log && ok=0
  if [ $ok = 0 ]; then
    echo "*** $name failed; see $logs" >&2
    for f in "$logs"/*.log; do
      grep -q "$fault" "$f" && { echo "--- $f" >&2; grep -A40 -m1 "$fault" "$f" >&2; }
    done
    return_status=1
  fi
  # The main log repeats the workers' logs at the end.
  if [ "$jobs" -gt 1 ]; then set -- "$logs"/fuzz-*.log; else set -- "$logs/main.log"; fi
  execs=$(cat "$@" | sed -n 's/^stat::number_of_executed_units: *//p' | awk '{s+=$1} END {print s+0}')
  last=$(cat "$@" | grep -o 'cov: [0-9]* ft: [0-9]*' | sort -t' ' -k2,2n -k4,4n | tail -1)
  echo "$name: $execs executions, corpus $(ls "$corpus" | wc -l) inputs, ${last:-no coverage line}"
  return $return_status
}
status=0
out=$(mktemp -d)
running=0
for name in $targets; do
  # Each target's output is kept apart and printed whole when it ends.
  (run_target "$name" >"$out/$name" 2>&1) &
  running=$((running + 1))
  if [ "$running" -ge "$at_once" ]; then wait -n || status=1; running=$((running - 1)); fi
done
while [ "$running" -gt 0 ]; do wait -n || status=1; running=$((running - 1)); done
cat "$out"/*
rm -rf "$out"
exit $status
