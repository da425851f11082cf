#!/usr/bin/env python3
"""Runs the console with piped input or a script and checks what it prints
and the status it exits with.

Usage: console_test.py XEB
"""
import os
import subprocess
import sys
import tempfile

BANNER = "--== Xeb 0.1.0 ==-- \nType HELP for starting information. \n\n"

# name, piped input, expected output (after the banner), expected status.
LOOP_CASES = [
    ("sum", "1 + 2\n", "== 3\n", 0),
    ("function with refinement, precedence, multi-line block",
     "f: func [a /r b][either r [a + b][a]]\nf/r 1 2\n1 + 2 * 3\n[\n1\n]\n",
     "== func [a /r b][either r [a + b] [a]]\n== 3\n== 9\n== [\n    1\n]\n", 0),
    ("empty line prints nothing", "\n\n2\n", "== 2\n", 0),
    ("unset result prints nothing", "print 5\n", "5\n", 0),
    ("string result is molded", "\"a\"\n", "== \"a\"\n", 0),
    ("float result is formed", "1.5\n", "== 1.5\n", 0),
    ("open string continues", "{a\nb}\n", "== \"a^/b\"\n", 0),
    # The calling functions shown at a stop are the debugged code's only.
    ("debugger parents", "h: func [x] [x + 1]\ndebug [h 1]\np\n\n\n\n\np\nc\n",
     "== func [x][x + 1]\n-----> EVAL h\nInput: h 1\n\n-empty stack-\n-----> OPEN h\nInput: 1\n\nStack: h\n\n"
     "-----> EVAL 1\nInput: 1\n\nStack: h\n\n-----> PUSH 1\nInput: 1\n\nStack: h\nStack: 1\n\n"
     "-----> CALL h (function!)\nInput: \n\nStack: h\nStack: 1\n\nCall: h\n", 0),
    # Nested calls show oldest first, each with its locals after +l.
    ("debugger parents of a nested call", "h: func [x] [@stop x + 1]\ng: func [y] [h y]\ndebug/later [g 1]\n+l\np\nc\n",
     "== func [x][@stop x + 1]\n== func [y][h y]\n-----> EVAL @stop\nInput: @stop x + 1\n\nStack: g\nStack: 1\nStack: h\nStack: 1\n\n"
     "Call: g\n  > y         : 1\nCall: h\n  > x         : 1\n", 0),
    # A method called through a path is named in the Stack line and among
    # the calling functions, as the object binds it.
    ("method through a path in reports",
     "o: make object! [f: func [x][x / 0] h: func [x] [@stop x + 1]]\no/f 1\ng: func [y] [o/h y]\ndebug/later [g 1]\np\nc\n",
     "== make object! [\n    f: func [x][x / 0]\n    h: func [x][@stop x + 1]\n]\n*** Math Error: attempt to divide by zero\n"
     "*** Where: /\n*** Near : x / 0\n*** Stack: launch launch run eval-command do-command try-do f\n\n"
     "== func [y][o/h y]\n-----> EVAL @stop\nInput: @stop x + 1\n\nStack: g\nStack: 1\nStack: h\nStack: 1\n\n"
     "Call: g\nCall: h\n", 0),
    ("open map continues", "#[a: [1\n]\n]\n", "== #[\n    a: [1]\n]\n", 0),
    # The loop keeps the functions it calls: words the user sets to other
    # values break his own code only.
    ("user words do not break the loop", "print: 5\n1 + 1\nappend: load: try: 0\n[2]\n1 / 0\n",
     "== 5\n== 2\n== 0\n== [2]\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0\n"
     "*** Stack: launch launch run eval-command do-command try-do\n\n", 0),
    ("quit-return ends with its status", "quit-return 3\n1\n", "", 3),
    ("end of input without newline", "7", "== 7\n", 0),
    ("quit ends with status 0", "quit\n1\n", "", 0),
    ("float result is formed, not molded", "0.1 + 0.2\n1e16\n", "== 0.3\n== 1.0e16\n", 0),
    # A function or operator value as the result is printed, never called
    # or applied by the loop itself.
    ("op! and function results",
     ":+\np: make op! func [a b][a + b]\n:p\n1 p 2\nf: func [a][a * 2]\n:f\n",
     "== make op! [[\"Returns the sum of the two values\" value1 [scalar! vector!] v...\n" + "== make op! func [a b][a + b]\n" * 2 + "== 3\n"
     + "== func [a][a * 2]\n" * 2, 0),
    ("multi-line function", "f: func [a][\n  a * 2\n]\nf 4\n", "== func [a][\n    a * 2\n]\n== 8\n", 0),
    # 80 columns on a pipe: up to 77 characters print whole; longer ones
    # keep 73 and "...".
    ("result of the width", 'append/dup copy "" "a" 75\n', "== {" + "a" * 75 + "}\n", 0),
    ("result cut at the width", 'append/dup copy "" "a" 76\n', "== {" + "a" * 72 + "...\n", 0),
    # The error text: message, the function, the code near the failure; an
    # empty line; the next line runs.
    ("error at the prompt", "append 1 2\n3\n",
     "*** Script Error: append does not allow integer! for its series argument\n"
     "*** Where: append\n*** Near : append 1 2\n*** Stack: launch launch run eval-command do-command try-do\n\n== 3\n", 0),
    # A closer that matches no opener is a syntax error at once, not an
    # open expression that swallows the lines after it.
    ("mismatched closer", "[1 (2]\n(]\n[1 2)\n3\n",
     ("*** Syntax Error: (line 1) missing ) at ]\n*** Where: transcode\n*** Near : transcode source\n"
      "*** Stack: launch launch run eval-command do-command load\n") * 2
     + "*** Syntax Error: (line 1) missing ] at )\n*** Where: transcode\n*** Near : transcode source\n"
     "*** Stack: launch launch run eval-command do-command load\n== 3\n", 0),
    # An open point literal continues on the next line, alone or inside an
    # open paren; a closed paren inside an open block keeps the block open.
    ("open point literal", "x: (1, 2\n)\nx\n((3, 4\n)\n)\n[1 (2)\n]\n",
     "== (1, 2)\n== (1, 2)\n== (3, 4)\n== [1 (2)]\n", 0),
    ("near is the expression under way, in a function",
     "f: func [x][x / 0]\nf 1\n",
     "== func [x][x / 0]\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : x / 0\n*** Stack: launch launch run eval-command do-command try-do f\n\n", 0),
]


