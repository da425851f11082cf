#!/usr/bin/env bash
# ratios.sh [XEB]: times each benchmark script and its Lua 5.4 and Python 3
# twins (best of 5 runs, hyperfine when present) and prints the times and the
# ratios xeb/lua, xeb/python and ret/noret. Run by hand from anywhere; XEB
# defaults to build/release/xeb.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
lua=$(command -v lua5.4 || true)
py=$(command -v python3 || true)
runs=5

[ -x "$xeb" ] || { echo "no xeb at $xeb (scripts/build.sh release)" >&2; exit 1; }

# best CMD...: the fastest wall time of $runs runs, in seconds.
best() {
  if command -v hyperfine >/dev/null; then
    hyperfine -N -r "$runs" --export-json /tmp/ratios.$$.json "$*" >/dev/null 2>&1
    python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["min"])' /tmp/ratios.$$.json
    rm -f /tmp/ratios.$$.json
    return
  fi
  local b="" t0 t1 t
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    t=$(( t1 - t0 ))
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
  done
  awk -v n="$b" 'BEGIN { printf "%.4f\n", n / 1e9 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

printf '%-8s %9s %9s %9s %9s %9s\n' bench xeb lua python xeb/lua xeb/py
declare -A t
for b in fib loop ret noret; do
  t[$b]=$(best "$xeb" "$here/$b.xeb")
  l=-; p=-
  [ -n "$lua" ] && l=$(best "$lua" "$here/$b.lua")
  [ -n "$py" ] && p=$(best "$py" "$here/$b.py")
  printf '%-8s %9s %9s %9s %9s %9s\n' "$b" "${t[$b]}" "$l" "$p" \
    "$( [ "$l" = - ] && echo - || ratio "${t[$b]}" "$l")" "$( [ "$p" = - ] && echo - || ratio "${t[$b]}" "$p")"
done
echo "ret/noret: $(ratio "${t[ret]}" "${t[noret]}")"
