#!/usr/bin/env bash
# cliffs.sh [XEB]: the cost of writing a function the way a user does. Times
# recursive Fibonacci of 36 as a plain func [n] (fib.xeb) and with a typed
# argument (fib_typed.xeb), one local (fib_local.xeb), a refinement
# (fib_ref.xeb) and prefix operators (fib_prefix.xeb), and prints each one's
# best CPU time (user + system) of RUNS rounds (default 3) and its ratio to
# the plain one. The variants run in turn, round after round, so that a
# change in the machine's load falls on all of them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
runs=${RUNS:-3}
[ -x "$xeb" ] || { echo "no xeb at $xeb (scripts/build.sh release)" >&2; exit 1; }

variants=(fib fib_typed fib_local fib_ref fib_prefix)
time_once() {
  local TIMEFORMAT='%3U %3S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.0f", (a[1] + a[2]) * 1e9 }'
}
declare -A best
for _ in $(seq "$runs"); do
  for v in "${variants[@]}"; do
    n=$(time_once "$xeb" "$here/$v.xeb")
    if [ -z "${best[$v]:-}" ] || [ "$n" -lt "${best[$v]}" ]; then best[$v]=$n; fi
  done
done
echo "xeb: $xeb"
printf '%-11s %9s %9s\n' variant cpu/s /plain
for v in "${variants[@]}"; do
  awk -v n="${best[$v]}" -v p="${best[fib]}" -v v="$v" \
    'BEGIN { printf "%-11s %9.3f %9.2f\n", v, n / 1e9, n / p }'
done
