#!/usr/bin/env bash
# ratios.sh [XEB] [BENCH...]: times each benchmark script and its Lua 5.4 and
# Python 3 twins and prints the times and the ratios xeb/lua and xeb/python,
# then the peak memory where it is part of the question (wordfreq,
# bintrees), ret/noret and the growth of replace/all (replace2/replace1). The
# three interpreters run in turn, round after round, so that a change in the
# machine's load falls on all of them; each time is the best CPU time (user +
# system) of RUNS rounds (default 3): on a shared machine it moves less with
# the load than wall time. Run by hand from anywhere; XEB defaults to
# build/release/xeb; BENCH names pick some of the benchmarks (default all).
#
# A run that passes LIMIT seconds of CPU (default 120) is stopped and shown as
# >LIMIT, and that interpreter skips the benchmark's later rounds.
#
# The references are called as their own binaries: a version manager's shim
# in front of python3 adds tens of milliseconds to every start. PYTHON and
# LUA override the search.
#
# wordfreq reads a 30 MB text made once by wordfreq_text.py and kept under
# ${TMPDIR:-/tmp}/xeb-bench (never in the repository). script is the start
# and finish of a 100-line script: its times are those of 100 runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=$here/../build/release/xeb
if [ $# -gt 0 ] && [ -x "$1" ] && [ ! -d "$1" ]; then xeb=$1; shift; fi
runs=${RUNS:-3}
limit=${LIMIT:-120}
all=(fib fib_typed fib_local loop ret noret block parse map scalar mold
     methods mandel exprtree sort bintrees replace1 replace2 wordfreq script tocsv)
if [ $# -gt 0 ]; then benches=("$@"); else benches=("${all[@]}"); fi

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
gnu_time=/usr/bin/time
[ -x "$gnu_time" ] || gnu_time=""

data=${TMPDIR:-/tmp}/xeb-bench
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# args_of BENCH: the arguments its scripts take.
args_of() {
  case "$1" in
    wordfreq)
      local text=$data/wordfreq-30.txt
      if [ ! -s "$text" ]; then
        mkdir -p "$data"
        "${py:-python3}" "$here/wordfreq_text.py" "$text.part" 30 && mv "$text.part" "$text"
      fi
      echo "$text" ;;
  esac
}

# run_once INTERP SCRIPT ARGS...: one run under the CPU limit; prints the CPU
# time in nanoseconds and the peak resident set in KB (0 when unknown), or
# "over" when the limit stopped it. script runs 100 times in a row.
run_once() {
  local interp=$1 script=$2; shift 2
  local out=$scratch/time
  local cmd=("$interp" "$script" "$@")
  if [ "$(basename "$script")" = script.xeb ] || [ "$(basename "$script")" = script.lua ] ||
     [ "$(basename "$script")" = script.py ]; then
    cmd=(bash -c 'for _ in $(seq 100); do "$0" "$1" || exit 1; done' "$interp" "$script")
  fi
  local status=0
  if [ -n "$gnu_time" ]; then
    ( ulimit -t "$limit"; "$gnu_time" -o "$out" -f '%U %S %M' "${cmd[@]}" >/dev/null 2>&1 ) || status=$?
    [ "$status" -eq 0 ] || { echo over; return; }
    awk 'END { printf "%.0f %d", ($1 + $2) * 1e9, $3 }' "$out"
  else
    local TIMEFORMAT='%3U %3S' t
    t=$( { time ( ulimit -t "$limit"; "${cmd[@]}" >/dev/null 2>&1 ) ; } 2>&1 ) || status=$?
    [ "$status" -eq 0 ] || { echo over; return; }
    awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.0f 0", (a[1] + a[2]) * 1e9 }'
  fi
}

secs() { awk -v n="$1" 'BEGIN { printf "%.3f", n / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
min() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
shown() { case "$1" in "") echo - ;; over) echo ">$limit" ;; *) secs "$1" ;; esac; }
rate() { case "$1$2" in *over*) echo - ;; *) if [ -n "$1" ] && [ -n "$2" ]; then ratio "$1" "$2"; else echo -; fi ;; esac; }

echo "xeb: $xeb"
echo "lua: ${lua:-none}"
echo "python: ${py:-none}"
printf '%-9s %9s %9s %9s %9s %9s\n' bench xeb lua python xeb/lua xeb/py
declare -A t m
for b in "${benches[@]}"; do
  [ -f "$here/$b.xeb" ] || { echo "no benchmark $b" >&2; continue; }
  args=$(args_of "$b")
  for k in x l p; do t[$b.$k]="" m[$b.$k]=""; done
  for _ in $(seq "$runs"); do
    for k in x l p; do
      case $k in
        x) interp=$xeb ext=xeb ;;
        l) interp=$lua ext=lua ;;
        p) interp=$py ext=py ;;
      esac
      # scalar and mold have no Lua twin.
      [ -n "$interp" ] && [ -f "$here/$b.$ext" ] || continue
      [ "${t[$b.$k]}" = over ] && continue
      r=$(run_once "$interp" "$here/$b.$ext" $args)
      if [ "$r" = over ]; then t[$b.$k]=over; continue; fi
      t[$b.$k]=$(min "${t[$b.$k]}" "${r% *}")
      m[$b.$k]=$(min "${m[$b.$k]}" "${r#* }")
    done
  done
  printf '%-9s %9s %9s %9s %9s %9s\n' "$b" "$(shown "${t[$b.x]}")" "$(shown "${t[$b.l]}")" \
    "$(shown "${t[$b.p]}")" "$(rate "${t[$b.x]}" "${t[$b.l]}")" "$(rate "${t[$b.x]}" "${t[$b.p]}")"
done

# Peak memory where the question asks for it.
mb() { case "$1" in ""|0) echo - ;; *) awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }' ;; esac; }
for b in wordfreq bintrees; do
  [ -n "${m[$b.x]:-}" ] || continue
  printf '%-9s %9s %9s %9s %9s %9s  (peak MB)\n' "$b" "$(mb "${m[$b.x]}")" "$(mb "${m[$b.l]}")" \
    "$(mb "${m[$b.p]}")" "$(rate "${m[$b.x]}" "${m[$b.l]}")" "$(rate "${m[$b.x]}" "${m[$b.p]}")"
done
[ -n "${t[ret.x]:-}" ] && [ -n "${t[noret.x]:-}" ] && echo "ret/noret: $(rate "${t[ret.x]}" "${t[noret.x]}")"
if [ -n "${t[replace1.x]:-}" ] && [ -n "${t[replace2.x]:-}" ]; then
  echo "replace2/replace1 (twice the text): xeb $(rate "${t[replace2.x]}" "${t[replace1.x]}")," \
    "python $(rate "${t[replace2.p]}" "${t[replace1.p]}")"
fi
exit 0
