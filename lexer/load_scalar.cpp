// Loaders of the scalar literals: pairs, points, percents, tuples, times,
// dates and money. Each checks its whole token before it makes anything;
// the values are made by their datatypes' constructors.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "lexer/load.h"
#include "lexer/loaders.h"
#include "runtime/floattext.h"

namespace xeb::lexer {
namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Places a value made as a local cell into the lexer's buffer, keeping the
// buffer cell's new-line mark.
void place(State& s, Cell v) {
  Cell* c = push_value(s);
  v.header = (v.header & ~HDR_NEW_LINE) | (c->header & HDR_NEW_LINE);
  *c = v;
}

// A decimal integer with single `'` marks between digits, within 32 bits.
bool read_int(const uint8_t* p, const uint8_t* e, int32_t& v) {
  int32_t err = 0;
  v = scan_integer(p, static_cast<int32_t>(e - p), 1, &err);
  return err == 0 && p < e;
}

// A point coordinate: float text, an integer or a special float.
bool read_number(const uint8_t* p, const uint8_t* e, double& d) {
  if (p >= e) return false;
  const uint8_t* q = p;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  if (e - q == 6 && std::memcmp(q, "1.#", 3) == 0) {
    auto is = [&](const char* w) {
      for (int i = 0; i < 3; i++)
        if ((q[3 + i] | 0x20) != w[i]) return false;
      return true;
    };
    if (is("nan")) d = std::numeric_limits<double>::quiet_NaN();
    else if (is("inf")) d = negative ? -HUGE_VAL : HUGE_VAL;
    else return false;
    return true;
  }
  int32_t err = 0;
  d = scan_float(p, static_cast<int32_t>(e - p), 1, &err);
  return err == 0;
}

}  // namespace

namespace load {

bool pair(State& s, Token& t, bool load) {
  const uint8_t* x = nullptr;
  for (const uint8_t* p = t.start; p < t.end; ++p) {
    if (*p == '.') return syntax_error(s, T_PAIR, t.start);
    if ((*p == 'x' || *p == 'X') && !x) x = p;
  }
  int32_t a, b;
  if (!x || !read_int(t.start, x, a) || !read_int(x + 1, t.end, b)) return syntax_error(s, T_PAIR, t.start);
  if (load) place(s, pair::make_cell(a, b));
  return true;
}

bool tuple(State& s, Token& t, bool load) {
  uint8_t b[tuple::MAX_BYTES];
  int n = 0;
  int32_t v = -1;  // the component being read, -1 before its first digit
  for (const uint8_t* p = t.start;; ++p) {
    if (p < t.end && is_digit(*p)) {
      v = (v < 0 ? 0 : v) * 10 + (*p - '0');
      if (v > 255) return syntax_error(s, T_TUPLE, t.start);
      continue;
    }
    if ((p < t.end && *p != '.') || v < 0 || n == tuple::MAX_BYTES) return syntax_error(s, T_TUPLE, t.start);
    b[n++] = static_cast<uint8_t>(v);
    v = -1;
    if (p == t.end) break;
  }
  if (n < 3) return syntax_error(s, T_TUPLE, t.start);
  if (load) place(s, tuple::make_cell(n, b));
  return true;
}

bool point(State& s, Token& t, bool load) {
  // The token runs from just after `(` to its `)`.
  const uint8_t* p = t.start;
  const uint8_t* e = t.end;
  if (p < e && *p == '(') ++p;
  if (e > p && e[-1] == ')') --e;
  double c[3];
  int n = 0;
  for (;;) {
    while (p < e && is_blank(*p)) ++p;
    const uint8_t* q = p;
    while (q < e && *q != ',' && !is_blank(*q)) ++q;
    if (n == 3 || !read_number(p, q, c[n])) return syntax_error(s, n == 2 ? T_POINT3D : T_POINT2D, t.start);
    ++n;
    p = q;
    while (p < e && is_blank(*p)) ++p;
    if (p == e) break;
    if (*p != ',') return syntax_error(s, n == 3 ? T_POINT3D : T_POINT2D, t.start);
    ++p;
  }
  if (n < 2) return syntax_error(s, T_POINT2D, t.start);
  if (!load) return true;
  place(s, n == 2 ? point::make_cell2(float(c[0]), float(c[1])) : point::make_cell3(float(c[0]), float(c[1]), float(c[2])));
  return true;
}

bool point_close(State& s, uint32_t series, uint32_t marker) {
  const uint32_t commas = series >> 16;
  const uint32_t n = s.top - marker - 1;
  const int type = commas >= 2 ? T_POINT3D : T_POINT2D;
  const uint8_t* at = s.begin + marker_opener(cell_at(marker));
  if (n != commas + 1 || n > 3) return syntax_error(s, type, at);
  float c[3];
  for (uint32_t i = 0; i < n; ++i) {
    const Cell* v = cell_at(marker + 1 + i);
    if (is_type(v, T_INTEGER)) c[i] = static_cast<float>(get_int(v));
    else if (is_type(v, T_FLOAT)) c[i] = static_cast<float>(get_double(v));
    else return syntax_error(s, type, at);
  }
  Cell* m = cell_at(marker);
  Cell v = n == 2 ? point::make_cell2(c[0], c[1]) : point::make_cell3(c[0], c[1], c[2]);
  v.header |= m->header & HDR_NEW_LINE;
  *m = v;
  s.top = marker + 1;
  return true;
}

}  // namespace load
}  // namespace xeb::lexer

