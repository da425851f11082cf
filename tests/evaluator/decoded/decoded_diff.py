#!/usr/bin/env python3
"""decoded_diff.py XEB [--count N] [--seed S] [--keep DIR] [--show]

Generates random programs and runs each twice with XEB: as is, and with
XEB_NO_DECODED=1, which leaves every block to the plain walker. Both runs must
print the same output and errors (id, near, where, stack depth), deliver the
same trace events and end with the same status. Program i of a run is made
from seed S + i, so any failure is reproduced by --seed S+i --count 1.

The programs mix the shapes the evaluator's second paths take and the
changes that must throw them off: integer functions calling each other
(recursion), the same bodies with a typed argument, a local, a refinement,
float literals and prefix operators; bodies, callees, operators and global
words changed between calls and during a recursion; loops left by break,
continue and return; objects and paths; blocks edited while they run;
tracing switched on inside a loop; errors deep in a recursion.
"""
import argparse
import os
import random
import subprocess
import sys

# --- integer expressions of a function's arguments -------------------------

ARITH = ["+", "-", "*"]
COMPARE = ["<", ">", "=", "<>", "<=", ">="]
PREFIX = {"+": "add", "-": "subtract", "*": "multiply", "<": "lesser?",
          ">": "greater?", "=": "equal?", "<>": "not-equal?",
          "<=": "lesser-or-equal?", ">=": "greater-or-equal?"}


class Ctx:
    """What a body being generated may use."""

    def __init__(self, rng, name, callees, consts, ops, floats, prefix):
        self.rng = rng
        self.name = name          # the function itself (called with n - c)
        self.callees = callees    # lower functions it may call
        self.consts = consts      # global words holding numbers
        self.ops = ops            # global words holding operators
        self.floats = floats      # literals as floats
        self.prefix = prefix      # operators written as prefix calls
        # Only what the decoded bodies take: integer operators, either, if,
        # unless and calls of such functions.
        self.strict = not ops and not floats and not prefix
        self.self_calls = 0
        self.other_calls = 0


def lit(c, lo=-3, hi=9):
    v = c.rng.randint(lo, hi)
    if c.floats and c.rng.random() < 0.5:
        return "%d.5" % v if v >= 0 else "-%d.5" % -v
    return str(v)


def infix(c, op, a, b):
    if c.prefix and op in PREFIX:
        return "(%s %s %s)" % (PREFIX[op], a, b)
    return "(%s %s %s)" % (a, op, b)


def expr(c, depth):
    r = c.rng.random()
    if depth <= 0 or r < 0.25:
        k = c.rng.random()
        if k < 0.4:
            return lit(c)
        if k < 0.8 or not c.consts:
            return c.rng.choice(["n", "a"])
        return c.rng.choice(c.consts)
    if r < 0.55:
        return infix(c, c.rng.choice(ARITH), expr(c, depth - 1), expr(c, depth - 1))
    if r < 0.62 and c.ops:
        return "(%s %s %s)" % (expr(c, depth - 1), c.rng.choice(c.ops), expr(c, depth - 1))
    if r < 0.75:
        test = infix(c, c.rng.choice(COMPARE), expr(c, 0), expr(c, 0))
        kind = c.rng.choice(["either", "either", "either", "if", "unless"])
        if kind == "either":
            return "(either %s [%s] [%s])" % (test, expr(c, depth - 1), expr(c, depth - 1))
        # if and unless give none when their test fails: a sum then errs.
        if c.strict:
            return "(%s %s [%s])" % (kind, test, expr(c, depth - 1))
        return "(any [%s %s %s])" % (kind, test, "[%s] %s" % (expr(c, depth - 1), lit(c)))
    if c.self_calls < 1 and r < 0.9:
        c.self_calls += 1
        return "(%s n - %d %s)" % (c.name, c.rng.randint(1, 2), expr(c, depth - 1))
    if c.callees and c.other_calls < 1:
        c.other_calls += 1
        return "(%s n %s)" % (c.rng.choice(c.callees), expr(c, depth - 1))
    return lit(c)


def function(rng, name, callees, consts, ops, variant):
    """The definition of NAME: func [n a] with a base case at n < 1."""
    c = Ctx(rng, name, callees, consts, ops, variant == "float", variant == "prefix")
    body = expr(c, 3)
    base = expr(Ctx(rng, name, [], consts, [], variant == "float", False), 1)
    ret = rng.random() < 0.15
    if ret:
        body = "return " + body
    spec = "n a"
    pre = ""
    if variant == "typed":
        spec = "n [integer!] a [integer! float!]"
    elif variant == "local":
        spec = "n a /local t"
        pre = "t: a "
        body = body.replace(" a)", " t)")
    elif variant == "refinement":
        spec = "n a /twice"
        body = "either twice [2 * %s] [%s]" % (body, body)
    test = infix(c, "<", "n", "1")
    return "%s: func [%s] [%seither %s [%s] [%s]]" % (name, spec, pre, test, base, body)


