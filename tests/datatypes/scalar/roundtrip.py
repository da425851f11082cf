#!/usr/bin/env python3
"""Every scalar literal loads, molds and loads back to an equal value:
random pairs, points, tuples, percents, times, dates and money are written
as literals into a script that molds each (mold/all), loads the text and
compares; the program prints the texts that do not come back.

Usage: roundtrip.py XEB [--count N] [--seed S]   (N literals of each type)
"""
import argparse
import random
import sys

import xeb_script

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
CODES = ["USD", "EUR", "JPY", "XEB", "ZMW", "AED"]


def num(rnd, digits):
    return str(rnd.randint(-10 ** digits, 10 ** digits))


def float_text(rnd):
    return "%.*g" % (rnd.randint(1, 7), rnd.uniform(-1e6, 1e6) * 10 ** rnd.randint(-8, 8))


def clock(rnd, max_hours):
    t = "%d:%02d" % (rnd.randint(0, max_hours), rnd.randint(0, 59))
    if rnd.random() < 0.7:
        t += ":%02d" % rnd.randint(0, 59)
        if rnd.random() < 0.4:
            t += "." + str(rnd.randint(1, 9999)).rstrip("0")
    return t


def literals(rnd, n):
    out = []
    for _ in range(n):
        out.append("%sx%s" % (num(rnd, 9), num(rnd, 9)))
        out.append("(%s)" % ", ".join(float_text(rnd) for _ in range(rnd.choice([2, 3]))))
        out.append(".".join(str(rnd.randint(0, 255)) for _ in range(rnd.randint(3, 12))))
        out.append("%s%%" % float_text(rnd))
        out.append(rnd.choice(["", "-"]) + clock(rnd, 1000))
        year = rnd.randint(1, 9999)
        month = rnd.randint(1, 12)
        date = "%d-%s-%04d" % (rnd.randint(1, 28), MONTHS[month - 1], year)
        if rnd.random() < 0.7:
            date += "/" + clock(rnd, 23)
            if rnd.random() < 0.6:
                date += "%s%d:%02d" % (rnd.choice("+-"), rnd.randint(0, 15), rnd.choice([0, 15, 30, 45]))
        out.append(date)
        money = "%s%s$%d" % (rnd.choice(["", "-"]), rnd.choice([""] + CODES), rnd.randint(0, 10 ** rnd.randint(1, 17) - 1))
        if rnd.random() < 0.7:
            money += "." + "".join(rnd.choice("0123456789") for _ in range(rnd.randint(1, 5)))
        out.append(money)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("xeb")
    ap.add_argument("--count", type=int, default=3000)
    ap.add_argument("--seed", type=int, default=777)
    args = ap.parse_args()
    lits = literals(random.Random(args.seed), args.count)
    script = ("n: 0\nforeach v [\n" + "\n".join(lits) + "\n] [\n"
              "    n: n + 1\n"
              "    s: mold/all :v\n"
              "    u: load s\n"
              "    unless all [equal? type? :v type? :u  equal? :v :u  s == mold/all :u] [print [\"differs:\" s mold/all :u]]\n"
              "]\nprint [\"checked\" n]\n")
    out = "".join(line + "\n" for line in xeb_script.run(args.xeb, script))
    want = "checked %d\n" % len(lits)
    if out != want:
        print(out[:3000])
        print("expected only:", want)
        return 1
    print(want, end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
