// map!: construction, lookup and storage through the key index, removal by
// tombstone, the reflectors, text forms and comparison.
//
// Positions into the entry block are kept as indexes and cells re-read
// through the node after anything that allocates (normalising a key copies
// text; growing the block or the index moves buffers).
#include "datatypes/map.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/words.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"

namespace xeb::map {

namespace {

int mode_of(bool case_, bool same = false) { return same ? COMP_SAME : case_ ? COMP_STRICT_EQUAL : COMP_EQUAL; }

bool word_key(int t) { return t == T_WORD || t == T_SET_WORD || t == T_LIT_WORD || t == T_GET_WORD; }

[[noreturn]] void bad_key(const Cell* key, const Cell* where) {
  Cell w = where ? *where : fixed_none, t = datatype::make_cell(type_of(key));
  fire(Err::invalid_path, &w, &t);
}

Cell* set_map_cell(Cell* c, Node blk, Node table) {
  uint32_t keep = c->header & ~HDR_TYPE_MASK & ~HDR_NEW_LINE;
  begin_cell(c);
  c->w1 = 0;
  c->w2 = blk;
  c->w3 = table;
  c->header = keep | T_MAP;
  return c;
}

// Checks and normalises the keys of a fresh entry block in place.
void normalize_block(Cell* blk) {
  for (uint32_t i = 0; i + 1 < block::buf(blk)->cell_count(); i += 2) {
    Cell* k = stack::push(block::buf(blk)->cells() + i);
    normalize_key(k, k);
    block::buf(blk)->cells()[i] = *k;
    stack::pop(1);
  }
}

// make and to; to refuses numbers.
Cell* build(Cell* out, Cell* spec, bool to) {
  switch (type_of(spec)) {
    case T_INTEGER: case T_FLOAT: {
      if (to) {
        Cell t = datatype::make_cell(T_MAP), s = *spec;
        fire(Err::bad_to_arg, &t, &s);
      }
      double d = is_type(spec, T_INTEGER) ? get_int(spec) : std::trunc(get_double(spec));
      if (!(d >= 0 && d <= 0x3FFFFFF)) {
        Cell s = *spec;
        fire(Err::out_of_range, &s);
      }
      int32_t size = static_cast<int32_t>(d) * 2;
      return make_at(out, nullptr, size ? size : 2);
    }
    case T_BLOCK: case T_PAREN: case T_HASH: {
      if (series::get_length(spec, false) & 1) {
        Cell s = *spec;
        fire(Err::invalid_arg, &s);
      }
      Cell* blk = block::clone(spec, false, false);
      for (uint32_t i = 0; i < block::buf(blk)->cell_count(); i++) clear_new_line(block::buf(blk)->cells() + i);
      Cell b = *blk;
      make_at(out, &b, 0);
      stack::pop(1);
      return out;
    }
    case T_MAP: {
      Cell* r = datatype::slot<act::Copy>(T_MAP, A_COPY)(spec, stack::push_new(), nullptr, 0, nullptr);
      *out = *r;
      stack::pop(1);
      return out;
    }
    default: {
      Cell t = datatype::make_cell(T_MAP), s = *spec;
      fire(Err::bad_to_arg, &t, &s);
    }
  }
}

Cell* make(Cell* proto, Cell* spec, int) { return build(proto, spec, false); }
Cell* to(Cell* proto, Cell* spec, int) { return build(proto, spec, true); }

// The entries: key, a space, value, molded. indent_flag puts each on its
// own line at the level; otherwise sep stands between them.
int form_entries(Cell* m, Cell* out, int only, int all, int flat, Cell* arg, int part, bool indent_flag, int level,
                 bool mold) {
  if (length(m) == 0) return part;
  const char* sep = " ";
  if (flat) {
    indent_flag = false;
  } else {
    sep = "\n";
    if (mold && !only) part = actions::emit(out, "\n", part);
    if (mold && only) indent_flag = false;
  }
  cycles::push(block_node(m));
  bool first = true;
  for (uint32_t i = 0; i + 1 < entry_cells(m); i += 2) {
    if (removed(entries(m) + i + 1)) continue;
    if (!first && !indent_flag) part = actions::emit(out, sep, part);
    first = false;
    if (indent_flag) part = actions::append_indent(out, level, part);
    Cell* k = stack::push(entries(m) + i);
    part = actions::mold(k, out, 0, all, flat, arg, part, level);
    part = actions::emit(out, " ", part);
    *k = entries(m)[i + 1];
    part = actions::mold(k, out, 0, all, flat, arg, part, level);
    stack::pop(1);
    if (indent_flag) part = actions::emit(out, sep, part);
    if (arg && part <= 0) break;
  }
  cycles::pop();
  return part;
}

int mold(Cell* m, Cell* out, int only, int all, int flat, Cell* arg, int part, int indent) {
  if (cycles::find(block_node(m))) return actions::emit(out, "#[...]", part);
  if (!only) part = actions::emit(out, "#[", part);
  bool any = length(m) > 0;
  part = form_entries(m, out, only, all, flat, arg, part, true, indent + 1, true);
  if (only) return part;
  if (any && indent > 0 && !flat) part = actions::append_indent(out, indent, part);
  return actions::emit(out, "]", part);
}

int form(Cell* m, Cell* out, Cell* arg, int part) {
  if (cycles::find(block_node(m))) return actions::emit(out, "...", part);
  return form_entries(m, out, 0, 0, 0, arg, part, false, 0, false);
}

Cell* eval_path(Cell* m, Cell* key, Cell* value, const PathStep& step) {
  if (!value) return get(m, key, step.case_);
  set(m, key, value, step.case_, step.path ? step.path : key);
  return value;
}

Cell* put(Cell* m, Cell* key, Cell* value, int case_) {
  set(m, key, value, case_ != 0, key);
  return value;
}

// The index of the live entry of the key, or -1.
int32_t live_key(const Cell* m, const Cell* key, int op) {
  int32_t i = find_key(m, key, op);
  return i >= 0 && !removed(entries(m) + i + 1) ? i : -1;
}

Cell* select(Cell* m, Cell* key, Cell*, int, int case_, int same, int, Cell*, Cell*, int, int) {
  int32_t i = live_key(m, key, mode_of(case_, same));
  return i < 0 ? &fixed_none : stack::push(entries(m) + i + 1);
}

Cell* find(Cell* m, Cell* key, Cell*, int, int case_, int same, int, Cell*, Cell*, int, int, int, int) {
  int32_t i = live_key(m, key, mode_of(case_, same));
  if (i < 0) return &fixed_none;
  Cell k = shown_key(entries(m) + i);
  return stack::push(&k);
}

Cell* remove(Cell* m, Cell*, Cell* key) {
  if (!key) fire(Err::missing_arg);
  int32_t i = find_key(m, key, COMP_STRICT_EQUAL);
  if (i >= 0) hashtable::delete_key(table_node(m), entries(m) + i);
  return m;
}

Cell* clear(Cell* m) {
  hashtable::clear(table_node(m));
  return m;
}

int length_q(Cell* m) { return length(m); }

Cell* copy(Cell* m, Cell* result, Cell*, int deep, Cell* types) {
  Cell* src = stack::push(m);
  bool walked = deep && types;
  if (walked) {
    if (cycles::find(block_node(src))) {
      cycles::reset();
      fire(Err::no_cycle);
    }
    cycles::push(block_node(src));
  }
  Cell* nb = block::clone(src, deep && !types, false);
  Node t = hashtable::copy(table_node(src), series::node_of(nb));
  Cell* r = set_map_cell(begin_cell(stack::push_new()), series::node_of(nb), t);
  if (types) block::copy_types(r, 1, static_cast<int32_t>(entry_cells(r)), 2, deep, types);
  if (walked) cycles::pop();
  Cell v = *r;
  stack::pop(3);
  if (result != m) begin_cell(result);
  *result = v;
  return result;
}

// words, values and body: new blocks of the live entries in order.
Cell* reflect(Cell* m, int field) {
  enum { WORDS, VALUES, BODY } what;
  if (words::is(field, words::W::words)) what = WORDS;
  else if (words::is(field, words::W::values)) what = VALUES;
  else if (words::is(field, words::W::body)) what = BODY;
  else fire(Err::not_done);
  Cell* src = stack::push(m);
  int32_t n = length(src);
  Cell* r = block::push_only(std::max(what == BODY ? 2 * n : n, 1));
  for (uint32_t i = 0; i + 1 < entry_cells(src); i += 2) {
    Cell* c = entries(src) + i;
    if (removed(c + 1)) continue;
    Cell k = what == WORDS ? shown_key(c) : *c, v = c[1];
    if (what == BODY) k.header |= HDR_NEW_LINE;
    if (what != VALUES) block::xs_append(r, &k);
    if (what != WORDS) block::xs_append(r, &v);
  }
  Cell v = *r;
  stack::pop(2);
  *m = v;
  return m;
}

// Equality: every live entry of a has an entry of b with the key (strict
// for op 2, else any key equal under op 0) whose value is equal under the
// same kind of comparison.
int compare_entries(Cell* a, Cell* b, int op) {
  if (block_node(a) == block_node(b) && block::head_of(a) == block::head_of(b)) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find(block_node(a))) return cycles::find(block_node(b)) ? 0 : -1;
  if (length(a) != length(b)) return 1;
  if (length(a) == 0) return 0;
  cycles::push(block_node(a));
  cycles::push(block_node(b));
  int result = 0;
  for (uint32_t i = 0; i + 1 < entry_cells(a) && result == 0; i += 2) {
    if (removed(entries(a) + i + 1)) continue;
    Cell* k = stack::push(entries(a) + i);
    Cell* v = stack::push(entries(a) + i + 1);
    if (op == COMP_STRICT_EQUAL) {
      int32_t j = live_key(b, k, COMP_STRICT_EQUAL);
      Cell* w = j < 0 ? nullptr : stack::push(entries(b) + j + 1);
      result = !w || actions::compare(v, w, COMP_STRICT_EQUAL) != 0;
    } else {
      bool found = false;
      int32_t pos = -1, end = 0, step = 0;
      while (!found) {
        Cell* kb = hashtable::find_next(table_node(b), k, &pos, &end, &step);
        if (!kb) break;
        Cell* w = stack::push(kb + 1);
        found = !removed(w) && actions::compare(v, w, COMP_EQUAL) == 0;
        stack::pop(1);
      }
      result = !found;
    }
    stack::set_top(k);
  }
  cycles::pop();
  cycles::pop();
  return result;
}

// The sort ops: a three-way compare of contents, live count first, then
// keys and values in entry order. It depends on nothing but the contents.
int order_entries(Cell* a, Cell* b) {
  if (length(a) != length(b)) return length(a) < length(b) ? -1 : 1;
  if (cycles::find(block_node(a)) || cycles::find(block_node(b))) return 0;
  cycles::push(block_node(a));
  cycles::push(block_node(b));
  int r = 0;
  uint32_t i = 0, j = 0;
  while (r == 0) {
    while (i + 1 < entry_cells(a) && removed(entries(a) + i + 1)) i += 2;
    while (j + 1 < entry_cells(b) && removed(entries(b) + j + 1)) j += 2;
    if (i + 1 >= entry_cells(a) || j + 1 >= entry_cells(b)) break;
    for (int k = 0; k < 2 && r == 0; k++) {
      Cell* x = stack::push(entries(a) + i + k);
      Cell* y = stack::push(entries(b) + j + k);
      r = actions::compare(x, y, COMP_SORT);
      if (r == COMPARE_INVALID) r = type_of(x) < type_of(y) ? -1 : type_of(x) > type_of(y) ? 1 : 0;
      stack::pop(2);
    }
    i += 2;
    j += 2;
  }
  cycles::pop();
  cycles::pop();
  return r;
}

int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_MAP)) return COMPARE_INVALID;
  switch (op) {
    case COMP_SORT: case COMP_CASE_SORT: return order_entries(a, b);
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
      return compare_entries(a, b, op);
    default: return COMPARE_INVALID;
  }
}

}  // namespace

