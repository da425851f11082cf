// float!: helpers, the floating arithmetic shared with integer!, percent! and
// time!, the tolerant equality, and the action slots.
#include "datatypes/float.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "datatypes/actions.h"
#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/money.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/hashtable.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::float_ {

bool pretty = true;
bool full = false;

namespace {

[[noreturn]] void fire_with_type(Err id, const Cell* value) {
  Cell t = datatype::make_cell(type_of(value));
  fire(id, &t);
}

[[noreturn]] void bad_to_arg(int target, const Cell* spec) {
  Cell t = datatype::make_cell(target);
  fire(Err::bad_to_arg, &t, spec);
}

uint64_t bits_of(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}

double from_bits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

// Doubles mapped onto unsigned keys in their numeric order, both zeros on
// one key, so that neighbours differ by one.
uint64_t ordered_key(double d) {
  uint64_t u = bits_of(d);
  return (u >> 63) ? ~u + 1 : u | (uint64_t{1} << 63);
}

uint32_t ordered_key32(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return (u >> 31) ? ~u + 1 : u | (uint32_t{1} << 31);
}

}  // namespace

// --- Helpers -------------------------------------------------------------------

Cell* push(double d) { return place::pushed(make_cell(d)); }
Cell* push64(uint32_t high, uint32_t low) { return place::pushed(Cell{T_FLOAT, 0, low, high}); }
Cell* box(double d) { return place::at_base(make_cell(d)); }

Cell* make_at(Cell* c, double d) {
  *c = make_cell(d);
  return c;
}

Cell* make_in(const Cell* block, uint32_t high, uint32_t low) {
  return place::at_tail(block, Cell{T_FLOAT, 0, low, high});
}

double abs(double d) { return from_bits(bits_of(d) & ~(uint64_t{1} << 63)); }

bool nan_q(double d) {
  uint64_t u = bits_of(d);
  return ((u >> 52) & 0x7FF) == 0x7FF && (u & ((uint64_t{1} << 52) - 1)) != 0;
}

bool nan_f32_q(float f) { return std::isnan(f); }

bool special_q(double d) { return ((bits_of(d) >> 52) & 0x7FF) == 0x7FF; }

bool almost_equal_q(double x, double y) {
  if (nan_q(x) || nan_q(y)) return false;
  if (x == y) return true;
  if (std::fabs(x - y) < DBL_EPSILON) return true;
  uint64_t a = ordered_key(x), b = ordered_key(y);
  return (a > b ? a - b : b - a) <= 10;
}

bool equal_f32_q(float x, float y) {
  if (std::isnan(x) || std::isnan(y)) return false;
  if (x == y) return true;
  float ax = std::fabs(x), ay = std::fabs(y);
  if (ax < FLT_MAX && ay < FLT_MAX) {
    uint32_t a = ordered_key32(x), b = ordered_key32(y);
    return (a > b ? a - b : b - a) <= 10;
  }
  if (std::signbit(x) != std::signbit(y)) return false;
  uint32_t ua, ub;
  std::memcpy(&ua, &ax, 4);
  std::memcpy(&ub, &ay, 4);
  return (ua > ub ? ua - ub : ub - ua) < 0x100000;
}

std::size_t form_float(double d, dtoa::FormKind kind, dtoa::TextBuffer out) {
  return dtoa::form_tidy(d, kind, pretty, out);
}

double do_math_op(double x, double y, int op) {
  switch (op) {
    case OP_ADD: return x + y;
    case OP_SUB: return x - y;
    case OP_MUL: return x * y;
    case OP_DIV: return x / y;
    case OP_REM:
      if (std::isfinite(y)) return std::fmod(x, y);
      if (std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
      return std::isfinite(x) ? x : std::numeric_limits<double>::quiet_NaN();
    default: {
      Cell fn, t = datatype::make_cell(T_FLOAT);
      stack::caller_word(&fn);
      fire(Err::cannot_use, &fn, &t);
    }
  }
}

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  TypeId lt = type_of(left), rt = type_of(right);
  if (scalar::partner_math(op)) return;
  bool allowed = rt == T_INTEGER || rt == T_FLOAT || rt == T_PERCENT || rt == T_TIME ||
                 (rt == T_CHAR && lt != T_TIME && lt != T_PERCENT);
  if (!allowed) fire_with_type(Err::invalid_type, right);
  double x = lt == T_INTEGER ? double(get_int(left)) : get_double(left);
  double y = rt == T_INTEGER || rt == T_CHAR ? double(get_int(right)) : get_double(right);
  TypeId result = lt == T_TIME || rt == T_TIME ? T_TIME : lt == T_PERCENT ? T_PERCENT : T_FLOAT;
  double r = do_math_op(x, y, op);
  // A time's text has no form for infinity or NaN: such a result is an
  // overflow, or a division by zero.
  if (result == T_TIME && !std::isfinite(r)) fire((op == OP_DIV || op == OP_REM) && y == 0 ? Err::zero_divide : Err::overflow);
  put_double(left, r);
  set_type(left, result);
}

