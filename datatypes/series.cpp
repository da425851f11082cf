// The abstract series type: navigation, element access and the in-place
// edits shared by every series, at any unit width.
#include "datatypes/series.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/ownership.h"
#include "datatypes/pair.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/counts.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/stamp.h"

namespace xeb::series {

Cell (*vector_get)(const Cell*, int32_t) = nullptr;
void (*vector_set)(const Cell*, int32_t, const Cell*) = nullptr;
int32_t (*random_range)(int32_t n, bool secure) = nullptr;
Cell* (*compare_call)(Cell* func, Cell* a, Cell* b) = nullptr;

int32_t swapped_answer(const Cell* r) {
  switch (type_of(r)) {
    case T_LOGIC: return logic::get(r) == 1 ? 1 : -1;
    case T_INTEGER: return counts::neg(get_int(r));
    case T_FLOAT: {
      double d = get_double(r);
      return d > 0 ? -1 : d < 0 ? 1 : 0;
    }
    case T_NONE: return -1;
    default: return 1;
  }
}
void (*random_seed)(uint32_t seed) = nullptr;

namespace {

inline Cell int_cell(int32_t n) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0}; }
inline Cell char_cell(int32_t cp) { return Cell{T_CHAR, 0, static_cast<uint32_t>(cp), 0}; }
inline Cell logic_cell(bool f) { return Cell{T_LOGIC, f ? 1u : 0u, 0, 0}; }

inline int unit_of(const Cell* s) { return buf(s)->unit(); }
inline std::byte* elem(SeriesBuf* b, int64_t i) { return b->head_ptr() + (i << shift_of(b)); }

// The element at p as a value: the cell for block-likes, an integer! byte for
// binary!, a char! for text.
Cell element_value(const Cell* s, int32_t p) {
  SeriesBuf* b = buf(s);
  int u = b->unit();
  if (u == 16) return *reinterpret_cast<Cell*>(elem(b, p));
  if (is_type(s, T_VECTOR)) return vector_get(s, p);
  int32_t c = string::get_char(elem(b, p), u);
  return is_type(s, T_BINARY) ? int_cell(c) : char_cell(c);
}

int32_t fallback_random(int32_t n, bool) {
  // Until the random generator is wired in: a fixed xorshift sequence.
  static uint32_t x = 2463534242u;
  x ^= x << 13, x ^= x >> 17, x ^= x << 5;
  return static_cast<int32_t>(x % static_cast<uint32_t>(n)) + 1;
}
inline int32_t draw(int32_t n, bool secure) { return (random_range ? random_range : fallback_random)(n, secure); }

}  // namespace

// --- Errors and notices --------------------------------------------------------

void fail_refine(words::W refinement, const Cell* value) {
  Cell r = words::refinement(refinement);
  Cell v = *value;
  fire(Err::invalid_refine_arg, &r, &v);
}

void fail_int_refine(words::W refinement, int32_t n) {
  Cell r = words::refinement(refinement), v = int_cell(n);
  fire(Err::invalid_refine_arg, &r, &v);
}

void fail_int(Err id, int32_t n) {
  Cell v = int_cell(n);
  fire(id, &v);
}

void fail_path(Err id, const PathStep& step, const Cell* element) {
  Cell p = step.path ? *step.path : fixed_none, e = *element;
  fire(id, &p, &e);
}