# Every run gets a home of its own: `quit` writes the configuration there.
HOME = tempfile.mkdtemp(prefix="xeb-home-")


def run(xeb, args, stdin, cwd=None, home=None, preexec=None):
    env = dict(os.environ, HOME=home or HOME)
    p = subprocess.run([xeb] + args, input=stdin.encode(), stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=60, cwd=cwd, env=env, preexec_fn=preexec)
    return p.stdout.decode("utf-8", "replace"), p.returncode


def config_cases(xeb, failures):
    """The configuration file: written by quit with its header, the history
    cut to its 100 newest entries, other keys kept, a file without the
    header replaced by the defaults."""
    with tempfile.TemporaryDirectory() as home:
        folder = os.path.join(home, ".xeb", "Xeb-Console")
        cfg = os.path.join(folder, "console-cfg.xeb")
        out, status = run(xeb, [], "repeat i 150 [insert system/console/history form i]\nquit\n", home=home)
        text = open(cfg, encoding="utf-8").read() if os.path.exists(cfg) else ""
        if not (status == 0 and text.startswith('Xeb [\n\tPurpose: "Xeb Console Configuration File"\n]\n')
                and "buffer-lines: 10000" in text and '"150"' in text and '"51"' in text and '"50"' not in text):
            failures.append(f"configuration written by quit: status {status}, file {text!r}")
        # A quit with nothing new leaves the file as it stands, unwritten.
        os.utime(cfg, (1000000000, 1000000000))
        out, status = run(xeb, [], "quit\n", home=home)
        if open(cfg, encoding="utf-8").read() != text or os.stat(cfg).st_mtime != 1000000000:
            failures.append("configuration unchanged by the session is rewritten")
        with open(cfg, "w", encoding="utf-8") as f:
            f.write('Xeb []\ncolour: "red"\nhistory: ["b" "a"]\n')
        out, status = run(xeb, [], "print mold system/console/history\nquit\n", home=home)
        text = open(cfg, encoding="utf-8").read()
        if not (BANNER + '["b" "a"]\n' == out and text.index("colour") < text.index("history")
                and "buffer-lines: 10000" in text):
            failures.append(f"configuration read and completed: {out!r}, file {text!r}")
        with open(cfg, "w", encoding="utf-8") as f:
            f.write('history: ["x"]\n')
        out, status = run(xeb, [], "print mold system/console/history\n", home=home)
        if out != BANNER + "[]\n":
            failures.append(f"configuration without its header is ignored: {out!r}")