double random_value(double scale, bool secure) {
  const auto& h = integer::random_hooks;
  if (secure) {
    if (!h.secure_next) fire(Err::not_done);
    double r1 = h.secure_next(), r2 = h.secure_next();
    return (r2 + r1 / 2147483647.0) * scale / 2147483648.0;
  }
  if (!h.next) fire(Err::not_done);
  return h.next() / 2147483647.0 * scale;
}

// --- Conversion -------------------------------------------------------------------

namespace {

// Whether the text has the syntax of a float literal: a sign, digits with
// single "'" marks between them, "." or "," and more digits, an exponent
// with digits; or one of the specials 1.#INF and 1.#NaN (any letter case).
bool float_syntax(std::string_view t) {
  std::size_t i = 0, n = t.size();
  auto digit = [&](std::size_t k) { return k < n && t[k] >= '0' && t[k] <= '9'; };
  auto digits = [&]() {
    bool any = false;
    while (i < n) {
      if (digit(i)) any = true, i++;
      else if (t[i] == '\'' && any && digit(i - 1) && digit(i + 1)) i++;
      else break;
    }
    return any;
  };
  if (i < n && (t[i] == '+' || t[i] == '-')) i++;
  if (n - i == 6 && t.compare(i, 3, "1.#") == 0) {
    std::string w;
    for (std::size_t k = i + 3; k < n; k++) w.push_back(static_cast<char>(t[k] | 0x20));
    return w == "inf" || w == "nan";
  }
  bool whole = digits(), fraction = false;
  if (i < n && (t[i] == '.' || t[i] == ',')) i++, fraction = digits();
  if (!whole && !fraction) return false;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    i++;
    if (i < n && (t[i] == '+' || t[i] == '-')) i++;
    if (!digits()) return false;
  }
  return i == n;
}

// The text of a number as the float scanner takes it: "," read as ".", "'"
// dropped; false for anything that is no number.
bool scan_float_text(const Cell* spec, int adjust, double* out) {
  int32_t len = string::xs_length_q(spec);
  if (len <= 0 || len > 312) return false;
  std::string text;
  for (int32_t i = 0; i < len; i++) {
    int32_t c = string::char_at(spec, i);
    if (c <= 0 || c >= 128) return false;
    text.push_back(static_cast<char>(c));
  }
  if (!float_syntax(text)) return false;
  std::erase(text, '\'');
  std::replace(text.begin(), text.end(), ',', '.');
  std::size_t unread = 0;
  double d = dtoa::strtod(text, adjust, &unread);
  if (unread != 0) return false;
  *out = d;
  return true;
}

// The double of a text for to percent!: a number, or a number with "%".
bool scan_percent_text(const Cell* spec, double* out) {
  int32_t len = string::xs_length_q(spec);
  if (len > 1 && string::char_at(spec, len - 1) == '%') {
    Cell cut = *spec;
    Cell* s = stack::push(&cut);  // the copy is cut, not the spec
    Cell* text = string::push_new(len);
    string::concatenate(text, s, len - 1, 0, true, string::Mode::append);
    bool ok = scan_float_text(text, -2, out);
    stack::pop(2);
    return ok;
  }
  return scan_float_text(spec, 0, out);
}

