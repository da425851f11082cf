// Comparison and math natives: not, the sign and zero tests, max and min,
// shift, to-hex, trigonometry, logarithms, exp and square-root. Results are
// written whole into the result slot; nothing here allocates in the managed
// heap except to-hex (an issue's symbol).
#include <algorithm>
#include <cmath>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "evaluator/compare.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "runtime/floattext.h"
#include "runtime/stack.h"

namespace xeb::natives {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double EPSILON = 2.220446049250313e-16;

inline void logic_result(bool b) { stack::set_result_trim(b ? &fixed_true : &fixed_false); }
inline void int_result(int32_t n) {
  Cell c{T_INTEGER, 0, static_cast<uint32_t>(n), 0};
  stack::set_result_trim(&c);
}
inline void float_result(double d) {
  Cell c = float_::make_cell(d);
  stack::set_result_trim(&c);
}

bool float_like(TypeId t) { return t == T_FLOAT || t == T_PERCENT || t == T_TIME; }

// The sign of a number argument: -1, 0 or 1; NaN counts as 0 (neither
// negative nor positive).
int sign_of(const Cell* v) {
  TypeId t = type_of(v);
  if (t == T_INTEGER) return (get_int(v) > 0) - (get_int(v) < 0);
  if (float_like(t)) {
    double d = get_double(v);
    return (d > 0) - (d < 0);
  }
  if (t == T_MONEY) return money::sign_q(v);
  refuse_arg(0, v);
}

// Integer, float or percent argument as a double (trigonometry, logs).
double float_arg(int32_t param, const Cell* v) {
  TypeId t = type_of(v);
  if (t == T_INTEGER) return get_int(v);
  if (t == T_FLOAT || t == T_PERCENT) return get_double(v);
  refuse_arg(param, v);
}

bool nan_number(const Cell* v) { return (is_type(v, T_FLOAT) || is_type(v, T_PERCENT)) && std::isnan(get_double(v)); }
bool plain_number(const Cell* v) { return is_type(v, T_INTEGER) || is_type(v, T_FLOAT) || is_type(v, T_PERCENT); }

// A float component operand as an integer: type-limit outside 32 bits.
int32_t component_int(const Cell* v) {
  if (is_type(v, T_INTEGER)) return get_int(v);
  if (integer::float_out_of_range_q(v) || float_::special_q(get_double(v))) {
    Cell t = datatype::make_cell(T_INTEGER);
    fire(Err::type_limit, &t);
  }
  return static_cast<int32_t>(std::trunc(get_double(v)));
}

// min and max of pairs, points and tuples, component by component; the
// result has a's type (a pair met by a point or a huge float becomes a
// point). False when the two values have no component-wise form.
bool component_min_max(Cell* a, Cell* b, bool max) {
  const TypeId ta = type_of(a), tb = type_of(b);
  const bool number = tb == T_INTEGER || tb == T_FLOAT;
  Cell r = *a;
  if (ta == T_PAIR) {
    if (tb == T_POINT2D || (tb == T_FLOAT && (integer::float_out_of_range_q(b) || float_::special_q(get_double(b))))) {
      r = point::make_cell2(float(pair::x(a)), float(pair::y(a)));
    } else if (tb == T_PAIR || number) {
      int32_t bx = tb == T_PAIR ? pair::x(b) : component_int(b), by = tb == T_PAIR ? pair::y(b) : bx;
      auto pick = [max](int32_t x, int32_t y) { return max ? std::max(x, y) : std::min(x, y); };
      pair::set_x(&r, pick(pair::x(a), bx));
      pair::set_y(&r, pick(pair::y(a), by));
      stack::set_result_trim(&r);
      return true;
    } else {
      return false;
    }
  }
  if (type_of(&r) == T_POINT2D || type_of(&r) == T_POINT3D) {
    const int n = point::dims(&r);
    float other[3];
    if (number) {
      other[0] = other[1] = other[2] = static_cast<float>(is_type(b, T_INTEGER) ? get_int(b) : get_double(b));
    } else if (tb == T_PAIR && n == 2) {
      other[0] = float(pair::x(b));
      other[1] = float(pair::y(b));
    } else if ((tb == T_POINT2D || tb == T_POINT3D) && point::dims(b) == n) {
      for (int i = 0; i < n; i++) other[i] = point::coord(b, i);
    } else {
      return false;
    }
    for (int i = 0; i < n; i++) {
      float x = point::coord(&r, i), y = other[i];
      float m = std::isnan(y) ? y : std::isnan(x) ? x : max ? std::max(x, y) : std::min(x, y);
      point::set_coord(&r, i, m);
    }
    stack::set_result_trim(&r);
    return true;
  }
  if (ta == T_TUPLE && (number || (tb == T_TUPLE && tuple::count(b) == tuple::count(a)))) {
    int32_t k = number ? std::clamp(component_int(b), 0, 255) : 0;
    for (int i = 0; i < tuple::count(a); i++) {
      int x = tuple::byte(a, i), y = number ? k : tuple::byte(b, i);
      tuple::set_byte_at(&r, i, static_cast<uint8_t>(max ? std::max(x, y) : std::min(x, y)));
    }
    stack::set_result_trim(&r);
    return true;
  }
  return false;
}

void min_max(bool max) {
  Cell* a = arg(0);
  Cell* b = arg(1);
  if (nan_number(a) && plain_number(b)) return stack::set_result_trim(a), void();
  if (nan_number(b) && plain_number(a)) return stack::set_result_trim(b), void();
  if (component_min_max(a, b, max)) return;
  bool less = actions::compare_truth(a, b, COMP_LESSER);
  stack::set_result_trim(max ? (less ? b : a) : (less ? a : b));
}

double trig_arg(const int32_t* refs, math::Trig fn) {
  double x = float_arg(0, arg(0));
  return present(refs[ref(Id::sine, "radians")]) ? x : math::to_radians(x, fn);
}

inline double tidy(double r) { return std::fabs(r) < EPSILON ? 0.0 : r; }
inline double degrees_unless(const int32_t* refs, double r) {
  return present(refs[ref(Id::arcsine, "radians")]) ? r : r * 180.0 / PI;
}

}  // namespace

