// hash!: construction, text and copying of indexed blocks, and the series
// edits inherited from the block that do not keep an index themselves,
// wrapped to rebuild it after they ran.
#include "datatypes/hash.h"

#include <algorithm>
#include <cmath>

#include "datatypes/actions.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace xeb::hash {

namespace {

void reindex(Cell* h) {
  if (is_type(h, T_HASH) && table_node(h))
    hashtable::rehash(table_node(h), static_cast<int32_t>(block::buf(h)->cell_count()));
}

// A block-like value converted as to block! does it, then indexed.
Cell* from_block_to(Cell* out, Cell* spec) {
  Cell* r = block::to(begin_cell(stack::push_new()), spec, T_BLOCK);
  Cell v = *r;
  stack::pop(1);
  *out = v;
  return index_at(out);
}

Cell* copy(Cell* h, Cell* result, Cell* part, int deep, Cell* types) {
  Cell* src = stack::push(h);
  bool whole = series::head(src) == 0 && !part && !deep && !types;
  block::copy(src, result, part, deep, types);
  if (whole) {
    set_table(result, hashtable::copy(table_node(src), series::node_of(result)));
    set_type(result, T_HASH);
  } else {
    index_at(result);
  }
  stack::pop(1);
  return result;
}

Cell* make(Cell* proto, Cell* spec, int) {
  switch (type_of(spec)) {
    case T_INTEGER: case T_FLOAT: {
      double d = is_type(spec, T_INTEGER) ? get_int(spec) : std::trunc(get_double(spec));
      if (!(d >= INT32_MIN && d <= INT32_MAX)) {
        Cell v = *spec;
        fire(Err::out_of_range, &v);
      }
      Cell v = *block::push_only(std::max(static_cast<int32_t>(d), 1));
      stack::pop(1);
      *proto = v;
      return index_at(proto);
    }
    case T_BLOCK: {
      Cell v = *block::clone(spec, false, false);
      stack::pop(1);
      *proto = v;
      return index_at(proto);
    }
    case T_HASH: return copy(spec, proto, nullptr, 0, nullptr);
    default: return from_block_to(proto, spec);
  }
}

Cell* to(Cell* proto, Cell* spec, int) {
  if (is_type(spec, T_HASH)) return copy(spec, proto, nullptr, 0, nullptr);
  return from_block_to(proto, spec);
}

int mold(Cell* h, Cell* out, int only, int all, int flat, Cell* arg, int part, int indent) {
  if (!only) part = actions::emit(out, "make hash! ", part);
  return block::mold(h, out, only, all, flat, arg, part, indent);
}

// The inherited edits, each followed by a rebuild of the index.
template <auto Slot, class Fn, class... A>
Cell* edit(Cell* h, A... a) {
  Cell* held = stack::push(h);
  Cell* r = reinterpret_cast<Fn>(datatype::slot_of(T_BLOCK, Slot))(h, a...);
  reindex(held);
  stack::pop(1);
  return r;
}

Cell* clear(Cell* h) { return edit<A_CLEAR, act::Clear>(h); }
Cell* remove(Cell* h, Cell* part, Cell* key) { return edit<A_REMOVE, act::Remove>(h, part, key); }
// One cell changes: its old value leaves the index and the new one enters.
Cell* poke(Cell* h, int i, Cell* v, Cell* boxed) {
  int64_t p = int64_t{series::head(h)} + i - 1;
  auto poke_slot = reinterpret_cast<act::Poke>(datatype::slot_of(T_BLOCK, A_POKE));
  if (i < 1 || p >= block::buf(h)->cell_count()) return poke_slot(h, i, v, boxed);  // raises
  Cell* held = stack::push(h);
  hashtable::delete_key(table_node(held), block::buf(held)->cells() + p);
  Cell* r = poke_slot(h, i, v, boxed);
  hashtable::put(table_node(held), block::buf(held)->cells() + p);
  stack::pop(1);
  return r;
}

Cell* eval_path(Cell* h, Cell* element, Cell* value, const PathStep& step) {
  if (value && is_type(element, T_INTEGER)) return poke(h, get_int(element), value, element);
  return block::eval_path(h, element, value, step);
}
Cell* reverse(Cell* h, Cell* part, Cell* skip) { return edit<A_REVERSE, act::Reverse>(h, part, skip); }
Cell* take(Cell* h, Cell* part, int deep, int last) { return edit<A_TAKE, act::Take>(h, part, deep, last); }
Cell* move(Cell* origin, Cell* target, int part) {
  Cell* held = stack::push(target);
  Cell* r = edit<A_MOVE, act::Move>(origin, target, part);
  reindex(held);
  stack::pop(1);
  return r;
}

}  // namespace

Cell* index_at(Cell* c) {
  int32_t n = static_cast<int32_t>(block::buf(c)->cell_count());
  set_type(c, T_BLOCK);
  set_table(c, 0);
  Cell* held = stack::push(c);
  Node t = hashtable::init(std::max(n, 1), held, hashtable::Kind::block, 0);
  set_table(held, t);
  set_type(held, T_HASH);
  hashtable::put_all(t, 0, 1);
  *c = *held;
  stack::pop(1);
  return c;
}

void init() {
  datatype::Registration r{T_HASH, T_BLOCK, "hash!"};
  r.hashes(&hashtable::by_words<1, 2>, true);
  r.marks({collector::Holds::nothing, collector::Holds::cells, collector::Holds::table});
  r.set(A_MAKE, &make).set(A_TO, &to).set(A_MOLD, &mold).set(A_COPY, &copy);
  r.set(A_CLEAR, &clear).set(A_REMOVE, &remove).set(A_POKE, &poke).set(A_REVERSE, &reverse).set(A_TAKE, &take);
  r.set(A_MOVE, &move).set(A_EVAL_PATH, &eval_path);
  r.inherit({A_REFLECT, A_FORM, A_COMPARE, A_APPEND, A_AT, A_BACK, A_CHANGE, A_FIND, A_HEAD,
             A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_NEXT, A_PICK, A_PUT, A_SELECT, A_SKIP, A_SWAP, A_TAIL,
             A_TAIL_Q, A_MODIFY, A_SORT, A_TRIM});
  datatype::register_type(r);
}

}  // namespace xeb::hash
