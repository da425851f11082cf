// Loaders of the scalar literals: pairs, points, percents, tuples, times,
// dates and money. Each checks its whole token before it makes anything;
// the values are made by their datatypes' constructors.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "datatypes/float.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
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
  const uint8_t* at = s.begin + cell_at(marker)->w3;
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