bool valid_key(int t) {
  switch (t) {
    case T_STRING: case T_FILE: case T_URL: case T_CHAR: case T_INTEGER: case T_FLOAT: case T_WORD:
    case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE: case T_PAIR:
    case T_PERCENT: case T_TUPLE: case T_BINARY: case T_TIME: case T_TAG: case T_EMAIL: case T_DATE:
    case T_MONEY: case T_REF: case T_POINT2D: case T_POINT3D:
      return true;
    default:
      return false;
  }
}

void normalize_key(Cell* key, const Cell* where) {
  int t = type_of(key);
  if (word_key(t)) {
    key->header = T_SET_WORD;
    return;
  }
  if (!valid_key(t)) bad_key(key, where);
  if (series::string_like(t) || t == T_BINARY) series::copy(key, key, nullptr, 0, nullptr);
  clear_new_line(key);
}

Cell* make_at(Cell* c, const Cell* blk, int32_t size) {
  Cell* b = blk ? stack::push(blk) : block::push_only(size > 0 ? size : 1);
  uint32_t n = block::buf(b)->cell_count();
  for (uint32_t i = 0; i < n; i += 2) {
    Cell* k = block::buf(b)->cells() + i;
    if (!valid_key(type_of(k))) bad_key(k, k);
  }
  normalize_block(b);
  Node t = hashtable::init(std::max<int32_t>(size, static_cast<int32_t>(n)), b, hashtable::Kind::map, 0);
  set_map_cell(b, series::node_of(b), t);  // the collector keeps the table while the keys go in
  hashtable::put_all(t, 0, 2);
  Cell v = *b;
  stack::pop(1);
  return set_map_cell(c, series::node_of(&v), t);
}

