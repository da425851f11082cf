#!/usr/bin/env bash
# ratios.sh [XEB]: times each benchmark script and its Lua 5.4 and Python 3
# twins and prints the times and the ratios xeb/lua, xeb/python and
# ret/noret. The three interpreters run in turn, round after round, so that a
# change in the machine's load falls on all of them; each time is the best
# CPU time (user + system) of RUNS rounds (default 3): on a shared machine it
# moves less with the load than wall time. Run by hand from anywhere; XEB
# defaults to build/release/xeb.
#
# The references are called as their own binaries: a version manager's shim
# in front of python3 adds tens of milliseconds to every start. PYTHON and
# LUA override the search.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
runs=${RUNS:-3}

[ -x "$xeb" ] || { echo "no xeb at $xeb (scripts/build.sh release)" >&2; exit 1; }

# real_binary CMD: the interpreter behind CMD, past any shim script.
real_binary() {
  local p
  p=$(command -v "$1" 2>/dev/null) || return 0
  if head -c 2 "$p" 2>/dev/null | grep -q '#!'; then
    # A shell shim (pyenv and its kin): ask the interpreter where it lives.
    case "$1" in
      python*) "$p" -c 'import sys; print(sys.executable)' 2>/dev/null ;;
      *) echo "$p" ;;
    esac
  else
    readlink -f "$p"
  fi
}

py=${PYTHON:-}
if [ -z "$py" ]; then
  for c in /root/.pyenv/versions/3.11.*/bin/python3.11; do [ -x "$c" ] && py=$c; done
  [ -n "$py" ] || py=$(real_binary python3)
fi
lua=${LUA:-$(real_binary lua5.4)}

# time_once CMD...: the CPU time (user + system) of one run in nanoseconds.
time_once() {
  local TIMEFORMAT='%3U %3S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.0f", (a[1] + a[2]) * 1e9 }'
}

secs() { awk -v n="$1" 'BEGIN { printf "%.3f", n / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
min() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }

echo "xeb: $xeb"
echo "lua: ${lua:-none}"
echo "python: ${py:-none}"
printf '%-8s %9s %9s %9s %9s %9s\n' bench xeb lua python xeb/lua xeb/py
declare -A t
for b in fib loop ret noret block parse map scalar mold; do
  bx="" bl="" bp=""
  for _ in $(seq "$runs"); do
    bx=$(min "$bx" "$(time_once "$xeb" "$here/$b.xeb")")
    # scalar and mold have no Lua twin.
    [ -n "$lua" ] && [ -f "$here/$b.lua" ] && bl=$(min "$bl" "$(time_once "$lua" "$here/$b.lua")")
    [ -n "$py" ] && [ -f "$here/$b.py" ] && bp=$(min "$bp" "$(time_once "$py" "$here/$b.py")")
  done
  t[$b]=$bx
  printf '%-8s %9s %9s %9s %9s %9s\n' "$b" "$(secs "$bx")" \
    "$([ -n "$bl" ] && secs "$bl" || echo -)" "$([ -n "$bp" ] && secs "$bp" || echo -)" \
    "$([ -n "$bl" ] && ratio "$bx" "$bl" || echo -)" "$([ -n "$bp" ] && ratio "$bx" "$bp" || echo -)"
done
echo "ret/noret: $(ratio "${t[ret]}" "${t[noret]}")"