# --- fragments -------------------------------------------------------------

def frag_functions(rng, k):
    """A family of functions and calls of each, then changes between calls."""
    lines = []
    consts = ["k%d" % k]
    ops = ["m%d" % k]
    lines.append("%s: %d %s: make op! :%s" % (consts[0], rng.randint(-2, 5), ops[0],
                                             rng.choice(["add", "subtract", "multiply"])))
    variant = rng.choice(["plain", "plain", "plain", "plain", "typed", "local", "refinement", "float", "prefix"])
    names = []
    for j in range(rng.randint(1, 3)):
        name = "f%d_%d" % (k, j)
        used = ops if variant != "plain" and rng.random() < 0.5 else []
        lines.append(function(rng, name, names[:], consts, used, variant))
        names.append(name)
    calls = []
    for name in names:
        for _ in range(2):
            n = rng.randint(-1, 9)
            a = rng.choice([str(rng.randint(-5, 20)), "2.5", "2147483000", '"s"', "none"]
                           if rng.random() < 0.2 else [str(rng.randint(-5, 20))])
            ref = "/twice" if variant == "refinement" and rng.random() < 0.5 else ""
            calls.append("%s%s %d %s" % (name, ref, n, a))
    for i, call in enumerate(calls):
        lines.append('report "%s.%d" [%s]' % (names[0], i, call))
    # Changes between calls, each followed by the calls again.
    top = names[-1]
    changes = [
        "poke body-of :%s 4 %d" % (top, rng.randint(-1, 4)),
        "poke fifth body-of :%s 1 %d" % (top, rng.randint(-3, 9)),
        "append body-of :%s %d" % (top, rng.randint(0, 9)),
        "%s: %s" % (consts[0], rng.choice(["7", "-1", "1.5", "2147483647", '"x"'])),
        "%s: make op! :%s" % (ops[0], rng.choice(["add", "subtract", "multiply", "max"])),
        "%s: func [n a] [n * %d + a]" % (names[0], rng.randint(1, 5)),
        "%s: 5" % names[0],
        "bind body-of :%s context [k%d: 100 n: 3]" % (top, k),
        "change/only sixth body-of :%s [n + a]" % top,
    ]
    loop = rng.sample(changes, rng.randint(1, 3))
    call = calls[-1]
    lines.append('report "%s.loop" [r: copy [] loop 3 [append/only r try [%s] %s] r]'
                 % (top, call, " ".join(loop)))
    return lines


def frag_rebound_during(rng, k):
    """Words rebound by a recursion at some depth: a callee, a constant, the
    function itself, an operator."""
    d = rng.randint(0, 5)
    n = d + rng.randint(1, 6)
    which = rng.choice(["callee", "const", "self", "op"])
    lines = ["g%d: func [x] [x + 1] c%d: 2 p%d: make op! :add" % (k, k, k)]
    change = {
        "callee": "g%d: func [x] [x * %d]" % (k, rng.randint(2, 9)),
        "const": "c%d: %s" % (k, rng.choice(["10", "2.5", '"z"'])),
        "self": "h%d: func [n] [n * 100]" % k,
        "op": "p%d: make op! :multiply" % k,
    }[which]
    lines.append("h%d: func [n] [if n = %d [%s] either n < 1 [c%d] [(g%d n) p%d h%d n - 1]]"
                 % (k, d, change, k, k, k, k))
    lines.append('report "h%d" [reduce [h%d %d h%d %d]]' % (k, k, n, k, n))
    return lines


