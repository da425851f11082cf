// unset!, none! and logic!: the three simplest types, their shared fixed
// cells and the truth tests of compiled conditionals.
#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb {

Cell fixed_unset{T_UNSET, 0, 0, 0};
Cell fixed_none{T_NONE, 0, 0, 0};
Cell fixed_true{T_LOGIC, 1, 0, 0};
Cell fixed_false{T_LOGIC, 0, 0, 0};

namespace {

Cell* push_typed(TypeId t) { return place::pushed(Cell{t, 0, 0, 0}); }

// Compare of a type with one value: equal to itself, unordered.
template <TypeId T>
int unit_compare(Cell*, Cell* v2, int op) {
  if (!is_type(v2, T)) return COMPARE_INVALID;
  return equality_op(op) ? 0 : COMPARE_INVALID;
}

// --- unset! ---
Cell* unset_make(Cell*, Cell*, int) { return push_typed(T_UNSET); }
int unset_form(Cell*, Cell*, Cell*, int part) { return part; }
int unset_mold(Cell*, Cell* buf, int, int all, int, Cell*, int part, int) {
  return actions::emit(buf, all ? "#(unset)" : "unset", part);
}

// --- none! ---
Cell* none_make(Cell*, Cell*, int) { return push_typed(T_NONE); }
int none_form(Cell*, Cell* buf, Cell*, int part) { return actions::emit(buf, "none", part); }
int none_mold(Cell*, Cell* buf, int, int all, int, Cell*, int part, int) {
  return actions::emit(buf, all ? "#(none)" : "none", part);
}
Cell* none_result() { return none::push_last(); }
Cell* none_clear(Cell*) { return none_result(); }
Cell* none_find(Cell*, Cell*, Cell*, int, int, int, int, Cell*, Cell*, int, int, int, int) { return none_result(); }
int none_length(Cell*) { return -1; }
Cell* none_remove(Cell*, Cell*, Cell*) { return none_result(); }
Cell* none_select(Cell*, Cell*, Cell*, int, int, int, int, Cell*, Cell*, int, int) { return none_result(); }
Cell* none_take(Cell*, Cell*, int, int) { return none_result(); }

// --- logic! ---
// The one generator of the language: seeding true seeds it with 1, and a
// draw above 0x3FFFFFFF comes out true.
int32_t draw(bool secure) {
  const auto& h = integer::random_hooks;
  if (!h.next || !h.secure_next) fire(Err::not_done);
  return secure ? h.secure_next() : h.next();
}

Cell* logic_to(Cell*, Cell* spec, int) {
  if (is_type(spec, T_LOGIC)) return spec;
  return is_type(spec, T_NONE) ? &fixed_false : &fixed_true;
}

Cell* logic_make(Cell* proto, Cell* spec, int type) {
  bool flag;
  switch (type_of(spec)) {
    case T_INTEGER:
      flag = get_int(spec) != 0;
      break;
    case T_FLOAT: case T_PERCENT: {
      double d = get_double(spec);
      flag = !(d == 0.0);  // a NaN is true
      break;
    }
    default:
      flag = logic_to(proto, spec, type)->w1 == 1;
      break;
  }
  *proto = Cell{T_LOGIC, flag ? 1u : 0u, 0, 0};
  return proto;
}

Cell* logic_random(Cell* value, int seed, int secure, int) {
  if (seed) return integer::seed_random(value, value->w1);
  value->w1 = draw(secure) > 0x3FFFFFFF ? 1 : 0;
  return value;
}

int logic_form(Cell* value, Cell* buf, Cell*, int part) {
  return actions::emit(buf, value->w1 == 1 ? "true" : "false", part);
}
int logic_mold(Cell* value, Cell* buf, int, int all, int, Cell*, int part, int) {
  bool t = value->w1 == 1;
  if (all) return actions::emit(buf, t ? "#(true)" : "#(false)", part);
  return actions::emit(buf, t ? "true" : "false", part);
}
int logic_compare(Cell* v1, Cell* v2, int op) {
  if (!is_type(v2, T_LOGIC)) return COMPARE_INVALID;
  if (!equality_op(op)) return COMPARE_INVALID;
  return static_cast<int>(v1->w1) - static_cast<int>(v2->w1);
}
Cell* logic_complement(Cell* value) {
  value->w1 ^= 1;
  return value;
}

void bitwise(int op) {
  Cell* v1 = stack::base();
  Cell* v2 = v1 + 1;
  if (!is_type(v2, T_LOGIC)) {
    Cell fn, type = datatype::make_cell(type_of(v2)), param;
    stack::caller_word(&fn);
    Cell* f = stack::push(&fn);
    Cell* t = stack::push(&type);
    error::get_call_argument(1, &param);
    Cell* p = stack::push(&param);
    fire(Err::expect_arg, f, t, p);
  }
  switch (op) {
    case OP_AND: v1->w1 &= v2->w1; break;
    case OP_OR: v1->w1 |= v2->w1; break;
    default: v1->w1 ^= v2->w1; break;
  }
}
void logic_and() { bitwise(OP_AND); }
void logic_or() { bitwise(OP_OR); }
void logic_xor() { bitwise(OP_XOR); }

}  // namespace

