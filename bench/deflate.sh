#!/usr/bin/env bash
# deflate.sh [BENCH] [MB]: the codec beside python3's zlib at level 6 on MB
# megabytes (default 100) of text and of binary, as zlib streams: sizes and
# throughput each way, and the ratios ours/python (above 1 is faster or
# larger). Run by hand; BENCH defaults to build/release/bench/bench_deflate_bench.
# The corpora are built once under ${TMPDIR:-/tmp}/xeb-deflate-bench:
# text from the repository's sources and the system's documentation,
# binary from the system's programs and libraries.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build/release/bench/bench_deflate_bench}
mb=${2:-100}
rounds=${RUNS:-3}
py=${PYTHON:-}
if [ -z "$py" ]; then
  for c in /root/.pyenv/versions/3.11.*/bin/python3.11; do [ -x "$c" ] && py=$c; done
  [ -n "$py" ] || py=$(command -v python3)
fi
[ -x "$bench" ] || { echo "no bench at $bench (scripts/build.sh release)" >&2; exit 1; }

dir=${TMPDIR:-/tmp}/xeb-deflate-bench
mkdir -p "$dir"
bytes=$((mb * 1000000))
# fill OUT FIND-ARGS...: the files find lists, concatenated and repeated,
# cut to $bytes.
fill() {
  local out=$1; shift
  [ -f "$out" ] && [ "$(stat -c %s "$out")" -eq "$bytes" ] && return
  find "$@" -size -4M 2>/dev/null | sort | head -20000 | xargs cat 2>/dev/null | head -c $((bytes * 2)) > "$out.part" || true
  while [ "$(stat -c %s "$out.part")" -lt "$bytes" ]; do cat "$out.part" "$out.part" | head -c "$bytes" > "$out.tmp"; mv "$out.tmp" "$out.part"; done
  head -c "$bytes" "$out.part" > "$out"
  rm -f "$out.part"
}
fill "$dir/text-$mb" "$here/.." /usr/share/doc /usr/share/perl /usr/include -type f \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.md' -o -name '*.txt' -o -name '*.html' -o -name '*.pm' -o -name '*.pod' -o -name copyright \)
fill "$dir/binary-$mb" /usr/bin /usr/lib/x86_64-linux-gnu -type f

printf '%-8s %12s %12s %12s %9s %9s %9s %9s %7s %7s %7s\n' corpus bytes ours python 'c ours' 'c py' 'd ours' 'd py' size c d
for kind in text binary; do
  f=$dir/$kind-$mb
  read -r n ours_size ours_c ours_d < <("$bench" "$f" "$rounds")
  read -r _ py_size py_c py_d < <("$py" "$here/deflate.py" "$f" "$rounds")
  awk -v k="$kind" -v n="$n" -v os="$ours_size" -v ps="$py_size" -v oc="$ours_c" -v pc="$py_c" -v od="$ours_d" -v pd="$py_d" \
    'BEGIN { printf "%-8s %12d %12d %12d %9.1f %9.1f %9.1f %9.1f %7.4f %7.3f %7.3f\n", k, n, os, ps, oc, pc, od, pd, os/ps, oc/pc, od/pd }'
done
echo "(c, d: MB/s compressing and decompressing; size, c, d at the end: ours/python)"
