#!/usr/bin/env python3
"""Checks dates against python's datetime: random zoned dates and times are
written as literals into a script; the program prints, for each, its week
day, year day, ISO week, Sunday-based week, the whole days and the time
between it and another date, the date some days and some seconds later,
and the date moved into another zone (same instant). Python computes the
same from the same literals.

Usage: date_oracle.py XEB [--count N] [--seed S]
"""
import argparse
import datetime as dt
import random
import sys

import xeb_script

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def zone_text(minutes):
    if minutes == 0:
        return ""
    sign = "-" if minutes < 0 else "+"
    m = abs(minutes)
    return "%s%02d:%02d" % (sign, m // 60, m % 60)


def date_text(d, minutes):
    """The program's text of an aware datetime shown in the zone of minutes."""
    local = d.astimezone(dt.timezone(dt.timedelta(minutes=minutes)))
    # Years below 100 are padded to four digits, later ones written as they are.
    year = "%04d" % local.year if local.year < 100 else "%d" % local.year
    return "%d-%s-%s/%d:%02d:%02d%s" % (local.day, MONTHS[local.month - 1], year, local.hour,
                                        local.minute, local.second, zone_text(minutes))


def time_text(seconds):
    sign = "-" if seconds < 0 else ""
    s = abs(seconds)
    return "%s%d:%02d:%02d" % (sign, s // 3600, s % 3600 // 60, s % 60)


def random_date(rnd):
    zone = rnd.randint(-63, 63) * 15
    # Years where the local day and every shifted day stay inside datetime's range.
    d = dt.datetime(rnd.randint(120, 9880), rnd.randint(1, 12), 1, tzinfo=dt.timezone(dt.timedelta(minutes=zone)))
    d = d.replace(day=rnd.randint(1, 28 if d.month == 2 else 30))
    if rnd.random() < 0.3:
        d = d.replace(day=1) + dt.timedelta(days=rnd.randint(0, 40))  # month ends, leap days
    d = d.replace(hour=rnd.randint(0, 23), minute=rnd.randint(0, 59), second=rnd.randint(0, 59))
    return d, zone


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("xeb")
    ap.add_argument("--count", type=int, default=100000)
    ap.add_argument("--seed", type=int, default=12345)
    args = ap.parse_args()
    rnd = random.Random(args.seed)
    data, expected = [], []
    for _ in range(args.count):
        a, za = random_date(rnd)
        b, zb = random_date(rnd)
        n = rnd.randint(-40000, 40000)
        t = rnd.randint(-3000000, 3000000)
        z2 = rnd.randint(-63, 63) * 15
        data.append("%s %s %d %s %s" % (date_text(a, za), date_text(b, zb), n, time_text(t),
                                          time_text(z2 * 60)))
        jan1 = a.replace(month=1, day=1)
        week = int(a.strftime("%U")) + (0 if jan1.isoweekday() == 7 else 1)
        diff = int((a - b).total_seconds())
        days = (diff + za * 60) // 86400
        later = a + dt.timedelta(days=n)
        expected.append("%d %d %d %d %d %s %s %s %s" % (
            a.isoweekday(), a.timetuple().tm_yday, a.isocalendar()[1], week, days, time_text(diff),
            date_text(later, za), date_text(a + dt.timedelta(seconds=t), za), date_text(a, z2)))
    script = ("foreach [a b n t z] [\n" + "\n".join(data) + "\n] [\n"
              "    c: a  c/timezone: z\n"
              "    print [a/weekday a/yearday a/isoweek a/week a - b difference a b a + n a + t c]\n"
              "]\n")
    bad = xeb_script.compare(expected, xeb_script.run(args.xeb, script), data)
    print("%d of %d cases differ" % (bad, len(expected)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
