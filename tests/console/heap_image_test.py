#!/usr/bin/env python3
"""Start-up from the heap image made at build time against start-up from the
library's sources (XEB_NO_SNAPSHOT): the same session must print the same,
in a directory, home and command line of the run's own, none of which the
image may have kept from the build.

Usage: heap_image_test.py XEB
"""
import os
import shutil
import subprocess
import sys
import tempfile

# name, command-line arguments after the program, piped input, texts the
# output must hold (so that both paths failing alike still fails).
CASES = [
    ("help and source of a library function",
     [], "? what-dir\nsource what-dir\n",
     ["Returns the active directory path", "what-dir: func"]),
    # Library functions run as compiled code: traces do not enter them.
    ("traces of library calls",
     [], "trace [what-dir]\ntrace/deep [split-path %a/b.txt]\n"
         "r: copy [] do/trace [dirize %a] func [event code offset value ref frame][[enter call] append r event] r\n",
     ["what-dir", "split-path"]),
    ("an error raised inside a library function",
     [], "change-dir %/no/such/dir\nto-xeb-file 1\n",
     ["*** Stack: launch launch run eval-command do-command try-do change-dir cause-error"]),
    ("what each process brings",
     [], "print mold system/options/path\nprint mold system/options/cache\nprint mold what-dir\n"
         "print mold system/options/args\nprint mold system/options/boot\nprint mold system/script/args\n"
         "print type? system/build/date\nprint mold system/view/screens/1/size\nprint system/state/interpreted?\n",
     ["/work-dir/", "/home-dir/.xeb/", "\nnone\nnone\nnone\n", "date\n", "80x24"]),
    ("the options' directory follows changes",
     [], "change-dir %sub\nprint mold system/options/path\nsystem/options/path: %/\nprint mold what-dir\n",
     ["/work-dir/sub/", "%/\n"]),
    ("arguments of a script",
     ["args.xeb", "one", "two words"], "",
     ['["one" "two words"]', '{one "two words"}']),
    # Memory in use counts only after a collection: the stress build
    # collects at other moments on each path.
    ("the library's words and memory",
     [], "print length? words-of system/words\nrecycle\nprint stats\nprint mold system/build/git\n",
     []),
]

LOADER = "/lib64/ld-linux-x86-64.so.2"

SCRIPT = """Xeb []
print mold system/options/args
print mold system/script/args
print mold system/options/boot
print mold system/options/path
"""


def run(xeb, args, stdin, work, home, image, loader=None):
    env = dict(os.environ, HOME=home)
    env.pop("XEB_NO_SNAPSHOT", None)
    if not image:
        env["XEB_NO_SNAPSHOT"] = "1"
    p = subprocess.run(([loader] if loader else []) + [xeb] + args, input=stdin.encode(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       cwd=work, env=env, timeout=120)
    return p.returncode, p.stdout.decode(errors="replace")


def main():
    xeb = os.path.abspath(sys.argv[1])
    root = tempfile.mkdtemp(prefix="xeb-image-")
    work = os.path.join(root, "work-dir")
    home = os.path.join(root, "home-dir")
    os.makedirs(os.path.join(work, "sub"))
    os.makedirs(home)
    with open(os.path.join(work, "args.xeb"), "w") as f:
        f.write(SCRIPT)
    # Started through the loader, the program finds the loader's file where
    # it looks for its own: a copy of the loader as long as the program reads
    # back bytes (zeros) where the image lies in the program's file.
    loader = None
    if os.path.exists(LOADER):
        loader = os.path.join(root, "ld.so")
        shutil.copy(LOADER, loader)
        os.truncate(loader, max(os.path.getsize(loader), os.path.getsize(xeb)))
    failures = []
    for name, args, stdin, holds in CASES:
        from_image = run(xeb, args, stdin, work, home, True)
        from_sources = run(xeb, args, stdin, work, home, False)
        if from_image != from_sources:
            failures.append(f"{name}: from the image {from_image!r}\nfrom the sources {from_sources!r}")
            continue
        if loader:
            through_loader = run(xeb, args, stdin, work, home, True, loader)
            if through_loader != from_image:
                failures.append(f"{name}: through the loader {through_loader!r}\nstarted itself {from_image!r}")
                continue
        for text in holds:
            if text not in from_image[1]:
                failures.append(f"{name}: {text!r} not in {from_image[1]!r}")
    for f in failures:
        print("FAIL", f)
    print(f"{len(CASES) - len(failures)}/{len(CASES)} cases agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
