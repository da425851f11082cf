// point2D! and point3D!: constructors, the arithmetic core and the slots.
#include "datatypes/point.h"

#include <cmath>
#include <string>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/pair.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace xeb::point {

Cell* make_at2(Cell* c, float x, float y) {
  set_coord(c, 0, x);
  set_coord(c, 1, y);
  return set_type(c, T_POINT2D);
}

Cell* make_at3(Cell* c, float x, float y, float z) {
  set_coord(c, 0, x);
  set_coord(c, 1, y);
  set_coord(c, 2, z);
  return set_type(c, T_POINT3D);
}

Cell* push2(float x, float y) { return place::pushed(make_cell2(x, y)); }
Cell* push3(float x, float y, float z) { return place::pushed(make_cell3(x, y, z)); }

int accessor_index(const Cell* word, int dims) {
  if (!any_word(type_of(word))) return 0;
  int32_t sym = word_symbol(word);
  if (words::is(sym, words::W::x)) return 1;
  if (words::is(sym, words::W::y)) return 2;
  if (dims == 3 && words::is(sym, words::W::z)) return 3;
  return 0;
}

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  const int n = dims(left);
  float p[3];
  switch (type_of(right)) {
    case T_INTEGER: p[0] = p[1] = p[2] = static_cast<float>(get_int(right)); break;
    case T_FLOAT:
    case T_PERCENT: {
      float v = static_cast<float>(get_double(right));
      if (op == OP_MUL || op == OP_DIV) {
        for (int i = 0; i < n; i++) set_coord(left, i, op == OP_MUL ? coord(left, i) * v : coord(left, i) / v);
        return;
      }
      p[0] = p[1] = p[2] = v;
      break;
    }
    case T_PAIR:
      if (n == 3) scalar::fire_type(Err::invalid_type, right);
      p[0] = static_cast<float>(pair::x(right));
      p[1] = static_cast<float>(pair::y(right));
      break;
    case T_POINT2D:
    case T_POINT3D:
      if (dims(right) != n) scalar::fire_type(Err::invalid_type, right);
      for (int i = 0; i < n; i++) p[i] = coord(right, i);
      break;
    default: scalar::fire_type(Err::invalid_type, right);
  }
  for (int i = 0; i < n; i++)
    set_coord(left, i, static_cast<float>(float_::do_math_op(coord(left, i), p[i], op)));
}

// --- Slots -----------------------------------------------------------------------

namespace {

bool number_q(const Cell* c) { return is_type(c, T_INTEGER) || is_type(c, T_FLOAT); }

float f32_of(const Cell* c) { return static_cast<float>(scalar::number_of(c)); }

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  const bool three = type == T_POINT3D;
  const int n = three ? 3 : 2;
  float p[3] = {0, 0, 0};
  switch (type_of(spec)) {
    case T_INTEGER:
    case T_FLOAT: p[0] = p[1] = p[2] = f32_of(spec); break;
    case T_PAIR:
      p[0] = static_cast<float>(pair::x(spec));
      p[1] = static_cast<float>(pair::y(spec));
      break;
    case T_POINT2D:
      if (!three) return spec;
      p[0] = x(spec);
      p[1] = y(spec);
      break;
    case T_POINT3D:
      if (!three) scalar::bad_to_arg(type, spec);
      return spec;
    case T_BLOCK: {
      Cell* h = block::xs_head(spec);
      if (block::xs_length_q(spec) < n) fire(Err::malconstruct, spec);
      for (int i = 0; i < n; i++) {
        if (!number_q(h + i)) fire(Err::malconstruct, spec);
        p[i] = f32_of(h + i);
      }
      break;
    }
    default:
      if (scalar::text_type(type_of(spec))) {
        *proto = scalar::load_as(type, spec, true);
        return proto;
      }
      scalar::bad_to_arg(type, spec);
  }
  *proto = three ? make_cell3(p[0], p[1], p[2]) : make_cell2(p[0], p[1]);
  return proto;
}

Cell* random(Cell* value, int seed, int secure, int only) {
  if (seed) return integer::seed_random(value, hashtable::murmur3(value->w, 8));
  for (int i = 0; i < dims(value); i++) {
    float c = coord(value, i);
    if (c != 0.0f) set_coord(value, i, static_cast<float>(float_::random_value(c, secure != 0)));
  }
  return value;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string text = "(";
  for (int i = 0; i < dims(value); i++) {
    char t[dtoa::text_max];
    std::size_t n = float_::form_float(coord(value, i), dtoa::FormKind::point, t);
    if (i) text += ", ";
    text.append(t, n);
  }
  text += ')';
  return scalar::emit(buffer, text, part);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  const int n = dims(parent);
  int i = is_type(element, T_INTEGER) ? get_int(element) : accessor_index(element, n);
  if (i < 1 || i > n) scalar::invalid_path(step.path, parent, element);
  if (!value) return float_::push(coord(parent, i - 1));
  if (!number_q(value)) scalar::fire_type(Err::invalid_type, value);
  set_coord(parent, i - 1, f32_of(value));
  return value;
}

