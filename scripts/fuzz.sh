#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz targets into build/fuzz and runs each
# (fuzz_*) for SECONDS (default 60). Every library is built with ASan, UBSan
# and coverage instrumentation, so a fault anywhere under a target is found.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
dir=build/fuzz
[ -f $dir/build.ninja ] || cmake -S . -B $dir -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXEB_FUZZ=ON \
  -DXEB_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
targets=$(ninja -C $dir -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): .*/\1/p' | sort -u)
cmake --build $dir -j "$(nproc)" --target $targets
status=0
for name in $targets; do
  t=$(find $dir -type f -name "$name" -perm -u+x | head -1)
  corpus=$dir/corpus/$name
  mkdir -p "$corpus"
  # A target's source may have a dictionary (NAME.dict) and seed inputs
  # (NAME_seeds/) beside it.
  src=$(find tests -name "$name.cpp" | head -1)
  extra=()
  [ -f "${src%.cpp}.dict" ] && extra+=(-dict="${src%.cpp}.dict")
  seeds=()
  [ -d "${src%.cpp}_seeds" ] && seeds+=("${src%.cpp}_seeds")
  echo "=== $name (${secs}s)"
  if ! "$t" -max_total_time="$secs" -print_final_stats=0 "${extra[@]}" "$corpus" "${seeds[@]}" >$dir/$name.log 2>&1; then
    echo "*** $name failed; see $dir/$name.log" >&2
    tail -40 $dir/$name.log >&2
    status=1
  fi
done
exit $status