double block_to_double(int target, Cell* spec) {
  SeriesBuf* b = series::buf(spec);
  int32_t h = series::head(spec);
  int32_t n = static_cast<int32_t>(b->cell_count()) - h;
  if (n != 2) bad_to_arg(target, spec);
  const Cell* m = b->cells() + h;
  const Cell* e = m + 1;
  for (const Cell* c : {m, e})
    if (!is_type(c, T_INTEGER) && !is_type(c, T_FLOAT)) bad_to_arg(T_FLOAT, c);
  double mant = is_type(m, T_INTEGER) ? double(get_int(m)) : get_double(m);
  double ex = is_type(e, T_INTEGER) ? double(get_int(e)) : std::trunc(get_double(e));
  return mant * std::pow(10.0, ex);
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, int type) {
  TypeId target = type == T_PERCENT ? T_PERCENT : T_FLOAT;
  double d = 0;
  switch (type_of(spec)) {
    case T_CHAR:
    case T_INTEGER: d = get_int(spec); break;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: d = get_double(spec); break;
    case T_MONEY: d = money::to_float(spec); break;
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: {
      bool ok = target == T_PERCENT ? scan_percent_text(spec, &d) : scan_float_text(spec, 0, &d);
      if (!ok) bad_to_arg(target, spec);
      break;
    }
    case T_BINARY: {
      d = from_bits(binary::leading_number(spec, 8));
      break;
    }
    case T_BLOCK: case T_PAREN: case T_HASH: d = block_to_double(target, spec); break;
    default: bad_to_arg(target, spec);
  }
  *proto = make_cell(d);
  set_type(proto, target);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  char text[dtoa::text_max];
  std::size_t n = form_float(get_double(value), dtoa::FormKind::float64, text);
  string::append_ascii(buffer, std::string_view(text, n));
  return part - static_cast<int>(n);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  char text[dtoa::text_max];
  std::size_t n = dtoa::form_float(get_double(value), 0, true, text);
  string::append_ascii(buffer, std::string_view(text, n));
  return part - static_cast<int>(n);
}

int compare(Cell* value1, Cell* value2, int op) {
  if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && type_of(value1) != type_of(value2))
    return 1;
  double x = get_double(value1), y;
  switch (type_of(value2)) {
    case T_INTEGER: y = get_int(value2); break;
    case T_FLOAT: case T_PERCENT: case T_TIME: y = get_double(value2); break;
    case T_MONEY: {
      // The money's own comparison, the other way round.
      int r = money::compare(value2, value1, op);
      return r == COMPARE_INVALID ? r : -r;
    }
    default: return COMPARE_INVALID;
  }
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL: return almost_equal_q(x, y) ? 0 : 1;
    case COMP_STRICT_EQUAL: return x == y ? 0 : 1;
    case COMP_SAME: return bits_of(x) == bits_of(y) ? 0 : 1;
    default: break;
  }
  if (std::isnan(x) || std::isnan(y)) {
    switch (op) {
      case COMP_LESSER: case COMP_LESSER_EQUAL: return 1;
      case COMP_GREATER: case COMP_GREATER_EQUAL: return -1;
      // A sort needs a strict weak order: a NaN answering "equal" to every
      // number left the numbers around it unsorted. NaNs go after every
      // number, equal among themselves.
      case COMP_SORT: case COMP_CASE_SORT: return std::isnan(x) - std::isnan(y);
      default: return 0;
    }
  }
  return (x > y) - (x < y);
}

// --- Slots ----------------------------------------------------------------------------

Cell* random(Cell* value, int seed, int secure, int only) {
  if (seed) return integer::seed_random(value, value->w2 ^ value->w3);
  put_double(value, random_value(get_double(value), secure != 0));
  return value;
}

void absolute() {
  Cell* v = stack::base();
  put_double(v, abs(get_double(v)));
}


Cell* negate(Cell* n) {
  put_double(n, 0.0 - get_double(n));
  return n;
}

void power() {
  Cell* base = stack::base();
  Cell* exp = base + 1;
  double y;
  if (is_type(exp, T_INTEGER)) {
    y = get_int(exp);
  } else if (is_type(exp, T_FLOAT)) {
    y = get_double(exp);
  } else {
    Cell fn, t = datatype::make_cell(type_of(exp)), p;
    stack::caller_word(&fn);
    error::get_call_argument(1, &p);
    fire(Err::expect_arg, &fn, &t, &p);
  }
  put_double(base, std::pow(get_double(base), y));
}

// Parity of the whole part, computed in doubles so that values beyond the
// 32-bit range answer by their own last digit. An infinity or a NaN has no
// whole part and is neither even nor odd.
int even_q(Cell* n) {
  double t = std::trunc(get_double(n));
  return std::isfinite(t) && std::fmod(t, 2.0) == 0.0;
}

