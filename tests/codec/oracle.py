#!/usr/bin/env python3
"""DEFLATE, zlib and gzip oracle: python3's zlib and gzip against the codec.

Both ways over a corpus of texts, binaries and random data: what the codec
compresses, python decompresses to the original; what python compresses at
every level, window size, memory level and strategy, the codec decompresses
to the original.

    oracle.py --tool PATH [--full]
The default corpus runs in CI (sizes up to 1 MB); --full adds 5, 20 and
50 MB items and takes minutes.
"""
import argparse
import gzip
import io
import os
import pathlib
import random
import subprocess
import sys
import tempfile
import zlib

REPO = pathlib.Path(__file__).resolve().parents[2]
LEVELS = [-1] + list(range(10))
WINDOWS = list(range(9, 16))
STRATEGIES = [zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED]


def sources(kind):
    """Raw material: the repository's text files, or program binaries."""
    if kind == 'text':
        files = sorted(p for ext in ('*.cpp', '*.h', '*.md', '*.txt', '*.xeb', '*.py')
                       for p in REPO.rglob(ext) if 'build' not in p.parts and '.git' not in p.parts)
    else:
        files = [pathlib.Path(sys.executable).resolve()]
        files += sorted(pathlib.Path('/usr/bin').glob('*'))[:200]
    data = bytearray()
    for f in files:
        try:
            if f.is_file():
                data += f.read_bytes()
        except OSError:
            pass
        if len(data) > 8 << 20:
            break
    return bytes(data)


def take(material, size, rng):
    """size bytes of material from a random start, wrapping around."""
    if size == 0:
        return b''
    out = bytearray()
    pos = rng.randrange(len(material))
    while len(out) < size:
        out += material[pos:pos + size - len(out)]
        pos = 0
    return bytes(out)


def corpus(full):
    rng = random.Random(1951)
    text, binary = sources('text'), sources('binary')
    small = [0, 1, 2, 3, 100, 4096, 65543]
    large = [300000, 1 << 20] + ([5 << 20, 20 << 20, 50 << 20] if full else [])
    for size in small + large:
        yield f'text-{size}', take(text, size, rng), size in small
        yield f'binary-{size}', take(binary, size, rng), size in small
        yield f'random-{size}', rng.randbytes(size), size in small
    yield 'zeros-1000000', bytes(1000000), False


def python_streams(data, every):
    """(name, method, stream) for python's compressors on data; every level,
    window, memory level and strategy for small items, a spread for large."""
    forms = [('deflate', -1), ('zlib', 0), ('gzip', 16)]
    if every:
        combos = [(lv, w, 8, zlib.Z_DEFAULT_STRATEGY) for lv in LEVELS for w in WINDOWS]
        combos += [(6, 15, m, zlib.Z_DEFAULT_STRATEGY) for m in (1, 9)]
        combos += [(6, 15, 8, s) for s in STRATEGIES]
    else:
        combos = [(lv, 15, 8, zlib.Z_DEFAULT_STRATEGY) for lv in LEVELS]
        combos += [(6, w, 8, zlib.Z_DEFAULT_STRATEGY) for w in WINDOWS]
        combos += [(6, 15, 8, s) for s in STRATEGIES]
    for lv, w, mem, strat in combos:
        for method, sign in forms:
            wbits = -w if sign < 0 else w + sign
            c = zlib.compressobj(lv, zlib.DEFLATED, wbits, mem, strat)
            yield f'L{lv} W{wbits} M{mem} S{strat}', method, c.compress(data) + c.flush()
    yield 'gzip.compress', 'gzip', gzip.compress(data, mtime=0)
    buf = io.BytesIO()
    with gzip.GzipFile(filename='named.bin', mode='wb', fileobj=buf, mtime=1) as f:  # FNAME set
        f.write(data)
    yield 'GzipFile named', 'gzip', buf.getvalue()


def python_decompress(method, stream):
    if method == 'deflate':
        d = zlib.decompressobj(-15)
        out = d.decompress(stream)
        assert d.eof and not d.unused_data, 'raw stream incomplete or with trailing data'
        return out
    if method == 'zlib':
        return zlib.decompress(stream)
    return gzip.decompress(stream)


class Tool:
    def __init__(self, path, tmp):
        self.path, self.tmp = path, tmp

    def batch(self, jobs):
        """jobs: (op, method, in_bytes); answers [(status, out_bytes or None)]."""
        lines = []
        for i, (op, method, data) in enumerate(jobs):
            src, dst = os.path.join(self.tmp, f'{i}.in'), os.path.join(self.tmp, f'{i}.out')
            with open(src, 'wb') as f:
                f.write(data)
            if os.path.exists(dst):
                os.unlink(dst)
            lines.append(f'{op} {method} {src} {dst}\n')
        r = subprocess.run([self.path, 'batch'], input=''.join(lines), capture_output=True, text=True)
        if r.returncode != 0:
            raise SystemExit(f'codec_tool failed ({r.returncode}): {r.stderr}')
        results = []
        for i, status in enumerate(r.stdout.splitlines()):
            dst = os.path.join(self.tmp, f'{i}.out')
            out = None
            if status == 'ok':
                with open(dst, 'rb') as f:
                    out = f.read()
                os.unlink(dst)
            os.unlink(os.path.join(self.tmp, f'{i}.in'))
            results.append((status, out))
        if len(results) != len(jobs):
            raise SystemExit(f'codec_tool answered {len(results)} of {len(jobs)} jobs')
        return results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--tool', required=True)
    ap.add_argument('--full', action='store_true')
    args = ap.parse_args()
    failures = checks = 0
    sizes = {'ours': 0, 'python6': 0}
    with tempfile.TemporaryDirectory() as tmp:
        tool = Tool(args.tool, tmp)
        for name, data, every in corpus(args.full):
            # Ours to python.
            ours = tool.batch([('compress', m, data) for m in ('deflate', 'zlib', 'gzip')])
            for method, (status, stream) in zip(('deflate', 'zlib', 'gzip'), ours):
                checks += 1
                try:
                    assert status == 'ok', status
                    assert python_decompress(method, stream) == data, 'differs'
                except Exception as e:  # noqa: BLE001 - report every kind of failure
                    failures += 1
                    print(f'FAIL ours->python {name} {method}: {e}')
            sizes['ours'] += len(ours[1][1] or b'')
            sizes['python6'] += len(zlib.compress(data, 6))
            # Python to ours.
            streams = list(python_streams(data, every))
            results = tool.batch([('decompress', m, s) for _, m, s in streams])
            for (form, method, _), (status, out) in zip(streams, results):
                checks += 1
                if status != 'ok' or out != data:
                    failures += 1
                    print(f'FAIL python->ours {name} {method} {form}: {status}')
            print(f'{name}: {len(streams) + 3} streams', flush=True)
    ratio = sizes['ours'] / max(1, sizes['python6'])
    print(f'{checks} checks, {failures} failures; zlib size ours/python level 6: {ratio:.4f}')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
