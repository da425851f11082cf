#!/usr/bin/env python3
"""start_order.py [BUILD]: writes scripts/start_order.txt, the sections of the
program's code and data that a start touches, in the order it first touches
them. The link places them first, each kind together, so a start faults in
few pages of the program's file and of its zeroed data.

It runs the release build's xeb (BUILD, default build/release) under
valgrind's lackey, which lists every instruction fetched and every load and
store, twice: the console reading `quit`, and a script run from its file
(scripts/start_order.xeb). Each address is looked up in the link map the
build writes beside the program (xeb.map) to find its input section.

Regenerate after changes that move much code in or out of a start:
    scripts/build.sh release && scripts/start_order.py && scripts/build.sh release
A stale list costs speed only: names the link no longer has match nothing,
and what the list lacks is placed after it as before.
"""
import bisect
import os
import re
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "release"))
xeb = os.path.join(build, "xeb")
out = os.path.join(here, "start_order.txt")

# Sections shared by many inputs (merged strings and constants, the plain
# per-file ones) say nothing about one function or datum: never listed.
KINDS = (".text.hot.", ".text.unlikely.", ".text.startup.", ".text.", ".rodata.", ".data.rel.ro.local.",
         ".data.rel.ro.", ".data.rel.local.", ".data.rel.", ".data.", ".bss.", ".tbss.", ".tdata.")
BIG = 16384
HEAD = "# Made by scripts/start_order.py: the sections a start touches, in that order.\n"
# The link puts what the list names after what it does not. Text is left so:
# the merged strings and constants begin the read-only data, just after it.
# The other read-only data goes after the list (and the heap image, its last).
TAIL = ".rodata.*\n"


def specific(name):
    for k in KINDS:
        if name.startswith(k):
            rest = name[len(k):]
            if not rest or (k == ".rodata." and re.match(r"(str|cst)\d", rest)):
                return False
            return True
    return False


def read_map(path):
    """Input sections of the link map: (address, size, name), sorted."""
    sections = []
    pending = None
    head = re.compile(r"^ (\.\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+\S)?")
    tail = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+\S")
    with open(path) as f:
        for line in f:
            if pending:
                m = tail.match(line)
                if m:
                    sections.append((int(m.group(1), 16), int(m.group(2), 16), pending))
                pending = None
                continue
            m = head.match(line)
            if not m:
                continue
            if m.group(2):
                sections.append((int(m.group(2), 16), int(m.group(3), 16), m.group(1)))
            else:
                pending = m.group(1)
    sections = [s for s in sections if s[0] and s[1] and specific(s[2])]
    sections.sort()
    return sections


def trace(argv, stdin):
    """The addresses one run fetches, loads and stores, in order."""
    with tempfile.NamedTemporaryFile(suffix=".lackey") as log:
        subprocess.run(["valgrind", "--tool=lackey", "--trace-mem=yes", "--log-file=" + log.name] + argv,
                       input=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        with open(log.name) as f:
            for line in f:
                if line.startswith("=="):
                    continue
                parts = line.split()
                if len(parts) == 2:
                    yield int(parts[1].split(",")[0], 16)


def main():
    if not os.path.exists(xeb) or not os.path.exists(xeb + ".map"):
        sys.exit(f"no {xeb} with its link map: scripts/build.sh release first")
    sections = read_map(xeb + ".map")
    starts = [s[0] for s in sections]
    order, seen = [], set()
    runs = [([xeb], b"quit\n"), ([xeb, os.path.join(here, "start_order.xeb")], b"")]
    for argv, stdin in runs:
        for a in trace(argv, stdin):
            i = bisect.bisect_right(starts, a) - 1
            if i < 0 or a >= sections[i][0] + sections[i][1]:
                continue
            name = sections[i][2]
            if name not in seen:
                seen.add(name)
                order.append(name)
    # A big section a start touches in a few places (a scratch buffer, the
    # heap image) would push apart everything listed after it: big ones last.
    size = {s[2]: s[1] for s in sections}
    order = [n for n in order if size[n] <= BIG] + [n for n in order if size[n] > BIG]
    with open(out, "w") as f:
        f.write(HEAD + "".join(n + "\n" for n in order) + TAIL)
    print(f"{out}: {len(order)} sections")


main()
