// block! editing: append/insert, change, take, swap, trim and copy. Every
// edit tells the series' owner before and after (owner notices), and keeps
// the index of a hash! in step with its cells.
#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/block_internal.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/ownership.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "runtime/cycle.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/stamp.h"

namespace xeb::block {

namespace {

// The cells a value brings into an edit: its cells from its head when it is
// spread, else the value itself. Cells of the edited buffer itself are
// copied aside first, since the edit moves them; no allocation may run
// between taking the source and storing it.
struct Source {
  Cell one;
  std::vector<Cell> aside;
  const Cell* cells;

  Source(Cell* value, bool spread, int64_t count, const Cell* target) {
    if (!spread) {
      one = *value;
      cells = &one;
      return;
    }
    const Cell* from = buf(value)->cells() + std::max(head_of(value), 0);
    if (series::node_of(value) == series::node_of(target)) {
      aside.assign(from, from + count);
      from = aside.data();
    }
    cells = from;
  }
  // After an allocation: cells read in the value's buffer, which may have moved.
  void reread(Cell* value) {
    if (cells != &one && aside.empty()) cells = buf(value)->cells() + std::max(head_of(value), 0);
  }
};

int64_t checked_total(int64_t n, int64_t dup) {
  int64_t total = n * dup;
  if (total > INT32_MAX) fire(Err::no_memory);
  return total;
}

// Repeats the first n cells at p until total cells are filled, doubling.
void fill_repeat(Cell* p, int64_t n, int64_t total) {
  for (int64_t done = n; done < total;) {
    int64_t k = std::min(done, total - done);
    std::memcpy(p + done, p, static_cast<size_t>(k) * 16);
    done += k;
  }
}

bool series_type(int t) {
  return series::block_like(t) || series::string_like(t) || t == T_VECTOR || t == T_BINARY || t == T_IMAGE;
}

// Replaces the series cell at index i of b by its deep copy.
void deep_copy_cell(Cell* b, int64_t i) {
  Cell* c = buf(b)->cells() + i;
  auto copy_slot = datatype::slot<act::Copy>(type_of(c), A_COPY);
  if (!copy_slot) return;
  uint32_t nl = c->header & HDR_NEW_LINE;
  Cell* held = stack::push(c);
  copy_slot(held, held, nullptr, 1, nullptr);
  Cell* dst = buf(b)->cells() + i;
  *dst = *held;
  dst->header = (dst->header & ~HDR_NEW_LINE) | nl;
  stack::pop(1);
}

}  // namespace

// The general edit's measures reduced to a tail store.
bool append_plain(Cell* s, const Cell* value, int only) {
  if ((!only && series::block_like(type_of(value))) || index_of(s)) return false;
  SeriesBuf* b = buf(s);
  if ((b->flags & ownership::SER_OWNED) || int64_t{b->used()} + 16 > INT32_MAX) return false;
  Cell v = *value;  // value may sit in the buffer that moves
  stamp::bump(series::node_of(s));
  b = memory::reserve_tail(b, 16);
  *b->cells_tail() = v;
  b->tail += 16;
  set_head(s, 0);
  return true;
}

Cell* insert(Cell* s, Cell* value, int part, int only, int dup, int last) {
  if (last && dup == 1 && part != 0 && append_plain(s, value, only)) return s;
  bool spread = !only && series::block_like(type_of(value));
  int64_t n = spread ? std::max(xs_length_q(value), 0) : 1;
  if (spread && n == 0) return s;
  int64_t p = (part < 0 || part > n) ? n : part;
  int32_t h = clamped_head(s);
  if (dup < 1 || p == 0) {
    if (last) set_head(s, 0);
    return s;
  }
  int64_t total = checked_total(p, dup);
  int32_t len = static_cast<int32_t>(buf(s)->cell_count());
  if ((int64_t{len} + total) * 16 > INT32_MAX) fire(Err::no_memory);
  int32_t at = last ? len : h;
  series::Notice notice = last ? series::Notice::append : series::Notice::insert;
  int32_t idx = last ? len : h;
  bool owned = series::notify_before(s, notice, value, idx, static_cast<int32_t>(total));

  SeriesBuf* b = memory::reserve_tail(buf(s), total * 16);
  len = static_cast<int32_t>(b->cell_count());  // an owner's hook may have edited it
  at = last ? len : std::min(h, len);
  Source src(value, spread, p, s);
  Cell* ip = b->cells() + at;
  Node t = index_of(s);
  bool rebuild = false;
  if (at < len) {
    std::memmove(ip + total, ip, static_cast<size_t>(len - at) * 16);
    if (t) rebuild = hashtable::refresh_range(t, static_cast<int32_t>(total), at, len - at, true) != 0;
  }
  if (t) {
    // Growing the index may have moved every buffer.
    b = buf(s);
    ip = b->cells() + at;
    src.reread(value);
  }
  std::memcpy(ip, src.cells, static_cast<size_t>(p) * 16);
  fill_repeat(ip, p, total);
  b->tail += static_cast<Off>(total * 16);
  if (t) {
    if (rebuild) {
      hashtable::rehash(t, static_cast<int32_t>(len + total));
    } else {
      for (int64_t i = 0; i < total; i++) {
        int status = 0;
        hashtable::put_key(t, buf(s)->cells() + at + i, &status);
        if (status == 2) break;
      }
    }
  }
  if (owned) series::notify_after(s, notice, value, idx, static_cast<int32_t>(total));
  if (last) {
    set_head(s, 0);
  } else {
    int64_t nh = int64_t{at} + total;
    set_head(s, static_cast<int32_t>(std::min<int64_t>(nh, buf(s)->cell_count())));
  }
  return s;
}

Cell* change(Cell* s, Cell* value, int part, int only, int dup) {
  int32_t h = clamped_head(s);
  int32_t r = length_from_head(s);
  bool spread = !only && series::block_like(type_of(value));
  int64_t n = spread ? std::max(xs_length_q(value), 0) : 1;
  if (dup < 1) return s;
  int64_t total = checked_total(n, dup);
  int64_t replaced = part >= 0 ? std::min<int64_t>(r, part) : std::min<int64_t>(total, r);
  bool owned = series::notify_before(s, series::Notice::change, value, h, static_cast<int32_t>(replaced));

  int64_t old_len = buf(s)->cell_count();
  int64_t new_len = old_len + total - replaced;
  if (new_len * 16 > INT32_MAX) fire(Err::no_memory);
  SeriesBuf* b = buf(s);
  if (new_len > old_len) b = memory::reserve_tail(b, (new_len - old_len) * 16);
  Source src(value, spread, n, s);
  Cell* p = b->cells() + h;
  if (total != replaced)
    std::memmove(p + total, p + replaced, static_cast<size_t>(old_len - h - replaced) * 16);
  b->tail = b->head + static_cast<Off>(new_len * 16);
  if (n > 0) std::memcpy(p, src.cells, static_cast<size_t>(n) * 16);
  fill_repeat(p, n, total);
  if (Node t = index_of(s)) hashtable::rehash(t, static_cast<int32_t>(new_len));
  if (owned) series::notify_after(s, series::Notice::change, nullptr, h, static_cast<int32_t>(total));
  set_head(s, static_cast<int32_t>(std::min<int64_t>(h + total, buf(s)->cell_count())));
  return s;
}

Cell* take(Cell* s, Cell* part, int deep, int last) {
  Cell* r = series::take(s, part, deep, last);
  if (is_type(r, T_NONE)) return r;
  if (deep) {
    for (int64_t i = 0; i < buf(r)->cell_count(); i++)
      if (series_type(type_of(buf(r)->cells() + i))) deep_copy_cell(r, i);
  }
  if (!part && buf(r)->cell_count() == 1) *r = buf(r)->cells()[0];
  return r;
}

Cell* swap(Cell* s1, Cell* s2) {
  if (!series::block_like(type_of(s2))) {
    Cell v = *s2;
    fire(Err::invalid_arg, &v);
  }
  if (xs_length_q(s1) < 1 || xs_length_q(s2) < 1) return s1;
  bool owned1 = series::notify_before(s1, series::Notice::swap, s2, head_of(s1), 1);
  bool owned2 = series::notify_before(s2, series::Notice::swap, s1, head_of(s2), 1);
  if (xs_length_q(s1) >= 1 && xs_length_q(s2) >= 1) {
    Cell* a = buf(s1)->cells() + head_of(s1);
    Cell* b = buf(s2)->cells() + head_of(s2);
    Node t1 = index_of(s1), t2 = index_of(s2);
    if (t1) hashtable::delete_key(t1, a);
    if (t2) hashtable::delete_key(t2, b);
    std::swap(*a, *b);
    if (t1) hashtable::put(t1, buf(s1)->cells() + head_of(s1));
    if (t2) hashtable::put(t2, buf(s2)->cells() + head_of(s2));
  }
  if (owned1) series::notify_after(s1, series::Notice::swap, nullptr, head_of(s1), 1);
  if (owned2) series::notify_after(s2, series::Notice::swap, nullptr, head_of(s2), 1);
  return s1;
}

Cell* trim(Cell* s, int head, int tail, int auto_, int lines, int all, Cell* with) {
  int32_t h = clamped_head(s);
  bool owned = series::notify_before(s, series::Notice::trim, nullptr, h, 0);
  SeriesBuf* b = buf(s);
  Cell* c = b->cells();
  int64_t n = b->cell_count(), k = h;
  for (int64_t i = h; i < n; i++)
    if (!is_type(c + i, T_NONE)) c[k++] = c[i];
  b->tail = b->head + static_cast<Off>(k * 16);
  if (k != n)
    if (Node t = index_of(s)) hashtable::rehash(t, static_cast<int32_t>(k));
  if (owned) series::notify_after(s, series::Notice::trim, nullptr, h, 0);
  return s;
}

Cell* copy(Cell* s, Cell* result, Cell* part, int deep, Cell* types) {
  int st = type_of(s);
  Node src = series::node_of(s);
  if (deep) {
    // A block holding itself would be copied forever.
    if (cycles::find(src)) {
      cycles::reset();
      fire(Err::no_cycle);
    }
    cycles::push(src);
  }
  series::copy(s, result, part, 0, nullptr);
  if (deep || types) {
    if (st == T_HASH) {
      set_type(result, T_BLOCK);
      series::set_extra(result, 0);  // no longer a hash! index
    }
    int64_t n = buf(result)->cell_count();
    if (types) {
      copy_types(result, 0, static_cast<int32_t>(n), 1, deep, types);
    } else {
      for (int64_t i = 0; i < n && i < buf(result)->cell_count(); i++)
        if (series_type(type_of(buf(result)->cells() + i))) deep_copy_cell(result, i);
    }
  }
  if (deep) cycles::pop();
  return result;
}

}  // namespace xeb::block
