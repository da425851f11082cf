#!/usr/bin/env python3
"""Case-mapping oracle: checks the runtime's whole table against python3.

The runtime maps one code point to one: the first code point of its full,
unconditional mapping. python's str.upper/str.lower of a single character is
exactly that full mapping (no language rules; a lone sigma is not final), so
its first code point is the expectation, e.g. U+00DF up to U+0053 and U+0130
down to U+0069.

The tables are pinned to Unicode 11.0 while python carries its own (newer)
database, so a mapping counts only where both ends were assigned in 11.0, as
DerivedAge.txt of the Unicode Character Database says; every other code point
must map to itself.

    case_oracle.py --driver PATH [--ucd DIR]
"""
import argparse
import os
import subprocess
import sys
import unicodedata

VERSION = (11, 0)


def assigned_by(ucd, version):
    ok = set()
    with open(os.path.join(ucd, "DerivedAge.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            cps, age = (p.strip() for p in line.split(";"))
            if tuple(int(x) for x in age.split(".")) > version:
                continue
            lo, _, hi = cps.partition("..")
            ok.update(range(int(lo, 16), int(hi or lo, 16) + 1))
    return ok


def expected(assigned):
    def first(c, mapped):
        to = ord(mapped[0])
        return to if to in assigned else c
    want = {}
    for c in sorted(assigned):
        if 0xD800 <= c <= 0xDFFF:
            continue
        ch = chr(c)
        up, down = first(c, ch.upper()), first(c, ch.lower())
        if up != c or down != c:
            want[c] = (up, down)
    return want


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True)
    ap.add_argument("--ucd", default="/usr/share/unicode")
    args = ap.parse_args()
    if tuple(int(x) for x in unicodedata.unidata_version.split(".")[:2]) < VERSION:
        print("python's Unicode %s is older than the tables" % unicodedata.unidata_version)
        return 1
    out = subprocess.run([args.driver], check=True, capture_output=True, text=True).stdout
    got = {}
    for line in out.split("\n"):
        if line:
            c, up, down = (int(x, 16) for x in line.split())
            got[c] = (up, down)
    want = expected(assigned_by(args.ucd, VERSION))
    bad = sorted(c for c in set(got) | set(want)
                 if got.get(c, (c, c)) != want.get(c, (c, c)))
    for c in bad[:40]:
        g, w = got.get(c, (c, c)), want.get(c, (c, c))
        print("U+%04X: upper %04X lower %04X, want upper %04X lower %04X" % (c, *g, *w))
    print("%d code points map, %d differ (python's Unicode %s, pinned to %d.%d)"
          % (len(want), len(bad), unicodedata.unidata_version, *VERSION))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
