// pair!: constructors, the arithmetic core and the action slots.
#include "datatypes/pair.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/object.h"
#include "datatypes/place.h"
#include "datatypes/point.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"

namespace xeb::pair {

Cell* make_at(Cell* c, int32_t x, int32_t y) {
  set_x(c, x);
  set_y(c, y);
  c->w1 = 0;
  return set_type(c, T_PAIR);
}

Cell* make_in(const Cell* block, int32_t x, int32_t y) { return place::at_tail(block, make_cell(x, y)); }
Cell* push(int32_t x, int32_t y) { return place::pushed(make_cell(x, y)); }

int32_t to_int(const Cell* v) {
  if (is_type(v, T_INTEGER)) return get_int(v);
  double d = get_double(v);
  if (!(d > -2147483649.0 && d < 2147483648.0)) fire(Err::out_of_range, v);
  return static_cast<int32_t>(std::trunc(d));
}

void to_point(int i) {
  Cell* c = stack::base() + i;
  *c = point::make_cell2(static_cast<float>(x(c)), static_cast<float>(y(c)));
}

int axis(const Cell* word, const Cell* context) {
  if (any_word(type_of(word))) {
    int32_t sym = word_symbol(word);
    if (words::is(sym, words::W::x)) return 1;
    if (words::is(sym, words::W::y)) return 2;
  }
  if (is_type(context, T_PAIR)) fire(Err::cannot_use, word, context);
  fire(Err::invalid_path, context, word);
}

namespace {

// Hands the operation to the point2D! core with both operands as points;
// (x2, y2) is the second operand as this core read it.
void redo_as_points(int op, int32_t x2, int32_t y2) {
  Cell* right = stack::base() + 1;
  if (!is_type(right, T_POINT2D)) *right = make_cell(x2, y2);
  to_point(0);
  if (is_type(right, T_PAIR)) to_point(1);
  point::do_math(op);
}

// One coordinate by the integer core; false when the result is no integer.
bool coord_math(int32_t a, int32_t b, int op, int32_t* out) {
  Cell r = integer::make_cell(0);
  *out = integer::do_math_op(a, b, op, &r);
  return is_type(&r, T_INTEGER);
}

}  // namespace

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  int32_t x2, y2;
  switch (type_of(right)) {
    case T_PAIR: x2 = x(right); y2 = y(right); break;
    case T_INTEGER: x2 = y2 = get_int(right); break;
    case T_POINT2D: redo_as_points(op, 0, 0); return;
    case T_FLOAT:
    case T_PERCENT: {
      double f = get_double(right);
      if (op == OP_MUL || op == OP_DIV) {
        if (op == OP_MUL ? float_::special_q(f) : std::isnan(f)) fire(Err::invalid_arg, right);
        double px = x(left), py = y(left);
        *left = op == OP_MUL ? point::make_cell2(float(px * f), float(py * f))
                             : point::make_cell2(float(px / f), float(py / f));
        return;
      }
      if (float_::special_q(f)) fire(Err::invalid_arg, right);
      x2 = y2 = to_int(right);
      break;
    }
    default: scalar::fire_type(Err::invalid_type, right);
  }
  int32_t rx, ry;
  if (!coord_math(x(left), x2, op, &rx) || !coord_math(y(left), y2, op, &ry)) {
    redo_as_points(op, x2, y2);
    return;
  }
  set_x(left, rx);
  set_y(left, ry);
}

// --- Slots -----------------------------------------------------------------------

namespace {

bool number_q(const Cell* c) { return is_type(c, T_INTEGER) || is_type(c, T_FLOAT); }

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_PAIR: return spec;
    case T_INTEGER: return make_at(proto, get_int(spec), get_int(spec));
    case T_FLOAT: {
      int32_t v = to_int(spec);
      return make_at(proto, v, v);
    }
    case T_POINT2D: {
      float px = point::x(spec), py = point::y(spec);
      if (!std::isfinite(px) || !std::isfinite(py)) fire(Err::invalid_arg, spec);
      Cell fx = float_::make_cell(px), fy = float_::make_cell(py);
      return make_at(proto, to_int(&fx), to_int(&fy));
    }
    case T_BLOCK: {
      Cell* h = block::xs_head(spec);
      if (block::xs_length_q(spec) < 2 || !number_q(h) || !number_q(h + 1)) fire(Err::malconstruct, spec);
      int32_t px = to_int(h), py = to_int(h + 1);
      return make_at(proto, px, py);
    }
    default:
      if (scalar::text_type(type_of(spec))) {
        *proto = scalar::load_as(T_PAIR, spec, true);
        return proto;
      }
      scalar::bad_to_arg(T_PAIR, spec);
  }
}

