// The path types and paren!: construction and text over block storage.
// Paths mold their values joined by "/" with no brackets and no line breaks;
// their prefix or suffix (' : :) is the only difference between the four.
#include "datatypes/path.h"

#include <cmath>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"

namespace xeb {

namespace {

// Inherits every slot in [from, to].
void inherit_range(datatype::Registration& r, int from, int to) {
  for (int a = from; a <= to; a++) r.inherit({static_cast<Action>(a)});
}

// The path walk shared by form and mold: values joined by "/".
template <class Each>
int walk(Cell* value, Cell* buffer, Cell* arg, int part, bool mold, Each each) {
  std::string_view ph = cycles::detect(value, mold);
  if (!ph.empty()) return actions::emit(buffer, ph, part);
  cycles::push(series::node_of(value));
  int32_t h = block::head_of(value);
  if (h < 0) h = 0;
  for (int32_t i = h;; i++) {
    SeriesBuf* s = block::buf(value);
    if (i >= static_cast<int32_t>(s->cell_count())) break;
    Cell* c = stack::push(s->cells() + i);
    part = each(c, part);
    stack::pop(1);
    if (arg && part <= 0) break;
    if (i + 1 < static_cast<int32_t>(block::buf(value)->cell_count())) part = actions::emit(buffer, "/", part);
  }
  cycles::pop();
  return part;
}

}  // namespace

namespace path {

Cell* make(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (st == T_INTEGER || st == T_FLOAT || st == T_PERCENT) {
    double d = st == T_INTEGER ? get_int(spec) : std::trunc(get_double(spec));
    int32_t n = !(d > 0) ? 0 : d >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(d);  // NaN gives 0
    Cell* c = block::push_only(n == 0 ? 1 : n);
    set_type(c, static_cast<TypeId>(type));
    Cell v = *c;
    stack::pop(1);
    *proto = v;
    return proto;
  }
  if (series::block_like(st)) return block::to(proto, spec, type);
  Cell d = datatype::make_cell(type), v = *spec;
  fire(Err::bad_make_arg, &d, &v);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (st == T_MAP || st == T_OBJECT || st == T_TYPESET) {
    Cell* held = stack::push(spec);
    Cell* c = block::push_only(1);
    block::xs_append(c, held);
    set_type(c, static_cast<TypeId>(type));
    Cell v = *c;
    stack::pop(2);
    *proto = v;
    return proto;
  }
  return block::to(proto, spec, type);
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  return walk(value, buffer, arg, part, false,
              [&](Cell* c, int p) { return actions::form(c, buffer, arg, p); });
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return walk(value, buffer, arg, part, true,
              [&](Cell* c, int p) { return actions::mold(c, buffer, only, all, flat, arg, p, 0); });
}

int lit_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  part = actions::emit(buffer, "'", part);
  return mold(value, buffer, only, all, flat, arg, part, indent);
}

int get_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  part = actions::emit(buffer, ":", part);
  return mold(value, buffer, only, all, flat, arg, part, indent);
}

int set_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  part = mold(value, buffer, only, all, flat, arg, part, indent);
  return actions::emit(buffer, ":", part);
}

Cell* copy(Cell* value, Cell* result, Cell* part, int deep, Cell* types) {
  return block::copy(value, result, part, deep, types);
}

Cell* push(Cell* c) {
  set_type(c, T_PATH);
  return stack::push(c);
}

Cell* make_at(Cell* c, int32_t n) {
  block::make_at(c, n);
  return set_type(c, T_PATH);
}

void init() {
  datatype::Registration p{T_PATH, T_BLOCK, "path!"};
  p.hashes(&hashtable::by_words<1, 2>, true);
  p.marks(block::layout);
  p.set(A_MAKE, &make).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COPY, &copy);
  p.inherit({A_REFLECT, A_EVAL_PATH, A_COMPARE, A_MODIFY});
  inherit_range(p, A_APPEND, A_CLEAR);
  inherit_range(p, A_FIND, A_SELECT);
  inherit_range(p, A_SKIP, A_TAKE);
  datatype::register_type(p);

  struct Child {
    TypeId id;
    const char* name;
    act::Mold mold;
  };
  constexpr Child kChildren[] = {
      {T_LIT_PATH, "lit-path!", &lit_mold},
      {T_SET_PATH, "set-path!", &set_mold},
      {T_GET_PATH, "get-path!", &get_mold},
  };
  for (const Child& c : kChildren) {
    datatype::Registration r{c.id, T_PATH, c.name};
    r.hashes(&hashtable::by_words<1, 2>, true);
    r.marks(block::layout);
    r.set(A_MOLD, c.mold);
    r.inherit({A_MAKE, A_REFLECT, A_TO, A_FORM, A_EVAL_PATH, A_COMPARE, A_MODIFY});
    inherit_range(r, A_APPEND, A_SELECT);
    inherit_range(r, A_SKIP, A_TAKE);
    datatype::register_type(r);
  }
}

}  // namespace path

namespace paren {

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  std::string_view ph = cycles::detect(value, true);
  if (!ph.empty()) return actions::emit(buffer, ph, part);
  if (!only) part = actions::emit(buffer, "(", part);
  part = block::mold_each(value, buffer, only, all, flat, arg, part, indent);
  if (!only) part = actions::emit(buffer, ")", part);
  return part;
}

void init() {
  datatype::Registration r{T_PAREN, T_BLOCK, "paren!"};
  r.hashes(&hashtable::by_words<1, 2>, true);
  r.marks(block::layout);
  r.set(A_MOLD, &mold);
  inherit_range(r, A_MAKE, A_FORM);
  r.inherit({A_EVAL_PATH, A_COMPARE, A_MODIFY});
  inherit_range(r, A_APPEND, A_TAKE);
  datatype::register_type(r);
}

}  // namespace paren

}  // namespace xeb