def frag_loops(rng, k):
    """Loops left by break, continue, break/return and return."""
    lo, hi = rng.randint(1, 5), rng.randint(6, 14)
    a, b, c = rng.randint(1, hi), rng.randint(1, hi + 3), rng.randint(1, hi + 3)
    kind = rng.choice(["repeat", "while", "until", "foreach", "loop", "forall"])
    step = "s: s + (i * x) - %d" % rng.randint(0, 3)
    tests = "if i = %d [continue] if i = %d [break] if i = %d [return s * 100] %s" % (a, b, c, step)
    if rng.random() < 0.3:
        tests = "if i = %d [break/return s - 1] " % b + tests
    if kind == "repeat":
        loop = "repeat i %d [%s]" % (hi, tests)
    elif kind == "while":
        loop = "i: 0 while [i < %d] [i: i + 1 %s]" % (hi, tests)
    elif kind == "until":
        loop = "i: 0 until [i: i + 1 %s i >= %d]" % (tests, hi)
    elif kind == "foreach":
        loop = "foreach i [%s] [%s]" % (" ".join(str(rng.randint(lo, hi)) for _ in range(hi)), tests)
    elif kind == "loop":
        loop = "i: 0 loop %d [i: i + 1 %s]" % (hi, tests)
    else:
        loop = "b: copy [%s] forall b [i: b/1 %s]" % (" ".join(str(rng.randint(lo, hi)) for _ in range(hi)), tests)
    lines = ["lp%d: func [x /local s i b] [s: 0 %s s]" % (k, loop)]
    for x in (1, rng.randint(-3, 7), 2.5):
        lines.append('report "lp%d.%s" [lp%d %s]' % (k, x, k, x))
    # The same loop at the top level, where a return leaves the report.
    lines.append('report "lp%d.top" [s: 0 x: 3 %s s]' % (k, loop))
    return lines


def frag_objects(rng, k):
    """Methods that update fields, paths into blocks and objects, set-paths."""
    d = rng.randint(1, 9)
    n = rng.randint(1, 12)
    lines = [
        "o%d: make object! [v: %d w: [1 [2 3] 4] f: %s step: func [d] [v: v + d w/2/1: w/2/1 + d f: f * 0.5 + d v]]"
        % (k, rng.randint(-5, 5), rng.choice(["0.0", "1.5", "-2.25"])),
        "q%d: make o%d [v: %d]" % (k, k, rng.randint(10, 20)),
        'report "o%d" [loop %d [o%d/step %d q%d/step o%d/v] reduce [o%d/v q%d/v o%d/w q%d/w/2 o%d/f]]'
        % (k, n, k, d, k, k, k, k, k, k, k),
        'report "o%d.path" [o%d/w/%d: o%d/v + 1 reduce [o%d/w/%d pick o%d/w/2 %d]]'
        % (k, k, rng.randint(1, 4), k, k, rng.randint(1, 4), k, rng.randint(0, 3)),
    ]
    if rng.random() < 0.5:
        # A method rebound between calls, and a field turned into a function.
        lines.append('report "o%d.rebind" [r: copy [] loop 2 [append r o%d/step 1 o%d/step: func [d] [v: v - d]] r]'
                     % (k, k, k))
    return lines


def frag_floats(rng, k):
    """A float loop mixing integers and floats, with a division that may fail."""
    a, b = rng.choice(["0.5", "1.25", "-0.75", "3"]), rng.choice(["1.5", "2", "0.1"])
    lines = ['report "fl%d" [x: 0.0 y: 1 repeat i %d [x: x * %s + (i * %s) y: y + x / (i - %d)] reduce [x y]]'
             % (k, rng.randint(5, 40), a, b, rng.randint(1, 60)),
             'report "fl%d.ops" [reduce [%s %s %s]]' % (k, rng.choice(["1.5 + 2", "2 * 1.5", "7 - 0.5"]),
                                                     rng.choice(["1e308 * 10", "0.1 + 0.2", "5 / 2"]),
                                                     rng.choice(["2147483647 + 1.0", "-0.0 * 3", "1.0 // 0.3"]))]
    return lines


def frag_trace(rng, k):
    """Tracing switched on inside a loop, with a mask or every event."""
    mask = rng.choice(["[fetch push]", "[call return]", "[expr set]", "[open call return prolog epilog]",
                       "[error]", ""])
    n, on = rng.randint(2, 5), rng.randint(1, 3)
    lines = [
        "t%d: func [x] [either x < 1 [0] [x + t%d x - 1]]" % (k, k),
        "log%d: copy []" % k,
        ('report "tr%d" [do/trace [trace off repeat i %d [if i = %d [trace on] v: t%d i %s]] '
         "func [event code offset value ref frame] [%s append log%d event append log%d offset "
         "append log%d type? :value] log%d]")
        % (k, n, on, k, rng.choice(["", "if i = %d [v: 1 / 0]" % (n + 1), "loop 2 [v: v + 1.5]"]),
           mask, k, k, k, k),
    ]
    return lines


ERRORS = ["1 / 0", "undefined-dyn-w + 1", '"a" + 1', "first []", "make error! \"boom\"",
          "to integer! \"q\"", "2147483647 + 1 / 0"]