namespace {
struct NoticeWords {
  words::W before, after;
};
// Indexed by Notice.
constexpr NoticeWords kNotices[] = {
    {words::W::append, words::W::appended}, {words::W::insert, words::W::inserted},
    {words::W::change, words::W::changed},  {words::W::clear, words::W::cleared},
    {words::W::poke, words::W::poked},      {words::W::put, words::W::put_ed},
    {words::W::remove, words::W::removed},  {words::W::random, words::W::randomized},
    {words::W::reverse, words::W::reversed}, {words::W::sort, words::W::sorted},
    {words::W::swap, words::W::swaped},     {words::W::take, words::W::taken},
    {words::W::move, words::W::moved},      {words::W::trim, words::W::trimmed},
};

// The length and width of a series' buffer, as an edit measured them.
struct Shape {
  uint32_t used = 0;
  int unit = 0;
  bool operator==(const Shape&) const = default;
};
// Read through the value's cell (a collector root), never a held node: the
// hook may move buffers and renumber nodes.
Shape shape_of(const Cell* v) {
  if (!any_series(type_of(v)) || is_type(v, T_IMAGE)) return {};
  SeriesBuf* b = buf(v);
  return {b->used(), b->unit()};
}

bool notify(const Cell* s, words::W w, const Cell* arg, int32_t index, int32_t count, bool before) {
  // Every edit of a block passes here before and after it: the stamp moves
  // for whatever cache was built from the cells (a hook may run the block
  // between the two).
  if (block_like(type_of(s))) stamp::bump(node_of(s));
  // Only series marked as owned have a record to find: skip the lookup.
  if (!owned(s)) return false;
  Cell v = *s, word = words::word(w), a = arg ? *arg : fixed_none;
  Cell* cells = stack::push(&v);
  stack::push(&word);
  stack::push(&a);
  Shape target = shape_of(cells), source = shape_of(cells + 2);
  int r = ownership::check(cells, cells + 1, cells + 2, index, count);
  // The edit has measured both series and goes on from those measures once
  // the hook returns; a hook that resized either would have it copy, move
  // or write past the tail.
  bool kept = shape_of(cells) == target && shape_of(cells + 2) == source;
  stack::pop(3);
  if (before && r && !kept) {
    Cell hook = words::word(words::W::on_deep_change);
    fire(Err::invalid_obj_evt, &hook);
  }
  return r != 0;
}
}  // namespace

bool owned(const Cell* s) { return (buf(s)->flags & ownership::SER_OWNED) != 0; }

bool notify_before(const Cell* s, Notice n, const Cell* arg, int32_t index, int32_t count) {
  return notify(s, kNotices[static_cast<int>(n)].before, arg, index, count, true);
}
void notify_after(const Cell* s, Notice n, const Cell* arg, int32_t index, int32_t count) {
  notify(s, kNotices[static_cast<int>(n)].after, arg, index, count, false);
}

// --- Operations -----------------------------------------------------------------

bool xs_tail_q(const Cell* s) {
  SeriesBuf* b = buf(s);
  return int64_t{b->head} + (int64_t{head(s)} << shift_of(b)) >= int64_t{b->tail};
}

int32_t buffer_length(const Cell* s) {
  SeriesBuf* b = buf(s);
  return static_cast<int32_t>(b->used() >> shift_of(b));
}

bool xs_skip(Cell* s, int32_t n) {
  SeriesBuf* b = buf(s);
  int64_t pos = int64_t{b->head} + ((int64_t{head(s)} + n) << shift_of(b));
  if (pos <= int64_t{b->tail}) set_head(s, head(s) + n);
  return pos >= int64_t{b->tail};
}

int32_t get_length(Cell* s, bool absolute) {
  int32_t whole = buffer_length(s);
  if (absolute) return whole;
  int32_t h = std::max(head(s), 0);
  if (h > whole) {
    set_head(s, whole);
    return 0;
  }
  return whole - h;
}

int32_t get_index(int base) {
  Cell* s = stack::base();
  Cell* arg = s + 1;
  if (!is_type(arg, T_INTEGER)) {
    Cell v = *arg;
    fire(Err::invalid_arg, &v);
  }
  int64_t n = get_int(arg);
  if (base == 1 && n < 1) base = 0;
  int64_t h = int64_t{head(s)} + n - base;
  return static_cast<int32_t>(std::clamp<int64_t>(h, 0, buffer_length(s)));
}

int32_t part_count(const Cell* s, const Cell* part) {
  if (is_type(part, T_INTEGER)) return get_int(part);
  if (type_of(part) == type_of(s) && node_of(part) == node_of(s)) return head(part) - head(s);
  fail_refine(words::W::part, part);
}

int32_t sort_part(Cell* s, const Cell* part) {
  int32_t c = part_count(s, part);
  if (c < 0) {
    c = counts::back(c, head(s));
    set_head(s, head(s) - c);
  }
  return c;
}

SortRefines sort_refines(int32_t n, const Cell* skip, Cell* compare, bool all, bool bare_offset_bad_refines) {
  SortRefines r;
  if (skip) {
    if (!is_type(skip, T_INTEGER)) fail_refine(words::W::skip, skip);
    r.size = get_int(skip);
    if (r.size < 1 || r.size > n || n % r.size) fail_int_refine(words::W::skip, r.size);
  } else if (all) {
    fire(Err::bad_refines);
  }
  if (!compare) return r;
  if (is_type(compare, T_FUNCTION)) {
    if (!compare_call) fire(Err::not_done);  // never a silently unsorted result
    r.func = compare;
  } else if (is_type(compare, T_INTEGER) && (all || (!skip && bare_offset_bad_refines))) {
    fire(Err::bad_refines);
  } else if (is_type(compare, T_INTEGER) && skip) {
    int32_t k = get_int(compare);
    if (k < 1 || k > r.size) fail_int(Err::out_of_range, k);
    r.offset = k - 1;
  } else {
    fail_refine(words::W::compare, compare);
  }
  return r;
}

