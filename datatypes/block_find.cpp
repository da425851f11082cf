// block! search: find, select, put and the path step on a block. The scans
// walk the buffer through plain pointers with collections held off.
#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/block_internal.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/typeset.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace xeb::block {

namespace {

enum class Mode { value, type, typeset, sequence };

struct Search {
  Mode mode = Mode::value;
  int op = COMP_FIND;
  int32_t seq_len = 1;  // cells the value spans in the series
};

bool match_cell(const Search& m, Cell* value, Cell* c) {
  switch (m.mode) {
    case Mode::type: return static_cast<int>(type_of(c)) == datatype::id_of(value);
    case Mode::typeset: return typeset::has(value, type_of(c));
    default: return actions::compare(value, c, m.op) == 0;
  }
}

// Whether the value matches the series' cells from position i.
bool match_at(const Search& m, Cell* value, SeriesBuf* s, int64_t i, int64_t end) {
  if (m.mode != Mode::sequence) return match_cell(m, value, s->cells() + i);
  if (i + m.seq_len > end) return false;
  Cell* v = buf(value)->cells() + head_of(value);
  Cell* c = s->cells() + i;
  for (int32_t k = 0; k < m.seq_len; k++)
    if (actions::compare(v + k, c + k, m.op) != 0) return false;
  return true;
}

}  // namespace

Cell* find(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
           int last, int reverse, int tail, int match) {
  SeriesBuf* b = buf(s);
  int64_t n = b->cell_count();
  int64_t h = head_of(s);
  if (n == 0) return &fixed_none;
  if (h >= n && !reverse) return &fixed_none;
  if (h > n) h = n;
  if (h < 0) h = 0;

  int32_t step = 1;
  if (skip) {
    if (!is_type(skip, T_INTEGER)) series::fail_refine(words::W::skip, skip);
    step = get_int(skip);
    if (step < 1) series::fail_int(Err::out_of_range, step);
  }
  int64_t limit = -1;  // the last cell searched, when /part gives one
  if (part) {
    if (is_type(part, T_INTEGER)) {
      if (get_int(part) < 1) return &fixed_none;
      limit = h + get_int(part) - 1;
    } else if (type_of(part) == type_of(s) && series::node_of(part) == series::node_of(s)) {
      limit = int64_t{head_of(part)} - 1;
    } else {
      series::fail_refine(words::W::part, part);
    }
    if (limit > n - 1) limit = n - 1;
  }

  Search m;
  m.op = same ? COMP_SAME : case_ ? COMP_STRICT_EQUAL : COMP_FIND;
  int vt = type_of(value);
  if (!only && vt == T_DATATYPE) m.mode = Mode::type;
  else if (!only && vt == T_TYPESET) m.mode = Mode::typeset;
  else if (!only && series::block_like(vt)) {
    m.mode = Mode::sequence;
    m.seq_len = std::max(xs_length_q(value), 0);
  }

  NoCollection hold;
  int64_t found = -1;
  Node t = index_of(s);
  // A hash!'s index finds only what its hashes can tell apart: a value that
  // hashes by identity (a series, object, image...) may equal cells of other
  // identities, or cells changed since they were indexed, so it is scanned
  // for as in a block.
  if (t && m.mode == Mode::value && !hashtable::address_keyed(value) && !match) {
    // A backward search starts where the scan below would and keeps its
    // step from there: the index is asked for the nearest match before it.
    bool back = last || reverse;
    int64_t from = h;
    if (back) {
      from = (limit >= 0 ? limit : last ? n - 1 : h - 1) + 1;
      if (from <= 0) return &fixed_none;
    }
    Cell* c = hashtable::find(t, value, static_cast<int32_t>(from), step, m.op, back, back);
    if (!c) return &fixed_none;
    found = c - buf(s)->cells();
    if (limit >= 0 && found > limit) return &fixed_none;
  } else {
    bool back = last || reverse;
    int64_t end = limit >= 0 ? limit + 1 : n;  // forward scans stop here
    if (!back) {
      for (int64_t i = h; i < end; i += step) {
        if (match_at(m, value, b, i, end)) {
          found = i;
          break;
        }
        if (match) break;
      }
    } else {
      int64_t len = m.mode == Mode::sequence ? m.seq_len : 1;
      int64_t start = limit >= 0 ? limit : last ? n - len : h - len;
      if (start < 0) return &fixed_none;
      for (int64_t i = std::min(start, n - 1); i >= 0; i -= step) {
        if (match_at(m, value, b, i, n)) {
          found = i;
          break;
        }
        if (match) break;
      }
    }
  }
  if (found < 0) return &fixed_none;
  if (tail) {
    if (m.mode == Mode::sequence) found += m.seq_len;
    else found += (last || reverse) ? 1 : step;
    if (found > n) found = n;
  }
  set_head(s, static_cast<int32_t>(found));
  return s;
}

