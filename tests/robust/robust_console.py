#!/usr/bin/env python3
"""The program fed hostile scripts and bytes: each run must end with the
expected status and text, never with a fault, a hang or lost input.

Usage: robust_console.py XEB
"""
import os
import subprocess
import sys
import tempfile

BANNER = "--== Xeb 0.1.0 ==-- \nType HELP for starting information. \n\n"


def run(xeb, args, stdin=b"", env=None):
    # Generous: the stress build collects every 64 allocations, and CI runs
    # this beside other tests on few cores.
    p = subprocess.run([xeb] + args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=400, env=env)
    return p.stdout.decode("utf-8", "replace"), p.returncode


def main():
    xeb = sys.argv[1]
    failures = []

    def check(name, out, rc, want_in_out, want_rc):
        if rc != want_rc or any(w not in out for w in want_in_out):
            failures.append(f"{name}:\n  want {want_in_out!r} status {want_rc}\n  got  {out[-600:]!r} status {rc}")

    # Piped lines: bad bytes are errors or text, and the next line still runs.
    piped = [
        ("NUL byte in a line", b"print \"a\x00b\"\n1 + 1\n", ["== 2"]),
        ("invalid UTF-8 in a line", b"print \"\xff\xfe\xc3\"\n1 + 1\n", ["== 2"]),
        ("stray continuation bytes", b"\x80\x80\x80\n1 + 1\n", ["== 2"]),
        ("lone NUL line", b"\x00\n1 + 1\n", ["== 2"]),
        ("unbounded recursion", b"f: func [n] [f n + 1]\nf 1\n1 + 1\n", ["stack overflow", "== 2"]),
        ("recursion through try", b"h: func [n] [try [h n + 1]]\nh 1\n1 + 1\n", ["stack overflow", "== 2"]),
        ("recursion through a hook",
         b"o: make object! [a: 1 on-change*: func [w old new] [self/a: new + 1]]\no/a: 2\n1 + 1\n",
         ["stack overflow", "== 2"]),
        ("deep source nesting", b"[" * 100000 + b"]" * 100000 + b"\n1 + 1\n", ["== 2"]),
        ("owners that die while their series' records stay, then the records grow",
         b"o: make object! [b: copy [] on-deep-change*: func [ow w t a n i p] []]\n"
         b"loop 20000 [append o/b copy {x}] loop 4 [p: make o []] loop 200000 [append o/b copy {x}]\n"
         b"length? o/b\n", ["== 220000"]),
        ("unclosed nesting waits for the rest", b"[" * 100000 + b"\n", []),
        ("deep parens", b"(" * 5000 + b"1" + b")" * 5000 + b"\n1 + 1\n", ["== 2"]),
        ("deep block made at run time",
         b"d: copy [] loop 100000 [d: reduce [d]] mold d\ncopy/deep d\ncompose/deep d\n1 + 1\n",
         ["too deep", "== 2"]),
        ("huge sizes", b"make block! 2000000000\ninsert/dup copy \"\" \"a\" 2147483647\n1 + 1\n",
         ["not enough memory", "== 2"]),
        # Big buffers fill the region (their pages barely touched), then small
        # ones fill what is left: the error is still made and printed, and
        # the session goes on once the data is let go.
        ("region filled to its end",
         b"b: copy [] n: 100000000 while [n > 3000000] [if error? try [append b make binary! n] [n: to integer! n / 2]]\n"
         b"c: copy [] forever [append/only c copy [1 2 3 4 5 6 7 8]]\nb: c: none\nrecycle\n1 + 1\n",
         ["not enough memory", "== 2"]),
    ]
    # Cases whose point is size, not the collection interval: in the stress
    # build (the variable is ignored elsewhere) they collect less often, as
    # a collection every 64 allocations over 200,000 live values took 15 s
    # alone on a busy machine and more than 120 s under a loaded CI run.
    sized = {"deep source nesting", "owners that die while their series' records stay, then the records grow"}
    for name, stdin, want in piped:
        env = dict(os.environ, XEB_GC_STRESS_N="1024") if name in sized else None
        out, rc = run(xeb, [], stdin, env)
        check(name, out, rc, [BANNER] + want, 0)

    # The same under collection at every few allocations, where the build
    # supports it (the variable is ignored otherwise).
    env = dict(os.environ, XEB_GC_STRESS_N="3")
    out, rc = run(xeb, [], b"f: func [n] [f n + 1]\nf 1\nb: copy [] append/only b b\nmold b\n1 + 1\n", env)
    check("recursion and cycles under collection", out, rc, ["stack overflow", "== \"[[...]]\"", "== 2"], 0)

    with tempfile.TemporaryDirectory() as d:
        def script(name, data):
            path = os.path.join(d, name)
            with open(path, "wb") as f:
                f.write(data)
            return path

        # Scripts that cannot be run: the error printed, status -2 (254), no
        # fault. A script with bytes the lexer refuses is one of them.
        for name, path in [
            ("directory as script", d),
            ("missing script", os.path.join(d, "missing.xeb")),
            ("empty script", script("empty.xeb", b"")),
            ("binary garbage", script("garbage.xeb", bytes(range(256)) * 8)),
            ("header only", script("head.xeb", b"Xeb")),
            ("invalid UTF-8", script("utf8.xeb", b"Xeb []\nprint \"\xff\"\n")),
            ("NUL in a string", script("nul.xeb", b"Xeb []\nprint \"a\x00b\"\n")),
        ]:
            out, rc = run(xeb, [path])
            check(name, out, rc, ["*** "], 254)
            if "Runtime Error" in out:
                failures.append(f"{name}: {out[-300:]!r}")

        unreadable = script("unreadable.xeb", b"Xeb []\nprint 1\n")
        os.chmod(unreadable, 0)
        if not os.access(unreadable, os.R_OK):  # root reads anything
            out, rc = run(xeb, [unreadable])
            check("unreadable script", out, rc, ["cannot open"], 254)

        # A window on an input at its end, with no timer, cannot be closed
        # by anything: the loop ends and the script goes on.
        window = script("window.xeb", b"Xeb []\nview [button \"x\"]\nprint \"after\"\n")
        out, rc = run(xeb, [window])
        check("window on a closed input", out, rc, ["after"], 0)

        # A host name need not be UTF-8: a script so named runs, and an
        # argument so spelled reaches its file again.
        odd = script(os.fsdecode(b"odd\xff.xeb"), b"Xeb []\nprint read to file! first system/options/args\n")
        data = script(os.fsdecode(b"data\xfe\xc3"), b"found")
        out, rc = run(xeb, [odd, data])
        check("names that are not UTF-8", out, rc, ["found"], 0)

        # An environment variable is a host name too: one whose value or name
        # is not UTF-8 neither hides the others nor stops list-env, get-env
        # finds it by the name list-env gives, and set-env puts its bytes back.
        env_script = script("env.xeb", b"""Xeb []
e: list-env
v: get-env "XEB_ODD_VALUE"
n: none foreach [k x] to block! e [if x = "named" [n: k]]
set-env "XEB_COPY" v
call/shell/wait/output {printf %s "$XEB_COPY" | od -An -tx1} out: copy ""
print ["env:" select e "XEB_PLAIN" v = select e "XEB_ODD_VALUE" length? v trim/lines out length? n get-env n]
""")
        env = dict(os.environ, XEB_PLAIN="plain", XEB_ODD_VALUE=os.fsdecode(b"a\xffb"))
        env[os.fsdecode(b"XEB_ODD\xfeNAME")] = "named"
        out, rc = run(xeb, [env_script], env=env)
        check("environment that is not UTF-8", out, rc, ["env: plain true 3 61 ff 62 12 named"], 0)

        # An error part-way through a script stops it; what ran stays done.
        part = script("part.xeb", b"Xeb []\nprint \"before\"\nf: func [n] [f n + 1] f 1\nprint \"after\"\n")
        out, rc = run(xeb, [part])
        check("overflow in a script", out, rc, ["before", "stack overflow"], 254)

    for f in failures:
        print("FAIL", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
