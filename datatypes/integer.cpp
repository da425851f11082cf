// integer!: helpers, the arithmetic core and the action slots.
#include "datatypes/integer.h"

#include <cmath>
#include <cstring>

#include "datatypes/actions.h"
#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/logic.h"
#include "datatypes/math_slots.h"
#include "datatypes/money.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::integer {

RandomHooks random_hooks;

Cell* seed_random(Cell* value, uint32_t bits) {
  if (!random_hooks.seed) fire(Err::not_done);
  random_hooks.seed(bits);
  set_unset(value);
  return value;
}

namespace {

[[noreturn]] void fire_with_type(Err id, const Cell* value) {
  Cell t = datatype::make_cell(type_of(value));
  fire(id, &t);
}

[[noreturn]] void bad_to_arg(const Cell* spec) {
  Cell t = datatype::make_cell(T_INTEGER);
  fire(Err::bad_to_arg, &t, spec);
}

// The calling function's word, the argument's datatype and the parameter's
// name: what expect-arg reports.
[[noreturn]] void fire_expect_arg(const Cell* arg, int param) {
  Cell fn, t = datatype::make_cell(type_of(arg)), p;
  stack::caller_word(&fn);
  error::get_call_argument(param, &p);
  fire(Err::expect_arg, &fn, &t, &p);
}

bool fits(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// A float operand converted to an integer: the double itself must lie in
// [-2147483648, 2147483647] (so 2147483647.5 is refused though its
// truncation would fit); then it is truncated toward zero.
int32_t checked_trunc(double d) {
  if (std::isnan(d) || d < -2147483648.0 || d > 2147483647.0) {
    Cell ty = datatype::make_cell(T_INTEGER);
    fire(Err::type_limit, &ty);
  }
  return static_cast<int32_t>(std::trunc(d));
}

}  // namespace

// --- Helpers -----------------------------------------------------------------

Cell* push(int32_t v) { return place::pushed(make_cell(v)); }
Cell* box(int32_t v) { return place::at_base(make_cell(v)); }

Cell* make_at(Cell* c, int32_t v) {
  set_type(c, T_INTEGER);
  c->w2 = static_cast<uint32_t>(v);
  return c;
}

Cell* make_in(const Cell* block, int32_t v) { return place::at_tail(block, make_cell(v)); }

int32_t get_last() { return get_int(stack::base()); }

int32_t get_last_or_zero() {
  const Cell* c = stack::base();
  return is_type(c, T_INTEGER) ? get_int(c) : 0;
}

int32_t abs(int32_t v) {
  if (v == INT_MIN32) fire(Err::overflow);
  return v < 0 ? -v : v;
}

const char* to_c_string(int32_t v) {
  static char text[12] = "-0000000000";
  if (v == 0) return "0";
  if (v == INT_MIN32) return "-2147483648";
  uint32_t m = static_cast<uint32_t>(v < 0 ? -v : v);
  char* p = text + 11;  // the terminating zero stays in place
  while (m) {
    *--p = static_cast<char>('0' + m % 10);
    m /= 10;
  }
  if (v < 0) *--p = '-';
  return p;
}

bool float_out_of_range_q(const Cell* c) {
  double t = get_double(c);
  return std::isnan(t) || t < -2147483648.0 || t > 2147483647.0;
}

// --- Arithmetic core ----------------------------------------------------------

int32_t do_math_op(int32_t a, int32_t b, int op, Cell* r) {
  int64_t wide;
  double as_float;
  switch (op) {
    case OP_ADD: wide = int64_t{a} + b; as_float = double(a) + double(b); break;
    case OP_SUB: wide = int64_t{a} - b; as_float = double(a) - double(b); break;
    case OP_MUL: wide = int64_t{a} * b; as_float = double(a) * double(b); break;
    case OP_DIV:
    case OP_REM:
      if (b == 0) fire(Err::zero_divide);
      if (a == INT_MIN32 && b == -1) fire(Err::overflow);
      if (op == OP_REM) {
        wide = a % b;
      } else if (!r || a % b == 0) {
        wide = a / b;
      } else {
        float_::make_at(r, double(a) / double(b));
        return 0;
      }
      as_float = 0;
      break;
    case OP_OR: wide = a | b; as_float = 0; break;
    case OP_AND: wide = a & b; as_float = 0; break;
    case OP_XOR: wide = a ^ b; as_float = 0; break;
    default: runtime_error(101);
  }
  if (!fits(wide)) {
    // Only add, subtract and multiply get here, and every caller of those
    // passes a result cell.
    if (r) float_::make_at(r, as_float);
    return 0;
  }
  int32_t res = static_cast<int32_t>(wide);
  if (r) r->w2 = static_cast<uint32_t>(res);
  return res;
}

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  switch (type_of(right)) {
    case T_INTEGER:
    case T_CHAR:
      do_math_op(get_int(left), get_int(right), op, left);
      return;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME:
      float_::do_math(op);
      return;
    default:
      if (!scalar::partner_math(op)) fire_with_type(Err::invalid_type, right);
  }
}

