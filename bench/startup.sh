#!/usr/bin/env bash
# startup.sh [XEB] [RUNS]: start-up of the console, `echo quit | xeb`, run
# RUNS times (default 200): wall time (best and median), CPU time and minor
# page faults (median), then the instructions of one whole run (callgrind,
# when valgrind is present) and the dynamic loader's own share
# (LD_DEBUG=statistics). Then, when the release build has it, the library
# lexed from its sources beside the boot image decoded, in one process
# (bench_boot_bench). Run by hand on a quiet machine; XEB defaults to
# build/release/xeb.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
runs=${2:-200}
[ -x "$xeb" ] || { echo "no xeb at $xeb (scripts/build.sh release)" >&2; exit 1; }

# Each run is spawned and reaped directly (wait4 gives its CPU time and page
# faults), with "quit" on a pipe as its input.
python3 - "$xeb" "$runs" <<'EOF'
import os, sys, time, statistics
xeb, runs = sys.argv[1], int(sys.argv[2])
null = os.open(os.devnull, os.O_WRONLY)
walls, cpus, faults = [], [], []
for _ in range(runs):
    r, w = os.pipe()
    os.write(w, b"quit\n")
    os.close(w)
    t0 = time.perf_counter()
    pid = os.posix_spawn(xeb, [xeb], os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, r, 0), (os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, ru = os.wait4(pid, 0)
    walls.append(time.perf_counter() - t0)
    os.close(r)
    if status != 0:
        sys.exit(f"xeb ended with status {status}")
    cpus.append(ru.ru_utime + ru.ru_stime)
    faults.append(ru.ru_minflt)
ms = lambda s: f"{s * 1000:.2f} ms"
print(f"runs              {runs}")
print(f"wall best         {ms(min(walls))}")
print(f"wall median       {ms(statistics.median(walls))}")
print(f"cpu median        {ms(statistics.median(cpus))}")
print(f"page faults       {int(statistics.median(faults))} (median), {min(faults)} (least)")
EOF

if command -v valgrind >/dev/null; then
  out=$(mktemp)
  echo quit | valgrind --tool=callgrind --callgrind-out-file="$out" "$xeb" >/dev/null 2>"$out.log" || true
  printf 'instructions      %s\n' "$(sed -n 's/.*Collected : //p' "$out.log")"
  rm -f "$out" "$out.log"
fi
echo quit | LD_DEBUG=statistics "$xeb" 2>&1 >/dev/null | sed -n 's/^[[:space:]]*[0-9]*:[[:space:]]*//; s/total startup time in dynamic loader: */loader time      /p; s/number of relocations: */relocations       /p' || true

boot=$(dirname "$xeb")/bench/bench_boot_bench
if [ -x "$boot" ]; then "$boot" "$here/.."; fi
