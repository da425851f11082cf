// Block storage: reading, growing and editing cell buffers, making and
// cloning blocks, and the registration of block!.
#include "datatypes/block.h"

#include <algorithm>
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/hash.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "datatypes/dispatch.h"
#include "datatypes/block_internal.h"
#include "runtime/counts.h"
#include "runtime/cycle.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/stamp.h"

namespace xeb::block {

namespace {
Cell scratch{T_UNSET, 0, 0, 0};  // target of make_in without a parent
}  // namespace

// --- Internal helpers ---------------------------------------------------------

SeriesBuf* reserve(Cell* b, int64_t n) {
  if (n > INT32_MAX / 16) fire(Err::no_memory);
  return memory::reserve_tail(buf(b), n * 16);
}

Node index_of(const Cell* b) { return is_type(b, T_HASH) ? hash::table_node(b) : 0; }

int32_t clamped_head(Cell* b) {
  int32_t n = static_cast<int32_t>(buf(b)->cell_count());
  if (head_of(b) > n) set_head(b, n);
  if (head_of(b) < 0) set_head(b, 0);
  return head_of(b);
}

int32_t length_from_head(Cell* b) { return static_cast<int32_t>(buf(b)->cell_count()) - clamped_head(b); }

bool is_number(int t) { return t == T_INTEGER || t == T_FLOAT || t == T_PERCENT; }

// --- Reading -------------------------------------------------------------------

int32_t xs_length_q(const Cell* b) { return static_cast<int32_t>(buf(b)->cell_count()) - head_of(b); }

Cell* xs_head(Cell* b) {
  SeriesBuf* s = buf(b);
  int32_t n = static_cast<int32_t>(s->cell_count());
  if (head_of(b) > n) set_head(b, n);
  return s->cells() + head_of(b);
}

Cell* xs_tail(const Cell* b) { return buf(b)->cells_tail(); }
bool xs_tail_q(const Cell* b) { return head_of(b) == static_cast<int32_t>(buf(b)->cell_count()); }
Cell* xs_abs_at(const Cell* b, int32_t index) { return buf(b)->cells() + index; }

bool xs_next(Cell* b) {
  int32_t n = static_cast<int32_t>(buf(b)->cell_count());
  if (head_of(b) < n) set_head(b, head_of(b) + 1);
  return head_of(b) >= n;
}

// --- Changing ---------------------------------------------------------------------

SeriesBuf* xs_set_tail(Cell* b, int32_t n) {
  stamp::bump(series::node_of(b));
  SeriesBuf* s = buf(b);
  s->tail = s->head + static_cast<Off>(n) * 16;
  return s;
}

void xs_clear(Cell* b) {
  if (head_of(b) < static_cast<int32_t>(buf(b)->cell_count())) xs_set_tail(b, std::max(head_of(b), 0));
}

Cell* xs_append(Cell* b, const Cell* value) {
  Cell v = *value;
  Cell* c = memory::new_tail_cell(b);
  *c = v;
  return c;
}

Cell* xs_append_values(Cell* dst, const Cell* src) {
  Cell* s = stack::push(src);
  int32_t n = std::max(xs_length_q(s), 0);
  if (n > 0) {
    stamp::bump(series::node_of(dst));
    SeriesBuf* d = reserve(dst, n);
    Cell* from = buf(s)->cells() + head_of(s);  // after the growth: re-read
    std::memmove(d->cells_tail(), from, static_cast<size_t>(n) * 16);
    d->tail += static_cast<Off>(n) * 16;
  }
  stack::pop(1);
  return dst;
}

void xs_remove_last(Cell* b) {
  stamp::bump(series::node_of(b));
  SeriesBuf* s = buf(b);
  if (s->cell_count() < 1) return;
  s->tail -= 16;
  int32_t n = static_cast<int32_t>(s->cell_count());
  if (head_of(b) > n) set_head(b, n);
}

Cell* insert_value(Cell* b, const Cell* value, bool advance, bool at_start) {
  Cell v = *value;
  stamp::bump(series::node_of(b));
  SeriesBuf* s = reserve(b, 1);
  int32_t n = static_cast<int32_t>(s->cell_count());
  int32_t at = at_start ? 0 : std::clamp(head_of(b), 0, n);
  Cell* p = s->cells() + at;
  Node t = index_of(b);
  bool rebuild = false;
  if (at < n) {
    std::memmove(p + 1, p, static_cast<size_t>(n - at) * 16);
    if (t) rebuild = hashtable::refresh_range(t, 1, at, n - at, true) != 0;
  }
  if (t) {
    s = buf(b);  // growing the index may have moved every buffer
    p = s->cells() + at;
  }
  s->tail += 16;
  *p = v;
  if (t && rebuild) hashtable::rehash(t, n + 1);
  else if (t) hashtable::put(t, buf(b)->cells() + at);
  if (advance) set_head(b, head_of(b) + 1);
  return b;
}

Cell* insert_block(Cell* dst, const Cell* src) {
  Cell* s = stack::push(src);
  int32_t n = std::max(xs_length_q(s), 0);
  for (int32_t i = 0; i < n; i++) {
    Cell v = buf(s)->cells()[head_of(s) + i];
    insert_value(dst, &v, true, false);
  }
  stack::pop(1);
  return dst;
}

void insert_value_last() {
  Cell* top = stack::top_cell();
  insert_value(top - 1, top, true, false);
}

void append_last() {
  Cell* top = stack::top_cell();
  Cell* c = xs_append(top - 1, top);
  if (Node t = index_of(top - 1)) hashtable::put(t, c);
}

Cell* append_arg() {
  Cell* r = stack::base();
  Cell* c = xs_append(r, r + 1);
  if (Node t = index_of(r)) hashtable::put(t, c);
  return r;
}

int remove_value(Cell* b, const Cell* value, bool from_start) {
  Cell v = *value;
  NoCollection hold;
  stamp::bump(series::node_of(b));
  SeriesBuf* s = buf(b);
  int32_t n = static_cast<int32_t>(s->cell_count());
  int32_t from = from_start ? 0 : std::clamp(head_of(b), 0, n);
  for (int32_t i = from; i < n; i++) {
    Cell* c = s->cells() + i;
    if (actions::compare(&v, c, COMP_FIND) != 0) continue;
    std::memmove(c, c + 1, static_cast<size_t>(n - i - 1) * 16);
    s->tail -= 16;
    return i <= head_of(b) ? 1 : 0;
  }
  return 0;
}

// --- Searching ------------------------------------------------------------------------

Cell* select_word(Cell* b, const Cell* word, bool strict) {
  int32_t sym = word_symbol(word);
  int32_t canon = strict ? sym : symbol::resolve(sym);
  Cell* c = xs_head(b);
  Cell* end = xs_tail(b);
  for (; c < end; c++) {
    int t = type_of(c);
    if (t < T_WORD || t > T_GET_WORD) continue;
    int32_t s = word_symbol(c);
    if (s == sym || (!strict && symbol::resolve(s) == canon)) return c + 1 < end ? c + 1 : &fixed_none;
  }
  return &fixed_none;
}

Cell* select_value(Cell* b, const Cell* value) {
  Cell v = *value;
  NoCollection hold;
  Cell* c = xs_head(b);
  Cell* end = xs_tail(b);
  for (; c < end; c++)
    if (actions::compare(&v, c, COMP_FIND) == 0) return c + 1 < end ? c + 1 : &fixed_none;
  return &fixed_none;
}

// --- Making ------------------------------------------------------------------------------

Cell* make_at(Cell* c, int32_t n) {
  set_type(c, T_UNSET);
  c->w1 = 0;
  Node node = memory::alloc_cell_buffer(n < 0 ? 1 : n);
  c->w2 = node;
  c->w3 = 0;
  set_type(c, T_BLOCK);
  return c;
}

Cell* make_fixed_at(Cell* c, int32_t n, bool heap) {
  begin_cell(c);
  c->w1 = 0;
  if (n < 0) n = 1;
  c->w2 = heap ? memory::alloc_heap_series(n, 16, 0) : memory::alloc_cells(n);
  c->w3 = 0;
  c->header = T_BLOCK;
  return c;
}

namespace {
Cell* make_in_with(Cell* parent, int32_t n, bool fixed) {
  if (!parent) return fixed ? make_fixed_at(&scratch, n, true) : make_at(&scratch, n);
  // Built on the data stack, where it is a root, then stored.
  Cell* tmp = stack::push(&fixed_unset);
  if (fixed) make_fixed_at(tmp, n, true);
  else make_at(tmp, n);
  Cell* c = xs_append(parent, tmp);
  stack::pop(1);
  return c;
}
}  // namespace

Cell* make_in(Cell* parent, int32_t n) { return make_in_with(parent, n, false); }
Cell* make_fixed_in(Cell* parent, int32_t n) { return make_in_with(parent, n, true); }

Cell* push_only(int32_t n) {
  Cell* c = begin_cell(stack::push_new());
  return make_at(c, n == 0 ? 1 : n);
}

Cell* push(const Cell* value) { return stack::push(value); }

Cell* clone(const Cell* b, bool deep, bool any, const CloneVisit* visit) {
  Cell* src = stack::push(b);
  int32_t n = length_from_head(src);
  Cell* r = begin_cell(stack::push_new());
  r->w1 = 0;
  r->w3 = 0;
  r->w2 = memory::alloc_cell_buffer(n > 0 ? n : 1);
  r->header = T_BLOCK;
  SeriesBuf* d = buf(r);
  std::memcpy(d->cells(), buf(src)->cells() + head_of(src), static_cast<size_t>(n) * 16);
  d->tail += static_cast<Off>(n) * 16;
  if (visit && n > 0) visit->fn(d->cells(), n, visit->arg);
  if (deep && n > 0) {
    // A block holding itself would clone forever.
    if (cycles::find(src->w2)) {
      cycles::reset();
      fire(Err::no_cycle);
    }
    cycles::push(src->w2);
    // Nothing allocates between nested clones: the cells are read in place.
    Cell* cells = buf(r)->cells();
    for (int32_t i = 0; i < n; i++) {
      Cell* c = cells + i;
      int t = type_of(c);
      if (!(t == T_BLOCK || (any && t != T_HASH && series::block_like(t)))) continue;
      uint32_t header = c->header;
      Cell* nc = clone(c, deep, any, visit);
      cells = buf(r)->cells();
      Cell* dst = cells + i;
      *dst = *nc;
      dst->header = header;
      stack::pop(1);
    }
    cycles::pop();
  }
  r->header = type_of(src);  // b may point into a buffer the nested clones moved
  *src = *r;
  stack::pop(1);
  return src;
}

namespace {
bool copyable_by_type(int t) {
  return series::block_like(t) || series::string_like(t) || t == T_VECTOR || t == T_BINARY || t == T_IMAGE ||
         t == T_BITSET || t == T_OBJECT || t == T_ERROR || t == T_MAP;
}
bool type_matches(int t, const Cell* types) {
  if (is_type(types, T_TYPESET)) return typeset::has(types, t);
  return is_type(types, T_DATATYPE) && datatype::id_of(types) == t;
}
}  // namespace

void copy_types(Cell* block, int32_t first, int32_t end, int32_t step, int deep, Cell* types) {
  for (int32_t i = first; i < end; i = counts::add(i, step)) {
    if (i >= static_cast<int32_t>(buf(block)->cell_count())) break;
    Cell* c = buf(block)->cells() + i;
    int t = type_of(c);
    if (!copyable_by_type(t) || !type_matches(t, types)) continue;
    auto copy_slot = datatype::slot<act::Copy>(t, A_COPY);
    if (!copy_slot) continue;
    uint32_t nl = c->header & HDR_NEW_LINE;
    Cell* held = stack::push(c);
    copy_slot(held, held, nullptr, deep, deep ? types : nullptr);
    Cell* dst = buf(block)->cells() + i;
    *dst = *held;
    dst->header = (dst->header & ~HDR_NEW_LINE) | nl;
    stack::pop(1);
  }
}

// --- Registration ---------------------------------------------------------------------------

void init() {
  datatype::Registration r{T_BLOCK, T_SERIES, "block!"};
  r.hashes(&hashtable::by_words<1, 2>, true);
  r.marks(layout);
  r.set(A_MAKE, &make).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path);
  r.set(A_COMPARE, &compare).set(A_APPEND, &insert).set(A_INSERT, &insert).set(A_CHANGE, &change);
  r.set(A_COPY, &copy).set(A_TAKE, &take).set(A_TRIM, &trim).set(A_SWAP, &swap).set(A_SORT, &sort);
  r.set(A_FIND, &find).set(A_SELECT, &select).set(A_PUT, &put);
  r.inherit({A_RANDOM, A_REFLECT, A_AT, A_BACK, A_CLEAR, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_LENGTH_Q, A_MOVE, A_NEXT,
             A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SKIP, A_TAIL, A_TAIL_Q, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::block
