#!/usr/bin/env python3
"""Float text oracle: checks the driver's texts and readings against python3.

python's repr gives the shortest round-trip digits, '%.16g' and '%.5e' are
correctly rounded, float() reads correctly rounded. The placement and tidy
rules are written out again here, independently of the C++ code.

    oracle.py --driver PATH [--count N] [--seed S]
N doubles are formatted and N texts read (default 100000; the count may also
come from XEB_FLOAT_ORACLE_COUNT).
"""
import argparse
import decimal
import math
import os
import random
import struct
import subprocess
import sys

CHUNK = 50000


def bits_to_float(b):
    return struct.unpack('<d', struct.pack('<Q', b))[0]


def float_to_bits(v):
    return struct.unpack('<Q', struct.pack('<d', v))[0]


# ---- expected texts -------------------------------------------------------

def digits_point(text):
    """'1.25e-07' -> ('125', -6): value = 0.d1d2... x 10^point."""
    mant, _, exp = text.partition('e')
    whole, _, frac = mant.partition('.')
    digits = whole + frac
    point = len(whole) + (int(exp) if exp else 0)
    stripped = digits.lstrip('0')
    point -= len(digits) - len(stripped)
    return stripped.rstrip('0'), point


def place(v, digits, point, keep_zero):
    if math.isnan(v):
        return '1.#NaN'
    if math.isinf(v):
        return '-1.#INF' if v < 0 else '1.#INF'
    neg = math.copysign(1.0, v) < 0
    if v == 0:
        return ('-0' if neg else '0') + ('.0' if keep_zero else '')
    k = len(digits)
    if point > 17 or point < -6:
        t = digits[0] + '.' + digits[1:]
        if t.endswith('.'):
            t = t + '0' if keep_zero else t[:-1]
        t += 'e%d' % (point - 1)
    elif point <= 0:
        t = '0.' + '0' * -point + digits
    elif point < k:
        t = digits[:point] + '.' + digits[point:]
    else:
        t = digits + '0' * (point - k) + ('.0' if keep_zero else '')
    return ('-' if neg else '') + t


def expected_mold(v):
    if math.isnan(v) or math.isinf(v) or v == 0:
        return place(v, '', 0, True)
    return place(v, *digits_point(repr(abs(v))), True)


def expected_six(v):
    if math.isnan(v) or math.isinf(v) or v == 0:
        return place(v, '', 0, False)
    return place(v, *digits_point('%.5e' % abs(v)), False)


def expected_form(v, pretty):
    if math.isnan(v):
        return '1.#NaN'
    if math.isinf(v):
        return '-1.#INF' if v < 0 else '1.#INF'
    if pretty and abs(v) < 2.220446049250313e-16:
        return '0.0'
    t = '%.16g' % v
    mant, e, exp = t.partition('e')
    if pretty:
        if e:
            candidate = len(mant) > 16
        else:
            first = mant[1] if mant.startswith('-') else mant[0]
            candidate = len(mant) > 16 and (first != '0' or len(mant) > 17)
        if candidate and mant[-2:] in ('01', '99'):
            t = '%.14g' % v
            mant, e, exp = t.partition('e')
    if '.' not in mant:
        mant += '.0'
    if e:
        n = int(exp)
        if n != 0:
            mant += 'e%d' % n
    return mant


# ---- values ---------------------------------------------------------------

def edge_values():
    vals = [0.0, -0.0, math.inf, -math.inf, math.nan,
            5e-324, 2.2250738585072009e-308, 2.2250738585072014e-308,
            1.7976931348623157e308, 0.1, 0.2, 0.3, 0.1 + 0.2, 1 / 3, 2 / 3,
            8.024999999999999, 9007199254740991.0, 9007199254740992.0,
            9007199254740994.0, 4503599627370495.5, 4503599627370496.0]
    vals += [2.0 ** e for e in range(-1074, 1024)]
    vals += [float('1e%d' % e) for e in range(-323, 309)]
    vals += [float('%de%d' % (m, e)) for m in (1, 2, 5, 9, 15, 99, 101, 12345)
             for e in range(-25, 25)]
    out = []
    for v in vals:
        out += [v, -v]
        if math.isfinite(v):
            out += [math.nextafter(v, math.inf), math.nextafter(v, -math.inf)]
    return out


