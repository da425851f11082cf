#!/usr/bin/env python3
"""Checks money arithmetic against python's decimal: random amounts (up to
17 integer and 5 fraction digits, with and without sign) go into a script
as literals; the program prints the results of sums, differences, products
by integers and floats, quotients by integers, remainders and every kind of
rounding to a scale, all to five fraction digits, or the id of the error.
Python computes each from the same texts.

Usage: money_oracle.py XEB [--count N] [--seed S]   (N operations)
"""
import argparse
import decimal
import random
import sys

import xeb_script
from decimal import Decimal

OPS = ["a + b", "a - b", "a * n", "a * f", "a / n", "remainder a b",
       "round/to a s", "round/even/to a s", "round/down/to a s", "round/floor/to a s",
       "round/ceiling/to a s", "round/half-down/to a s", "round/half-ceiling/to a s"]
UNIT = Decimal("0.00001")
LIMIT = Decimal(10) ** 17


def money_text(d):
    sign = "-" if d < 0 else ""
    q = abs(d).quantize(UNIT)
    whole, frac = divmod(q, 1)
    return "%s$%d.%s" % (sign, int(whole), str(frac.quantize(UNIT))[2:])


def random_money(rnd):
    ints = rnd.choice([0, 1, 2, 3, 5, 8, 12, 16, 17])
    fracs = rnd.randint(0, 5)
    whole = rnd.randrange(10 ** ints) if ints else 0
    frac = rnd.randrange(10 ** fracs) if fracs else 0
    d = Decimal(whole) + (Decimal(frac) / (Decimal(10) ** fracs) if fracs else 0)
    return -d if rnd.random() < 0.5 else d


def rounded(v, s, mode):
    """v rounded to a multiple of s > 0 by the program's refinements."""
    a = abs(v)
    r = a % s
    d = s - r
    toward, away = a - r, a + d
    if r == 0:
        res = a
    elif mode == "down":
        res = toward
    elif mode == "floor":
        res = away if v < 0 else toward
    elif mode == "ceiling":
        res = toward if v < 0 else away
    else:
        half = 2 * r == s
        nearest = toward if r < d else away
        if mode == "even":
            res = toward if half and (a // s) % 2 == 0 else nearest
        elif mode == "half-down":
            res = toward if half else nearest
        elif mode == "half-ceiling":
            res = (toward if v < 0 else away) if half else nearest
        else:
            res = nearest
    return -res if v < 0 else res


def result(value):
    if abs(value) >= LIMIT:
        return "type-limit"
    return money_text(value)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("xeb")
    ap.add_argument("--count", type=int, default=100000)
    ap.add_argument("--seed", type=int, default=4242)
    args = ap.parse_args()
    decimal.getcontext().prec = 80
    rnd = random.Random(args.seed)
    cases = max(1, args.count // len(OPS))
    data, expected = [], []
    for _ in range(cases):
        a, b, s = random_money(rnd), random_money(rnd), abs(random_money(rnd))
        n = rnd.choice([1, -1]) * rnd.randrange(1, 10 ** rnd.randint(1, 9))
        f = round(rnd.uniform(-1e6, 1e6), rnd.randint(0, 7))
        fd = Decimal(repr(f)).quantize(UNIT, rounding=decimal.ROUND_DOWN)
        data.append("%s %s %d %r %s" % (money_text(a), money_text(b), n, f, money_text(s)))
        row = [result(a + b), result(a - b),
               result((a * n).quantize(UNIT, rounding=decimal.ROUND_DOWN)),
               result((a * fd).quantize(UNIT, rounding=decimal.ROUND_DOWN)),
               result((a / n).quantize(UNIT, rounding=decimal.ROUND_DOWN)),
               "zero-divide" if b == 0 else result(a % b)]
        for mode in ["nearest", "even", "down", "floor", "ceiling", "half-down", "half-ceiling"]:
            row.append(money_text(a) if s == 0 or a == 0 else result(rounded(a, s, mode)))
        expected.append(" ".join(row))
    body = " ".join("(try-mold [%s])" % op for op in OPS)
    script = ("try-mold: func [code /local r] [either error? r: try code [mold r/id] [mold/all r]]\n"
              "foreach [a b n f s] [\n" + "\n".join(data) + "\n] [\n    print reduce [" + body + "]\n]\n")
    bad = xeb_script.compare(expected, xeb_script.run(args.xeb, script), data)
    print("%d of %d cases (%d operations) differ" % (bad, len(expected), len(expected) * len(OPS)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
