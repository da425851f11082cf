#!/usr/bin/env python3
"""Windows on a real terminal through tmux: keys with send-keys, mouse
clicks as raw SGR reports, the screen read back with capture-pane. The
actors of the test scripts append lines to a file that the test reads.

Usage: view_tmux_test.py XEB [CASE ...]
"""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
import terminal_test as tt  # noqa: E402  (the tmux helpers)
from terminal_test import Pane, case, expect, xeb_pid  # noqa: E402

# The widgets under test; LAYOUT is filled in by each script. Rows and
# columns of the clicks follow from the faces' offsets (window at the top
# left of the screen, its origin one cell in).
PRELUDE = """Xeb []
log: func [s] [write/append %events.txt append form reduce s newline]
"""

FORM_VID = PRELUDE + """
view/options [
	f: field 20 on-enter [log ["enter" face/text]]
	c: check "Check" on-change [log ["check" face/data]]
	return
	b: button "Go" on-click [log "click"] on-dbl-click [log "dbl"]
	r: radio "One" on-change [log ["radio" face/data]]
	return
	t: text-list 20x4 data ["alpha" "beta" "gamma"] on-change [log ["list" face/selected]]
	progress 20 data 0.5
	return
	button "Print" [print "printed by an actor"]
	button "Quit" [quit]
	button "Fault" [1 / 0]
	text "tick" rate 5 on-time [log "tick"]
] [offset: 0x0]
log "closed"
"""

# The same window made face by face.
FORM_FACES = PRELUDE + """
mk: func [style spec xy] [make-face/spec/offset style spec xy]
win: make-face/size 'window 60x14
win/offset: 0x0
win/pane: reduce [
	mk 'field [20 on-enter [log ["enter" face/text]]] 1x1
	mk 'check ["Check" on-change [log ["check" face/data]]] 22x1
	mk 'button ["Go" on-click [log "click"] on-dbl-click [log "dbl"]] 1x3
	mk 'radio ["One" on-change [log ["radio" face/data]]] 7x3
	mk 'text-list [20x4 data ["alpha" "beta" "gamma"] on-change [log ["list" face/selected]]] 1x5
	mk 'progress [20 data 0.5] 22x5
	mk 'button ["Print" [print "printed by an actor"]] 1x10
	mk 'button ["Quit" [quit]] 7x10
	mk 'button ["Fault" [1 / 0]] 12x10
	mk 'text ["tick" rate 5 on-time [log "tick"]] 18x10
]
view win
log "closed"
"""


def run_script(home, text, tail="; echo exit=$?; sleep 600", pre="", height=24):
    path = os.path.join(home, "gui.xeb")
    with open(path, "w") as f:
        f.write(text)
    return Pane(f"cd {home}; {pre}{tt.XEB} gui.xeb{tail}", home, height=height)


def events(home):
    try:
        return open(os.path.join(home, "events.txt")).read().split("\n")
    except OSError:
        return []


def wait_event(home, line, count=1):
    end = time.time() + tt.LIMIT
    while time.time() < end:
        if events(home).count(line) >= count:
            return
        time.sleep(0.05)
    raise AssertionError(f"no event {line!r} (x{count}); events: {events(home)}")


def click(p, x, y):
    """A left press and release at column x, row y (0-based cells)."""
    for end in "Mm":
        p.tmux("send-keys", "-l", f"\x1b[<0;{x + 1};{y + 1}{end}")


def drive_form(home, p):
    p.wait_for("Check")
    p.wait_for("[#########         ]")  # progress 20 wide at 0.5
    p.text("hello")
    p.keys("Enter")
    wait_event(home, "enter hello")
    p.keys("Tab")                        # to the check box
    p.keys("Space")
    wait_event(home, "check true")
    p.keys("BTab")                       # Shift+Tab back to the field
    p.text("!")
    p.keys("Enter")
    wait_event(home, "enter hello!")
    # Two clicks sent back to back: waiting for the first one's event
    # between them took longer than a double click allows on a loaded machine.
    click(p, 2, 3)                       # Go
    click(p, 2, 3)                       # a quick second click
    wait_event(home, "click")
    wait_event(home, "dbl")
    ev = events(home)
    expect(ev.index("click") < ev.index("dbl"), f"click before dbl-click: {ev}")
    click(p, 8, 3)                       # the radio
    wait_event(home, "radio true")
    click(p, 3, 6)                       # the list's second row
    wait_event(home, "list 2")
    wait_event(home, "tick", 2)          # the rate timer
    p.keys("Escape")
    p.wait_for("exit=0")
    wait_event(home, "closed")


@case
def print_from_actor(home):
    """A print from an actor shows above the GUI and the GUI comes back."""
    p = run_script(home, FORM_VID)
    try:
        p.wait_for("Quit")
        click(p, 2, 10)                  # Print
        below = lambda s: "printed by an actor" in s and "Quit" in s.split("printed by an actor")[1]
        p.wait(below, "the window drawn again below the print")
        time.sleep(1)                    # several frames later (the timer ticks)
        expect(below(p.screen()), f"the print stays above the window:\n{p.screen()}")
        p.keys("Escape")
        p.wait_for("exit=0")
    finally:
        p.kill()


@case
def vid_form(home):
    p = run_script(home, FORM_VID)
    try:
        drive_form(home, p)
    finally:
        p.kill()


@case
def faces_form(home):
    p = run_script(home, FORM_FACES)
    try:
        drive_form(home, p)
    finally:
        p.kill()