// --- Navigation slots --------------------------------------------------------------

void head_q() {
  Cell* s = stack::base();
  *s = logic_cell(head(s) == 0);
}
void tail_q() {
  Cell* s = stack::base();
  *s = logic_cell(xs_tail_q(s));
}
void index_q() {
  Cell* s = stack::base();
  *s = int_cell(head(s) + 1);
}
int length_q(Cell* s) { return get_length(s, false); }
void head_() { set_head(stack::base(), 0); }
void tail_() { set_head(stack::base(), buffer_length(stack::base())); }
void next() { xs_skip(stack::base(), 1); }
void back() {
  Cell* s = stack::base();
  if (head(s) > 0) set_head(s, head(s) - 1);
}
void at() { set_head(stack::base(), get_index(1)); }
void skip() { set_head(stack::base(), get_index(0)); }

// --- Element access -----------------------------------------------------------------

namespace {
// The 0-based position of a pick/poke index, or -1 when out of range.
int32_t pick_position(const Cell* s, int32_t index) {
  if (index == 0) return -1;
  int64_t p = int64_t{head(s)} + index - (index > 0 ? 1 : 0);
  if (p < 0 || p >= buffer_length(s)) return -1;
  return static_cast<int32_t>(p);
}
}  // namespace

Cell* pick(Cell* s, int index, Cell* boxed) {
  int32_t p = pick_position(s, index);
  if (p < 0) return &fixed_none;
  *s = element_value(s, p);
  return s;
}

Cell* poke(Cell* s, int index, Cell* data, Cell* boxed) {
  int32_t p = pick_position(s, index);
  if (p < 0) fail_int(Err::out_of_range, index);
  int t = type_of(s);
  if (!block_like(t) && t != T_BINARY && t != T_VECTOR && !is_type(data, T_CHAR)) {
    Cell v = *data;
    fire(Err::invalid_arg, &v);
  }
  bool owned = notify_before(s, Notice::poke, data, p, 1);
  SeriesBuf* b = buf(s);
  if (block_like(t)) {
    *reinterpret_cast<Cell*>(elem(b, p)) = *data;
  } else if (t == T_BINARY) {
    binary::byte_from_value(elem(b, p), data);
  } else if (t == T_VECTOR) {
    vector_set(s, p, data);
  } else {
    string::set_char(b, elem(b, p), get_int(data));
  }
  if (owned) notify_after(s, Notice::poke, data, p, 1);
  return data;
}

Cell* path_index(Cell* s, Cell* element, Cell* value) {
  int32_t i = get_int(element);
  if (value) return poke(s, i, value, element);
  Cell* r = stack::push(s);
  Cell out = *pick(r, i, element);
  stack::pop(1);
  return stack::push(&out);
}

// --- Edits ---------------------------------------------------------------------------

Cell* clear(Cell* s) {
  int32_t n = get_length(s, false);
  if (n >= 1) {
    bool owned = notify_before(s, Notice::clear, nullptr, head(s), n);
    SeriesBuf* b = buf(s);
    b->tail = b->head + static_cast<Off>(int64_t{head(s)} << shift_of(b));
    if (owned) notify_after(s, Notice::clear, nullptr, head(s), 0);
  }
  return s;
}

