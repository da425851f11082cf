#!/usr/bin/env python3
"""Bitset oracle: random sets, plain and complemented, checked against
python sets.

Each case makes two bitsets from random specs (numbers, chars, ranges,
strings, sometimes `not`), then prints the membership of 0..PROBE for them,
their set operations, complements, edits and mold round trips. A
complemented set is kept here as (members, True): n is in it when n is not
in members.

    bitset_oracle.py --xeb PATH [--count N] [--seed S]
"""
import argparse
import random
import subprocess
import sys

PROBE = 420  # past every array the specs can make (largest number 330)


def member(s, n):
    items, comp = s
    return (n not in items) if comp else (n in items)


def spec(rng):
    """A spec text and the numbers it names."""
    parts, named = [], set()
    for _ in range(rng.randint(0, 6)):
        kind = rng.random()
        if kind < 0.4:
            n = rng.randint(0, 330)
            parts.append(str(n))
            named.add(n)
        elif kind < 0.6:
            lo = rng.randint(0, 300)
            hi = rng.randint(lo, min(lo + 40, 330))
            parts.append('%d - %d' % (lo, hi))
            named.update(range(lo, hi + 1))
        elif kind < 0.8:
            c = rng.randint(33, 126)
            parts.append('#"^(%X)"' % c)
            named.add(c)
        else:
            text = ''.join(chr(rng.randint(97, 122)) for _ in range(rng.randint(1, 4)))
            parts.append('"%s"' % text)
            named.update(ord(ch) for ch in text)
    comp = rng.random() < 0.4
    body = ' '.join(parts)
    return ('[not %s]' % body if comp else '[%s]' % body), (named, comp)


def expected_lines(a, b, key):
    def bits(pred):
        return ''.join('1' if pred(n) else '0' for n in range(PROBE))

    ma, mb = (lambda n: member(a, n)), (lambda n: member(b, n))
    out = [
        bits(ma), bits(mb),
        bits(lambda n: ma(n) or mb(n)),        # union
        bits(lambda n: ma(n) and mb(n)),       # intersect
        bits(lambda n: ma(n) != mb(n)),        # difference
        bits(lambda n: ma(n) and not mb(n)),   # exclude
        bits(lambda n: ma(n) and mb(n)),       # and~
        bits(lambda n: ma(n) or mb(n)),        # or~
        bits(lambda n: ma(n) != mb(n)),        # xor~
        bits(lambda n: not ma(n)),             # complement
        bits(lambda n: ma(n) and n not in key),  # remove/key
        bits(lambda n: ma(n) or n in key),       # append
        bits(lambda n: False),                   # clear
        bits(ma),                                # mold round trip
        'true' if all(ma(n) for n in key) else 'false',  # pick with a block
    ]
    return out


PRELUDE = '''Xeb []
bits: func [s /local out] [
    out: make string! 420
    repeat i 420 [append out either pick s i - 1 ["1"] ["0"]]
    out
]
'''

CASE = '''a: make bitset! {A} b: make bitset! {B}
print bits a print bits b
print bits union a b print bits intersect a b
print bits difference a b print bits exclude a b
print bits a and b print bits a or b print bits a xor b
print bits complement a
c: copy a remove/key c {K} print bits c
c: copy a append c {K} print bits c
c: copy a clear c print bits c
print bits do mold a
print pick a {K}
'''


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--xeb', required=True)
    p.add_argument('--count', type=int, default=300)
    p.add_argument('--seed', type=int, default=1)
    args = p.parse_args()
    rng = random.Random(args.seed)
    script, expected, sources = [PRELUDE], [], []
    for _ in range(args.count):
        sa, a = spec(rng)
        sb, b = spec(rng)
        keys = sorted(rng.sample(range(0, 400), rng.randint(1, 4)))
        ktext = '[%s]' % ' '.join(map(str, keys))
        text = CASE.replace('{A}', sa).replace('{B}', sb).replace('{K}', ktext)
        script.append(text)
        lines = expected_lines(a, b, set(keys))
        expected.extend(lines)
        sources.extend([text] * len(lines))
    r = subprocess.run([args.xeb, '/dev/stdin'], input='\n'.join(script).encode(), capture_output=True,
                       timeout=600)
    got = r.stdout.decode(errors='replace').splitlines()
    bad = 0
    for i, want in enumerate(expected):
        have = got[i] if i < len(got) else '<missing>'
        if have != want:
            bad += 1
            if bad <= 5:
                print('case:\n%s\nline %d of its case\nwant %s\nhave %s' % (sources[i], i % 15, want, have))
    if bad or len(got) != len(expected):
        print('%d of %d lines differ (%d lines printed)' % (bad, len(expected), len(got)))
        if r.stderr:
            print(r.stderr.decode(errors='replace')[:2000])
        return 1
    print('%d cases agree' % args.count)
    return 0


if __name__ == '__main__':
    sys.exit(main())
