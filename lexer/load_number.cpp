// Loaders of numbers (integers, hexadecimal integers, floats and the special
// floats) and the text-to-number scanners the `to` conversions share with
// them. Nothing here allocates before the value is known to be valid.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "lexer/load.h"
#include "lexer/loaders.h"
#include "runtime/floattext.h"

namespace xeb::lexer {
namespace {

constexpr size_t FLOAT_TEXT_MAX = 312;
constexpr int INTEGER_DIGITS_MAX = 10;

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Checks float syntax (sign, digits with single `'` marks between digits,
// `.` or `,` and digits, exponent with sign and digits) and writes the text
// strtod reads, marks removed, into out, which holds e - p bytes. Answers
// false on a syntax error.
bool clean_float(const uint8_t* p, const uint8_t* e, char* out, size_t& n) {
  n = 0;
  auto digits = [&](bool& any) {
    bool prev_digit = false;
    while (p < e) {
      if (is_digit(*p)) {
        out[n++] = static_cast<char>(*p++);
        prev_digit = any = true;
      } else if (*p == '\'' && prev_digit && p + 1 < e && is_digit(p[1])) {
        ++p;
        prev_digit = false;
      } else {
        break;
      }
    }
  };
  if (p < e && (*p == '+' || *p == '-')) out[n++] = static_cast<char>(*p++);
  bool whole = false, fraction = false, exponent = false;
  digits(whole);
  if (p < e && (*p == '.' || *p == ',')) {
    out[n++] = '.';
    ++p;
    digits(fraction);
  }
  if (!whole && !fraction) return false;
  if (p < e && (*p == 'e' || *p == 'E')) {
    out[n++] = 'e';
    ++p;
    if (p < e && (*p == '+' || *p == '-')) out[n++] = static_cast<char>(*p++);
    digits(exponent);
    if (!exponent) return false;
  }
  return p == e;
}

// The double of checked float text; false on a syntax error. Magnitudes
// beyond the double range read as infinity, those below the smallest
// subnormal as zero, both with the text's sign.
// A literal has no length limit; long ones (many digits) take a heap copy.
bool convert_float(const uint8_t* p, const uint8_t* e, int adjust, double& d) {
  char local[FLOAT_TEXT_MAX];
  std::string long_text;
  char* text = local;
  if (static_cast<size_t>(e - p) > sizeof local) {
    long_text.resize(static_cast<size_t>(e - p));
    text = long_text.data();
  }
  size_t n;
  if (!clean_float(p, e, text, n)) return false;
  size_t unread = 0;
  d = dtoa::strtod(std::string_view(text, n), adjust, &unread);
  return unread == 0;
}

enum class IntScan { ok, syntax, too_long };

// Decimal integer text with single `'` marks between digits; too_long when
// it needs more than 32 bits or ten digits (then it is read as a float).
IntScan scan_decimal(const uint8_t* p, const uint8_t* e, int32_t& v) {
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  int64_t magnitude = 0;
  int digits = 0;
  bool prev_digit = false;
  for (; p < e; ++p) {
    if (*p == '\'' && prev_digit && p + 1 < e && is_digit(p[1])) {
      prev_digit = false;
      continue;
    }
    if (!is_digit(*p)) return IntScan::syntax;
    prev_digit = true;
    if (++digits > INTEGER_DIGITS_MAX) return IntScan::too_long;
    magnitude = magnitude * 10 + (*p - '0');
  }
  if (digits == 0) return IntScan::syntax;
  int64_t r = negative ? -magnitude : magnitude;
  if (r < INT32_MIN || r > INT32_MAX) return IntScan::too_long;
  v = static_cast<int32_t>(r);
  return IntScan::ok;
}

void push_float(State& s, double d) {
  Cell* c = push_value(s);
  uint32_t new_line = c->header & HDR_NEW_LINE;
  *c = float_::make_cell(d);
  c->header |= new_line;
}

// Reads units of any width into ASCII; false when a unit is not ASCII or the
// text is longer than max.
bool narrow(const void* text, int32_t length, int unit, size_t max, char* out) {
  if (length < 0 || static_cast<size_t>(length) > max) return false;
  for (int32_t i = 0; i < length; ++i) {
    const auto* q = static_cast<const uint8_t*>(text) + static_cast<size_t>(i) * unit;
    uint32_t c = 0;
    if (unit == 1) c = *q;
    else if (unit == 2) { uint16_t u; std::memcpy(&u, q, 2); c = u; }
    else std::memcpy(&c, q, 4);
    if (c == 0 || c > 127) return false;
    out[i] = static_cast<char>(c);
  }
  return true;
}

}  // namespace

namespace load {

bool decimal(State& s, Token& t, bool load) {
  double d;
  if (!convert_float(t.start, t.end, 0, d)) return syntax_error(s, T_FLOAT, t.start);
  if (load) push_float(s, d);
  return true;
}

bool percent(State& s, Token& t, bool load) {
  double d;
  if (t.end - t.start < 2 || !convert_float(t.start, t.end - 1, -2, d)) return syntax_error(s, T_FLOAT, t.start);
  if (!load) return true;
  Cell* c = push_value(s);
  uint32_t new_line = c->header & HDR_NEW_LINE;
  *c = float_::make_cell(d);
  c->header = T_PERCENT | new_line;
  return true;
}

bool integer(State& s, Token& t, bool load) {
  int32_t v = 0;
  switch (scan_decimal(t.start, t.end, v)) {
    case IntScan::syntax: return syntax_error(s, T_INTEGER, t.start);
    case IntScan::too_long: return decimal(s, t, load);
    case IntScan::ok: break;
  }
  if (!load) return true;
  Cell* c = push_value(s);
  *c = Cell{(c->header & HDR_NEW_LINE) | T_INTEGER, 0, static_cast<uint32_t>(v), 0};
  return true;
}

bool hex_integer(State& s, Token& t, bool load) {
  ptrdiff_t digits = t.end - t.start - 1;
  uint32_t v = 0;
  bool ok = digits >= 2 && digits <= 8 && t.end[-1] == 'h';
  for (const uint8_t* p = t.start; ok && p < t.end - 1; ++p) {
    uint32_t d = is_digit(*p) ? *p - '0' : (*p >= 'A' && *p <= 'F') ? *p - 'A' + 10
                                         : (*p >= 'a' && *p <= 'f') ? *p - 'a' + 10 : 16;
    ok = d < 16;
    v = v << 4 | d;
  }
  if (!ok) return syntax_error(s, is_digit(t.start[0]) ? T_INTEGER : T_WORD, t.start);
  if (!load) return true;
  Cell* c = push_value(s);
  *c = Cell{(c->header & HDR_NEW_LINE) | T_INTEGER, 0, v, 0};
  return true;
}

bool decimal_special(State& s, Token& t, bool load) {
  const uint8_t* p = t.start;
  bool negative = false;
  if (p < t.end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  auto rest_is = [&](const char* word) {
    if (t.end - p != 3) return false;
    for (int i = 0; i < 3; ++i)
      if ((p[i] | 0x20) != word[i]) return false;
    return true;
  };
  if (t.end - p < 3 || std::memcmp(p, "1.#", 3) != 0) return syntax_error(s, T_FLOAT, t.start);
  p += 3;
  double d;
  if (rest_is("nan")) d = std::numeric_limits<double>::quiet_NaN();
  else if (rest_is("inf")) d = negative ? -HUGE_VAL : HUGE_VAL;
  else return syntax_error(s, T_FLOAT, t.start);
  if (load) push_float(s, d);
  return true;
}

bool not_yet(State& s, Token& t, bool load) {
  return syntax_error(s, t.value_type ? t.value_type : int{E_BAD_CHAR}, t.start);
}

}  // namespace load

int32_t scan_integer(const void* text, int32_t length, int unit, int32_t* error) {
  char buf[64] = {};  // an empty text leaves buf[0] to the sign test below
  *error = -1;
  if (!narrow(text, length, unit, sizeof buf, buf)) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(buf);
  int32_t v = 0;
  switch (scan_decimal(p, p + length, v)) {
    case IntScan::ok: *error = 0; return v;
    case IntScan::too_long: {
      // Overflow only when every character is a digit or mark.
      bool digits = true;
      for (int32_t i = (buf[0] == '-' || buf[0] == '+') ? 1 : 0; i < length; ++i)
        digits = digits && (is_digit(buf[i]) || buf[i] == '\'');
      if (digits) *error = -2;
      return 0;
    }
    case IntScan::syntax: return 0;
  }
  return 0;
}

double scan_float(const void* text, int32_t length, int unit, int32_t* error) {
  char buf[FLOAT_TEXT_MAX + 1];
  double d;
  const auto* p = reinterpret_cast<const uint8_t*>(buf);
  if (!narrow(text, length, unit, FLOAT_TEXT_MAX, buf) || !convert_float(p, p + length, 0, d)) {
    *error = -1;
    return std::numeric_limits<double>::quiet_NaN();
  }
  *error = 0;
  return d;
}

}  // namespace xeb::lexer