void not_(bool, const int32_t*) { logic_result(is_false(arg(0))); }

void negative_q(bool, const int32_t*) { logic_result(sign_of(arg(0)) < 0); }
void positive_q(bool, const int32_t*) { logic_result(sign_of(arg(0)) > 0); }
void sign_q(bool, const int32_t*) { int_result(sign_of(arg(0))); }

void zero_q(bool, const int32_t*) {
  Cell* v = arg(0);
  switch (type_of(v)) {
    case T_CHAR: case T_INTEGER: return logic_result(get_int(v) == 0);
    case T_FLOAT: case T_PERCENT: case T_TIME: return logic_result(get_double(v) == 0.0);
    case T_PAIR: return logic_result(pair::x(v) == 0 && pair::y(v) == 0);
    case T_TUPLE: return logic_result(tuple::all_zero_q(v));
    case T_MONEY: return logic_result(money::zero_q(v));
    case T_POINT2D: case T_POINT3D: {
      bool zero = true;
      for (int i = 0; i < point::dims(v); i++) zero = zero && point::coord(v, i) == 0.0f;
      return logic_result(zero);
    }
    default: refuse_arg(0, v);
  }
}

void nan_q(bool, const int32_t*) {
  Cell* v = arg(0);
  if (is_type(v, T_INTEGER)) return logic_result(false);
  if (is_type(v, T_FLOAT) || is_type(v, T_PERCENT)) return logic_result(std::isnan(get_double(v)));
  refuse_arg(0, v);
}

void max_(bool, const int32_t*) { min_max(true); }
void min_(bool, const int32_t*) { min_max(false); }

void shift(bool, const int32_t* refs) {
  Cell* d = arg(0);
  Cell* b = arg(1);
  if (!is_type(d, T_INTEGER)) refuse_arg(0, d);
  if (!is_type(b, T_INTEGER)) refuse_arg(1, b);
  int32_t data = get_int(d), bits = get_int(b);
  if (bits < 0) bits = 0;
  int32_t r;
  if (present(refs[ref(Id::shift, "left")])) r = bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) << bits);
  else if (present(refs[ref(Id::shift, "logical")])) r = bits > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(data) >> bits);
  else r = bits > 31 ? (data < 0 ? -1 : 0) : data >> bits;
  int_result(r);
}

void to_hex(bool, const int32_t* refs) {
  Cell* v = arg(0);
  if (!is_type(v, T_INTEGER)) refuse_arg(0, v);
  char out[9];
  std::string_view digits = string::to_hex(get_int(v), false, out);
  if (Cell* size = opt(refs[ref(Id::to_hex, "size")])) {
    if (!is_type(size, T_INTEGER)) refuse_arg(2, size);
    int32_t n = get_int(size);
    if (n <= 0) fire(Err::invalid_arg, size);
    if (n < 8) digits = digits.substr(static_cast<size_t>(8 - n));
  }
  issue::make_at(stack::base(), digits);
  stack::set_top(stack::base() + 1);
}

// --- Trigonometry -------------------------------------------------------------

void sine(bool, const int32_t* refs) { float_result(tidy(std::sin(trig_arg(refs, math::Trig::sine)))); }
void cosine(bool, const int32_t* refs) { float_result(tidy(std::cos(trig_arg(refs, math::Trig::cosine)))); }

void tangent(bool, const int32_t* refs) {
  double x = trig_arg(refs, math::Trig::tangent);
  if (x == PI / 2) return float_result(HUGE_VAL);
  if (x == PI / -2) return float_result(-HUGE_VAL);
  float_result(std::tan(x));
}

void arcsine(bool, const int32_t* refs) { float_result(degrees_unless(refs, std::asin(float_arg(0, arg(0))))); }
void arccosine(bool, const int32_t* refs) { float_result(degrees_unless(refs, std::acos(float_arg(0, arg(0))))); }
void arctangent(bool, const int32_t* refs) { float_result(degrees_unless(refs, std::atan(float_arg(0, arg(0))))); }
void arctangent2(bool, const int32_t* refs) {
  double y = float_arg(0, arg(0)), x = float_arg(1, arg(1));
  float_result(degrees_unless(refs, std::atan2(y, x)));
}

// --- Logarithms and powers: a bad domain gives a NaN or an infinity, no error.

void log_2(bool, const int32_t*) { float_result(std::log(float_arg(0, arg(0))) / 0.6931471805599453); }
void log_10(bool, const int32_t*) { float_result(std::log10(float_arg(0, arg(0)))); }
void log_e(bool, const int32_t*) { float_result(std::log(float_arg(0, arg(0)))); }
void exp_(bool, const int32_t*) { float_result(std::exp(float_arg(0, arg(0)))); }
void square_root(bool, const int32_t*) { float_result(std::sqrt(float_arg(0, arg(0)))); }

}  // namespace xeb::natives