namespace xeb::lexer {
namespace {

struct Cursor {
  const uint8_t* p;
  const uint8_t* e;
  bool more() const { return p < e; }
  bool at(char c) const { return p < e && *p == c; }
  bool eat(char c) {
    if (!at(c)) return false;
    ++p;
    return true;
  }
  // Decimal digits into v (at most max of them); answers the count read.
  int digits(int64_t& v, int max = 18) {
    int n = 0;
    v = 0;
    while (p < e && is_digit(*p) && n < max) v = v * 10 + (*p++ - '0'), ++n;
    return n;
  }
};

// Seconds of [h:]m:s text from the cursor: "h:m", "h:m:s[.frac]" or
// "m:s.frac"; no signs inside, no exponent. The cursor stops after it.
bool read_clock(Cursor& c, double& t) {
  double f[3] = {0, 0, 0};
  int fields = 0;
  bool fraction = false;
  for (;;) {
    // A field may have any number of digits (a time's hours have up to 305).
    const uint8_t* q = c.p;
    while (c.more() && is_digit(*c.p)) ++c.p;
    if (c.p == q) return false;
    f[fields++] = dtoa::strtod(std::string_view(reinterpret_cast<const char*>(q), static_cast<size_t>(c.p - q)));
    if ((c.at('.') || c.at(',')) && fields >= 2) {
      ++c.p;
      const uint8_t* q = c.p;
      double scale = 0.1, frac = 0;
      while (c.more() && is_digit(*c.p)) frac += (*c.p++ - '0') * scale, scale /= 10;
      if (c.p == q) return false;
      f[fields - 1] += frac;
      fraction = true;
      break;
    }
    if (fields == 3 || !c.at(':')) break;
    ++c.p;
  }
  if (fields < 2) return false;
  if (fields == 2 && fraction) t = f[0] * 60 + f[1];
  else t = f[0] * 3600 + f[1] * 60 + f[2];
  return std::isfinite(t);
}

}  // namespace

namespace load {

bool time(State& s, Token& t, bool load) {
  Cursor c{t.start, t.end};
  bool negative = false;
  if (c.at('+') || c.at('-')) negative = *c.p++ == '-';
  double v;
  if (!read_clock(c, v) || c.more()) return syntax_error(s, T_TIME, t.start);
  if (load) place(s, time::make_cell(negative ? -v : v));
  return true;
}

}  // namespace load

namespace {

struct DateFields {
  int32_t year = 0, month = 0, day = 0;
  double time = 0;
  bool with_time = false;
  int32_t zh = 0, zm = 0;
  bool zone_negative = false;
};

// "Z", or +/- hours with optional minutes (with or without ":").
bool read_zone(Cursor& c, DateFields& d) {
  if (c.eat('Z') || c.eat('z')) return !c.more();
  if (!c.at('+') && !c.at('-')) return !c.more();
  d.zone_negative = *c.p++ == '-';
  int64_t h, m = 0;
  int n = c.digits(h, 4);
  if (!n) return false;
  if (c.eat(':')) {
    if (!c.digits(m, 2)) return false;
  } else if (n > 2) {
    m = h % 100;
    h /= 100;
  }
  if (h > 15 || m > 59) return false;
  d.zh = static_cast<int32_t>(d.zone_negative ? -h : h);
  d.zm = static_cast<int32_t>(m);
  return !c.more();
}

bool read_time_and_zone(Cursor& c, DateFields& d) {
  if (!c.more()) return true;
  if (!c.eat('/') && !c.eat('T') && !c.eat('t')) return false;
  const uint8_t* start = c.p;
  if (!read_clock(c, d.time)) return false;
  // The clock's own fields: hours 0-23, minutes 0-59, seconds below 60.
  Cursor f{start, c.p};
  int64_t h, m;
  f.digits(h);
  f.eat(':');
  f.digits(m);
  double sec = d.time - double(h) * 3600 - double(m) * 60;
  if (h > 23 || m > 59 || sec >= 60) return false;
  d.with_time = true;
  return read_zone(c, d);
}

bool valid_day(const DateFields& d) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.month < 1 || d.month > 12 || d.year < date::YEAR_MIN || d.year > date::YEAR_MAX || d.day < 1) return false;
  int last = kDays[d.month - 1] + (d.month == 2 && date::leap_year_q(d.year) ? 1 : 0);
  return d.day <= last;
}