int32_t find_key(const Cell* m, const Cell* key, int op) {
  Cell* k = hashtable::find(table_node(m), key, 0, 1, op, false, false);
  return k ? static_cast<int32_t>(k - entries(m)) : -1;
}

Cell* get(const Cell* m, const Cell* key, bool case_) {
  int32_t i = live_key(m, key, mode_of(case_));
  return stack::push(i < 0 ? &fixed_none : entries(m) + i + 1);
}

void set(Cell* m, const Cell* key, const Cell* value, bool case_, const Cell* where) {
  Cell* held = stack::push(m);
  Cell* v = stack::push(value);
  int32_t i = find_key(held, key, mode_of(case_));
  if (i < 0) {
    Cell* k = stack::push(key);
    Cell* w = stack::push(where ? where : key);
    normalize_key(k, w);
    Cell* slots = memory::alloc_tail_cell(buf_of(block_node(held)));
    *slots = *k;
    set_unset(memory::alloc_tail_cell(buf_of(block_node(held))));
    i = static_cast<int32_t>(entry_cells(held)) - 2;
    hashtable::put(table_node(held), entries(held) + i);
  } else if (removed(entries(held) + i + 1)) {
    hashtable::table(table_node(held))->count++;
  }
  entries(held)[i + 1] = *v;
  clear_new_line(entries(held) + i + 1);
  stack::set_top(held);
}