def frag_deep_error(rng, k):
    """An error deep in a recursion: its id, near, where and depth."""
    depth = rng.choice([0, 1, 5, 50, 300, 1200])
    err = rng.choice(ERRORS)
    typed = rng.choice(["n", "n [integer!]", "n /local z"])
    return ["d%d: func [%s] [either n = 0 [%s] [1 + d%d n - 1]]" % (k, typed, err, k),
            'report "d%d" [d%d %d]' % (k, k, depth)]


def frag_edited(rng, k):
    """Blocks and bodies edited while they run."""
    v = rng.randint(2, 9)
    return rng.choice([
        ['report "e%d" [n: 0 body: [n: n + 1 poke body 4 %d] loop 3 body n]' % (k, v)],
        ['report "e%d" [n: 0 b: [n: n + 1] loop 3 [do b poke b 4 %d] n]' % (k, v)],
        ["e%d: func [x] [poke body-of :e%d 8 %d x + 1]" % (k, k, v),
         'report "e%d" [reduce [e%d 1 e%d 1]]' % (k, k, k)],
        ["e%d: func [x] [x + 1] " % k,
         'report "e%d" [r: copy [] loop 3 [append r e%d 1 append body-of :e%d [* %d]] r]' % (k, k, k, v)],
        ["e%d: func [x] [clear body-of :e%d x + 1]" % (k, k),
         'report "e%d" [reduce [e%d 1 unset? e%d 1]]' % (k, k, k)],
        ["e%d: func [n] [either n < 1 [0] [poke body-of :e%d 4 %d n + e%d n - 1]]" % (k, k, v, k),
         'report "e%d" [reduce [e%d 6 e%d 6]]' % (k, k, k)],
        ['report "e%d" [b: [poke b 5 99 10] r: copy [] loop 2 [append r either true b [0]] r]' % k],
    ])


FRAGMENTS = [frag_functions, frag_functions, frag_functions, frag_rebound_during, frag_loops,
             frag_objects, frag_floats, frag_trace, frag_deep_error, frag_edited]

PRELUDE = """Xeb [Title: "generated"]
report: func [label code /local r] [
    set/any 'r try code
    either error? :r [
        print [label "error" r/id mold r/near mold r/where r/stack]
    ] [print [label "=" mold :r]]
]"""


def program(seed):
    rng = random.Random(seed)
    lines = [PRELUDE]
    for k in range(rng.randint(4, 9)):
        lines += rng.choice(FRAGMENTS)(rng, k)
    # Now and then the program ends in an uncaught error, printed by the console.
    if rng.random() < 0.2:
        lines.append("d: func [n] [either n = 0 [%s] [1 + d n - 1]] d %d"
                     % (rng.choice(ERRORS), rng.randint(0, 40)))
    return "\n".join(lines) + "\n"


def run(xeb, path, decoded):
    env = dict(os.environ)
    if decoded:
        env.pop("XEB_NO_DECODED", None)
    else:
        env["XEB_NO_DECODED"] = "1"
    try:
        p = subprocess.run([xeb, path], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           stdin=subprocess.DEVNULL, timeout=120)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return "timeout", "", ""


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[2])
    ap.add_argument("xeb")
    ap.add_argument("--count", type=int, default=25)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", default=None, help="folder for the programs that differ")
    ap.add_argument("--show", action="store_true", help="print the first program and its output")
    args = ap.parse_args()
    keep = args.keep or os.path.join(os.environ.get("TMPDIR", "/tmp"), "xeb-decoded-diff")
    os.makedirs(keep, exist_ok=True)
    path = os.path.join(keep, "program-%d.xeb" % os.getpid())
    failed = 0
    lines = 0
    for i in range(args.count):
        seed = args.seed + i
        text = program(seed)
        with open(path, "w") as f:
            f.write(text)
        a = run(args.xeb, path, True)
        b = run(args.xeb, path, False)
        lines += a[1].count("\n")
        if args.show and i == 0:
            print(text)
            print(a[1], a[2], "status", a[0])
        # A hang or a crash is a failure even when both runs share it.
        if a != b or a[0] == "timeout" or a[0] < 0:
            failed += 1
            kept = os.path.join(keep, "seed-%d.xeb" % seed)
            with open(kept, "w") as f:
                f.write(text)
            print("seed %d differs (kept as %s)" % (seed, kept))
            for what, x, y in (("status", a[0], b[0]), ("stdout", a[1], b[1]), ("stderr", a[2], b[2])):
                if x != y:
                    print("  %s as is:\n%s\n  %s with XEB_NO_DECODED=1:\n%s" % (what, x, what, y))
            if failed >= 5:
                break
    os.unlink(path)
    print("%d programs from seed %d, %d lines of output each way, %d differ"
          % (args.count, args.seed, lines, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
