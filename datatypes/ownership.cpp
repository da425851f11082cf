// The ownership table: a node-keyed hash table of records [owned value,
// owner object, field word]. Weak: records whose series or owner died are
// dropped at each collection, so ownership never keeps anything alive.
#include "datatypes/ownership.h"

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/hashtable.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"

namespace xeb::ownership {

namespace {

Node tbl = 0;
XEB_KEPT_WITH_HEAP(tbl);

void mark_table() {
  if (tbl) hashtable::mark(&tbl);
}
void sweep_table() {
  if (tbl) hashtable::sweep_records(tbl);
}

bool keyed_series(TypeId t) {
  switch (t) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY: case T_VECTOR:
    case T_BITSET: case T_IMAGE:
      return true;
    default:
      return false;
  }
}

// Records v (on a root) as owned by owner through word, and what it holds.
void bind_value(Cell* v, Cell* owner, Cell* word) {
  TypeId t = type_of(v);
  if (keyed_series(t)) {
    Node n = series::node_of(v);
    if (!n) return;  // an image without pixels
    if (!(buf_of(n)->flags & SER_OWNED)) {
      buf_of(n)->flags |= SER_OWNED;
      Cell rec[3] = {*v, *owner, word ? *word : fixed_none};
      Cell* slot = hashtable::put_ptr(tbl, n);
      slot[0] = rec[0];
      slot[1] = rec[1];
      slot[2] = rec[2];
    }
    if (series::block_like(t) && !cycles::find(n)) {
      cycles::push(n);
      int32_t len = static_cast<int32_t>(buf_of(n)->cell_count());
      for (int32_t i = series::head(v); i < len; i++) {
        Cell* c = stack::push(buf_of(n)->cells() + i);
        bind_value(c, owner, word);
        stack::pop(1);
      }
      cycles::pop();
    }
  } else if (t == T_OBJECT) {
    Node ctx = object::context_of(v);
    if ((context::cell(ctx)->header & HDR_OWNS_SERIES) || cycles::find(ctx)) return;
    cycles::push(ctx);
    int32_t n = context::size(ctx);
    for (int32_t i = 0; i < n; i++) {
      Cell* c = stack::push(context::values(ctx) + i);
      if (!(is_type(c, T_OBJECT) && object::context_of(c) == object::context_of(owner))) {
        // An object reached through a field is owned through that field.
        Cell* w = stack::push(word ? word : context::word_at(ctx, i));
        bind_value(c, owner, w);
      }
      stack::pop(is_type(c, T_OBJECT) && object::context_of(c) == object::context_of(owner) ? 1 : 2);
    }
    cycles::pop();
  }
}

int unbind_value(Cell* v) {
  TypeId t = type_of(v);
  if (t == T_OBJECT) {
    Node ctx = object::context_of(v);
    if (cycles::find(ctx) || (context::cell(ctx)->header & HDR_OWNS_SERIES)) return 0;
    cycles::push(ctx);
    for (int32_t i = 0, n = context::size(ctx); i < n; i++) {
      Cell* c = stack::push(context::values(ctx) + i);
      unbind_value(c);
      stack::pop(1);
    }
    cycles::pop();
    return 1;
  }
  if (!keyed_series(t)) return 0;
  Node n = series::node_of(v);
  if (!n) return 0;
  buf_of(n)->flags &= ~SER_OWNED;
  Cell* rec = hashtable::get_ptr(tbl, n);
  if (!rec) return 0;
  rec[0] = rec[1] = rec[2] = fixed_unset;
  hashtable::remove_ptr(tbl, n);
  if (series::block_like(t)) {
    int32_t len = static_cast<int32_t>(buf_of(n)->cell_count());
    for (int32_t i = series::head(v); i < len; i++) {
      Cell* c = stack::push(buf_of(n)->cells() + i);
      unbind_value(c);
      stack::pop(1);
    }
  }
  return 1;
}

}  // namespace

void adopt() {
  static bool registered = false;
  if (!registered) {
    collector::add_root_marker(mark_table);
    collector::add_weak_sweeper(sweep_table);
    registered = true;
  }
}

void init() {
  adopt();
  tbl = hashtable::init(1000, nullptr, hashtable::Kind::node, 3);
}

Node table() { return tbl; }

void bind(Cell* value, Cell* owner, Cell* word) {
  // modify's [owner field] block comes from the user: the owner must be an
  // object and the field a word (a number was read as an object's context).
  if (!is_type(owner, T_OBJECT)) fire(Err::invalid_arg, owner);
  if (word && !any_word(type_of(word))) fire(Err::invalid_arg, word);
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  Cell* v = stack::push(value);
  Cell* o = stack::push(owner);
  Cell* w = word ? stack::push(word) : nullptr;
  if (is_type(v, T_OBJECT) && object::context_of(v) == object::context_of(o)) {
    // The owner itself: each field with its own word.
    Node ctx = object::context_of(o);
    if (!cycles::find(ctx)) {
      cycles::push(ctx);
      for (int32_t i = 0, n = context::size(ctx); i < n; i++) {
        Cell* c = stack::push(context::values(ctx) + i);
        Cell* fw = stack::push(context::word_at(ctx, i));
        if (!(is_type(c, T_OBJECT) && object::context_of(c) == ctx)) bind_value(c, o, fw);
        stack::pop(2);
      }
      cycles::pop();
    }
  } else {
    bind_value(v, o, w);
  }
  context::cell(object::context_of(o))->header |= HDR_OWNS_SERIES;
  stack::set_top(saved);
}

int unbind(Cell* value) {
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  Cell* v = stack::push(value);
  int r = unbind_value(v);
  stack::set_top(saved);
  return r;
}

Cell* owner_of(Node series) {
  Cell* rec = hashtable::get_ptr(tbl, series);
  return rec ? rec + 1 : &fixed_none;
}

int check(Cell* value, Cell* action, Cell* arg, int32_t index, int32_t part) {
  Node key = is_type(value, T_OBJECT) ? object::context_of(value) : series::node_of(value);
  Cell* rec = hashtable::get_ptr(tbl, key);
  if (!rec || !object::hooks_of(&rec[1])) return 0;
  Cell* saved = stack::top();
  Cell* owner = stack::push(rec + 1);
  Cell* word = stack::push(rec + 2);
  Cell* target = stack::push(value);
  Cell* act = stack::push(action);
  Cell* a = arg ? stack::push(arg) : nullptr;
  object::fire_on_deep_change(owner, word, target, act, a, index, part);
  stack::set_top(saved);
  return 1;
}

}  // namespace xeb::ownership