Cell* select(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
             int last, int reverse) {
  Cell* pos = stack::push(s);
  Cell* r = find(pos, value, part, only, case_, same, any, with, skip, last, reverse, 0, 0);
  if (is_type(r, T_NONE)) {
    stack::pop(1);
    return &fixed_none;
  }
  int vt = type_of(value);
  int64_t after = 1;
  if (!only && (vt == T_BLOCK || vt == T_PAREN || (vt >= T_PATH && vt <= T_GET_PATH)))
    after = std::max(xs_length_q(value), 0);
  int64_t p = head_of(pos) + after;
  SeriesBuf* b = buf(pos);
  stack::pop(1);
  if (p >= b->cell_count()) return &fixed_none;
  *s = b->cells()[p];
  return s;
}

Cell* put(Cell* s, Cell* key, Cell* value, int case_) {
  Cell* pos = stack::push(s);
  Cell* r = find(pos, key, nullptr, 0, case_, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
  // The hash!'s index node is read afresh at each use: an owner's hook and
  // the growth of the block may each move it.
  if (is_type(r, T_NONE)) {
    int32_t len = length_from_head(s);
    bool owned = series::notify_before(s, series::Notice::put, value, len, 1);
    SeriesBuf* b = reserve(s, 2);
    Cell* c = b->cells_tail();
    c[0] = *key;
    c[1] = *value;
    c[0].header &= ~HDR_NEW_LINE;
    b->tail += 32;
    if (Node t = index_of(s)) {
      int status = 0;
      hashtable::put_key(t, buf(s)->cells_tail() - 2, &status);
      if (status != 2) hashtable::put_key(t, buf(s)->cells_tail() - 1, &status);
    }
    if (owned) series::notify_after(s, series::Notice::put, value, len, 1);
  } else {
    int32_t k = head_of(pos);
    bool owned = series::notify_before(s, series::Notice::put, value, k + 1, 1);
    SeriesBuf* b = buf(s);
    int64_t at = int64_t{k} + 1;
    if (at >= b->cell_count()) {
      xs_append(s, value);
      if (Node t = index_of(s)) hashtable::put(t, buf(s)->cells_tail() - 1);
    } else if (actions::compare(b->cells() + at, value, COMP_FIND) != 0) {
      Node t = index_of(s);
      if (t) hashtable::delete_key(t, b->cells() + at);
      b->cells()[at] = *value;
      if (t) hashtable::put(t, buf(s)->cells() + at);
    }
    if (owned) series::notify_after(s, series::Notice::put, value, k + 1, 1);
  }
  stack::pop(1);
  return value;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int et = type_of(element);
  if (et == T_INTEGER) return series::path_index(parent, element, value);
  if (!value) {
    Cell* r = stack::push(parent);
    Cell out;
    if (et == T_WORD && !is_type(parent, T_HASH)) out = *select_word(r, element, step.case_);
    else out = *select(r, element, nullptr, 1, step.case_, 0, 0, nullptr, nullptr, 0, 0);
    stack::pop(1);
    return stack::push(&out);
  }
  Cell* r = stack::push(parent);
  Cell* found = find(r, element, nullptr, 0, step.case_, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
  if (is_type(found, T_NONE)) series::fail_path(Err::bad_path_set, step, element);
  series::poke(r, 2, value, nullptr);
  stack::pop(1);
  return value;
}

}  // namespace xeb::block