int odd_q(Cell* n) {
  double t = std::trunc(get_double(n));
  return std::isfinite(t) && std::fmod(t, 2.0) != 0.0;
}

void check_round_scale(const Cell* scale) {
  if (scale && is_type(scale, T_MONEY)) {
    Cell fn, t = datatype::make_cell(T_MONEY);
    stack::caller_word(&fn);
    fire(Err::not_related, &fn, &t);
  }
}

Cell* round(Cell* value, Cell* scale, int even, int down, int half_down, int floor, int ceiling,
            int half_ceiling) {
  check_round_scale(scale);
  // The result takes the scale's type: a scale that is no number (a pair or
  // a point, which only a pair or point value splits per coordinate) would
  // make a cell of that type out of a double.
  if (scale && !is_type(scale, T_INTEGER) && !is_type(scale, T_FLOAT) && !is_type(scale, T_PERCENT) &&
      !is_type(scale, T_TIME)) {
    Cell fn, t = datatype::make_cell(type_of(scale));
    stack::caller_word(&fn);
    fire(Err::not_related, &fn, &t);
  }
  const bool percent = is_type(value, T_PERCENT);
  double x = get_double(value);
  double s = percent ? 0.01 : 1.0;
  if (scale) {
    s = std::fabs(is_type(scale, T_INTEGER) ? double(get_int(scale)) : get_double(scale));
    if (percent) s /= 100.0;
  }
  // No digits at that scale, a zero scale or a NaN: nothing to round.
  if (s == 0.0 || s < std::fabs(x) * 0x1p-53 || std::isnan(x)) return value;
  // A scale below the normal range has no finite reciprocal: it is split
  // into mantissa and exponent, and the exponent is applied exactly.
  int shift = 0;
  double sm = s;
  if (s < DBL_MIN) {
    sm = std::frexp(s, &shift);
  }
  double v = s >= 1 ? x / s : std::ldexp(x * (1.0 / sm), -shift);
  double a = std::fabs(v);
  double fl = std::floor(a);
  bool neg = v < 0;
  auto toward_zero = [&] { return neg ? 0.0 - fl : fl; };
  auto away = [&] { return neg ? -(fl + 1) : fl + 1; };
  double r;
  if (down) {
    r = toward_zero();
  } else if (floor) {
    r = std::floor(v);
  } else if (ceiling) {
    r = std::ceil(v);
  } else if (a > fl + 0.5) {
    r = away();
  } else if (a < fl + 0.5) {
    r = toward_zero();
  } else if (even) {
    r = std::fmod(a, 2.0) < 1.0 ? toward_zero() : away();
  } else if (half_down) {
    r = toward_zero();
  } else if (half_ceiling) {
    r = std::ceil(v);
  } else {
    r = away();
  }
  double result;
  if (s >= 1) {
    result = r * s;
    if (!std::isfinite(result) || std::fabs(result) == DBL_MAX) fire(Err::overflow);
  } else {
    result = std::ldexp(r / (1.0 / sm), shift);
  }
  if (scale && is_type(scale, T_INTEGER)) {
    double t = std::trunc(result);
    if (t < -2147483648.0 || t > 2147483647.0) fire(Err::overflow);
    *value = integer::make_cell(static_cast<int32_t>(t));
    return value;
  }
  TypeId type = scale ? type_of(scale) : type_of(value);
  put_double(value, result);
  set_type(value, type);
  return value;
}

uint32_t hash(const Cell* c, bool) {
  if (get_double(c) == 0.0) {
    Cell z = *c;
    put_double(&z, 0.0);
    return hashtable::hash_words(&z, 2, 2);
  }
  return hashtable::hash_words(c, 2, 2);
}

void init() {
  datatype::Registration r{T_FLOAT, 0, "float!"};
  r.hashes(&hash);
  r.set(A_MAKE, &to).set(A_RANDOM, &random).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_COMPARE, &compare).set(A_ABSOLUTE, &absolute).set(A_NEGATE, &negate).set(A_POWER, &power);
  r.set(A_ROUND, &round).set(A_EVEN_Q, &even_q).set(A_ODD_Q, &odd_q);
  datatype::set_arithmetic<do_math>(r);
  datatype::register_type(r);
}

}  // namespace xeb::float_