def find_text(p, text):
    """Column and row of the first cell of text on the screen."""
    for y, row in enumerate(p.rows()):
        x = row.find(text)
        if x >= 0:
            return x, y
    raise AssertionError(f"{text!r} not on the screen:\n{p.screen()}")


@case
def file_requester(home):
    os.makedirs(os.path.join(home, "top", "sub"))
    open(os.path.join(home, "top", "b.txt"), "w").close()
    open(os.path.join(home, "top", "sub", "a.txt"), "w").close()
    p = run_script(home, 'Xeb []\nchange-dir %top/sub/\nprint ["result:" mold request-file]\n', height=40)
    try:
        p.wait_for("a.txt")
        expect(os.path.join(home, "top", "sub") in p.screen(), p.screen())
        x, y = find_text(p, "../")
        click(p, x, y)                  # select ../, Enter opens it
        p.keys("Enter")
        p.wait_for("b.txt")
        p.wait_for("sub/")
        x, y = find_text(p, "Cancel")
        click(p, x, y)
        p.wait_for("result: none")
        p.wait_for("exit=0")
    finally:
        p.kill()


@case
def alert_on_80_columns(home):
    text = "This message is long enough to be wider than eighty columns of a console, so it wraps."
    p = run_script(home, f'Xeb []\nalert "{text}"\nprint "closed"\n')
    try:
        p.wait_for("OK")
        screen = p.screen()
        expect("This message is long enough" in screen and "it wraps." in screen, screen)
        expect(all(len(r) <= 80 for r in p.rows()), screen)
        p.keys("Enter")
        p.wait_for("closed")
        p.wait_for("exit=0")
    finally:
        p.kill()


SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scripts")

# The form as it shows, the same on any size of terminal (the window is
# not fullscreen). The check and radio marks are the widgets' own.
FORM_GOLDEN = """
 Name:    Ada

 Mail:

 \U0001F795 Subscribe \u2610 Weekly

 \u25C9 Text \u25CB HTML

 Topic:   Science
          Art                       Progress
          Music
          Sport                     [###########   ]


 OK    Cancel"""


@case
def form_script(home):
    for width, height in ((80, 24), (120, 40)):
        p = Pane(f"cd {home}; {tt.XEB} {SCRIPTS}/form.xeb; echo exit=$?; sleep 600", home, width, height)
        try:
            p.wait_for("Cancel")
            rows = [r.rstrip() for r in p.rows()]
            want = FORM_GOLDEN.split("\n")
            expect(rows[:len(want)] == want, f"{width}x{height}:\n" + "\n".join(rows))
            x, y = find_text(p, "Mail:")
            click(p, x + 9, y)           # into the mail field
            p.text("ada@example.org")
            x, y = find_text(p, " OK ")
            click(p, x + 1, y)
            p.wait_for("name: Ada mail: ada@example.org topic: Art")
            p.wait_for("exit=0")
        finally:
            p.kill()


@case
def browser_script(home):
    p = Pane(f"cd {home}; {tt.XEB} {SCRIPTS}/browser.xeb; echo exit=$?; sleep 600", home)
    try:
        p.wait_for("form.xeb")
        x, y = find_text(p, "form.xeb")
        click(p, x, y)
        p.keys("Enter")
        p.wait_for("form.xeb: ")
        expect(f"form.xeb: {os.path.getsize(os.path.join(SCRIPTS, 'form.xeb'))} bytes" in p.screen(), p.screen())
        x, y = find_text(p, "../")
        click(p, x, y)
        p.keys("Enter")
        p.wait_for("view_tmux_test.py")      # the folder above: tests/gui/
        p.keys("Escape")
        p.wait_for("exit=0")
    finally:
        p.kill()


def restored(home, name, action, status):
    """The terminal's settings, mouse modes and cursor as before, whichever
    way the GUI ended."""
    before, after = os.path.join(home, "before"), os.path.join(home, "after")
    tail = (f"; echo exit=$?; stty -g > {after}; "
            "echo done; sleep 600")
    p = run_script(home, FORM_VID, tail=tail, pre=f"stty -g > {before}; ")
    try:
        p.wait_for("Quit")
        action(p)
        p.wait_for("done")
        expect(f"exit={status}" in p.screen(), f"{name}: not exit={status}: {p.screen()}")
        a, b = open(before).read(), open(after).read()
        expect(a == b, f"{name}: stty before {a!r} after {b!r}")
        flags = p.tmux("display-message", "-p", "#{mouse_any_flag}#{mouse_sgr_flag}#{cursor_flag}").strip()
        expect(flags == "001", f"{name}: mouse, SGR mouse and cursor flags {flags}")
    finally:
        p.kill()


@case
def terminal_restored(home):
    def sig(s):
        return lambda p: os.kill(xeb_pid(p), s)
    restored(home, "Esc", lambda p: p.keys("Escape"), 0)
    restored(home, "quit from an actor", lambda p: click(p, 8, 10), 0)
    restored(home, "SIGTERM", sig(signal.SIGTERM), 128 + signal.SIGTERM)
    restored(home, "SIGHUP", sig(signal.SIGHUP), 128 + signal.SIGHUP)
    restored(home, "forced fault", sig(signal.SIGSEGV), 1)


def main():
    return tt.run_cases([vid_form, faces_form, file_requester, alert_on_80_columns, form_script, browser_script,
                         print_from_actor, terminal_restored])


if __name__ == "__main__":
    sys.exit(main())
