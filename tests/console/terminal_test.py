#!/usr/bin/env python3
"""Drives the console on a real terminal through tmux: keys in with
send-keys, the screen read back with capture-pane. Every wait polls the
screen until the expected text shows, with a generous limit, so a loaded
machine only makes it slower.

Usage: terminal_test.py XEB
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

XEB = None
LIMIT = 30.0  # seconds to wait for any one thing
failures = []


class Pane:
    """One tmux server with one 80x24 window running a shell command."""

    count = 0

    def __init__(self, command, home, width=80, height=24):
        Pane.count += 1
        self.socket = f"xeb-term-{os.getpid()}-{Pane.count}"
        self.tmux("new-session", "-d", "-x", str(width), "-y", str(height),
                  "-e", f"HOME={home}", "sh", "-c", command)
        self.tmux("set-option", "-g", "remain-on-exit", "on")

    def tmux(self, *args, check=True):
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null"] + list(args),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=check,
                              text=True).stdout

    def keys(self, *keys):
        self.tmux("send-keys", *keys)

    def text(self, *keys):
        self.tmux("send-keys", "-l", *keys)

    def screen(self):
        return self.tmux("capture-pane", "-p", "-J").rstrip("\n")

    def rows(self):
        return self.tmux("capture-pane", "-p").split("\n")

    def cursor(self):
        x, y = self.tmux("display-message", "-p", "#{cursor_x} #{cursor_y}").split()
        return int(x), int(y)

    def wait(self, pred, what):
        end = time.time() + LIMIT
        while time.time() < end:
            s = self.screen()
            if pred(s):
                return s
            time.sleep(0.05)
        raise AssertionError(f"timed out waiting for {what}; screen:\n{self.screen()}")

    def wait_for(self, text):
        return self.wait(lambda s: text in s, repr(text))

    def wait_count(self, text, n):
        return self.wait(lambda s: s.count(text) >= n, f"{n} x {text!r}")

    def kill(self):
        self.tmux("kill-server", check=False)


def case(fn):
    def run():
        home = tempfile.mkdtemp(prefix="xeb-home-")
        try:
            fn(home)
        except AssertionError as e:
            failures.append(f"{fn.__name__}: {e}")
        finally:
            shutil.rmtree(home, ignore_errors=True)
    run.__name__ = fn.__name__
    return run


def console(home, extra=""):
    return Pane(f"{XEB} {extra}; echo exit=$?; sleep 600", home)


def expect(cond, msg):
    if not cond:
        raise AssertionError(msg)


@case
def editing_keys(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text('print "abc"')
        # Left x3 and Z: print "aZbc"; End, Left, Backspace: print "aZb";
        # Home, Right x2, Delete and i: the i taken out and put back.
        p.keys("Left", "Left", "Left", "Z", "End", "Left", "BSpace", "Home", "Right", "Right", "Delete", "i",
               "Enter")
        p.wait(lambda s: "\naZb\n" in s, "the edited line evaluated")
        # Ctrl-A, Ctrl-F, Ctrl-K, Ctrl-B, Ctrl-E.
        p.text('print "12345"')
        p.keys("C-a", *["C-f"] * 9, "C-k", "C-b", "C-e", '"', "Enter")
        p.wait(lambda s: "\n12\n" in s + "\n", "the Ctrl-K edit")
    finally:
        p.kill()


@case
def history_survives_restart(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        for line in ["1 + 1", "2 + 2", "3 + 3"]:
            p.text(line)
            p.keys("Enter")
        p.wait_for("== 6")
        p.keys("Up", "Up", "Down", "Enter")
        p.wait_count("== 6", 2)
        p.text("quit")
        p.keys("Enter")
        p.wait_for("exit=0")
    finally:
        p.kill()
    cfg = os.path.join(home, ".xeb", "Xeb-Console", "console-cfg.xeb")
    expect(os.path.exists(cfg), "no configuration file written")
    text = open(cfg, encoding="utf-8").read()
    expect('Purpose: "Xeb Console Configuration File"' in text, text)
    p = console(home)
    try:
        p.wait_for(">> ")
        p.keys("Up", "Up", "Up")
        p.wait(lambda s: s.rstrip().endswith(">> 2 + 2"), "the history of the last run")
        p.keys("Down", "Down", "Down")
        p.wait(lambda s: s.rstrip().endswith(">>"), "Down past the newest empties the line")
        p.keys("Up", "Enter")
        p.wait_for("exit=0")
    finally:
        p.kill()


@case
def completion(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text("appe")
        p.keys("Tab")
        p.wait(lambda s: s.rstrip().endswith(">> append"), "appe completed to append")
        p.text(' "x" "y"')
        p.keys("Enter")
        p.wait_for('== "xy"')
        p.text("a")
        p.keys("Tab")
        s = p.wait(lambda s: "absolute" in s and "append" in s, "the candidates for a")
        # The candidates stay on screen; the next prompt holds the common prefix.
        p.text("ppen")
        p.keys("Tab", "Enter")
        p.wait(lambda s: ">> append\n" in s + "\n" and "*** Script Error: append" in s, "the completed line run")
    finally:
        p.kill()


@case
def multi_line_block_and_escape(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        for line in ["b: [", "1 + 1", "]"]:
            p.text(line)
            p.keys("Enter")
        p.wait_for("== [")
        expect("[    1 + 1" in p.screen(), p.screen())
        p.text("length? b")
        p.keys("Enter")
        p.wait_for("== 3")
        p.text("[")
        p.keys("Enter")
        p.wait_for("[    ")
        p.text("oops")
        p.keys("Escape")
        p.wait_for("(escape)")
        p.text("7")
        p.keys("Enter")
        p.wait_for("== 7")
    finally:
        p.kill()


@case
def long_line_wraps(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        body = "".join(chr(ord("a") + i % 26) for i in range(290))
        p.text(f'print "{body}"')
        p.wait(lambda s: body[-10:] + '"' in s, "the whole line drawn")
        rows = p.rows()
        # ">> " and 298 characters: 301 cells over four rows of 80.
        first = next(i for i, r in enumerate(rows) if r.startswith(">> print"))
        expect(len(rows[first]) == 80 and len(rows[first + 1]) == 80 and len(rows[first + 2]) == 80,
               "rows not filled: " + repr(rows[first:first + 4]))
        expect(p.cursor() == (301 - 240, first + 3), f"cursor at {p.cursor()}")
        # Insert near the start: everything after moves on, across the rows.
        p.keys("Home")
        for _ in range(8):
            p.keys("Right")
        p.text("X")
        p.wait(lambda s: p.cursor() == (12, first), "cursor after the insert")
        p.keys("End", "BSpace", "BSpace")
        p.text('Q"')
        p.keys("Enter")
        want = body[0] + "X" + body[1:-1] + "Q"
        p.wait(lambda s: s.replace("\n", "").count(want) >= 2, "the edited long line printed")
    finally:
        p.kill()


@case
def resize_redraws(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        digits = "0123456789" * 10
        p.text(f'print "{digits}"')
        p.wait_for(digits[-10:] + '"')
        p.tmux("resize-window", "-x", "50")
        # Drawn again at the new width: 3 + 108 cells over three rows of 50.
        p.wait(lambda s: p.cursor()[0] == 111 - 100, "the line drawn at 50 columns")
        _, row = p.cursor()
        p.keys("Home", "Right", "Right", "X")
        p.wait(lambda s: ">> prXint" in s and p.cursor() == (6, row - 2), "an edit after the resize")
        p.keys("Home", "Delete", "Delete", "Delete", "p", "r", "Enter")
        p.wait_for(digits[-10:] + "\n>>")
        # Results are cut to the new width: 47 less the prompt and one, then "...".
        p.text('append/dup copy "" "a" 70')
        p.keys("Enter")
        p.wait_for("== {" + "a" * 42 + "...")
        # A resize while a line is typed is the size that line sees.
        p.text("system/console/size")
        p.tmux("resize-window", "-x", "60")
        p.wait(lambda s: p.tmux("display-message", "-p", "#{window_width}").strip() == "60", "the new width")
        time.sleep(0.3)
        p.keys("Enter")
        p.wait_for("== 60x24")
    finally:
        p.kill()


@case
def wide_characters(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text('print "中文字"')
        p.wait_for('"中文字"')
        _, row = p.cursor()
        # ">> print " is 9 cells, the quote 1, three wide characters 6, the quote 1.
        p.wait(lambda s: p.cursor() == (17, row), "cursor after the wide text")
        p.keys("Left", "Left")
        p.wait(lambda s: p.cursor() == (14, row), "cursor left over a wide character")
        p.text("x")
        p.wait(lambda s: '"中文x字"' in s and p.cursor() == (15, row), "insert between wide characters")
        p.keys("Enter")
        p.wait_for("\n中文x字")
        # A prompt after wide text on the same row starts where that text ends.
        p.text('prin "中文"')
        p.keys("Enter")
        p.wait_for("\n中文>> ")
        p.text("ab")
        p.keys("Left")
        _, row = p.cursor()
        p.wait(lambda s: "中文>> ab" in s and p.cursor() == (8, row), "the prompt after wide output")
    finally:
        p.kill()


@case
def coloured_prompt(home):
    # The colour sequences of a prompt take no cells: the cursor stands
    # right after the visible ">> " and the typed text.
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text('system/console/prompt: "^[[32m>> ^[[0m"')
        p.keys("Enter")
        p.wait_count(">> ", 2)
        p.text("ab")
        p.wait(lambda s: s.rstrip().endswith(">> ab"), "typed text after the coloured prompt")
        _, row = p.cursor()
        p.wait(lambda s: p.cursor() == (5, row), "cursor after the coloured prompt")
        p.keys("Home")
        p.wait(lambda s: p.cursor() == (3, row), "Home after the coloured prompt")
    finally:
        p.kill()


@case
def ctrl_c_and_ctrl_d_quit(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text("1 + 2")
        p.keys("C-c")
        p.wait_for("exit=0")
    finally:
        p.kill()
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text("x")
        p.keys("C-d")  # not empty: nothing
        p.keys("BSpace", "C-d")
        p.wait_for("exit=0")
    finally:
        p.kill()


@case
def masked_input(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text('s: ask/hide "pw? "')
        p.keys("Enter")
        p.wait_for("pw? ")
        p.text("secret")
        p.wait_for("pw? ******")
        p.keys("Enter")
        p.wait_for('== "secret"')
        p.keys("Up")
        p.wait(lambda s: s.rstrip().endswith('>> s: ask/hide "pw? "'), "the hidden line is not in the history")
    finally:
        p.kill()


def modes_kept(home, name, script_text, action, status):
    """Runs the console between two `stty -g`, does action, and checks the
    terminal settings read the same afterwards."""
    script = os.path.join(home, "s.xeb")
    with open(script, "w") as f:
        f.write(script_text or "")
    before, after = os.path.join(home, "before"), os.path.join(home, "after")
    arg = script if script_text else ""
    cmd = (f"stty -g > {before}; {XEB} {arg}; echo exit=$?; stty -g > {after}; echo done; sleep 600")
    p = Pane(cmd, home)
    try:
        action(p)
        p.wait_for("done")
        expect(f"exit={status}" in p.screen(), f"{name}: not exit={status}: {p.screen()}")
        a, b = open(before).read(), open(after).read()
        expect(a == b, f"{name}: stty before {a!r} after {b!r}")
    finally:
        p.kill()


def xeb_pid(p):
    """The console's process: the child of the pane's shell, found in /proc."""
    pane_pid = int(p.tmux("display-message", "-p", "#{pane_pid}").strip())
    end = time.time() + LIMIT
    while time.time() < end:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                stat = open(f"/proc/{entry}/stat").read()
            except OSError:
                continue
            # pid (comm) state ppid ...: comm may hold spaces, so split after it.
            comm = stat[stat.index("(") + 1:stat.rindex(")")]
            ppid = int(stat[stat.rindex(")") + 2:].split()[1])
            if ppid == pane_pid and comm == "xeb":
                return int(entry)
        time.sleep(0.05)
    raise AssertionError("no xeb process")


@case
def terminal_restored_on_every_way_out(home):
    def typed(*keys):
        def act(p):
            p.wait_for(">> ")
            for k in keys:
                p.keys(k)
        return act

    def signal(sig):
        def act(p):
            p.wait_for(">> ")
            os.kill(xeb_pid(p), sig)
        return act

    def answer(p):
        p.wait_for("? ")
        p.text("x")
        p.keys("Enter")

    import signal as sg
    modes_kept(home, "quit", None, lambda p: (p.wait_for(">> "), p.text("quit"), p.keys("Enter")), 0)
    modes_kept(home, "Ctrl-D", None, typed("C-d"), 0)
    modes_kept(home, "Ctrl-C", None, typed("C-c"), 0)
    modes_kept(home, "error in a script", 'Xeb []\nask "? "\n1 / 0\n', answer, 254)
    modes_kept(home, "SIGTERM", None, signal(sg.SIGTERM), 128 + sg.SIGTERM)
    modes_kept(home, "SIGHUP", None, signal(sg.SIGHUP), 128 + sg.SIGHUP)
    # A fault is a runtime error: its number is the status.
    modes_kept(home, "fatal signal", None, signal(sg.SIGSEGV), 1)
    modes_kept(home, "runtime error", None, signal(sg.SIGFPE), 33)


@case
def unwritable_configuration(home):
    # A file where the configuration folder should go: no user, root
    # included, can write the configuration there.
    open(os.path.join(home, ".xeb"), "w").close()
    for keys in (["C-c"], ["C-d"], ["q", "u", "i", "t", "Enter"]):
        p = console(home)
        try:
            p.wait_for(">> ")
            p.keys(*keys)
            p.wait_for("exit=0")
            expect("*** Access Error" in p.screen(), p.screen())
        finally:
            p.kill()


def guarded(home, args=""):
    """The console between two `stty -g`, under a shell that a Ctrl-C does
    not end (a trap, as job control keeps an interactive shell out of the
    way), so the key's SIGINT is the console's alone to act on."""
    before, after = os.path.join(home, "before"), os.path.join(home, "after")
    cmd = (f"trap 'true' INT; stty -g > {before}; {XEB} {args}; echo exit=$?; stty -g > {after}; echo done; "
           "sleep 600")
    return Pane(cmd, home), before, after


def same_modes(before, after):
    a, b = open(before).read(), open(after).read()
    expect(a == b, f"stty before {a!r} after {b!r}")


@case
def ctrl_c_halts_evaluation(home):
    p, before, after = guarded(home)
    try:
        p.wait_for(">> ")
        p.text("important: 12345")
        p.keys("Enter")
        p.wait_for("== 12345")
        for n, line in enumerate(['print "looping" loop 2000000000 [1 + 1]', 'f: does [forever [1]] print "in f" f']):
            p.text(line)
            p.keys("Enter")
            p.wait_count("looping" if n == 0 else "in f", 2)  # the line and its output
            time.sleep(0.2)
            p.keys("C-c")
            p.wait_count("(halted)", n + 1)
        p.text("important")
        p.keys("Enter")
        p.wait_count("== 12345", 2)
        p.text("quit")
        p.keys("Enter")
        p.wait_for("done")
        expect("exit=0" in p.screen(), p.screen())
        same_modes(before, after)
    finally:
        p.kill()
    # The lines of the interrupted session are in the history of the next.
    p = console(home)
    try:
        p.wait_for(">> ")
        p.keys("Up", "Up", "Up")  # quit, important, then the halted line
        p.wait(lambda s: s.rstrip().endswith('>> f: does [forever [1]] print "in f" f'), "the halted line recalled")
    finally:
        p.kill()


@case
def end_requests_save_the_history(home):
    """SIGTERM and SIGHUP, at the prompt or during a command: the console
    ends as quit ends it, the history saved, then by that signal, with the
    terminal's settings back."""
    import signal as sg
    cfg = os.path.join(home, ".xeb", "Xeb-Console", "console-cfg.xeb")
    for n, (sig, busy) in enumerate([(sg.SIGTERM, False), (sg.SIGHUP, False), (sg.SIGTERM, True)]):
        p, before, after = guarded(home)
        try:
            p.wait_for(">> ")
            line = f"print {n * 10 + 7}"
            p.text(line)
            p.keys("Enter")
            p.wait_for(str(n * 10 + 7) + "\n")
            if busy:
                p.text('print "looping" loop 2000000000 [1 + 1]')
                p.keys("Enter")
                p.wait_count("looping", 2)
                time.sleep(0.2)
            os.kill(xeb_pid(p), sig)
            p.wait_for("done")
            expect(f"exit={128 + sig}" in p.screen(), p.screen())
            same_modes(before, after)
            text = open(cfg, encoding="utf-8").read() if os.path.exists(cfg) else ""
            expect(f'"{line}"' in text, f"signal {sig}: {line!r} not saved: {text!r}")
        finally:
            p.kill()


