#!/usr/bin/env bash
# json_codec.sh [XEB]: reads and writes a JSON text of about 20 MB with load-json
# and to-json beside python3's json module (each script times its own steps,
# not the start or the file's reading) and prints the seconds and the ratio
# xeb/python. PYTHON overrides the reference binary.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
py=${PYTHON:-}
if [ -z "$py" ]; then
  for c in /root/.pyenv/versions/3.11.*/bin/python3.11; do [ -x "$c" ] && py=$c; done
  [ -n "$py" ] || py=$(command -v python3)
fi
doc=$(mktemp --suffix=.json) x=$(mktemp) p=$(mktemp)
trap 'rm -f "$doc" "$x" "$p"' EXIT
"$py" "$here/json_codec.py" "$doc" >"$p"
"$xeb" "$here/json_codec.xeb" "$doc" >"$x"
cat "$p" "$x" | grep bytes
awk 'FNR == NR { p[$1] = $2; next } { x[$1] = $2 }
     END {
       printf "%-6s %9s %9s %7s\n", "step", "xeb s", "python s", "ratio"
       n = split("read write", m, " ")
       for (i = 1; i <= n; i++) printf "%-6s %9.3f %9.3f %7.2f\n", m[i], x[m[i]], p[m[i]], x[m[i]] / p[m[i]]
     }' "$p" "$x"