def random_value(rng):
    kind = rng.random()
    if kind < 0.4:  # any bit pattern
        return bits_to_float(rng.getrandbits(64))
    if kind < 0.7:  # a moderate magnitude, where plain texts and the tidy rule live
        return rng.uniform(-1, 1) * 2.0 ** rng.randint(-70, 70)
    if kind < 0.85:  # a short decimal, as typed
        return float('%de%d' % (rng.randint(-10**6, 10**6), rng.randint(-22, 22)))
    # a sum or product of short decimals: the 0.30000000000000004 family
    a = float('%de%d' % (rng.randint(1, 9999), rng.randint(-6, 4)))
    b = float('%de%d' % (rng.randint(1, 9999), rng.randint(-6, 4)))
    return a + b if rng.random() < 0.5 else a * b


# ---- texts to read --------------------------------------------------------

decimal.getcontext().prec = 1200


def random_text(rng):
    """(text, adjust, expected double)."""
    kind = rng.random()
    adjust = 0
    if rng.random() < 0.1:
        adjust = -2 if rng.random() < 0.5 else rng.randint(-30, 30)
    if kind < 0.3:  # a double's shortest text, in python's spelling
        v = random_value(rng)
        if not math.isfinite(v):
            v = 1.5
        mant, exp = repr(v), 0
    elif kind < 0.75:  # random digits, point and exponent
        nd = rng.randint(1, 30)
        ds = ''.join(rng.choice('0123456789') for _ in range(nd))
        if rng.random() < 0.2:
            ds = '0' * rng.randint(1, 5) + ds
        pos = rng.randint(0, len(ds))
        mant = ds[:pos] + '.' + ds[pos:] if rng.random() < 0.7 else ds
        if mant == '.':
            mant = '0'
        if rng.random() < 0.3:
            mant = rng.choice('+-') + mant
        exp = rng.randint(-400, 400) if rng.random() < 0.8 else 0
    else:  # a halfway point between two doubles, or just beside it
        x = abs(bits_to_float(rng.getrandbits(63)))
        if not math.isfinite(x) or x == 1.7976931348623157e308:
            x = 1.0
        lo, hi = decimal.Decimal(x), decimal.Decimal(math.nextafter(x, math.inf))
        m = (lo + hi) / 2
        side = rng.random()
        if side < 0.3:
            m += decimal.Decimal(1).scaleb(m.adjusted() - 1100)
        elif side < 0.6:
            m -= decimal.Decimal(1).scaleb(m.adjusted() - 1100)
        mant, exp = '{:e}'.format(m), 0
    if 'e' in mant:
        mant, _, e = mant.partition('e')
        exp += int(e)
    text = mant if exp == 0 and rng.random() < 0.5 else mant + rng.choice('eE') + '%d' % exp
    expected = float('%se%d' % (mant, exp + adjust))
    return text, adjust, expected


# ---- running --------------------------------------------------------------

def run(driver, mode, lines):
    r = subprocess.run([driver, mode], input='\n'.join(lines) + '\n',
                       capture_output=True, text=True, check=True)
    return r.stdout.split('\n')[:-1]


def check_format(driver, values, failures):
    got = run(driver, 'format', ['%016x' % float_to_bits(v) for v in values])
    assert len(got) == len(values)
    for v, line in zip(values, got):
        mold, form, form_raw, six = line.split('\t')
        want = (expected_mold(v), expected_form(v, True), expected_form(v, False), expected_six(v))
        if (mold, form, form_raw, six) != want:
            failures.append('%016x %r: got %r want %r'
                            % (float_to_bits(v), v, (mold, form, form_raw, six), want))


def check_read(driver, cases, failures):
    got = run(driver, 'read', ['%d %s' % (adj, t) for t, adj, _ in cases])
    assert len(got) == len(cases)
    for (text, adj, want), line in zip(cases, got):
        b, unread = line.split()
        if int(b, 16) != float_to_bits(want) or unread != '0':
            failures.append('read %r adjust %d: got %s unread %s want %016x'
                            % (text, adj, b, unread, float_to_bits(want)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--driver', required=True)
    ap.add_argument('--count', type=int,
                    default=int(os.environ.get('XEB_FLOAT_ORACLE_COUNT', '100000')))
    ap.add_argument('--seed', type=int, default=20240601)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    failures = []

    check_format(args.driver, edge_values(), failures)
    done = 0
    while done < args.count and len(failures) < 50:
        n = min(CHUNK, args.count - done)
        check_format(args.driver, [random_value(rng) for _ in range(n)], failures)
        check_read(args.driver, [random_text(rng) for _ in range(n)], failures)
        done += n
    for f in failures[:50]:
        print(f)
    print('%d doubles formatted and %d texts read: %d failures'
          % (done, done, len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