Cell* random(Cell* value, int seed, int secure, int only) {
  const auto& h = integer::random_hooks;
  if (seed) return integer::seed_random(value, value->w2 ^ value->w3);
  if (!h.int_range) fire(Err::not_done);
  if (x(value)) set_x(value, h.int_range(secure != 0, x(value)));
  if (y(value)) set_y(value, h.int_range(secure != 0, y(value)));
  return value;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  char text[32];
  std::size_t n = std::strlen(std::strcpy(text, integer::to_c_string(x(value))));
  text[n++] = 'x';
  std::strcpy(text + n, integer::to_c_string(y(value)));
  n = std::strlen(text);
  string::append_ascii(buffer, std::string_view(text, n));
  return part - static_cast<int>(n);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int i = is_type(element, T_INTEGER) ? get_int(element) : 0;
  if (is_type(element, T_WORD)) i = axis(element, step.path ? step.path : parent);
  if (i != 1 && i != 2) scalar::invalid_path(step.path, parent, element);
  if (!value) return integer::push(i == 1 ? x(parent) : y(parent));
  if (!is_type(value, T_INTEGER)) scalar::fire_type(Err::invalid_type, value);
  if (i == 1) set_x(parent, get_int(value));
  else set_y(parent, get_int(value));
  return value;
}

int compare(Cell* value1, Cell* value2, int op) {
  if (is_type(value2, T_POINT2D)) {
    Cell p = point::make_cell2(float(x(value1)), float(y(value1)));
    return point::compare(&p, value2, op);
  }
  if (!is_type(value2, T_PAIR)) return COMPARE_INVALID;
  int32_t a = x(value1), b = x(value2);
  if (a == b) a = y(value1), b = y(value2);
  return (a > b) - (a < b);
}

void absolute() {
  Cell* v = stack::base();
  set_x(v, integer::abs(x(v)));
  set_y(v, integer::abs(y(v)));
}

Cell* negate(Cell* n) {
  set_x(n, static_cast<int32_t>(0u - n->w2));
  set_y(n, static_cast<int32_t>(0u - n->w3));
  return n;
}

Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling) {
  float_::check_round_scale(scale);
  int32_t c[2] = {x(n), y(n)};
  for (int i = 0; i < 2; i++) {
    Cell v = integer::make_cell(c[i]);
    Cell s;
    Cell* sp = scale;
    if (scale && is_type(scale, T_PAIR)) {
      s = integer::make_cell(i == 0 ? x(scale) : y(scale));
      sp = &s;
    }
    Cell* r = datatype::slot<act::Round>(T_INTEGER, A_ROUND)(&v, sp, even, down, half_down, floor, ceiling,
                                                             half_ceiling);
    c[i] = to_int(r);
  }
  set_x(n, c[0]);
  set_y(n, c[1]);
  return n;
}

Cell* pick(Cell* value, int index, Cell* boxed) {
  int i = index;
  if (boxed && any_word(type_of(boxed))) i = axis(boxed, value);
  else if (!boxed || !is_type(boxed, T_INTEGER)) i = 0;
  if (i != 1 && i != 2) fire(Err::out_of_range, boxed);
  return integer::push(i == 1 ? x(value) : y(value));
}

Cell* reverse(Cell* value, Cell* part, Cell* skip) {
  std::swap(value->w2, value->w3);
  return value;
}

// A pair equals the point2D! it converts to, so it hashes as that point.
uint32_t hash(const Cell* c, bool) {
  const float k[2] = {float(x(c)), float(y(c))};
  return point::hash_coords(k, 2);
}

void init() {
  datatype::Registration r{T_PAIR, 0, "pair!"};
  r.hashes(&hash);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_ABSOLUTE, &absolute).set(A_NEGATE, &negate);
  r.set(A_ROUND, &round).set(A_PICK, &pick).set(A_REVERSE, &reverse);
  datatype::set_arithmetic<do_math>(r);
  datatype::set_bitwise<do_math>(r);
  datatype::register_type(r);
}

}  // namespace xeb::pair