int32_t scan_text(const void* text, int32_t length, int unit, bool* error) {
  auto at = [&](int32_t i) -> int32_t {
    const auto* p = static_cast<const uint8_t*>(text) + int64_t{i} * unit;
    switch (unit) {
      case 1: return *p;
      case 2: { uint16_t c; std::memcpy(&c, p, 2); return c; }
      default: { int32_t c; std::memcpy(&c, p, 4); return c; }
    }
  };
  *error = true;
  int32_t i = 0;
  bool negative = false;
  if (i < length && (at(i) == '+' || at(i) == '-')) negative = at(i++) == '-';
  int64_t magnitude = 0;
  int digits = 0;
  for (; i < length; i++) {
    int32_t c = at(i);
    if (c == '\'' && digits > 0) continue;  // a digit separator, never leading
    if (c < '0' || c > '9') return 0;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return 0;
    digits++;
  }
  if (digits == 0) return 0;
  int64_t v = negative ? -magnitude : magnitude;
  if (!fits(v)) return 0;
  *error = false;
  return static_cast<int32_t>(v);
}

// --- Slots ----------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, int type) {
  if (is_type(spec, T_LOGIC)) return make_at(proto, logic::get(spec) == 1 ? 1 : 0);
  return to(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  int32_t v = 0;
  switch (type_of(spec)) {
    case T_INTEGER:
    case T_CHAR: v = get_int(spec); break;
    case T_FLOAT:
    case T_PERCENT: v = checked_trunc(get_double(spec)); break;
    case T_TIME: v = checked_trunc(get_double(spec) + 0.5); break;
    case T_MONEY: v = money::to_integer(spec); break;
    case T_DATE: {
      // Seconds since 1970: past 2038 they no longer fit.
      double t = date::to_epoch(spec);
      if (t < -2147483648.0 || t > 2147483647.0) {
        Cell ty = datatype::make_cell(T_INTEGER);
        fire(Err::type_limit, &ty);
      }
      v = static_cast<int32_t>(t);
      break;
    }
    case T_BINARY: {
      v = static_cast<int32_t>(binary::leading_number(spec, 4));
      break;
    }
    case T_ISSUE: {
      std::string_view name = symbol::name(word_symbol(spec));
      if (name.size() > 8) fire(Err::invalid_data, spec);
      uint32_t u = 0;
      // The spelling is UTF-8; each byte masked to 7 bits stands for one
      // character, and no byte of a wider character survives the test.
      for (unsigned char ch : name) {
        int c = ch & 0x7F;
        uint8_t d = c < 32 || ch >= 0x80 ? 0xFF : binary::hex_digit(c);
        if (d == 0xFF) fire(Err::invalid_data, spec);
        u = u * 16 + d;
      }
      v = static_cast<int32_t>(u);
      break;
    }
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: {
      bool error = false;
      SeriesBuf* b = series::buf(spec);
      int unit = b->unit();
      int32_t len = string::xs_length_q(spec);
      const std::byte* head = b->head_ptr() + int64_t{series::head(spec)} * unit;
      v = scan_text(head, len, unit, &error);
      if (error) bad_to_arg(spec);
      break;
    }
    default:
      bad_to_arg(spec);
  }
  *proto = make_cell(v);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  const char* text = to_c_string(get_int(value));
  int n = static_cast<int>(std::strlen(text));
  string::append_ascii(buffer, std::string_view(text, n));
  return part - n;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

int compare(Cell* value1, Cell* value2, int op) {
  // Values of other types are never strictly equal to an integer, nor the
  // same (same? 1 $1 was true while same? $1 1 was false).
  if ((op == COMP_STRICT_EQUAL || op == COMP_FIND || op == COMP_SAME) && !is_type(value2, T_INTEGER)) return 1;
  switch (type_of(value2)) {
    case T_INTEGER:
    case T_CHAR: {
      int32_t a = get_int(value1), b = get_int(value2);
      return (a > b) - (a < b);
    }
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: {
      // The float comparison on value1's double; the header stays integer!
      // so sameness still tells the types apart.
      Cell x = *value1;
      put_double(&x, double(get_int(value1)));
      return float_::compare(&x, value2, op);
    }
    case T_MONEY: {
      Cell m = money::from_integer(get_int(value1));
      return money::compare(&m, value2, op);
    }
    default:
      return COMPARE_INVALID;
  }
}

Cell* random(Cell* value, int seed, int secure, int only) {
  if (seed) return seed_random(value, static_cast<uint32_t>(get_int(value)));
  int32_t n = get_int(value);
  if (n != 0) {
    if (!random_hooks.int_range) fire(Err::not_done);
    value->w2 = static_cast<uint32_t>(random_hooks.int_range(secure != 0, n));
  }
  return value;
}

void absolute() {
  Cell* v = stack::base();
  v->w2 = static_cast<uint32_t>(abs(get_int(v)));
}

Cell* negate(Cell* n) {
  if (get_int(n) == INT_MIN32) fire(Err::overflow);
  n->w2 = static_cast<uint32_t>(-get_int(n));
  return n;
}

Cell* complement(Cell* v) {
  v->w2 = ~v->w2;
  return v;
}

int even_q(Cell* n) { return (get_int(n) & 1) == 0; }
int odd_q(Cell* n) { return (get_int(n) & 1) != 0; }

namespace {

// base ** exp for exp >= 0 by repeated squaring; false when it overflows.
bool int_power(int64_t base, int32_t exp, int32_t* out) {
  int64_t result = 1;
  while (exp) {
    if (exp & 1) {
      result *= base;
      if (!fits(result)) return false;
    }
    exp = static_cast<int32_t>(static_cast<uint32_t>(exp) >> 1);
    if (exp) {
      base *= base;
      if (!fits(base)) return false;
    }
  }
  *out = static_cast<int32_t>(result);
  return true;
}

}  // namespace

void power() {
  Cell* base = stack::base();
  Cell* exp = base + 1;
  if (!is_type(exp, T_INTEGER) && !is_type(exp, T_FLOAT)) fire_expect_arg(exp, 1);
  if (is_type(exp, T_INTEGER) && get_int(exp) >= 0) {
    int32_t r;
    if (int_power(get_int(base), get_int(exp), &r)) {
      base->w2 = static_cast<uint32_t>(r);
      return;
    }
  }
  float_::make_at(base, double(get_int(base)));
  float_::power();
}

Cell* round(Cell* value, Cell* scale, int even, int down, int half_down, int floor, int ceiling,
            int half_ceiling) {
  float_::check_round_scale(scale);
  int32_t n = get_int(value);
  if (n == INT_MIN32) return value;
  int64_t s = 1;
  if (scale) {
    if (!is_type(scale, T_INTEGER)) {
      float_::make_at(value, double(n));
      return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    }
    s = abs(get_int(scale));
  }
  if (s == 0) return value;
  int64_t a = n < 0 ? -int64_t{n} : n;
  int64_t r = a % s;
  if (r == 0) return value;
  int64_t d = s - r;
  int64_t up = a + d;
  const int64_t sign = n < 0 ? -1 : 1;
  auto toward_zero = [&] { return sign * (a - r); };
  auto away = [&] {
    if (up > INT32_MAX) fire(Err::overflow);
    return sign * up;
  };
  int64_t res;
  if (down) {
    res = toward_zero();
  } else if (floor) {
    res = n > 0 ? toward_zero() : away();
  } else if (ceiling) {
    res = n < 0 ? toward_zero() : away();
  } else if (r < d) {
    res = toward_zero();
  } else if (r > d) {
    res = away();
  } else if (even) {
    res = (a / s) % 2 == 0 ? toward_zero() : away();
  } else if (half_down) {
    res = toward_zero();
  } else if (half_ceiling) {
    res = n < 0 ? toward_zero() : away();
  } else {
    res = away();
  }
  value->w2 = static_cast<uint32_t>(static_cast<int32_t>(res));
  return value;
}

void init() {
  datatype::Registration r{T_INTEGER, 0, "integer!"};
  r.hashes(&hashtable::by_value<2>);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_COMPARE, &compare).set(A_ABSOLUTE, &absolute).set(A_NEGATE, &negate).set(A_POWER, &power);
  r.set(A_ROUND, &round).set(A_EVEN_Q, &even_q).set(A_ODD_Q, &odd_q).set(A_COMPLEMENT, &complement);
  datatype::set_arithmetic<do_math>(r);
  datatype::set_bitwise<do_math>(r);
  datatype::register_type(r);
}

}  // namespace xeb::integer
