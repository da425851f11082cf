// Float text: see floattext.h.
//
// Digits come from the standard library's shortest and fixed-precision
// conversions (exact, round-half-even, no allocation); reading goes through
// its correctly rounded parser after the number is normalised into a
// digit string and one exponent. This module only places the digits.
#include "runtime/floattext.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace xeb {
namespace dtoa {
namespace {

constexpr uint64_t exp_mask = 0x7FF0000000000000ull;
constexpr uint64_t frac_mask = 0x000FFFFFFFFFFFFFull;

uint64_t bits_of(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// A small writer over the caller's buffer. Texts are bounded by text_max
// by construction; the bound check only keeps a fault from writing past it.
struct Out {
  char* p;
  std::size_t n = 0;
  void put(char c) {
    if (n < text_max - 1) p[n++] = c;
  }
  void put(std::string_view s) {
    for (char c : s) put(c);
  }
  void zeros(int count) {
    for (int i = 0; i < count; i++) put('0');
  }
  std::size_t end() {
    p[n] = '\0';
    return n;
  }
};

std::size_t copy_text(std::string_view s, TextBuffer out) {
  Out o{out.data()};
  o.put(s);
  return o.end();
}

// Writes |v| (finite, non-zero) in scientific notation and collects its
// digits and decimal exponent. precision < 0 asks for the shortest digits.
void scientific_digits(double v, int precision, Decimal& d) {
  char tmp[48];
  auto r = precision < 0
               ? std::to_chars(tmp, tmp + sizeof tmp, std::fabs(v), std::chars_format::scientific)
               : std::to_chars(tmp, tmp + sizeof tmp, std::fabs(v), std::chars_format::scientific,
                               precision);
  const char* s = tmp;
  int k = 0;
  for (; s < r.ptr && *s != 'e'; s++)
    if (*s != '.') d.buf[k++] = *s;
  while (k > 1 && d.buf[k - 1] == '0') k--;  // fixed precision pads with zeros
  d.buf[k] = '\0';
  d.count = k;
  // s is at "e", then a sign and the exponent digits.
  bool neg_exp = s[1] == '-';
  int e = 0;
  for (s += 2; s < r.ptr; s++) e = e * 10 + (*s - '0');
  d.point = (neg_exp ? -e : e) + 1;
}

// Values with a short decimal form, such as 12.25 or 3.0 (most floats a
// program writes), skip the general conversion: |v| is m / 10^k for an
// integer m below 10^15 and k up to 6. The shortest digits of v are then
// m's: no other decimal of at most 15 significant digits reads back as the
// same double. Digits to a precision need more, v exactly m / 10^k (fma
// gives v * 10^k - m unrounded), for they are rounded from v's exact value.
bool short_digits(double v, int precision, Decimal& d) {
  static constexpr double kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  double a = std::fabs(v);
  for (int k = 0; k < 7; k++) {
    double m = a * kPow10[k];
    if (m >= 1e15) return false;
    if (m != std::floor(m)) continue;
    if (precision < 0 ? m / kPow10[k] != a : std::fma(a, kPow10[k], -m) != 0) continue;
    char tmp[16];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, static_cast<uint64_t>(m));
    int n = static_cast<int>(r.ptr - tmp), count = n;
    while (count > 1 && tmp[count - 1] == '0') count--;
    if (precision >= 0 && count > precision + 1) return false;  // needs rounding
    std::memcpy(d.buf, tmp, static_cast<size_t>(count));
    d.buf[count] = '\0';
    d.count = count;
    d.point = n - k;
    return true;
  }
  return false;
}

}  // namespace

std::string_view dtoa(double v, int ndigits, bool keep_zero, Decimal& d) {
  uint64_t b = bits_of(v);
  d.negative = (b >> 63) != 0;
  d.count = 0;
  d.buf[0] = '\0';
  if ((b & exp_mask) == exp_mask) {
    d.point = point_special;
    if (b & frac_mask) return "1.#NaN";  // whatever its sign
    return d.negative ? "-1.#INF" : "1.#INF";
  }
  if (v == 0) {
    d.point = point_zero;
    if (keep_zero) return d.negative ? "-0.0" : "0.0";
    return d.negative ? "-0" : "0";
  }
  if (ndigits > max_digits) ndigits = max_digits;
  if (!short_digits(v, ndigits <= 0 ? -1 : ndigits - 1, d)) scientific_digits(v, ndigits <= 0 ? -1 : ndigits - 1, d);
  return {d.buf, static_cast<std::size_t>(d.count)};
}

std::size_t form_float(double v, int ndigits, bool keep_zero, TextBuffer out) {
  Decimal d;
  std::string_view digits = dtoa(v, ndigits, keep_zero, d);
  if (d.point == point_zero || d.point == point_special) return copy_text(digits, out);

  Out o{out.data()};
  if (d.negative) o.put('-');
  int p = d.point, k = d.count;
  bool ends_in_point = false;
  if (p > 17 || p < -6) {
    o.put(digits[0]);
    o.put('.');
    o.put(digits.substr(1));
    if (k == 1) {
      if (keep_zero) o.put('0');
      else o.n--;  // drop the point
    }
    char exp[8];
    auto r = std::to_chars(exp, exp + sizeof exp, p - 1);
    o.put('e');
    o.put(std::string_view(exp, static_cast<std::size_t>(r.ptr - exp)));
    return o.end();
  }
  if (p <= 0) {
    o.put("0.");
    o.zeros(-p);
    o.put(digits);
  } else if (p < k) {
    o.put(digits.substr(0, static_cast<std::size_t>(p)));
    o.put('.');
    o.put(digits.substr(static_cast<std::size_t>(p)));
  } else {
    o.put(digits);
    o.zeros(p - k);
    ends_in_point = true;
  }
  if (ends_in_point && keep_zero) o.put(".0");
  return o.end();
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// Significant digits kept when normalising. Deciding the rounding of a
// double needs at most 768 of them (the longest exact halfway point);
// further digits only matter as "something non-zero follows", which one
// sticky digit carries.
constexpr int keep_digits = 780;

// Exponents beyond this leave the double range whatever the digits; capping
// keeps the arithmetic in range for hostile texts.
constexpr int64_t exp_cap = 100000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double strtod(std::string_view s, int adjust, std::size_t* unread) {
  std::size_t i = 0, n = s.size();
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';

  char buf[keep_digits + 32];
  int nd = 0;           // digits kept in buf
  int64_t exp10 = 0;    // value = buf x 10^exp10
  bool sticky = false;  // a dropped digit was not zero
  bool any_digit = false;
  std::size_t int_chars = 0;

  for (; i < n && is_digit(s[i]); i++, int_chars++) {
    any_digit = true;
    if (nd == 0 && s[i] == '0') continue;
    if (nd < keep_digits) {
      buf[nd++] = s[i];
    } else {
      exp10++;
      sticky |= s[i] != '0';
    }
  }
  if (i < n && s[i] == '.') {
    i++;
    if (int_chars == 1 && i < n && s[i] == '#') {
      // The texts of the specials: "1.#INF", "-1.#INF", "1.#NaN".
      char c = i + 1 < n ? s[i + 1] : '\0';
      if (c == 'I' || c == 'i' || c == 'N' || c == 'n') {
        if (unread) *unread = 0;
        if (c == 'N' || c == 'n') return std::nan("");
        return neg ? -HUGE_VAL : HUGE_VAL;
      }
      if (unread) *unread = n - i;  // "d." was read, the "#" was not
      double v = s[i - 2] - '0';
      return neg ? -v : v;
    }
    for (; i < n && is_digit(s[i]); i++) {
      any_digit = true;
      if (nd == 0 && s[i] == '0') {
        exp10--;
      } else if (nd < keep_digits) {
        buf[nd++] = s[i];
        exp10--;
      } else {
        sticky |= s[i] != '0';
      }
    }
  }
  if (!any_digit) {
    if (unread) *unread = n;
    return 0.0;
  }
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    bool eneg = false;
    if (j < n && (s[j] == '+' || s[j] == '-')) eneg = s[j++] == '-';
    if (j < n && is_digit(s[j])) {
      int64_t e = 0;
      for (; j < n && is_digit(s[j]); j++)
        if (e < exp_cap) e = e * 10 + (s[j] - '0');
      exp10 += eneg ? -e : e;
      i = j;
    }
    // An "e" without digits is not part of the number.
  }
  if (unread) *unread = n - i;
  if (nd == 0) return neg ? -0.0 : 0.0;

  if (sticky) {
    buf[nd++] = '1';
    exp10--;
  }
  exp10 += adjust;
  if (exp10 > exp_cap) exp10 = exp_cap;
  if (exp10 < -exp_cap) exp10 = -exp_cap;
  int len = nd;
  buf[len++] = 'e';
  auto r = std::to_chars(buf + len, buf + sizeof buf, exp10);
  double v = 0;
  auto res = std::from_chars(buf, r.ptr, v);
  if (res.ec == std::errc::result_out_of_range) {
    // Out of range either way: the magnitude's decimal exponent (value =
    // 0.d1d2... x 10^(exp10 + nd)) says which end.
    v = exp10 + nd > 0 ? HUGE_VAL : 0.0;
  }
  return neg ? -v : v;
}

// ---------------------------------------------------------------------------
// The float formatter's tidy text

namespace {

// C's "%.<precision>g" of a finite value: precision significant digits,
// exponent form when the exponent is below -4 or not below the precision,
// trailing zeros and a bare point dropped, exponent with sign and at least
// two digits.
void print_g(double v, int precision, Out& o) {
  Decimal d;
  std::string_view digits = dtoa(v, precision, false, d);
  if (d.point == point_zero) {
    o.put(digits);
    return;
  }
  if (d.negative) o.put('-');
  int x = d.point - 1, k = d.count;
  if (x < -4 || x >= precision) {
    o.put(digits[0]);
    if (k > 1) {
      o.put('.');
      o.put(digits.substr(1));
    }
    o.put('e');
    o.put(x < 0 ? '-' : '+');
    int ax = x < 0 ? -x : x;
    if (ax < 10) o.put('0');
    char exp[8];
    auto r = std::to_chars(exp, exp + sizeof exp, ax);
    o.put(std::string_view(exp, static_cast<std::size_t>(r.ptr - exp)));
  } else if (d.point <= 0) {
    o.put("0.");
    o.zeros(-d.point);
    o.put(digits);
  } else if (d.point < k) {
    o.put(digits.substr(0, static_cast<std::size_t>(d.point)));
    o.put('.');
    o.put(digits.substr(static_cast<std::size_t>(d.point)));
  } else {
    o.put(digits);
    o.zeros(d.point - k);
  }
}

// Where the mantissa ends ("e" or the end) and whether it holds a point.
struct Scan {
  std::size_t mantissa_end;
  bool has_point;
  bool has_exp;
};

Scan scan(std::string_view t) {
  Scan sc{t.size(), false, false};
  for (std::size_t i = 0; i < t.size(); i++) {
    if (t[i] == '.') sc.has_point = true;
    if (t[i] == 'e') {
      sc.mantissa_end = i;
      sc.has_exp = true;
      break;
    }
  }
  return sc;
}

// A 16-digit text whose last digits read "01" or "99" is most likely a
// decimal fraction that the double cannot hold; fewer digits show it.
bool is_reprint_candidate(std::string_view t, const Scan& sc) {
  if (sc.has_exp) return sc.mantissa_end > 16;
  if (t.size() <= 16) return false;
  std::size_t first = t[0] == '-' ? 1 : 0;
  return t[first] != '0' || t.size() > 17;
}

bool ends_in_01_or_99(std::string_view t, const Scan& sc) {
  if (sc.mantissa_end < 2) return false;
  std::string_view last = t.substr(sc.mantissa_end - 2, 2);
  return last == "01" || last == "99";
}

bool is_percent(FormKind k) { return k == FormKind::float32_percent || k == FormKind::percent; }

}  // namespace

std::size_t form_tidy(double v, FormKind kind, bool pretty, TextBuffer out) {
  uint64_t b = bits_of(v);
  if ((b & exp_mask) == exp_mask) {
    if (b & frac_mask) return copy_text("1.#NaN", out);
    return copy_text((b >> 63) ? "-1.#INF" : "1.#INF", out);
  }
  if (pretty && std::fabs(v) < DBL_EPSILON) {
    if (is_percent(kind)) return copy_text("0%", out);
    return copy_text(kind == FormKind::point ? "0" : "0.0", out);
  }

  // First printing into a scratch buffer; the tidy steps then copy.
  char first[text_max];
  Out f{first};
  int reprint_precision = 14;
  switch (kind) {
    case FormKind::float32:
    case FormKind::float32_percent:
    case FormKind::point:
      print_g(v, 7, f);
      break;
    case FormKind::percent:
      print_g(v, 13, f);
      break;
    case FormKind::float64:
      print_g(v, 16, f);
      break;
    case FormKind::time_seconds:
      f.n = form_float(v, 6, false, first);
      break;
  }
  if (kind == FormKind::float32 || kind == FormKind::time_seconds || kind == FormKind::point)
    reprint_precision = 5;
  std::string_view t(first, f.n);
  Scan sc = scan(t);
  if (pretty && is_reprint_candidate(t, sc) && ends_in_01_or_99(t, sc)) {
    f.n = 0;
    print_g(v, reprint_precision, f);
    t = std::string_view(first, f.n);
    sc = scan(t);
  }

  Out o{out.data()};
  o.put(t.substr(0, sc.mantissa_end));
  bool add_point_zero = !sc.has_point && !is_percent(kind) && kind != FormKind::time_seconds &&
                        kind != FormKind::point;
  if (add_point_zero) o.put(".0");
  if (sc.has_exp) {
    // Drop the exponent's "+" and leading zeros, keep a "-".
    std::string_view e = t.substr(sc.mantissa_end + 1);
    std::size_t j = 0;
    bool eneg = false;
    while (j < e.size() && e[j] <= '0') eneg |= e[j++] == '-';
    if (j < e.size()) {
      o.put('e');
      if (eneg) o.put('-');
      o.put(e.substr(j));
    }
  }
  if (is_percent(kind)) o.put('%');
  return o.end();
}

}  // namespace dtoa

namespace math {

double to_radians(double x, Trig fn) {
  x = std::fmod(x, 360.0);
  if (x > 180 || x < -180) x = x >= 0 ? x - 360 : x + 360;
  if (x > 90 || x < -90) {
    if (fn == Trig::tangent) x += x >= 0 ? -180 : 180;
    else if (fn == Trig::sine) x = x >= 0 ? 180 - x : -180 - x;
  }
  return x * 3.141592653589793 / 180;
}

}  // namespace math
}  // namespace xeb