int compare(Cell* value1, Cell* value2, int op) {
  const int n = dims(value1);
  Cell other = *value2;
  if (n == 2 && is_type(&other, T_PAIR))
    other = make_cell2(static_cast<float>(pair::x(value2)), static_cast<float>(pair::y(value2)));
  if (type_of(&other) != type_of(value1)) return COMPARE_INVALID;
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
    case COMP_FIND:
      for (int i = 0; i < n; i++)
        if (!float_::equal_f32_q(coord(value1, i), coord(&other, i))) return 1;
      return 0;
    case COMP_STRICT_EQUAL:
      for (int i = 0; i < n; i++)
        if (coord(value1, i) != coord(&other, i)) return 1;
      return 0;
    case COMP_SAME:
      return value1->w1 == other.w1 && value1->w2 == other.w2 && (n == 2 || value1->w3 == other.w3) ? 0 : 1;
    default: break;
  }
  float d = 0;
  for (int i = 0; i < n; i++) {
    d = coord(value1, i) - coord(&other, i);
    if (!float_::equal_f32_q(d, 0.0f)) break;
  }
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

void absolute() {
  Cell* v = stack::base();
  for (int i = 0; i < dims(v); i++) set_coord(v, i, std::fabs(coord(v, i)));
}

Cell* negate(Cell* v) {
  for (int i = 0; i < dims(v); i++) set_coord(v, i, 0.0f - coord(v, i));
  return v;
}

Cell* round(Cell* v, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling) {
  float_::check_round_scale(scale);
  for (int i = 0; i < dims(v); i++) {
    Cell c = float_::make_cell(coord(v, i));
    Cell s;
    Cell* sp = scale;
    if (scale && is_type(scale, T_PAIR)) {
      s = integer::make_cell(i == 0 ? pair::x(scale) : i == 1 ? pair::y(scale) : 1);
      sp = &s;
    } else if (scale && (is_type(scale, T_POINT2D) || is_type(scale, T_POINT3D))) {
      s = float_::make_cell(i < dims(scale) ? coord(scale, i) : 1.0f);
      sp = &s;
    }
    Cell* r = float_::round(&c, sp, even, down, half_down, floor, ceiling, half_ceiling);
    set_coord(v, i, f32_of(r));
  }
  return v;
}

Cell* pick(Cell* value, int index, Cell* boxed) {
  const int n = dims(value);
  int i = index;
  if (boxed && any_word(type_of(boxed))) {
    i = accessor_index(boxed, n);
    if (!i) fire(Err::cannot_use, boxed, value);
  } else if (!boxed || !is_type(boxed, T_INTEGER)) {
    i = 0;
  }
  if (i < 1 || i > n) fire(Err::out_of_range, boxed);
  return float_::push(coord(value, i - 1));
}

Cell* reverse(Cell* value, Cell* part, Cell* skip) {
  float a = coord(value, 0);
  int last = dims(value) - 1;
  set_coord(value, 0, coord(value, last));
  set_coord(value, last, a);
  return value;
}

uint32_t hash_coords(const float* coords, int n) {
  float k[3] = {};
  for (int i = 0; i < n; i++) k[i] = coords[i] == 0.0f ? 0.0f : coords[i];  // -0 equals 0
  return hashtable::murmur3(k, sizeof(float) * static_cast<size_t>(n));
}

namespace {

template <int N>
uint32_t hash(const Cell* c, bool) {
  float k[N];
  for (int i = 0; i < N; i++) k[i] = coord(c, i);
  return hash_coords(k, N);
}

void register_point(TypeId id, const char* name) {
  datatype::Registration r{id, 0, name};
  r.hashes(id == T_POINT2D ? &hash<2> : &hash<3>);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_ABSOLUTE, &absolute).set(A_NEGATE, &negate);
  r.set(A_ROUND, &round).set(A_PICK, &pick).set(A_REVERSE, &reverse);
  datatype::set_arithmetic<do_math>(r);
  datatype::register_type(r);
}

}  // namespace

void init() {
  register_point(T_POINT2D, "point2D!");
  register_point(T_POINT3D, "point3D!");
}

}  // namespace xeb::point
