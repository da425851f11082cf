#!/usr/bin/env python3
"""Rendered frames fed to a terminal emulator: the cells, colours and cursor
it shows must be the expected ones."""
import subprocess
import sys

import pyte

FRAMES = sys.argv[1]

# name: (rows as text, {(x, y): (fg, bg, reverse, bold, italic)}, cursor or None)
EXPECT = {
    "plain": (["h\u00e9llo   "], {}, None),
    "wide_cut": (["a\u4e2db ", "     "], {}, None),
    "wide_wrap": (["a\u4e2db ", "\u4e2dc  "], {}, None),
    "combining": (["\u00e9x  "], {}, None),
    "clip_rows": (["one ", "two "], {}, None),
    "wrap_clip": (["abc", "def"], {}, None),
    "colours": (["abcd "], {
        (0, 0): ("ffffff", "ff0000", False),
        (1, 0): ("ffffff", "ff0000", True),
        (2, 0): ("ffffff", "ff0000", False),
        (3, 0): ("ffffff", "red", False),
        (4, 0): ("default", "ff0000", False),
    }, None),
    "centre": (["      ", "  ab  ", "      "], {}, None),
    "right_bottom": (["      ", "      ", "    ab"], {}, None),
    "password_caret": (["**  ", "    "], {}, (2, 1)),
    "hint": (["hint "], {(0, 0): ("default", "default", False)}, None),
}


def rows_of(screen):
    out = []
    for y in range(screen.lines):
        line = screen.buffer[y]
        text = ""
        x = 0
        while x < screen.columns:
            text += line[x].data
            x += 1
        out.append(text)
    return out


def main():
    lines = subprocess.run([FRAMES], check=True, capture_output=True, text=True).stdout.splitlines()
    seen = set()
    failures = []
    for line in lines:
        name, w, h, frame = line.split(" ")
        seen.add(name)
        screen = pyte.Screen(int(w), int(h) + 1)
        stream = pyte.ByteStream(screen)
        stream.feed(bytes.fromhex(frame))
        rows, cells, cursor = EXPECT[name]
        got = [r.replace("\x00", "") for r in rows_of(screen)[: int(h)]]
        want = [r for r in rows]
        if got != want:
            failures.append(f"{name}: rows {got!r}, want {want!r}")
        for (x, y), (fg, bg, rev) in cells.items():
            c = screen.buffer[y][x]
            if (c.fg, c.bg, c.reverse) != (fg, bg, rev):
                failures.append(f"{name} ({x},{y}): {(c.fg, c.bg, c.reverse)}, want {(fg, bg, rev)}")
        if cursor is not None and (screen.cursor.x, screen.cursor.y) != cursor:
            failures.append(f"{name}: cursor {(screen.cursor.x, screen.cursor.y)}, want {cursor}")
        if name == "hint" and not screen.buffer[0][0].data == "h":
            failures.append("hint not drawn")
    missing = set(EXPECT) - seen
    if missing:
        failures.append(f"frames missing: {sorted(missing)}")
    for f in failures:
        print(f)
    print("ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