@case
def ctrl_c_ends_a_script(home):
    script = os.path.join(home, "long.xeb")
    with open(script, "w") as f:
        f.write('Xeb []\nprint "looping"\nloop 2000000000 [1 + 1]\nprint "not reached"\n')
    p, before, after = guarded(home, script)
    try:
        p.wait_for("looping")
        time.sleep(0.2)
        p.keys("C-c")
        p.wait_for("done")
        expect("exit=130" in p.screen() and "not reached" not in p.screen(), p.screen())
        same_modes(before, after)
    finally:
        p.kill()


@case
def alt_keys_and_escape(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text('print "abc def"')
        p.keys("M-b", "X", "Enter")  # Alt-b: the terminal sends ESC b
        p.wait_for("\nabc Xdef")
        p.text('print "abc def"')
        p.keys("Home", "M-f", "M-f", "M-x", "Y", "Enter")
        p.wait_for("\nabcY def")
        expect("(escape)" not in p.screen(), p.screen())
        # A lone Esc still drops the line, which the history does not keep.
        p.text("oops")
        p.keys("Escape")
        p.wait_for("(escape)")
        p.keys("Up")
        p.wait(lambda s: s.rstrip().endswith('>> print "abcY def"'), "the line before the Esc recalled")
    finally:
        p.kill()


@case
def closers_and_open_points(home):
    p = console(home)
    try:
        p.wait_for(">> ")
        p.text("[1 (2]")
        p.keys("Enter")
        p.wait_for("*** Syntax Error: (line 1) missing ) at ]")
        p.text("1 + 1")
        p.keys("Enter")
        p.wait_for("== 2")
        p.text("x: (1, 2")
        p.keys("Enter")
        p.wait(lambda s: s.rstrip().endswith("("), "the continuation prompt of an open point")
        p.text(")")
        p.keys("Enter")
        p.wait_for("== (1, 2)")
    finally:
        p.kill()


def run_cases(tests):
    """Runs the cases named after the program on the command line (every one
    when none is named), prints the failures and answers the exit status."""
    global XEB
    XEB = os.path.abspath(sys.argv[1])
    if not shutil.which("tmux"):
        print("tmux is missing")
        return 1
    only = sys.argv[2:]
    for t in tests:
        if not only or t.__name__ in only:
            t()
    for f in failures:
        print(f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


def main():
    return run_cases([editing_keys, history_survives_restart, completion, multi_line_block_and_escape,
                      long_line_wraps, resize_redraws, wide_characters, coloured_prompt, ctrl_c_and_ctrl_d_quit,
                      masked_input, terminal_restored_on_every_way_out, unwritable_configuration,
                      ctrl_c_halts_evaluation, ctrl_c_ends_a_script, end_requests_save_the_history, alt_keys_and_escape, closers_and_open_points])


if __name__ == "__main__":
    sys.exit(main())
