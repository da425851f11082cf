"""What the scalar oracles share: running a script in the program and
comparing its lines with the expected ones."""
import os
import subprocess
import tempfile


def run(xeb, script):
    """The output lines of the program running the script (with its header)."""
    with tempfile.NamedTemporaryFile("w", suffix=".xeb", delete=False) as fh:
        fh.write("Xeb []\n" + script)
    try:
        p = subprocess.run([xeb, fh.name], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
    finally:
        os.unlink(fh.name)
    return p.stdout.decode("utf-8", "replace").splitlines()


def compare(expected, lines, inputs):
    """Prints the first differences; answers the count of differing lines."""
    bad = 0
    for i, want in enumerate(expected):
        got = lines[i] if i < len(lines) else "<missing>"
        if got != want:
            bad += 1
            if bad <= 10:
                print("case %d: %s\n  want %s\n  got  %s" % (i, inputs[i], want, got))
    if len(lines) > len(expected):
        print("extra output:", lines[len(expected):][:5])
        bad += 1
    return bad
