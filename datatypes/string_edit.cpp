// string! editing and searching slots: append, insert, change, find,
// select, take, swap, trim, sort and the set operations; and the
// registration of string!.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/casemap.h"
#include "runtime/counts.h"
#include "runtime/sort.h"
#include "runtime/throw.h"
#include "runtime/stack.h"

namespace xeb::string {

namespace {

inline int shift(const Cell* s) { return series::shift_of(series::buf(s)); }
inline std::byte* at_index(const Cell* s, int64_t i) { return series::buf(s)->head_ptr() + (i << shift(s)); }
inline uint32_t fold(uint32_t c) { return unicode::to_case(c, false); }

// Appends the text a value adds (cut to limit characters when limit >= 0)
// at s's tail; answers the characters added.
int32_t append_value(Cell* s, Cell* value, int32_t limit) {
  int32_t before = xs_abs_length_q(s);
  int t = type_of(value);
  if (t == T_CHAR) {
    if (limit != 0) append_char(s, get_int(value));
  } else if (t == T_TAG) {
    append_char(s, '<');
    concatenate(s, value, -1, 0, true, Mode::append);
    append_char(s, '>');
  } else if (series::string_like(t) || t == T_SYMBOL) {
    concatenate(s, value, limit, 0, true, Mode::append);
  } else if (t == T_BLOCK || t == T_PAREN || t == T_HASH) {
    int32_t n = xs_length_q(value) >= 0 ? series::get_length(value, false) : 0;
    for (int32_t i = 0; i < n; i++) {
      if (limit >= 0 && xs_abs_length_q(s) - before >= limit) break;
      SeriesBuf* b = series::buf(value);
      Cell* item = stack::push(reinterpret_cast<Cell*>(b->head_ptr()) + series::head(value) + i);
      actions::form(item, s, nullptr, actions::NO_LIMIT);
      stack::pop(1);
    }
  } else {
    actions::form(value, s, nullptr, actions::NO_LIMIT);
  }
  int32_t added = xs_abs_length_q(s) - before;
  if (limit >= 0 && added > limit) {
    truncate_buffer(series::buf(s), before + limit);
    added = limit;
  }
  return added;
}

// Repeats the last run of n characters until it appears dup times.
void repeat_run(Cell* s, int32_t n, int32_t dup) {
  if (dup < 2 || n <= 0) return;
  int64_t need = (int64_t{xs_abs_length_q(s)} + int64_t{n} * (dup - 1)) << shift(s);
  if (need > INT32_MAX) fire(Err::no_memory);
  SeriesBuf* b = reserve(series::buf(s), int64_t{n} * (dup - 1) << shift(s));
  int64_t bytes = int64_t{n} << series::shift_of(b);
  std::byte* run = b->tail_ptr() - bytes;
  // The copied region doubles each time, so a short run repeated a billion
  // times costs some thirty copies, not a billion.
  int64_t have = bytes, want = bytes * dup;
  while (have < want) {
    const int64_t k = std::min(have, want - have);
    std::memcpy(run + have, run, static_cast<size_t>(k));
    have += k;
  }
  b->tail += static_cast<Off>(want - bytes);
}

void check_size(Cell* s, Cell* value, int32_t dup) {
  // The value's own length bounds the added text for strings; formed values
  // are checked once appended.
  if (dup < 2) return;
  int64_t add = series::string_like(type_of(value)) ? xs_length_q(value) : 1;
  if ((int64_t{xs_abs_length_q(s)} + add * dup) * series::buf(s)->unit() > INT32_MAX)
    fire(Err::no_memory);
}

}  // namespace

Cell* insert(Cell* s, Cell* value, int part, int only, int dup, int last) {
  int32_t len = xs_abs_length_q(s);
  if (series::head(s) > len) series::set_head(s, len);
  int32_t h = series::head(s);
  bool at_tail = last || h >= len;
  check_size(s, value, dup);
  series::Notice notice = last ? series::Notice::append : series::Notice::insert;
  // An append is reported at the old length, an insertion at the head; both
  // with the characters added. An owner hears that count before the change,
  // so the text is made first, aside.
  int32_t at = last ? len : h;
  bool owned = false;
  int32_t n;
  if (series::owned(s)) {
    Cell* text = push_new(16);
    int32_t count = append_value(text, value, part);
    if (count == 0) {
      stack::pop(1);
      return s;
    }
    int64_t total = int64_t{count} * std::max(dup, 1);
    if ((int64_t{len} + total) << shift(s) > INT32_MAX) fire(Err::no_memory);
    owned = series::notify_before(s, notice, value, at, static_cast<int32_t>(total));
    n = append_value(s, text, -1);
    stack::pop(1);
  } else {
    n = append_value(s, value, part);
  }
  if (n == 0) return s;
  repeat_run(s, n, dup);
  int32_t total = xs_abs_length_q(s) - len;
  if (!at_tail) {
    swap_runs(at_index(s, h), (len - h) << shift(s), total << shift(s));
  }
  if (owned) series::notify_after(s, notice, value, at, total);
  series::set_head(s, last ? 0 : h + total);
  return s;
}

Cell* change(Cell* s, Cell* value, int part, int only, int dup) {
  int32_t len = xs_abs_length_q(s);
  if (series::head(s) > len) series::set_head(s, len);
  int32_t h = series::head(s);
  if (h >= len) return insert(s, value, part, only, dup, 0);
  check_size(s, value, dup);
  bool owned = series::notify_before(s, series::Notice::change, value, h, part);
  int32_t n = append_value(s, value, -1);
  repeat_run(s, n, dup);
  int32_t total = xs_abs_length_q(s) - len;
  int32_t rest = len - h;
  int32_t replaced = std::min(part >= 0 ? part : total, rest);
  if (replaced < 0) replaced = 0;
  if (replaced == total) {
    // As long as what it replaces: written over it, the rest stays put.
    std::memmove(at_index(s, h), at_index(s, len), static_cast<size_t>(total) << shift(s));
    truncate_buffer(series::buf(s), len);
  } else {
    // [replaced][kept][new] becomes [replaced][new][kept], then the replaced
    // text goes.
    swap_runs(at_index(s, h + replaced), (rest - replaced) << shift(s), total << shift(s));
    remove_part(series::buf(s), h, replaced);
  }
  if (owned) series::notify_after(s, series::Notice::change, value, h, total);
  series::set_head(s, h + total);
  return s;
}

namespace {

// The values replace takes in one pass: their text is the same at every
// match, so it is made once (a block or an object could hold the series
// itself, and a function is called at each match).
bool fixed_text_q(const Cell* s, const Cell* value) {
  int t = type_of(value);
  if (series::string_like(t) || t == T_BINARY) return series::node_of(value) != series::node_of(s);
  switch (t) {
    case T_CHAR: case T_INTEGER: case T_FLOAT: case T_LOGIC: case T_NONE: case T_WORD: case T_SET_WORD:
    case T_GET_WORD: case T_LIT_WORD: case T_REFINEMENT: case T_ISSUE: case T_TUPLE: case T_PAIR:
    case T_MONEY: case T_PERCENT: case T_DATE: case T_TIME:
      return true;
    default:
      return false;
  }
}

// The first index from i at which the needle's code points (folded unless
// case_) stand in s, before len; -1 when none. Allocates nothing.
int32_t next_match(const Cell* s, int32_t i, int32_t len, const std::vector<uint32_t>& needle, bool case_) {
  SeriesBuf* b = series::buf(s);
  const int u = b->unit();
  const std::byte* p = b->head_ptr();
  const auto n = static_cast<int32_t>(needle.size());
  if (u == 1) {
    // One byte a character: each byte's folded form from a table.
    static const auto lower = [] {
      std::array<uint32_t, 256> t{};
      for (uint32_t c = 0; c < 256; c++) t[c] = fold(c);
      return t;
    }();
    static const auto same = [] {
      std::array<uint32_t, 256> t{};
      for (uint32_t c = 0; c < 256; c++) t[c] = c;
      return t;
    }();
    const uint32_t* folded = case_ ? same.data() : lower.data();
    auto q = reinterpret_cast<const uint8_t*>(p);
    const uint32_t first = needle[0];
    for (; i + n <= len; i++) {
      if (folded[q[i]] != first) continue;
      int32_t k = 1;
      while (k < n && folded[q[i + k]] == needle[k]) k++;
      if (k == n) return i;
    }
    return -1;
  }
  auto at = [&](int32_t k) {
    auto c = static_cast<uint32_t>(get_char(p + static_cast<int64_t>(k) * u, u));
    return case_ ? c : fold(c);
  };
  for (; i + n <= len; i++) {
    int32_t k = 0;
    while (k < n && at(i + k) == needle[k]) k++;
    if (k == n) return i;
  }
  return -1;
}

bool replace_bytes(Cell* s, Cell* pattern, Cell* value, bool all) {
  // A text pattern counts its characters where the generic path counts
  // bytes: only ASCII text agrees with it.
  if (is_type(pattern, T_STRING)) {
    if (binary::value_bytes(nullptr, pattern, -1, false, 2) != xs_length_q(pattern)) return false;
  } else if (!is_type(pattern, T_BINARY)) {
    return false;
  }
  if (series::owned(s) || !fixed_text_q(s, value)) return false;
  int32_t len = series::buffer_length(s);
  if (series::head(s) > len) series::set_head(s, len);
  int32_t h = series::head(s);
  std::vector<std::byte> needle(static_cast<size_t>(binary::value_bytes(nullptr, pattern, -1, false, 2)));
  if (needle.empty()) return true;
  binary::value_bytes(needle.data(), pattern, -1, false, 2);
  // An integer out of byte range is an error only where there is something
  // to replace: the generic walk raises it.
  if (is_type(value, T_INTEGER) && (get_int(value) < -128 || get_int(value) > 255)) return false;
  std::vector<std::byte> text(static_cast<size_t>(binary::value_bytes(nullptr, value, -1, false, 2)));
  if (!text.empty()) binary::value_bytes(text.data(), value, -1, false, 2);
  // Built aside in plain memory: nothing below allocates managed memory until
  // the result goes back into s.
  std::vector<std::byte> out;
  const std::byte* p = series::buf(s)->head_ptr();
  const auto n = static_cast<int32_t>(needle.size());
  int32_t copied = h;
  for (int32_t i = h; i + n <= len;) {
    if (std::memcmp(p + i, needle.data(), needle.size()) != 0) {
      i++;
      continue;
    }
    out.insert(out.end(), p + copied, p + i);
    out.insert(out.end(), text.begin(), text.end());
    i += n;
    copied = i;
    if (!all) break;
  }
  if (copied == h) return true;  // no match
  out.insert(out.end(), p + copied, p + len);
  SeriesBuf* b = series::buf(s);
  b->tail = b->head + static_cast<Off>(h);
  if (!out.empty()) binary::append_bytes(s, reinterpret_cast<const uint8_t*>(out.data()), static_cast<int32_t>(out.size()));
  return true;
}

}  // namespace

bool fast_text = std::getenv("XEB_NO_FAST_TEXT") == nullptr;

bool replace_text(Cell* s, Cell* pattern, Cell* value, bool all, bool case_) {
  if (!fast_text) return false;
  if (is_type(s, T_BINARY)) return replace_bytes(s, pattern, value, all);
  if (!series::string_like(type_of(s)) || !is_type(pattern, T_STRING) || series::owned(s) ||
      !fixed_text_q(s, value))
    return false;
  int32_t len = xs_abs_length_q(s);
  if (series::head(s) > len) series::set_head(s, len);
  int32_t h = series::head(s);
  std::vector<uint32_t> needle;
  for (int32_t i = 0, n = xs_length_q(pattern); i < n; i++) {
    auto c = static_cast<uint32_t>(char_at(pattern, i));
    needle.push_back(case_ ? c : fold(c));
  }
  if (needle.empty()) return true;
  Cell* text = push_new(16);
  append_value(text, value, -1);
  int32_t i = next_match(s, h, len, needle, case_);
  if (i < 0) {
    stack::pop(1);
    return true;
  }
  // Both at the wider unit, so runs copy as bytes (s widens as an insertion
  // of the wider text would widen it).
  const int u = std::max(series::buf(s)->unit(), series::buf(text)->unit());
  widen_to(series::buf(s), u);
  widen_to(series::buf(text), u);
  const auto n = static_cast<int32_t>(needle.size());
  const size_t text_bytes = static_cast<size_t>(xs_abs_length_q(text)) * u;
  // Built aside in plain memory: nothing allocates managed memory until the
  // result goes back into s, so the buffers stay where they are.
  std::vector<std::byte> out;
  out.reserve(static_cast<size_t>(len - h) * u);
  const std::byte* p = series::buf(s)->head_ptr();
  const std::byte* t = series::buf(text)->head_ptr();
  int32_t copied = h;  // s's text before this index is in out
  while (i >= 0) {
    out.insert(out.end(), p + static_cast<int64_t>(copied) * u, p + static_cast<int64_t>(i) * u);
    out.insert(out.end(), t, t + text_bytes);
    copied = i + n;
    i = all ? next_match(s, copied, len, needle, case_) : -1;
  }
  out.insert(out.end(), p + static_cast<int64_t>(copied) * u, p + static_cast<int64_t>(len) * u);
  if (static_cast<int64_t>(h) * u + static_cast<int64_t>(out.size()) > INT32_MAX) fire(Err::no_memory);
  SeriesBuf* b = series::buf(s);
  b->tail = b->head + static_cast<Off>(static_cast<int64_t>(h) * u);
  b = reserve(b, static_cast<int64_t>(out.size()));
  if (!out.empty()) std::memcpy(b->tail_ptr(), out.data(), out.size());
  b->tail += static_cast<Off>(out.size());
  stack::pop(1);
  return true;
}

bool split_text(Cell* s, Cell* dlm, Cell* out) {
  if (!fast_text || !is_type(s, T_STRING)) return false;
  const bool set = is_type(dlm, T_BITSET);
  std::vector<uint32_t> needle;
  if (is_type(dlm, T_CHAR)) {
    needle.push_back(fold(static_cast<uint32_t>(get_int(dlm))));
  } else if (is_type(dlm, T_STRING)) {
    for (int32_t i = 0, n = xs_length_q(dlm); i < n; i++) needle.push_back(fold(static_cast<uint32_t>(char_at(dlm, i))));
    if (needle.empty()) return false;
  } else if (!set) {
    return false;
  }
  const int32_t n = set ? 1 : static_cast<int32_t>(needle.size());
  int32_t len = xs_abs_length_q(s);
  int32_t i = std::clamp(series::head(s), 0, len);
  block::make_at(out, 8);
  Cell* from = stack::push(s);
  // A piece runs to the next delimiter or the end; a delimiter at the end
  // leaves one empty piece after it.
  for (;;) {
    int32_t m = -1;
    if (set) {
      for (int32_t k = i; k < len; k++)
        if (bitset::has(dlm, xs_abs_at(s, k))) {
          m = k;
          break;
        }
    } else if (i < len) {
      m = next_match(s, i, len, needle, false);
    }
    const int32_t end = m < 0 ? len : m;
    Cell* piece = push_new(std::max(end - i, 1));
    series::set_head(from, i);
    concatenate(piece, from, end - i, 0, true, Mode::append);
    block::xs_append(out, piece);
    stack::pop(1);
    if (m < 0) break;
    i = m + n;
  }
  stack::pop(1);
  return true;
}

// --- find and select --------------------------------------------------------------------

namespace {

struct Match {
  int32_t pos = -1;  // start of the match, -1 for none
  int32_t len = 0;
};

Match find_in(Cell* s, Cell* value, Cell* part, int case_, int same, Cell* skip, int last, int reverse,
              int match) {
  Match m;
  int32_t whole = xs_abs_length_q(s);
  int32_t h = series::head(s);
  if (whole == 0 || (h >= whole && !reverse)) return m;
  if (h > whole) h = whole;
  int32_t step = 1;
  if (skip) {
    step = is_type(skip, T_INTEGER) ? get_int(skip) : 0;
    if (step < 1) {
      Cell v = *skip;
      fire(Err::out_of_range, &v);
    }
  }
  int32_t count = reverse ? h : whole - h;
  if (part) {
    int32_t c = series::part_count(s, part);
    if (c < 1) return m;
    count = std::min(c, count);
  }
  if (reverse && match) return m;
  bool binary = is_type(s, T_BINARY);
  bool folding = !binary && !case_ && !same;
  int vt = type_of(value);
  // The needle: a single code point, a bitset, or a run of code points.
  std::vector<int32_t> needle;
  bool bitset = vt == T_BITSET;
  if (vt == T_CHAR || (binary && vt == T_INTEGER)) {
    needle.push_back(get_int(value));
  } else if (bitset) {
  } else if (binary) {
    int64_t n = binary::value_bytes(nullptr, value, -1, false, 2);
    std::vector<std::byte> bytes(static_cast<size_t>(n));
    binary::value_bytes(bytes.data(), value, -1, false, 2);
    for (std::byte b : bytes) needle.push_back(static_cast<uint8_t>(b));
  } else if (series::string_like(vt) || vt == T_SYMBOL || vt == T_WORD || vt == T_SET_WORD || vt == T_GET_WORD ||
             vt == T_LIT_WORD || vt == T_REFINEMENT || vt == T_ISSUE) {
    Cell* txt = push_new(16);
    actions::form(value, txt, nullptr, actions::NO_LIMIT);
    for (int32_t i = 0, n = xs_length_q(txt); i < n; i++) needle.push_back(char_at(txt, i));
    stack::pop(1);
  } else if (vt == T_BINARY) {
    Cell v = *value;
    fire(Err::invalid_arg, &v);
  } else {
    Cell* txt = push_new(16);
    actions::form(value, txt, nullptr, actions::NO_LIMIT);
    for (int32_t i = 0, n = xs_length_q(txt); i < n; i++) needle.push_back(char_at(txt, i));
    stack::pop(1);
  }
  if (!bitset && needle.empty()) return m;
  if (folding)
    for (auto& c : needle) c = static_cast<int32_t>(fold(c));
  int32_t nlen = bitset ? 1 : static_cast<int32_t>(needle.size());
  auto char_eq = [&](int32_t i, int32_t want) {
    int32_t c = xs_abs_at(s, i);
    return (folding ? static_cast<int32_t>(fold(c)) : c) == want;
  };
  auto matches_at = [&](int32_t start) {
    if (bitset) {
      Cell probe = *s;
      series::set_head(&probe, start);
      return head_in_bitset_q(&probe, value);
    }
    for (int32_t k = 0; k < nlen; k++)
      if (!char_eq(start + k, needle[k])) return false;
    return true;
  };
  int32_t lo, hi;  // the range [lo, hi)
  if (reverse) lo = h - count, hi = h;
  else lo = h, hi = h + count;
  if (!last && !reverse) {
    for (int32_t c = lo; counts::add(c, nlen) <= hi; c = counts::add(c, step)) {
      if (matches_at(c)) return Match{c, nlen};
      if (match) break;
    }
    return m;
  }
  // Backwards: the candidate is the match's last character.
  for (int32_t c = hi - 1; c >= lo; c = counts::sub(c, step)) {
    int32_t start = c - nlen + 1;
    if (start < lo) break;
    if (matches_at(start)) return Match{start, nlen};
    if (match) break;
  }
  return m;
}

}  // namespace

Cell* find(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
           int last, int reverse, int tail, int match) {
  if (any || with) fire(Err::not_done);
  Match m = find_in(s, value, part, case_, same, skip, last, reverse, match);
  if (m.pos < 0) return &fixed_none;
  series::set_head(s, tail ? m.pos + m.len : m.pos);
  return s;
}

Cell* select(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
             int last, int reverse) {
  if (any || with) fire(Err::not_done);
  Match m = find_in(s, value, part, case_, same, skip, last, reverse, 0);
  if (m.pos < 0) return &fixed_none;
  int32_t p = m.pos + m.len;
  if (p >= xs_abs_length_q(s)) return &fixed_none;
  int32_t c = xs_abs_at(s, p);
  *s = is_type(s, T_BINARY) ? Cell{T_INTEGER, 0, static_cast<uint32_t>(c), 0}
                            : Cell{T_CHAR, 0, static_cast<uint32_t>(c), 0};
  return s;
}

// --- take and swap ---------------------------------------------------------------------------

Cell* take(Cell* s, Cell* part, int deep, int last) {
  Cell* r = series::take(s, part, deep, last);
  if (part || !series::any_series(type_of(r))) return r;
  int32_t c = string::get_char(series::buf(r)->head_ptr(), series::buf(r)->unit());
  *r = is_type(s, T_BINARY) ? Cell{T_INTEGER, 0, static_cast<uint32_t>(c), 0}
                            : Cell{T_CHAR, 0, static_cast<uint32_t>(c), 0};
  return r;
}

Cell* swap(Cell* s1, Cell* s2) {
  int t2 = type_of(s2);
  if (!series::string_like(t2) && t2 != T_BINARY) {
    Cell v = *s2;
    fire(Err::invalid_arg, &v);
  }
  if (xs_tail_q(s1) || xs_tail_q(s2)) return s1;
  bool owned = series::notify_before(s1, series::Notice::swap, s2, series::head(s1), 1);
  int32_t a = char_at(s1, 0), b = char_at(s2, 0);
  overwrite_char(series::buf(s1), series::head(s1), b);
  overwrite_char(series::buf(s2), series::head(s2), a);
  if (owned) series::notify_after(s1, series::Notice::swap, s2, series::head(s1), 1);
  return s1;
}

// --- trim -----------------------------------------------------------------------------------------

void trim_with(Cell* s, Cell* with) {
  std::vector<int32_t> set;
  if (!with) {
    set = {'\t', '\n', '\r', ' '};
  } else if (is_type(with, T_CHAR) || is_type(with, T_INTEGER)) {
    set.push_back(get_int(with));
  } else if (is_type(with, T_BINARY)) {
    for (int32_t i = 0, n = binary::xs_length_q(with); i < n; i++) set.push_back(char_at(with, i));
  } else if (series::string_like(type_of(with))) {
    for (int32_t i = 0, n = xs_length_q(with); i < n; i++) set.push_back(char_at(with, i));
  } else {
    Cell v = *with;
    fire(Err::invalid_arg, &v);
  }
  if (set.empty()) return;
  SeriesBuf* b = series::buf(s);
  int u = b->unit();
  std::byte* p = xs_head(s);
  std::byte* w = p;
  for (std::byte* e = b->tail_ptr(); p < e; p += u) {
    int32_t c = get_char(p, u);
    if (std::find(set.begin(), set.end(), c) != set.end()) continue;
    if (w != p) std::memmove(w, p, u);
    w += u;
  }
  b->tail = off(w);
}

Cell* trim(Cell* s, int head, int tail, int auto_, int lines, int all, Cell* with) {
  bool owned = series::notify_before(s, series::Notice::trim, nullptr, series::head(s), 0);
  if (all || with) {
    trim_with(s, with);
  } else if (auto_) {
    fire(Err::not_done);
  } else {
    xs_head(s);  // a position past the tail (the string was cut) trims at the tail
    int32_t h = series::head(s);
    int32_t n = xs_length_q(s);
    std::vector<int32_t> out;
    out.reserve(n);
    int32_t lo = 0, hi = n;
    if (lines || head || !tail)
      while (lo < hi && is_whitespace(char_at(s, lo))) lo++;
    bool trailing_nl = false;
    if (lines || tail || !head)
      while (hi > lo && is_whitespace(char_at(s, hi - 1))) trailing_nl |= char_at(s, hi - 1) == '\n', hi--;
    if (lines) {
      bool space = false;
      for (int32_t i = lo; i < hi; i++) {
        int32_t c = char_at(s, i);
        if (is_whitespace(c)) space = true;
        else {
          if (space) out.push_back(' ');
          space = false;
          out.push_back(c);
        }
      }
    } else if (head || tail) {
      for (int32_t i = lo; i < hi; i++) out.push_back(char_at(s, i));
    } else {
      // Horizontal space at a line's start and before a newline goes.
      bool line_start = true;
      std::vector<int32_t> pending;
      for (int32_t i = lo; i < hi; i++) {
        int32_t c = char_at(s, i);
        if (c == '\n') {
          pending.clear();
          out.push_back(c);
          line_start = true;
        } else if (is_hwhitespace(c)) {
          if (!line_start) pending.push_back(c);
        } else {
          out.insert(out.end(), pending.begin(), pending.end());
          pending.clear();
          out.push_back(c);
          line_start = false;
        }
      }
      if (trailing_nl) out.push_back('\n');
    }
    // The kept text only ever shrinks, so it is written back in place at the
    // unit the buffer already has.
    SeriesBuf* b = series::buf(s);
    int u = b->unit();
    std::byte* p = b->head_ptr() + (int64_t{h} << series::log2_unit(u));
    for (size_t i = 0; i < out.size(); i++) {
      int32_t c = out[i];
      switch (u) {
        case 1: reinterpret_cast<uint8_t*>(p)[i] = static_cast<uint8_t>(c); break;
        case 2: {
          uint16_t v = static_cast<uint16_t>(c);
          std::memcpy(p + i * 2, &v, 2);
          break;
        }
        default: std::memcpy(p + i * 4, &c, 4);
      }
    }
    b->tail = off(p + out.size() * u);
  }
  if (owned) series::notify_after(s, series::Notice::trim, nullptr, series::head(s), 0);
  return s;
}

// --- sort -------------------------------------------------------------------------------------------

namespace {

struct SortCtx {
  int unit;
  int32_t record;   // characters per record
  int32_t offset;   // the deciding character within a record
  bool all;
  bool case_;
  bool reverse;
};
SortCtx* g_sort;  // a plain sort runs no language code, so it never nests

int32_t cmp_units(const void* a, const void* b, int, int) {
  const SortCtx& c = *g_sort;
  auto pa = static_cast<const std::byte*>(a), pb = static_cast<const std::byte*>(b);
  int32_t from = c.all ? 0 : c.offset, to = c.all ? c.record : c.offset + 1;
  int32_t r = 0;
  for (int32_t i = from; i < to && r == 0; i++) {
    uint32_t x = get_char(pa + i * c.unit, c.unit), y = get_char(pb + i * c.unit, c.unit);
    if (!c.case_) {
      if (c.unit == 1) {
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
      } else {
        x = fold(x), y = fold(y);
      }
    }
    r = x < y ? -1 : x > y ? 1 : 0;
  }
  return c.reverse ? -r : r;
}

// A sort by a /compare function. The function runs language code, which may
// allocate, move the buffer, resize or widen the string: the sort orders
// record numbers, reads characters through the node at each call, and
// applies the order once at the end. Sorts can nest (the function may sort),
// so each keeps its own state, reached through a pointer it saves.
struct CallSort {
  Cell* series;  // data-stack copy of the series
  Cell* func;    // data-stack copy of the function
  const SortCtx* ctx;
  int32_t head;
};
CallSort* call_sort = nullptr;

// Record i as the function sees it: its deciding character, or with /all
// the whole record as a new string.
Cell* record_value(const CallSort& cs, int32_t i) {
  int32_t start = cs.head + i * cs.ctx->record;
  if (!cs.ctx->all) {
    Cell c{T_CHAR, 0, static_cast<uint32_t>(xs_abs_at(cs.series, start + cs.ctx->offset)), 0};
    return stack::push(&c);
  }
  Cell* r = push_new(cs.ctx->record);
  for (int32_t k = 0; k < cs.ctx->record; k++) append_char(r, xs_abs_at(cs.series, start + k));
  return r;
}

// The function is asked about (b, a), (a, b) with /reverse; its answer
// counts the other way round from a block sort's.
int32_t cmp_call(const void* pa, const void* pb, int, int) {
  // A pending exit from an earlier call ends the sort: no more calls, and
  // the stacks, set for the exit's target, are not touched.
  if (throwing()) return 0;
  const CallSort& cs = *call_sort;
  int32_t ia = *static_cast<const int32_t*>(pa), ib = *static_cast<const int32_t*>(pb);
  // A record the function has cut away compares equal to anything.
  int64_t end = cs.head + (int64_t{std::max(ia, ib)} + 1) * cs.ctx->record;
  if (end > xs_abs_length_q(cs.series)) return 0;
  Cell* saved = stack::top();
  Cell* x = record_value(cs, cs.ctx->reverse ? ia : ib);
  Cell* y = record_value(cs, cs.ctx->reverse ? ib : ia);
  Cell* r = series::compare_call(cs.func, x, y);
  if (throwing()) return 0;
  int32_t answer = series::swapped_answer(r);
  stack::set_top(saved);
  return answer;
}

void sort_by_function(Cell* s, Cell* func, const SortCtx& ctx, int32_t records, bool stable) {
  if (!series::compare_call) fire(Err::not_done);  // never a silently unsorted result
  Cell* saved = stack::top();
  CallSort cs{stack::push(s), stack::push(func), &ctx, series::head(s)};
  sort::Current<CallSort> current(call_sort, &cs);
  std::vector<int32_t> order = sort::order(records, stable, 0, cmp_call);
  if (throwing()) return;  // the string keeps its order
  // The function may have shortened the string: the order applies only to
  // records that are still all there. Code points are written back, so a
  // string the function widened takes them too.
  int64_t chars = int64_t{records} * ctx.record;
  if (cs.head + chars <= xs_abs_length_q(cs.series)) {
    std::vector<int32_t> sorted;
    sorted.reserve(static_cast<size_t>(chars));
    for (int32_t k = 0; k < records; k++)
      for (int32_t j = 0; j < ctx.record; j++) sorted.push_back(xs_abs_at(cs.series, cs.head + order[k] * ctx.record + j));
    for (int64_t i = 0; i < chars; i++)
      overwrite_char(series::buf(cs.series), static_cast<int32_t>(cs.head + i), sorted[i]);
  }
  stack::set_top(saved);
}

}  // namespace

Cell* sort(Cell* s, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable) {
  int32_t len = xs_length_q(s);
  if (part) {
    int32_t c = series::sort_part(s, part);  // moves the head first
    len = std::min(c, xs_length_q(s));
  }
  series::SortRefines r = series::sort_refines(len, skip, compare, all != 0, false);
  int32_t size = r.size;
  SortCtx ctx{series::buf(s)->unit(), size, r.offset, all != 0, case_ != 0, reverse != 0};
  Cell* func = r.func;
  if (len < 2) return s;
  bool owned = series::notify_before(s, series::Notice::sort, nullptr, series::head(s), len);
  if (func) {
    sort_by_function(s, func, ctx, len / size, stable != 0);
    if (throwing()) return s;
  } else {
    // Plain comparisons run no language code and allocate nothing: the
    // records are sorted in place.
    sort::Current<SortCtx> current(g_sort, &ctx);
    sort::run(xs_head(s), len / size, ctx.unit * size, 0, 0, &cmp_units, stable && !case_);
  }
  if (owned) series::notify_after(s, series::Notice::sort, nullptr, series::head(s), len);
  return s;
}

// --- Set operations ----------------------------------------------------------------------------------

namespace {

// The keys (first characters) of a text's records, one bit per code point:
// membership in constant time, so set operations on long texts stay linear.
struct Keys {
  static constexpr uint32_t kLast = 0x10FFFF;
  std::vector<uint64_t> bits = std::vector<uint64_t>((kLast >> 6) + 1);
  bool has(uint32_t k) const { return k <= kLast && (bits[k >> 6] >> (k & 63) & 1); }
  void add(uint32_t k) {
    if (k <= kLast) bits[k >> 6] |= uint64_t{1} << (k & 63);
  }
};

}  // namespace

void do_set_op(int case_, Cell* skip, int op) {
  Cell* a = stack::base();
  Cell* b = a + 1;
  int32_t size = 1;
  if (skip) {
    size = is_type(skip, T_INTEGER) ? get_int(skip) : 0;
    if (size < 1) series::fail_refine(words::W::skip, skip);
  }
  xs_head(a);
  if (op != OP_UNIQUE) xs_head(b);
  int32_t cap = xs_length_q(a) + (op == OP_UNION ? xs_length_q(b) : 0);
  Cell* out = make_typed(stack::push_new(), cap, 1, type_of(a));
  auto key = [&](int32_t c) { return case_ ? static_cast<uint32_t>(c) : fold(c); };
  Keys kept;  // the keys of the records already in out
  auto pass = [&](Cell* x, Cell* y) {
    Keys other;
    bool against = op == OP_INTERSECT || op == OP_EXCLUDE || op == OP_DIFFERENCE;
    if (against)
      for (int32_t i = 0, n = xs_length_q(y); i < n; i = counts::add(i, size)) other.add(key(char_at(y, i)));
    int32_t n = xs_length_q(x);
    for (int32_t i = 0; i < n; i = counts::add(i, size)) {
      uint32_t k = key(char_at(x, i));
      bool keep = !against || (op == OP_INTERSECT) == other.has(k);
      if (!keep || kept.has(k)) continue;
      kept.add(k);
      for (int32_t j = 0; j < size && j < n - i; j++) append_char(out, char_at(x, i + j));
    }
  };
  pass(a, b);
  if (op == OP_UNION || op == OP_DIFFERENCE) pass(b, a);
  *a = *out;
  stack::pop(1);
}

// --- Registration ----------------------------------------------------------------------------------------

void init() {
  datatype::Registration r{T_STRING, T_SERIES, "string!"};
  r.hashes(&string::hash);
  r.marks(layout);
  r.set(A_MAKE, &make).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path);
  r.set(A_COMPARE, &compare).set(A_APPEND, &insert).set(A_CHANGE, &change).set(A_FIND, &find);
  r.set(A_INSERT, &insert).set(A_SELECT, &select).set(A_SORT, &sort).set(A_SWAP, &swap).set(A_TAKE, &take);
  r.set(A_TRIM, &trim);
  r.inherit({A_RANDOM, A_REFLECT, A_AT, A_BACK, A_CLEAR, A_COPY, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_LENGTH_Q, A_MOVE,
             A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SKIP, A_TAIL, A_TAIL_Q, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::string
