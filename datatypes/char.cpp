// char!: helpers, arithmetic on the integer core and the action slots.
#include "datatypes/char.h"

#include <cmath>

#include "datatypes/actions.h"
#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/vector.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::char_ {

namespace {

[[noreturn]] void bad_to_arg(const Cell* spec) {
  Cell t = datatype::make_cell(T_CHAR);
  fire(Err::bad_to_arg, &t, spec);
}

bool in_range(double v) { return v >= 0 && v <= MAX_CODE_POINT; }

}  // namespace

Cell* push(int32_t cp) { return place::pushed(make_cell(cp)); }
Cell* make_in(const Cell* block, int32_t cp) { return place::at_tail(block, make_cell(cp)); }

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  int32_t n;
  switch (type_of(right)) {
    case T_CHAR:
    case T_INTEGER: n = get_int(right); break;
    case T_FLOAT: {
      // Truncated first; a double beyond 32 bits could give no code point
      // with any left operand but by luck, so it is an overflow outright.
      double t = std::trunc(get_double(right));
      if (!(t >= -2147483648.0 && t <= 2147483647.0)) fire(Err::overflow);
      n = static_cast<int32_t>(t);
      break;
    }
    case T_VECTOR: vector::do_math_scalar_first(op); return;
    default: {
      Cell t = datatype::make_cell(type_of(right));
      fire(Err::invalid_type, &t);
    }
  }
  // Divide runs without a result cell: always the truncated quotient.
  Cell scratch = integer::make_cell(0);
  int32_t res = integer::do_math_op(get_int(left), n, op, op == OP_DIV ? nullptr : &scratch);
  if (!is_type(&scratch, T_INTEGER) || res < 0 || res > MAX_CODE_POINT) fire(Err::overflow);
  left->w2 = static_cast<uint32_t>(res);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  int32_t cp = 0;
  switch (type_of(spec)) {
    case T_CHAR:
    case T_INTEGER:
      cp = get_int(spec);
      if (!in_range(cp)) fire(Err::out_of_range, spec);
      break;
    case T_FLOAT:
    case T_PERCENT: {
      double t = std::trunc(get_double(spec));
      if (!in_range(t)) fire(Err::out_of_range, spec);  // NaN fails the test too
      cp = static_cast<int32_t>(t);
      break;
    }
    case T_BINARY: {
      // Never read past the tail: an empty binary or a sequence cut short
      // by the tail cannot make a character.
      int32_t avail = binary::xs_length_q(spec);
      if (avail <= 0) bad_to_arg(spec);
      const auto* p = reinterpret_cast<const uint8_t*>(binary::xs_head(spec));
      int32_t len = avail;
      cp = unicode::decode_utf8_checked(p, &len);
      if (cp < 0) bad_to_arg(spec);
      break;
    }
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
      if (string::xs_length_q(spec) <= 0) bad_to_arg(spec);
      cp = string::char_at(spec, 0);
      break;
    default:
      bad_to_arg(spec);
  }
  *proto = make_cell(cp);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  string::append_char(buffer, get_int(value));
  return part - 1;
}

// The budget counts what was really written: an escape takes up to ten
// characters, and a cut by /part must see them all.
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  int32_t before = string::xs_length_q(buffer);
  string::append_ascii(buffer, "#\"");
  string::mold_char(buffer, get_int(value), all != 0);
  string::append_ascii(buffer, "\"");
  return part - (string::xs_length_q(buffer) - before);
}

int compare(Cell* value1, Cell* value2, int op) {
  if ((op == COMP_STRICT_EQUAL || op == COMP_FIND) && !is_type(value2, T_CHAR)) return 1;
  if (!is_type(value2, T_CHAR) && !is_type(value2, T_INTEGER)) return COMPARE_INVALID;
  int32_t a = get_int(value1), b = get_int(value2);
  return (a > b) - (a < b);
}

void init() {
  datatype::Registration r{T_CHAR, T_INTEGER, "char!"};
  r.hashes(&hashtable::by_value<2>);
  r.set(A_MAKE, &to).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  datatype::set_arithmetic<do_math>(r);
  datatype::set_bitwise<do_math>(r);
  r.inherit({A_RANDOM, A_ABSOLUTE, A_EVEN_Q, A_ODD_Q});
  datatype::register_type(r);
}

}  // namespace xeb::char_