Cell* extend(Cell* m, const Cell* spec, bool case_) {
  Cell* held = stack::push(m);
  Cell* s = stack::push(spec);
  if (is_type(s, T_MAP)) {
    Cell* body = datatype::slot<act::Reflect>(T_MAP, A_REFLECT)(s, words::sym(words::W::body));
    if (body != s) *s = *body;
  }
  int32_t n = series::get_length(s, false);
  if (n & 1) {
    Cell c = *spec;
    fire(Err::invalid_arg, &c);
  }
  memory::reserve_tail(buf_of(block_node(held)), int64_t{n} * 16);
  for (int32_t i = 0; i < n; i += 2) {
    Cell* kv = stack::push_new();
    Cell* vv = stack::push_new();
    *kv = block::buf(s)->cells()[block::head_of(s) + i];
    *vv = block::buf(s)->cells()[block::head_of(s) + i + 1];
    set(held, kv, vv, case_, nullptr);
    stack::pop(2);
  }
  stack::set_top(held);
  return m;
}

Cell shown_key(const Cell* key) {
  Cell k = *key;
  if (is_type(&k, T_SET_WORD)) set_type(&k, T_WORD);
  return k;
}

bool skip_removed(Cell* m) {
  int32_t h = series::head(m);
  while (h + 1 < static_cast<int32_t>(entry_cells(m)) && removed(entries(m) + h + 1)) h += 2;
  series::set_head(m, h);
  return h + 1 < static_cast<int32_t>(entry_cells(m));
}

void init() {
  datatype::Registration r{T_MAP, 0, "map!"};
  r.hashes(&hashtable::by_word<2>, true);
  r.marks({collector::Holds::nothing, collector::Holds::cells, collector::Holds::table});
  r.set(A_MAKE, &make).set(A_REFLECT, &reflect).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_CLEAR, &clear).set(A_COPY, &copy);
  r.set(A_FIND, &find).set(A_LENGTH_Q, &length_q).set(A_PUT, &put).set(A_REMOVE, &remove).set(A_SELECT, &select);
  datatype::register_type(r);
}

}  // namespace xeb::map
