#!/usr/bin/env bash
# checksum.sh [XEB]: times checksum of 100 MB by each method beside python3's
# hashlib and zlib (each script times its own hashing, not the start or the
# data's making) and prints the seconds and the ratio xeb/python; the best
# of RUNS rounds (default 3). The TCP sum has no python twin: it is shown
# beside zlib.adler32, the nearest sum python has. PYTHON overrides the
# reference binary.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
xeb=${1:-$here/../build/release/xeb}
runs=${RUNS:-3}
py=${PYTHON:-}
if [ -z "$py" ]; then
  for c in /root/.pyenv/versions/3.11.*/bin/python3.11; do [ -x "$c" ] && py=$c; done
  [ -n "$py" ] || py=$(command -v python3)
fi
x=$(mktemp) p=$(mktemp)
trap 'rm -f "$x" "$p"' EXIT
for ((r = 0; r < runs; r++)); do
  "$xeb" "$here/checksum.xeb" >>"$x"
  "$py" "$here/checksum.py" >>"$p"
done
awk 'FNR == NR { if (!($1 in x) || $2 < x[$1]) x[$1] = $2; next }
     { if (!($1 in p) || $2 < p[$1]) p[$1] = $2 }
     END {
       p["tcp"] = p["adler32"]
       printf "%-8s %9s %9s %7s\n", "method", "xeb s", "python s", "ratio"
       n = split("md5 sha1 sha256 sha384 sha512 crc32 adler32 tcp", m, " ")
       for (i = 1; i <= n; i++) printf "%-8s %9.3f %9.3f %7.2f\n", m[i], x[m[i]], p[m[i]], x[m[i]] / p[m[i]]
     }' "$x" "$p"
