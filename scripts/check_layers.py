#!/usr/bin/env python3
"""check_layers.py: fails when a source file includes a header of a layer
above its own, or of a layer beside it, or when code outside the modules
that own a cell layout reads a cell's raw payload words (w1, w2, w3).

The layers, lowest first; lexer, codec and io sit side by side, above
datatypes and below the evaluator. The top-level start-up (start/: start.*,
main.cpp) sits above every layer. Tests and benchmarks are not checked.
"""
import pathlib
import re
import sys

RANK = {
    "platform": 0,
    "runtime": 1,
    "datatypes": 2,
    "lexer": 3, "codec": 3, "io": 3,
    "evaluator": 4,
    "library": 5,
    "console": 6,
    "gui": 7,
}
TOP = len(RANK)  # start/: start.cpp, start.h, main.cpp
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

# Raw payload words: only the modules owning a layout touch them; everyone
# else reads cells through the named accessors of the cell's type. The
# datatypes own their types' payloads; in the runtime the shared shapes are
# defined in cell.h and shapes.h; the lexer owns its own marker cells.
RAW_PAYLOAD = re.compile(r'(->|\.)\s*w[123]\b')
PAYLOAD_OWNERS = ("datatypes/", "runtime/cell.h", "runtime/shapes.h", "lexer/lexer.h")


def layer_of(path):
    """The layer a repository path belongs to, or None for unchecked files."""
    parts = pathlib.PurePosixPath(path).parts
    if len(parts) == 1 or parts[0] == "start":
        return "top"
    return parts[0] if parts[0] in RANK else None


def rank(layer):
    return TOP if layer == "top" else RANK[layer]


def allowed(own, target):
    return target == own or rank(target) < rank(own)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    bad = []
    files = [f for f in root.iterdir() if f.is_file()]
    for layer in (*RANK, "start"):
        if (root / layer).is_dir():
            files += (root / layer).rglob("*")
    for f in sorted(files):
        if f.suffix not in (".h", ".cpp") or not f.is_file():
            continue
        rel = f.relative_to(root).as_posix()
        own = layer_of(rel)
        if own is None:
            continue
        owner = rel.startswith(PAYLOAD_OWNERS)
        for n, line in enumerate(f.read_text(errors="replace").splitlines(), 1):
            if not owner and RAW_PAYLOAD.search(line.split("//")[0]):
                bad.append(f"{rel}:{n}: reads a raw payload word; use the type's accessors")
            m = INCLUDE.match(line)
            if not m:
                continue
            target = layer_of(m.group(1))
            if target is None or not allowed(own, target):
                bad.append(f"{rel}:{n}: {own} includes {m.group(1)}")
    for b in bad:
        print(b, file=sys.stderr)
    if bad:
        print(f"{len(bad)} line(s) break the layers or the typed cell access", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