def interrupt_cases(xeb, failures):
    """SIGINT: it halts a command of the console's loop, which goes on with
    its words; it ends a script with status 130."""
    import signal
    import time
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home)
        p = subprocess.Popen([xeb], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        p.stdin.write(b'kept: 12345\nprint "looping" loop 2000000000 [1 + 1]\n')
        p.stdin.flush()
        seen = b""
        while b"looping" not in seen:
            line = p.stdout.readline()
            if not line:
                break
            seen += line
        time.sleep(0.2)
        p.send_signal(signal.SIGINT)
        p.stdin.write(b"kept\nprint 'after\n")
        p.stdin.close()
        try:
            out = (seen + p.stdout.read()).decode("utf-8", "replace")
            status = p.wait(timeout=60)
        except subprocess.TimeoutExpired:
            p.kill()
            out, status = "", "still running"
        if out != BANNER + "== 12345\nlooping\n(halted)\n== 12345\nafter\n" or status != 0:
            failures.append(f"SIGINT halts a command: got {out!r} status {status}")
        # The end of piped input ends the loop as quit does: the
        # configuration is written.
        if not os.path.exists(os.path.join(home, ".xeb", "Xeb-Console", "console-cfg.xeb")):
            failures.append("the end of piped input did not save the configuration")

        path = os.path.join(home, "long.xeb")
        with open(path, "w", encoding="utf-8") as f:
            f.write('Xeb []\nprint "looping"\nloop 2000000000 [1 + 1]\nprint "not reached"\n')
        p = subprocess.Popen([xeb, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env=env)
        first = p.stdout.readline()
        time.sleep(0.2)
        p.send_signal(signal.SIGINT)
        try:
            rest = p.stdout.read()
            status = p.wait(timeout=60)
        except subprocess.TimeoutExpired:
            p.kill()
            rest, status = b"", "still running"
        if first != b"looping\n" or rest != b"" or status != 130:
            failures.append(f"SIGINT ends a script: got {first + rest!r} status {status}, want 130")


def main():
    xeb = sys.argv[1]
    failures = []

    def check(name, out, rc, want_out, want_rc, prefix=False):
        ok = (out.startswith(want_out) if prefix else out == want_out) and rc == want_rc
        if not ok:
            failures.append(f"{name}:\n  want {want_out!r} status {want_rc}\n  got  {out!r} status {rc}")

    for name, stdin, want, rc in LOOP_CASES:
        out, status = run(xeb, [], stdin)
        check(name, out, status, BANNER + want, rc)

    # An error at the prompt is printed in the error format and an empty
    # line, and the next line is evaluated.
    out, status = run(xeb, [], "1 / 0\n2\n")
    lines = out[len(BANNER):].split("\n")
    if not (out.startswith(BANNER) and lines[0].startswith("*** Math Error:")
            and "== 2" in lines and status == 0):
        failures.append(f"error at the prompt: got {out!r} status {status}")

    with tempfile.TemporaryDirectory() as d:
        def script(name, text):
            path = os.path.join(d, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            return path

        ok = script("ok.xeb", 'Xeb [Title: "ok"]\nprint "hi"\nprint mold system/options/args\n')
        out, status = run(xeb, [ok, "a", "b c"], "")
        check("script with a header", out, status, 'hi\n["a" "b c"]\n', 0)

        # Arguments come from the argument vector: blanks and quotes inside
        # one stay in it.
        out, status = run(xeb, [ok, 'x "y" z', "-"], "")
        check("arguments keep their blanks and quotes", out, status, 'hi\n[{x "y" z} "-"]\n', 0)

        # A script is preprocessed the same way whether it is named on the
        # command line or run with do-file: #include relative to it, #if.
        os.makedirs(os.path.join(d, "pp"), exist_ok=True)
        script("pp/lib.xeb", 'Xeb []\n#macro twice: func [x] [reduce [x x]]\nprint "included"\n')
        main_pp = script("pp/main.xeb", 'Xeb []\n#include %lib.xeb\n#if true [print mold twice 3]\n#if false [print "no"]\n')
        out, status = run(xeb, [main_pp], "")
        check("a preprocessed script from the command line", out, status, "included\n3\n", 0)
        out2, status2 = run(xeb, [], f'do to-xeb-file "{main_pp}"\n')
        if not ("included\n3\n" in out2 and status2 == 0):
            failures.append(f"the same script through do-file: got {out2!r} status {status2}")

        bare = script("bare.xeb", 'print "hi"\n')
        out, status = run(xeb, [bare], "")
        check("script without a header", out, status, "*** Error: Xeb header not found!\n", 254)

        out, status = run(xeb, ["--catch", bare], "1 + 1\n")
        check("--catch enters the loop without the banner", out, status,
              "*** Error: Xeb header not found!\n== 2\n", 0)

        failing = script("fail.xeb", "Xeb []\nprint 1\n1 / 0\nprint 2\n")
        out, status = run(xeb, [failing], "")
        check("script with a run-time error", out, status,
              "1\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0 print 2\n*** Stack: launch launch try-do\n", 254)

        out, status = run(xeb, ["--catch", failing], "3\n")
        check("--catch enters the loop after a failing script", out, status,
              "1\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0 print 2\n*** Stack: launch launch try-do\n== 3\n", 0)

        out, status = run(xeb, [os.path.join(d, "missing.xeb")], "")
        check("unreadable script", out, status, "*** Access Error:", 254, prefix=True)

        system = script("sys.xeb", "Xeb/System []\nx: 1\n")
        out, status = run(xeb, [system], "")
        check("systems-dialect script", out, status,
              "*** Error: contains Xeb/System code which requires compilation!\n", 254)

        header_only = script("nohdr.xeb", "Xeb 1 2\n")
        out, status = run(xeb, [header_only], "")
        check("header word without a block", out, status, "*** Error: Xeb header not found!\n", 254)

        # read-stdin writes what came at the binary's head and grows the
        # binary for more than it has room for.
        reader = script("reader.xeb",
                        'Xeb []\nb: make binary! 1\nread-stdin b 100\nprint length? b\nprint to string! b\n'
                        'read-stdin b 0\nprint length? b\n')
        out, status = run(xeb, [reader], "hello world")
        check("read-stdin", out, status, "11\nhello world\n11\n", 0)

        # A script reading its piped input sees the end as empty lines and
        # goes on after its loop; the loop of the console ends there.
        lines = script("lines.xeb", 'Xeb []\nwhile [not empty? line: input] [print ["got" line]]\n'
                       'print mold input\nprint "done"\n')
        out, status = run(xeb, [lines], "a\nb")
        check("a script reads its input to the end", out, status, 'got a\ngot b\n""\ndone\n', 0)
        out, status = run(xeb, ["--catch", lines], "a\n")
        check("the loop after a script ends at the end of input", out, status, 'got a\n""\ndone\n', 0)

        quits = script("quit.xeb", "Xeb []\nprint 1\nquit/return 5\nprint 2\n")
        out, status = run(xeb, [quits], "")
        check("quit/return in a script", out, status, "1\n", 5)

        # A reader that closes our output ends a printing loop as it ends any
        # filter, even after a call to a child (which needs SIGPIPE ignored).
        printer = script("printer.xeb",
                         'Xeb []\ncall/wait/input "true" make string! 100000\nforever [print 1]\n')
        p = subprocess.Popen([xeb, printer], stdout=subprocess.PIPE)
        p.stdout.readline()
        p.stdout.close()
        try:
            status = p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            status = "still running"
        if status != -13:
            failures.append(f"closed reader of the output: got status {status}, want SIGPIPE")

    interrupt_cases(xeb, failures)
    config_cases(xeb, failures)

    # The program records its build: system/build/date is when it was built
    # (UTC), between an hour before the program file was written and then.
    # From a git checkout it records the commit it was built from, and
    # about shows that commit's date and hash.
    import datetime
    import re
    out, status = run(xeb, [], "about\nprint [system/build/date/zone system/build/date/year system/build/date/month "
                      "system/build/date/day system/build/date/time]\n"
                      "print either object? system/build/git [mold system/build/git/commit] [{none}]\n")
    lines = out[len(BANNER):].splitlines()
    built = None
    if len(lines) == 3:
        z, y, mo, d, t = lines[1].split()
        h, mi, sec = (int(x) for x in t.split(":"))
        built = datetime.datetime(int(y), int(mo), int(d), h, mi, sec, tzinfo=datetime.timezone.utc)
    written = datetime.datetime.fromtimestamp(os.path.getmtime(xeb), datetime.timezone.utc)
    if not built or z != "0:00:00" or not written - datetime.timedelta(hours=1) <= built <= written:
        failures.append(f"build date: got {out!r}, the program was written {written}")
    else:
        head = subprocess.run(["git", "rev-parse", "HEAD"], cwd=os.path.dirname(os.path.abspath(__file__)),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        commit = "#" + head.stdout.strip() if head.returncode == 0 else "none"
        date = r"\d+-\w+-\d{4}/\d+:\d\d:\d\d"
        about = rf"Xeb 0\.1\.0 for Linux built {date}" + ("" if commit == "none" else "  commit " + commit[:8])
        if lines[2] != commit or not re.fullmatch(about, lines[0]):
            failures.append(f"build record: got {out!r}, the checkout is at {commit}")

    # A start-up that cannot get its memory ends with a message and a
    # status other than 0.
    import resource
    out, status = run(xeb, [], "1\n",
                      preexec=lambda: resource.setrlimit(resource.RLIMIT_AS, (256 << 20, 256 << 20)))
    if status == 0 or not out.strip():
        failures.append(f"start-up without memory: got {out!r} status {status}")

    for f in failures:
        print(f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