Cell* remove(Cell* s, Cell* part, Cell* key) {
  int32_t c = 1;
  if (part) {
    c = part_count(s, part);
    if (c < 1) return s;
  }
  if (key) {
    Cell* pos = stack::push(s);
    auto find = datatype::slot<act::Find>(type_of(s), A_FIND);
    Cell* r = find(pos, key, nullptr, 0, 1, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
    if (!r || is_type(r, T_NONE)) {
      stack::pop(1);
      return &fixed_none;
    }
    set_head(s, head(r));
    stack::pop(1);
    c++;
  }
  if (!xs_tail_q(s)) {
    bool owned = notify_before(s, Notice::remove, nullptr, head(s), c);
    SeriesBuf* b = buf(s);
    int sh = shift_of(b);
    std::byte* p = elem(b, head(s));
    std::byte* t = b->tail_ptr();
    int64_t bytes = int64_t{c} << sh;
    if (t - p <= bytes) {
      b->tail = off(p);
    } else {
      std::memmove(p, p + bytes, static_cast<size_t>(t - p - bytes));
      b->tail -= static_cast<Off>(bytes);
    }
    if (owned) notify_after(s, Notice::remove, nullptr, head(s), 0);
  }
  return s;
}

Cell* reverse(Cell* s, Cell* part, Cell* skip) {
  if (xs_tail_q(s)) return s;
  int32_t t = part ? part_count(s, part) : get_length(s, false);
  if (t < 1) return s;
  t = std::min(t, get_length(s, false));
  int32_t k = 1;
  if (skip) {
    if (!is_type(skip, T_INTEGER)) fail_refine(words::W::skip, skip);
    k = get_int(skip);
    if (k == t) return s;
    if (k < 1) fail_int(Err::out_of_range, k);
    if (t < k || t % k) {
      Cell r = words::refinement(words::W::skip), v = int_cell(k);
      fire(Err::invalid_refine_arg, &r, &v);
    }
  }
  bool owned = notify_before(s, Notice::reverse, nullptr, head(s), t);
  SeriesBuf* b = buf(s);
  int width = b->unit() * k;
  std::byte* lo = elem(b, head(s));
  std::byte* hi = lo + int64_t{t / k - 1} * width;
  std::vector<std::byte> tmp(width);
  for (; lo < hi; lo += width, hi -= width) {
    std::memcpy(tmp.data(), lo, width);
    std::memcpy(lo, hi, width);
    std::memcpy(hi, tmp.data(), width);
  }
  if (owned) notify_after(s, Notice::reverse, nullptr, head(s), t);
  return s;
}

Cell* take(Cell* s, Cell* part, int deep, int last) {
  int32_t len = get_length(s, false);
  if (len < 1) {
    set_type(s, T_NONE);
    return s;
  }
  int32_t raw = 1;
  if (part) {
    if (is_type(part, T_INTEGER)) {
      raw = get_int(part);
    } else if (type_of(part) == type_of(s) && node_of(part) == node_of(s)) {
      if (head(part) < head(s)) raw = 0;
      else raw = last ? len - (head(part) - head(s)) : head(part) - head(s);
    } else {
      fail_refine(words::W::part, part);
    }
  }
  int32_t avail = len, c = raw;
  if (raw < 0) {
    avail = head(s);
    c = last ? 1 : counts::neg(raw);
  }
  c = std::min(c, avail);
  if (c == 0) c = 1;
  bool owned = notify_before(s, Notice::take, nullptr, head(s), raw);
  // Every taken value gets a buffer of its own: a shared scratch buffer
  // would be overwritten by the next take while the value is still held.
  int unit = unit_of(s);
  Node n = memory::alloc_series(c, unit, 0);
  SeriesBuf* src = buf(s);
  SeriesBuf* dst = buf_of(n);
  dst->flags = (src->flags & ~(SER_BIG | SER_MARK | SER_HEAP | 0x20000)) | (dst->flags & SER_BIG);
  Cell* r = stack::push_new();
  set_cell(r, type_of(s), n, 0, (is_type(s, T_VECTOR) || is_type(s, T_HASH)) ? s->w3 : 0);
  int sh = shift_of(src);
  int64_t from;
  if (raw < 1) {
    if (last || head(s) < c) return r;
    from = head(s) - c;
  } else {
    from = last ? buffer_length(s) - c : head(s);
  }
  int64_t bytes = int64_t{c} << sh;
  std::byte* p = elem(src, from);
  std::memcpy(dst->head_ptr(), p, static_cast<size_t>(bytes));
  dst->tail = dst->head + static_cast<Off>(bytes);
  if (last) {
    src->tail = off(p);
  } else {
    std::memmove(p, p + bytes, static_cast<size_t>(src->tail_ptr() - p - bytes));
    src->tail -= static_cast<Off>(bytes);
    if (raw < 1) set_head(s, static_cast<int32_t>(from));
  }
  if (owned) notify_after(s, Notice::take, nullptr, head(s), 0);
  return r;
}

Cell* copy(Cell* s, Cell* result, Cell* part, int deep, Cell* types) {
  int32_t whole = buffer_length(s);
  int64_t start = std::max(head(s), 0);
  int64_t count = std::max<int64_t>(whole - start, 0);
  if (part) {
    if (is_type(part, T_INTEGER)) {
      count = get_int(part);
    } else if (is_type(part, T_PAIR)) {
      int32_t x = pair::x(part), y = pair::y(part);
      start = std::max<int64_t>(x < 0 ? start + x : start + x - 1, 0);
      count = y < x ? 0 : int64_t{y} - x;
    } else if (type_of(part) == type_of(s) && node_of(part) == node_of(s)) {
      count = int64_t{head(part)} - head(s);
    } else {
      fail_refine(words::W::part, part);
    }
    if (count < 0) {
      start += count;
      count = -count;
      if (start < 0) {
        start = 0;
        count = head(s);
      }
    }
  }
  if (start > whole) start = whole, count = 0;
  if (start + count > whole) count = whole - start;
  TypeId t = type_of(s);
  uint32_t nl = s->header & HDR_NEW_LINE;
  uint32_t extra = t == T_VECTOR ? s->w3 : 0;
  int unit = buf(s)->unit();
  Cell src_cell = *s;  // result may be s itself
  Cell* held = stack::push(&src_cell);
  if (result != s) begin_cell(result);
  Node n = memory::alloc_series(count, unit, 0);
  SeriesBuf* src = buf(held);
  stack::pop(1);
  SeriesBuf* dst = buf_of(n);
  dst->flags = (src->flags & ~(SER_BIG | SER_MARK | SER_HEAP | 0x20000)) | (dst->flags & SER_BIG);
  int64_t bytes = count << shift_of(src);
  std::memcpy(dst->head_ptr(), elem(src, start), static_cast<size_t>(bytes));
  dst->tail = dst->head + static_cast<Off>(bytes);
  set_cell(result, t, n, 0, extra);
  result->header |= nl;
  return result;
}

Cell* random(Cell* s, int seed, int secure, int only) {
  if (seed) {
    SeriesBuf* b = buf(s);
    std::byte* p = elem(b, std::max(head(s), 0));
    int64_t n = b->tail_ptr() - p;
    uint32_t h = hashtable::murmur3(p, n > 0 ? static_cast<size_t>(n) : 0);
    if (random_seed) random_seed(h);
    set_unset(s);
    return s;
  }
  int32_t len = get_length(s, false);
  bool owned = notify_before(s, Notice::random, nullptr, head(s), len);
  if (only) {
    if (len < 1) {
      set_type(s, T_NONE);
      return s;
    }
    *s = element_value(s, head(s) + draw(len, secure) - 1);
    return s;
  }
  int width = unit_of(s);
  std::vector<std::byte> tmp(width);
  for (int32_t c = len, i = head(s); c >= 1; c--, i++) {
    int32_t m = draw(c, secure);
    if (m == 1) continue;
    SeriesBuf* b = buf(s);
    std::byte* a = elem(b, i);
    std::byte* z = elem(b, int64_t{i} + m - 1);
    std::memcpy(tmp.data(), a, width);
    std::memcpy(a, z, width);
    std::memcpy(z, tmp.data(), width);
  }
  if (owned) notify_after(s, Notice::random, nullptr, head(s), len);
  return s;
}

Cell* move(Cell* origin, Cell* target, int part) {
  int tt = type_of(target);
  if (!any_series(tt)) {
    Cell w = words::word(words::W::move), d = datatype::make_cell(tt), a;
    error::get_call_argument(1, &a);
    fire(Err::expect_arg, &w, &d, &a);
  }
  if (xs_tail_q(origin)) return target;
  int32_t c = 1;
  if (part >= 0) {
    if (part < 1) return target;
    c = std::min(part, get_length(origin, false));
  }
  // An image keeps its pixels outside any series buffer: nothing moves in.
  if (tt == T_IMAGE) {
    Cell a = datatype::make_cell(type_of(origin)), z = datatype::make_cell(tt);
    fire(Err::move_bad, &a, &z);
  }
  int sh = shift_of(buf(origin));
  int64_t bytes = int64_t{c} << sh;
  int32_t index;
  if (origin->w2 == target->w2) {
    SeriesBuf* b = buf(origin);
    int64_t O = int64_t{head(origin)} << sh, D = int64_t{head(target)} << sh, T = b->used();
    if (D == O) return target;
    if (D > O && D < T && T - D < bytes) return origin;
    if (D > T) D = T;
    bool owned = notify_before(target, Notice::move, origin, head(origin), c);
    b = buf(origin);  // the owner's hook may have run the collector, which slides buffers
    std::byte* base = b->head_ptr();
    std::vector<std::byte> saved(base + O, base + O + bytes);
    if (O < D) {
      if (D == T) {
        std::memmove(base + O, base + O + bytes, static_cast<size_t>(T - O - bytes));
        std::memcpy(base + T - bytes, saved.data(), static_cast<size_t>(bytes));
      } else {
        int64_t end = D + (int64_t{1} << sh);  // up to and including the target element
        std::memmove(base + O, base + O + bytes, static_cast<size_t>(end - O - bytes));
        std::memcpy(base + end - bytes, saved.data(), static_cast<size_t>(bytes));
      }
    } else {
      std::memmove(base + D + bytes, base + D, static_cast<size_t>(O - D));
      std::memcpy(base + D, saved.data(), static_cast<size_t>(bytes));
    }
    index = head(target) - c;
    if (owned) notify_after(target, Notice::move, nullptr, index, c);
    return target;
  }
  int ot = type_of(origin);
  bool ob = block_like(ot), tb = block_like(tt);
  if (ob != tb) {
    Cell a = datatype::make_cell(ot), z = datatype::make_cell(tt);
    fire(Err::move_bad, &a, &z);
  }
  bool owned = notify_before(target, Notice::move, origin, head(origin), c);
  if (unit_of(origin) != unit_of(target)) {
    if (ot == T_BINARY || tt == T_BINARY || ot == T_VECTOR || tt == T_VECTOR) {
      Cell a = datatype::make_cell(ot), z = datatype::make_cell(tt);
      fire(Err::move_bad, &a, &z);
    }
    string::move_chars(origin, target, c);
    return target;
  }
  SeriesBuf* t = buf(target);
  if (int64_t{off(t->end())} - t->tail < bytes) t = memory::expand_series(t, (int64_t{t->used()} + bytes) * 2);
  SeriesBuf* o = buf(origin);
  int32_t th = std::min(head(target), buffer_length(target));
  std::byte* dp = elem(t, th);
  std::memmove(dp + bytes, dp, static_cast<size_t>(t->tail_ptr() - dp));
  t->tail += static_cast<Off>(bytes);
  std::byte* op = elem(o, head(origin));
  std::memcpy(dp, op, static_cast<size_t>(bytes));
  std::memmove(op, op + bytes, static_cast<size_t>(o->tail_ptr() - op - bytes));
  o->tail -= static_cast<Off>(bytes);
  index = head(target);
  if (owned) notify_after(target, Notice::move, nullptr, index, c);
  return target;
}

Cell* reflect(Cell* s, int field_symbol) {
  if (!words::is(field_symbol, words::W::owned)) fire(Err::not_done);
  *s = *ownership::owner_of(s->w2);
  return s;
}

Cell* modify(Cell* s, Cell* field, Cell* value, int case_) {
  if (!words::is(word_symbol(field), words::W::owned)) fire(Err::not_done);
  if (is_type(value, T_NONE)) {
    ownership::unbind(s);
  } else if (is_type(value, T_BLOCK) && series::get_length(value, false) >= 1) {
    // [owner field]: cells of the block, pushed so they stay put.
    Cell* spec = reinterpret_cast<Cell*>(elem(buf(value), head(value)));
    Cell* owner = stack::push(spec);
    Cell* word = series::get_length(value, false) >= 2 ? stack::push(spec + 1) : nullptr;
    ownership::bind(s, owner, word);
    stack::pop(word ? 2 : 1);
  }
  return value;
}

void init() {
  datatype::Registration r{T_SERIES, 0, "series!"};
  r.set(A_RANDOM, &random).set(A_REFLECT, &reflect).set(A_AT, &at).set(A_BACK, &back).set(A_CLEAR, &clear);
  r.set(A_COPY, &copy).set(A_HEAD, &head_).set(A_HEAD_Q, &head_q).set(A_INDEX_Q, &index_q);
  r.set(A_LENGTH_Q, &length_q).set(A_MOVE, &move).set(A_NEXT, &next).set(A_PICK, &pick).set(A_POKE, &poke);
  r.set(A_REMOVE, &remove).set(A_REVERSE, &reverse).set(A_SKIP, &skip).set(A_TAIL, &tail_);
  r.set(A_TAIL_Q, &tail_q).set(A_TAKE, &take).set(A_MODIFY, &modify);
  datatype::register_type(r);
}

}  // namespace xeb::series
