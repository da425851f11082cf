#!/usr/bin/env bash
# build.sh VARIANT [TARGET...]: configures and builds one variant into
# build/VARIANT, all of it or only the targets named.
# Variants: release, gcstress, asan. XEB_JOBS sets the number of parallel
# jobs (default: every processor).
set -euo pipefail
cd "$(dirname "$0")/.."
v=${1:-release}
[ $# -gt 0 ] && shift
jobs=${XEB_JOBS:-$(nproc)}
case "$v" in
  release)  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  gcstress) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DXEB_GC_STRESS=ON) ;;
  asan)     opts=(-DCMAKE_BUILD_TYPE=Debug -DXEB_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  fuzz)     opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DXEB_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  *) echo "unknown variant $v" >&2; exit 2 ;;
esac
# The compiler cache keyed by the source, not by the checkout's folder: a
# fresh clone (CI's) finds what an earlier clone compiled.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
[ -f build/$v/build.ninja ] || cmake -S . -B build/$v -G Ninja "${opts[@]}" >/dev/null
cmake --build build/$v -j "$jobs" ${1:+--target "$@"}
