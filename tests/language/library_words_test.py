#!/usr/bin/env python3
"""Library functions leave the user's global words alone: runs
library_words.xeb, which calls every library function it reaches and
reports each global word a call changed, and the console's help between a
word's assignment and its use.

Usage: library_words_test.py XEB
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(xeb, args, stdin_text, cwd):
    return subprocess.run([xeb] + args, input=stdin_text.encode(), cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)


def main():
    xeb = os.path.abspath(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        # Files the calls make or read stay in a folder of their own.
        os.environ["HOME"] = tmp
        os.environ.pop("XDG_CACHE_HOME", None)
        r = run(xeb, [os.path.join(HERE, "library_words.xeb")], "", tmp)
        out = r.stdout.decode("utf-8", "replace")
        changed = [l for l in out.splitlines() if l.startswith("changed:")]
        calls = re.findall(r"^calls: (\d+)$", out, re.M)
        if r.returncode != 0 or not calls:
            failures.append("sweep did not finish (status %d):\n%s" % (r.returncode, out[-2000:]))
        elif int(calls[-1]) < 400:
            failures.append("sweep made only %s calls" % calls[-1])
        failures += changed

        # At the console, help between the user's assignment and its use.
        cases = [
            ("value: 42\nhelp append\nprint value\n", "42"),
            ("i: row: key: 7\nhelp-string \"find\" load-csv/header \"a,b^/1,2^/\"\nprint [i row key]\n", "7 7 7"),
        ]
        for text, last in cases:
            r = run(xeb, [], text, tmp)
            lines = r.stdout.decode("utf-8", "replace").rstrip("\n").splitlines()
            if not lines or lines[-1] != last:
                failures.append("console %r: last line %r, expected %r" % (text, lines[-1:] , last))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