namespace unset {
void init() {
  fixed_unset = Cell{T_UNSET, 0, 0, 0};
  datatype::Registration r{T_UNSET, 0, "unset!"};
  r.hashes([](const Cell*, bool) { return 0xFFFFFFFEu; });
  r.set(A_MAKE, &unset_make).set(A_TO, &unset_make).set(A_FORM, &unset_form).set(A_MOLD, &unset_mold)
      .set(A_COMPARE, &unit_compare<T_UNSET>);
  datatype::register_type(r);
}
Cell* push_last() { return place::at_base(Cell{T_UNSET, 0, 0, 0}); }
Cell* make_in(const Cell* block) { return place::at_tail(block, Cell{T_UNSET, 0, 0, 0}); }
Cell* push() { return push_typed(T_UNSET); }
}  // namespace unset

namespace none {
void init() {
  fixed_none = Cell{T_NONE, 0, 0, 0};
  datatype::Registration r{T_NONE, 0, "none!"};
  r.hashes([](const Cell*, bool) { return 0xFFFFFFFFu; });
  r.set(A_MAKE, &none_make).set(A_TO, &none_make).set(A_FORM, &none_form).set(A_MOLD, &none_mold)
      .set(A_COMPARE, &unit_compare<T_NONE>).set(A_CLEAR, &none_clear).set(A_FIND, &none_find)
      .set(A_LENGTH_Q, &none_length).set(A_REMOVE, &none_remove).set(A_SELECT, &none_select)
      .set(A_TAKE, &none_take);
  datatype::register_type(r);
}
Cell* push_last() { return place::at_base(Cell{T_NONE, 0, 0, 0}); }
Cell* make_in(const Cell* block) { return place::at_tail(block, Cell{T_NONE, 0, 0, 0}); }
Cell* push() { return push_typed(T_NONE); }
}  // namespace none

namespace logic {
void init() {
  fixed_true = Cell{T_LOGIC, 1, 0, 0};
  fixed_false = Cell{T_LOGIC, 0, 0, 0};
  datatype::Registration r{T_LOGIC, 0, "logic!"};
  r.hashes(&hashtable::by_word<1>);
  r.set(A_MAKE, &logic_make).set(A_RANDOM, &logic_random).set(A_TO, &logic_to).set(A_FORM, &logic_form)
      .set(A_MOLD, &logic_mold).set(A_COMPARE, &logic_compare).set(A_AND_T, &logic_and)
      .set(A_COMPLEMENT, &logic_complement).set(A_OR_T, &logic_or).set(A_XOR_T, &logic_xor);
  datatype::register_type(r);
}
Cell* box(int flag) { return place::at_base(Cell{T_LOGIC, static_cast<uint32_t>(flag), 0, 0}); }
Cell* make_in(const Cell* block, int flag) {
  return place::at_tail(block, Cell{T_LOGIC, static_cast<uint32_t>(flag), 0, 0});
}
Cell* push(int flag) { return place::pushed(Cell{T_LOGIC, static_cast<uint32_t>(flag), 0, 0}); }
int false_q() { return is_false(stack::base()) ? 1 : 0; }
int true_strict_q() {
  if (is_type(stack::base(), T_UNSET)) fire(Err::no_return);
  return is_false(stack::base()) ? 0 : 1;
}
int value_true_q(const Cell* c, bool check, const Cell* arg) {
  if (check && is_type(c, T_UNSET)) fire(Err::no_value, arg);
  return is_false(c) ? 0 : 1;
}
int top_false_q() {
  const Cell* c = stack::top() > stack::base() ? stack::top() - 1 : stack::base();
  return is_false(c) ? 1 : 0;
}
}  // namespace logic

}  // namespace xeb