// Compact ISO: yyyymmddThhmm[ss[.frac]] then Z or a zone.
bool read_compact(Cursor& c, DateFields& d) {
  int64_t v;
  if (c.digits(v, 8) != 8 || !(c.eat('T') || c.eat('t'))) return false;
  d.year = static_cast<int32_t>(v / 10000);
  d.month = static_cast<int32_t>(v / 100 % 100);
  d.day = static_cast<int32_t>(v % 100);
  int64_t hm, sec = 0;
  if (c.digits(hm, 4) != 4) return false;
  double frac = 0;
  if (c.more() && is_digit(*c.p)) {
    if (c.digits(sec, 2) != 2) return false;
    if (c.eat('.') || c.eat(',')) {
      double scale = 0.1;
      const uint8_t* q = c.p;
      while (c.more() && is_digit(*c.p)) frac += (*c.p++ - '0') * scale, scale /= 10;
      if (c.p == q) return false;
    }
  }
  if (hm / 100 > 23 || hm % 100 > 59 || sec > 59) return false;
  d.time = double(hm / 100) * 3600 + double(hm % 100) * 60 + double(sec) + frac;
  d.with_time = true;
  return read_zone(c, d);
}

enum class IsoKind { none, week, ordinal };

}  // namespace

namespace load {

bool money(State& s, Token& t, bool load) {
  std::u32string text(t.start, t.end);
  Cell v;
  if (!money::scan(text, money::Syntax::lexical, &v)) return syntax_error(s, T_MONEY, t.start);
  if (load) place(s, v);
  return true;
}

bool date(State& s, Token& t, bool load) {
  DateFields d;
  Cursor c{t.start, t.end};
  IsoKind iso = IsoKind::none;
  int32_t iso_n = 0, iso_day = 0;
  bool ok = false;
  Cursor probe = c;
  int64_t v;
  if (probe.digits(v, 9) == 8 && (probe.at('T') || probe.at('t'))) {
    ok = read_compact(c, d);
    d.with_time = true;
  } else {
    // A number, a separator, a month (number or name), the same separator, a number.
    int64_t first;
    int n1 = c.digits(first, 9);
    char sep = c.more() ? static_cast<char>(*c.p) : 0;
    ok = n1 > 0 && (sep == '-' || sep == '/');
    if (ok) ++c.p;
    if (ok && n1 == 4 && sep == '-' && (c.at('W') || c.at('w'))) {
      ++c.p;
      int64_t w, wd = 0;
      ok = c.digits(w, 2) > 0 && w >= 1 && w <= 53;
      if (ok && c.eat('-')) ok = c.digits(wd, 1) == 1 && wd >= 1 && wd <= 7;
      iso = IsoKind::week;
      iso_n = static_cast<int32_t>(w);
      iso_day = static_cast<int32_t>(wd);
      d.year = static_cast<int32_t>(first);
      d.month = d.day = 1;
    } else if (ok && n1 == 4 && sep == '-' && Cursor{c}.digits(v, 4) == 3 &&
               (c.p + 3 == c.e || c.p[3] == 'T' || c.p[3] == 't')) {
      int64_t yd;
      c.digits(yd, 3);
      ok = yd >= 1 && yd <= (date::leap_year_q(static_cast<int32_t>(first)) ? 366 : 365);
      iso = IsoKind::ordinal;
      iso_n = static_cast<int32_t>(yd);
      d.year = static_cast<int32_t>(first);
      d.month = d.day = 1;
    } else if (ok) {
      int64_t month = 0;
      const uint8_t* name = c.p;
      while (c.more() && ((*c.p | 0x20) >= 'a' && (*c.p | 0x20) <= 'z')) ++c.p;
      if (c.p > name) month = date::month_from_name(reinterpret_cast<const char*>(name), static_cast<int>(c.p - name));
      else if (!c.digits(month, 2)) month = 0;
      ok = month > 0 && c.eat(sep);
      bool negative = ok && c.eat('-');
      int64_t third;
      int n3 = ok ? c.digits(third, 5) : 0;
      ok = ok && n3 > 0;
      if (ok) {
        if (n1 > 2 || first > 99) {
          // year-month-day
          ok = !negative && n3 <= 2;
          d.year = static_cast<int32_t>(first);
          d.day = static_cast<int32_t>(third);
        } else {
          d.day = static_cast<int32_t>(first);
          int64_t y = third;
          if (n3 <= 2 && !negative) y += y > 49 ? 1900 : 2000;
          d.year = static_cast<int32_t>(negative ? -y : y);
        }
        d.month = static_cast<int32_t>(month);
      }
    }
    ok = ok && read_time_and_zone(c, d);
  }
  ok = ok && valid_day(d);
  if (!ok) return syntax_error(s, T_DATE, t.start);
  Cell v2 = date::make_from_fields(d.year, d.month, d.day, d.time, d.zh, d.zm, d.zone_negative, d.with_time);
  if (iso == IsoKind::week) {
    if (!date::set_isoweek(&v2, iso_n, iso_day)) return syntax_error(s, T_DATE, t.start);
  } else if (iso == IsoKind::ordinal) {
    date::set_yearday(&v2, iso_n);
  }
  if (load) place(s, v2);
  return true;
}

}  // namespace load
}  // namespace xeb::lexer
