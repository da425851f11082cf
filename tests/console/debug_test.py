#!/usr/bin/env python3
"""The debugger on a real terminal through tmux: debug stops at each event,
reads commands at its prompt, and hands the console back after the run.
Every wait polls the screen until the expected text shows.

Usage: debug_test.py XEB
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

LIMIT = 30.0


class Pane:
    def __init__(self, command, home):
        self.socket = f"xeb-debug-{os.getpid()}"
        self.tmux("new-session", "-d", "-x", "100", "-y", "50", "-e", f"HOME={home}", "sh", "-c", command)

    def tmux(self, *args, check=True):
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null"] + list(args),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=check, text=True).stdout

    def line(self, text):
        self.tmux("send-keys", "-l", "--", text)
        self.tmux("send-keys", "Enter")

    def screen(self):
        return self.tmux("capture-pane", "-p", "-J", "-S", "-500")

    def wait(self, pred, what):
        end = time.time() + LIMIT
        while time.time() < end:
            s = self.screen()
            if pred(s):
                return s
            time.sleep(0.05)
        raise AssertionError(f"timed out waiting for {what}; screen:\n{self.screen()}")

    def count(self, text, n):
        return self.wait(lambda s: s.count(text) >= n, f"{n} x {text!r}")

    def kill(self):
        self.tmux("kill-server", check=False)


def main():
    xeb = sys.argv[1]
    home = tempfile.mkdtemp(prefix="xeb-home-")
    p = Pane(f"{xeb}; sleep 600", home)
    failures = []
    try:
        p.count(">> ", 1)
        p.line("x: 42 debug [1 + 2]")
        s = p.count("debug> ", 1)
        if "-----> EVAL 1" not in s or "Input: 1 + 2" not in s:
            failures.append(f"first stop: {s!r}")
        steps = [
            # (command, text that must show next, how many prompts by then)
            ("foo", "Unknown command!", 2),
            (":x", "== 42", 3),
            # A command that fails is reported and the session goes on.
            (":[", "*** Syntax Error", 4),
            ("s", "-empty stack-", 5),
            # Only words are watched: a number failed at every later stop.
            ("watch 1 x", None, 6),
            ("", "Watch: x: 42", 7),
            ("-w x", None, 8),
            ("?", "`next` or `n` or just ENTER: evaluate next value.", 9),
            ("-s", None, 10),
            ("n", "-----> ", 11),
        ]
        for cmd, text, prompts in steps:
            p.line(cmd)
            s = p.count("debug> ", prompts)
            if text and text not in s.split("debug> " + cmd, 1)[-1]:
                failures.append(f"after {cmd!r}: {text!r} missing")
        p.line("c")
        p.count(">> ", 2)
        # The commands typed at the prompt are gone from the history.
        p.line("print ['hist mold system/console/history]")
        s = p.wait(lambda s: "\nhist [" in s, "the history")
        hist = s.split("\nhist [", 1)[1].split("\n", 1)[0]
        if "foo" in hist or "watch" in hist or "debug [1 + 2]" not in hist:
            failures.append(f"history after the run: {hist!r}")
        # quit abandons the run; the console goes on.
        p.line("debug [print 1 print 2]")
        p.count("debug> ", 12)
        p.line("q")
        p.count("(halted)", 1)
        # debug/later stays silent until @stop.
        p.line("debug/later [a: 1 @stop b: 2]")
        s = p.count("debug> ", 13)
        if "-----> EVAL @stop" not in s:
            failures.append(f"debug/later: {s[-300:]!r}")
        p.line("c")
        p.count(">> ", 5)
    except AssertionError as e:
        failures.append(str(e))
    finally:
        p.kill()
        shutil.rmtree(home, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
