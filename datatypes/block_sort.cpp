// block! sorting and the block set operations (unique, union, intersect,
// exclude, difference).
//
// Plain sorts run in place over the cells with collections held off, so the
// buffer cannot move under the sort even when a comparison slot allocates. A /compare function runs
// language code, which may allocate and move the buffer, so that sort orders
// record numbers instead, reading cells through the node at each call, and
// applies the order once at the end.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/block_internal.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/hash.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/counts.h"
#include "runtime/sort.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::block {

namespace {

int32_t compare_pair(const Cell* a, const Cell* b, int op) {
  int r = actions::compare(const_cast<Cell*>(a), const_cast<Cell*>(b), op);
  if (r == COMPARE_INVALID) r = static_cast<int>(type_of(a)) - static_cast<int>(type_of(b));
  return r;
}

// The state of a sort by a /compare function. Sorts can nest (the function
// may sort), so each keeps its own, reached through a pointer it saves.
struct CallSort {
  Cell* series;   // data-stack copy of the series
  Cell* func;     // data-stack copy of the function
  Cell* scratch;  // two data-stack blocks for whole records, or null
  int32_t head;
  int32_t width;  // cells per record
};
CallSort* call_sort = nullptr;

// Maps a /compare function's answer to a comparator result.
int32_t answer_of(const Cell* r) {
  switch (type_of(r)) {
    case T_LOGIC: return logic::get(r) == 1 ? 1 : -1;
    case T_INTEGER: return get_int(r);
    case T_FLOAT: {
      double d = get_double(r);
      return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case T_NONE: return -1;
    default: return 1;
  }
}

// Loads record i into a scratch block (its cells replace the block's).
Cell* record_block(Cell* scratch, int32_t i) {
  CallSort& cs = *call_sort;
  SeriesBuf* d = buf(scratch);
  std::memcpy(d->cells(), buf(cs.series)->cells() + cs.head + int64_t{i} * cs.width,
              static_cast<size_t>(cs.width) * 16);
  d->tail = d->head + static_cast<Off>(cs.width) * 16;
  set_head(scratch, 0);
  return scratch;
}

// The function receives b then a (a then b when reversed), so a function
// answering "first before second" sorts ascending.
int32_t sort_call(const void* pa, const void* pb, int op, int flags) {
  // A pending exit from an earlier call ends the sort: no more calls, and
  // the stacks, set for the exit's target, are not touched.
  if (throwing()) return 0;
  CallSort& cs = *call_sort;
  int32_t ia = *static_cast<const int32_t*>(pa), ib = *static_cast<const int32_t*>(pb);
  if (!(flags & SORT_REVERSE)) std::swap(ia, ib);
  // A record the function has cut away compares equal to anything.
  if (int64_t{cs.head} + (int64_t{std::max(ia, ib)} + 1) * cs.width > buf(cs.series)->cell_count()) return 0;
  Cell* saved = stack::top();
  Cell *x, *y;
  if ((flags & SORT_ALL) && cs.scratch) {
    x = record_block(cs.scratch, ia);
    y = record_block(cs.scratch + 1, ib);
  } else {
    int32_t offset = (flags & SORT_ALL) ? 0 : flags >> 2;
    Cell* cells = buf(cs.series)->cells() + cs.head;
    x = stack::push(cells + int64_t{ia} * cs.width + offset);
    y = stack::push(buf(cs.series)->cells() + cs.head + int64_t{ib} * cs.width + offset);
  }
  int32_t r = answer_of(series::compare_call(cs.func, x, y));
  if (throwing()) return 0;
  stack::set_top(saved);
  return r;
}

void sort_by_function(Cell* s, Cell* func, int32_t head, int32_t records, int32_t width, int flags, bool stable) {
  if (!series::compare_call) fire(Err::not_done);
  CallSort cs{stack::push(s), stack::push(func), nullptr, head, width};
  if (flags & SORT_ALL) {
    cs.scratch = push_only(width);
    push_only(width);
  }
  sort::Current<CallSort> current(call_sort, &cs);
  std::vector<int32_t> order = sort::order(records, stable, flags, sort_call);
  if (throwing()) return;  // the series keeps its order
  // The function may have shortened the series: apply the order only to
  // records that are still all there.
  int64_t cells = int64_t{records} * width;
  SeriesBuf* b = buf(cs.series);
  if (int64_t{head} + cells <= b->cell_count()) {
    Cell* base = b->cells() + head;
    std::vector<Cell> sorted(static_cast<size_t>(cells));
    for (int32_t k = 0; k < records; k++)
      std::memcpy(&sorted[int64_t{k} * width], base + int64_t{order[k]} * width, static_cast<size_t>(width) * 16);
    std::memcpy(base, sorted.data(), static_cast<size_t>(cells) * 16);
  }
  stack::set_top(cs.series);
}

}  // namespace

int32_t sort_compare(const void* a, const void* b, int op, int flags) {
  auto x = static_cast<const Cell*>(a), y = static_cast<const Cell*>(b);
  if (flags & SORT_REVERSE) std::swap(x, y);
  if (flags & SORT_ALL) {
    for (int i = 0, n = flags >> 2; i < n; i++)
      if (int32_t r = compare_pair(x + i, y + i, op)) return r;
    return 0;
  }
  int offset = flags >> 2;
  return compare_pair(x + offset, y + offset, op);
}

Cell* sort(Cell* s, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable) {
  int32_t n = length_from_head(s);
  if (n < 1) return s;
  int32_t head = head_of(s);
  if (part) {
    int32_t c = series::part_count(s, part);
    if (c < 0) {
      int32_t k = counts::neg(c);
      if (k > head) {
        set_head(s, 0);
        return s;
      }
      head -= k;
      set_head(s, head);
      n = k;
    } else if (c < n) {
      n = c;
    }
  }
  series::SortRefines r = series::sort_refines(n, skip, compare, all != 0, true);
  int32_t size = r.size;
  int op = case_ ? COMP_CASE_SORT : COMP_SORT;
  int flags = (reverse ? SORT_REVERSE : 0) | (all ? SORT_ALL | (size << 2) : r.offset << 2);
  if (n < 1) return s;
  bool owned = series::notify_before(s, series::Notice::sort, nullptr, head, 0);
  int32_t records = n / size;
  if (r.func) {
    sort_by_function(s, r.func, head, records, size, flags, stable);
    if (throwing()) return s;
  } else {
    NoCollection hold;
    Cell* base = buf(s)->cells() + head;
    sort::run(base, records, size * 16, op, flags, sort_compare, stable);
  }
  if (Node t = index_of(s)) hashtable::rehash(t, static_cast<int32_t>(buf(s)->cell_count()));
  if (owned) series::notify_after(s, series::Notice::sort, nullptr, head, 0);
  return s;
}

// --- Set operations -------------------------------------------------------------------

namespace {

// An index over a block, held on the data stack as a hash! cell so that the
// collector keeps (and redirects) both the block and its table.
Cell* push_index(const Cell* block, int32_t size) {
  Cell* h = stack::push(block);
  Node t = hashtable::init(size, h, hashtable::Kind::block, 0);
  hash::set_table(h, t);
  set_type(h, T_HASH);
  return h;
}

// Whether the record's first cell is in set (an indexed hash! cell on the
// stack): through the index, or, for a cell hashed by identity (which the
// index cannot match by contents), by find/only.
bool member(Cell* set, Cell* key, int32_t from, int32_t step, int case_) {
  if (hashtable::address_keyed(key)) {
    Cell* pos = stack::push(set);
    set_type(pos, T_BLOCK);
    set_head(pos, from);
    Cell sk{T_INTEGER, 0, static_cast<uint32_t>(step), 0};
    Cell* skc = stack::push(&sk);
    Cell* k = stack::push(key);
    Cell* r = find(pos, k, nullptr, 1, case_, 0, 0, nullptr, skc, 0, 0, 0, 0);
    bool found = !is_type(r, T_NONE);
    stack::pop(3);
    return found;
  }
  return hashtable::find(hash::table_node(set), key, from, step, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL, false, false) != nullptr;
}

}  // namespace

void do_set_op(int case_, Cell* skip, int op) {
  Cell* set1 = stack::base();
  Cell* set2 = set1 + 1;
  int32_t size = 1;
  if (skip) {
    if (!is_type(skip, T_INTEGER)) series::fail_refine(words::W::skip, skip);
    size = get_int(skip);
    if (size < 1) series::fail_int_refine(words::W::skip, size);
  }
  bool two = op != OP_UNIQUE;
  int type1 = type_of(set1);
  bool hashed = type1 == T_HASH || (two && is_type(set2, T_HASH));
  int32_t h1 = clamped_head(set1);
  int32_t n1 = length_from_head(set1);
  int32_t h2 = two ? clamped_head(set2) : 0;
  int32_t n2 = two ? length_from_head(set2) : 0;
  Cell* saved = stack::top();

  int32_t room = std::max(n1 + (op == OP_UNION ? n2 : 0), 1);
  Cell* result = push_only(room);
  Node rt = hashtable::init(room, result, hashtable::Kind::block, 0);
  hash::set_table(result, rt);
  set_type(result, T_HASH);

  // One pass adds the records of src whose first cell passes the test
  // against other (null: no test): kept when found == want.
  auto pass = [&](Cell* src, int32_t h, int32_t n, Cell* other, int32_t oh, bool want) {
    Cell* index = nullptr;
    if (other) {
      if (is_type(other, T_HASH) && hash::table_node(other)) {
        index = stack::push(other);
      } else {
        index = push_index(other, std::max(n1, n2));
        hashtable::put_all(hash::table_node(index), oh, size);
      }
    }
    for (int32_t i = 0; i < n; i = counts::add(i, size)) {
      int32_t width = std::min(size, n - i);  // a last record may be short
      Cell* key = stack::push(buf(src)->cells() + h + i);
      bool keep = !index || member(index, key, oh, size, case_) == want;
      if (keep && !member(result, key, 0, size, case_)) {
        int64_t at = buf(result)->cell_count();
        SeriesBuf* d = reserve(result, width);
        std::memcpy(d->cells_tail(), buf(src)->cells() + h + i, static_cast<size_t>(width) * 16);
        d->tail += static_cast<Off>(width) * 16;
        int status = 0;
        hashtable::put_key(hash::table_node(result), buf(result)->cells() + at, &status);
      }
      stack::pop(1);
    }
    if (index) stack::set_top(index);
  };

  switch (op) {
    case OP_UNIQUE: pass(set1, h1, n1, nullptr, 0, false); break;
    case OP_UNION:
      pass(set1, h1, n1, nullptr, 0, false);
      pass(set2, h2, n2, nullptr, 0, false);
      break;
    case OP_INTERSECT: pass(set1, h1, n1, set2, h2, true); break;
    case OP_EXCLUDE: pass(set1, h1, n1, set2, h2, false); break;
    case OP_DIFFERENCE:
      pass(set1, h1, n1, set2, h2, false);
      pass(set2, h2, n2, set1, h1, false);
      break;
    default: break;
  }

  if (hashed) {
    // Every cell of a record goes into a hash!'s index, not only the first.
    hashtable::rehash(hash::table_node(result), static_cast<int32_t>(buf(result)->cell_count()));
    set_type(result, T_HASH);
  } else {
    hash::set_table(result, 0);
    set_type(result, static_cast<TypeId>(type1));
  }
  set_head(result, 0);
  Cell r = *result;
  stack::set_top(saved);
  *set1 = r;
}

}  // namespace xeb::block
