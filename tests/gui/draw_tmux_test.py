#!/usr/bin/env python3
"""The drawing script and the requesters on a real terminal through tmux:
the drawn shapes read back with capture-pane, the file and folder dialogs
driven with keys and SGR mouse reports.

Usage: draw_tmux_test.py XEB
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "console"))
import terminal_test as tt  # noqa: E402  (the tmux helpers)
from terminal_test import Pane, case, expect  # noqa: E402
from view_tmux_test import click, find_text  # noqa: E402  (the GUI's own)

SCRIPTS = os.path.join(HERE, "scripts")

# The drawing script's window: the box, the filled box, lines, a triangle, a
# circle, an ellipse and text of its base face, then the button.
DRAWING_GOLDEN = """
 ┌──────────────────────────────────────────┐
 │ ┌───────┐                        █████   │
 │ │       │  █████████            █     █  │
 │ │       │   ██    █    █████   █       █ │
 │ └───────┘     █ ██    █     █   █     █  │
 │                █     █       █   █████   │
 │ █████████             █     █            │
 │                        █████             │
 │ █      ██   shapes                       │
 │  ██  ██                                  │
 │    ██                                    │
 └──────────────────────────────────────────┘"""


def golden_then_close(home, script, golden):
    """Runs the script, compares the top rows with the golden text, then
    clicks Close and expects the script to end."""
    p = Pane(f"cd {home}; {tt.XEB} {script}; echo exit=$?; sleep 600", home, 80, 24)
    try:
        p.wait_for("Close")
        rows = [r.rstrip() for r in p.rows()]
        want = golden.split("\n")
        expect(rows[:len(want)] == want, "\n".join(rows))
        x, y = find_text(p, "Close")
        click(p, x, y)
        p.wait_for("exit=0")
    finally:
        p.kill()


@case
def drawing_script(home):
    golden_then_close(home, f"{SCRIPTS}/drawing.xeb", DRAWING_GOLDEN)


@case
def file_requester_title_filter_save(home):
    """The title and filter given reach the dialog; Save answers the folder
    joined with the name in the field."""
    os.makedirs(os.path.join(home, "top", "sub"))
    for name in ("b.txt", "c.log"):
        open(os.path.join(home, "top", name), "w").close()
    script = ('Xeb []\nchange-dir %top/\n'
              'print ["result:" mold request-file/title/filter/save/file "Pick a text" ["Texts" %.txt] "new.txt"]\n')
    with open(os.path.join(home, "req.xeb"), "w") as f:
        f.write(script)
    p = Pane(f"cd {home}; {tt.XEB} req.xeb; echo exit=$?; sleep 600", home, 100, 40)
    try:
        p.wait_for("b.txt")
        screen = p.screen()
        expect("Pick a text" in screen and " Save " in screen and "sub/" in screen, screen)
        expect("c.log" not in screen, screen)
        x, y = find_text(p, " Save ")
        click(p, x + 1, y)
        p.wait_for("exit=0")
        want = "result: %" + os.path.join(home, "top", "new.txt")
        expect(want in p.screen().replace("\n", ""), p.screen())
    finally:
        p.kill()


@case
def folder_requester(home):
    """The folder dialog starts in the folder given; Enter on a folder opens
    it and OK answers it."""
    os.makedirs(os.path.join(home, "top", "sub"))
    script = 'Xeb []\nprint ["result:" mold request-dir/title/dir "Where to?" %top/]\n'
    with open(os.path.join(home, "req.xeb"), "w") as f:
        f.write(script)
    p = Pane(f"cd {home}; {tt.XEB} req.xeb; echo exit=$?; sleep 600", home, 100, 40)
    try:
        p.wait_for("sub/")
        expect("Where to?" in p.screen(), p.screen())
        x, y = find_text(p, "sub/")
        click(p, x, y)
        p.keys("Enter")
        p.wait(lambda s: "sub" in s.partition("Selected:")[2], "the folder opened into the field")
        x, y = find_text(p, " OK ")
        click(p, x + 1, y)
        p.wait_for("exit=0")
        expect("result: %top/sub/" in p.screen(), p.screen())
    finally:
        p.kill()


# With the layout dialect's debug? on, a panel's rows carry their guide lines
# (the panel's draw block, under its buttons).
DEBUG_GOLDEN = """
               Close
  One  █Two  █
  ████████████
  Three█
  ██████"""


@case
def layout_debug_guides(home):
    with open(os.path.join(home, "guides.xeb"), "w") as f:
        f.write('Xeb []\nsystem/view/VID/debug?: true\n'
                'view [panel [button "One" button "Two" return button "Three"] button "Close" [unview]]\n')
    golden_then_close(home, "guides.xeb", DEBUG_GOLDEN)


def main():
    return tt.run_cases([drawing_script, layout_debug_guides, file_requester_title_filter_save, folder_requester])


if __name__ == "__main__":
    sys.exit(main())
