// String storage: cells, units, widening, the character primitives and
// concatenation. Everything that builds text goes through here.
#include "datatypes/string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/error.h"
#include "runtime/hashtable.h"
#include "runtime/casemap.h"
#include "runtime/region.h"
#include "runtime/counts.h"
#include "runtime/exit.h"
#include "runtime/floattext.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::string {

namespace {

// A unit other than 1, 2 or 4 means a corrupted buffer: end the process.
inline int checked_unit(const SeriesBuf* b) {
  int u = b->unit();
  if (u != 1 && u != 2 && u != 4) runtime_error(101);
  return u;
}

bool is_ascii(const char* p, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (static_cast<uint8_t>(p[i]) >= 0x80) return false;
  return true;
}

inline void put_char(std::byte* p, int unit, int32_t cp) {
  switch (unit) {
    case 1: *reinterpret_cast<uint8_t*>(p) = static_cast<uint8_t>(cp); break;
    case 2: {
      uint16_t v = static_cast<uint16_t>(cp);
      std::memcpy(p, &v, 2);
      break;
    }
    default: {
      uint32_t v = static_cast<uint32_t>(cp);
      std::memcpy(p, &v, 4);
    }
  }
}

// Appends n bytes that each fit the unit as they stand (ASCII at unit 1,
// any byte wider): one reservation, then a copy.
[[gnu::noinline]] void widen_bytes(std::byte* w, const char* p, int32_t n, int u) {
  for (int32_t i = 0; i < n; i++) put_char(w + static_cast<int64_t>(i) * u, u, static_cast<uint8_t>(p[i]));
}

SeriesBuf* append_fitting(SeriesBuf* b, const char* p, int32_t n, int u) {
  int64_t bytes = int64_t{n} * u;
  if (bytes > int64_t{off(b->end())} - b->tail && region::contains(p)) {
    // Growing may move every buffer: text read from one is copied out first.
    std::string held(p, static_cast<size_t>(n));
    return append_fitting(memory::reserve_tail(b, bytes), held.data(), n, u);
  }
  b = memory::reserve_tail(b, bytes);
  if (u == 1) std::memcpy(b->tail_ptr(), p, static_cast<size_t>(n));
  else widen_bytes(b->tail_ptr(), p, n, u);
  b->tail += static_cast<Off>(n * u);
  return b;
}

// The unit a code point needs when written at an index (up to 255 fits 1).
inline int unit_for(int32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

}  // namespace

// --- Cells --------------------------------------------------------------------

Cell* make_typed(Cell* c, int32_t n, int unit, TypeId type) {
  begin_cell(c);
  Node node = memory::alloc_series(n < 1 ? 1 : n, unit, 0);
  return series::set_cell(c, type, node);
}
Cell* make_at(Cell* c, int32_t n, int unit) { return make_typed(c, n, unit, T_STRING); }
Cell* xs_make_at(Cell* c, int32_t n) { return make_typed(c, n, 1, T_STRING); }
Cell* push(const Cell* s) { return stack::push(s); }
Cell* push_new(int32_t n) { return xs_make_at(stack::push_new(), n); }

int32_t xs_abs_length_q(const Cell* s) {
  SeriesBuf* b = series::buf(s);
  return static_cast<int32_t>(b->used() >> series::shift_of(b));
}

int32_t xs_length_q(const Cell* s) {
  int32_t n = xs_abs_length_q(s) - series::head(s);
  return n > 0 ? n : 0;
}

std::byte* xs_head(Cell* s) {
  SeriesBuf* b = series::buf(s);
  int32_t len = xs_abs_length_q(s);
  if (series::head(s) > len) series::set_head(s, len);
  return b->head_ptr() + (static_cast<int64_t>(series::head(s)) << series::shift_of(b));
}

std::byte* xs_tail(const Cell* s) { return series::buf(s)->tail_ptr(); }
bool xs_tail_q(const Cell* s) { return series::head(s) >= xs_abs_length_q(s); }

int32_t xs_abs_at(const Cell* s, int32_t i) {
  SeriesBuf* b = series::buf(s);
  int u = checked_unit(b);
  return get_char(b->head_ptr() + (static_cast<int64_t>(i) << series::log2_unit(u)), u);
}
int32_t char_at(const Cell* s, int32_t i) { return xs_abs_at(s, series::head(s) + i); }

void xs_reset(Cell* s) {
  SeriesBuf* b = series::buf(s);
  b->flags = (b->flags & ~SER_UNIT_MASK) | 1;
  b->tail = b->head;
  series::set_head(s, 0);
}

const Cell* text_of(const Cell* s, Cell* out) {
  if (!is_type(s, T_SYMBOL)) return s;
  // A symbol record caches its name as a string!, made on first need from
  // the UTF-8 name.
  if (!symbol_string(s)) {
    SeriesBuf* name = buf_of(symbol_name(s));
    set_symbol_string(const_cast<Cell*>(s), unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(name->head_ptr()),
                                                                    static_cast<int32_t>(name->used())));
  }
  *out = Cell{T_STRING, 0, symbol_string(s), 0};
  return out;
}

std::string utf8_of(const Cell* s, int32_t count) {
  Cell tmp;
  s = text_of(s, &tmp);
  std::string out;
  int32_t n = xs_length_q(s);
  if (count >= 0 && count < n) n = count;
  out.reserve(n);
  for (int32_t i = 0; i < n; i++) {
    uint8_t u[4];
    int k = unicode::encode_utf8(char_at(s, i), u);
    out.append(reinterpret_cast<char*>(u), k);
  }
  return out;
}

// --- Buffer primitives -----------------------------------------------------------

int32_t get_char(const std::byte* p, int unit) {
  switch (unit) {
    case 1: return *reinterpret_cast<const uint8_t*>(p);
    case 2: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 4: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
  runtime_error(101);
}

SeriesBuf* widen_to(SeriesBuf* b, int unit) {
  int u = checked_unit(b);
  if (unit <= u) return b;
  if (u == 1) return unit == 2 ? unicode::widen_1_2(b) : unicode::widen_1_4(b);
  return unicode::widen_2_4(b);
}

SeriesBuf* reserve(SeriesBuf* b, int64_t n) { return memory::reserve_tail(b, n); }

SeriesBuf* set_char(SeriesBuf* b, std::byte* p, int32_t cp) {
  int u = checked_unit(b);
  int need = unit_for(cp);
  if (need > u) {
    int64_t rel = p - b->head_ptr();
    b = widen_to(b, need);
    p = b->head_ptr() + rel * (need / u);
    u = need;
  }
  put_char(p, u, cp);
  return b;
}

SeriesBuf* append_char(SeriesBuf* b, int32_t cp) {
  int u = checked_unit(b);
  int need = cp <= 0x7F ? 1 : unit_for(cp);
  if (u == 1 && need == 1 && cp > 0x7F) need = 2;
  if (need > u) b = widen_to(b, need), u = need;
  if (int64_t{off(b->end())} - b->tail < u) b = reserve(b, u);
  put_char(b->tail_ptr(), u, cp);
  b->tail += static_cast<Off>(u);
  return b;
}

SeriesBuf* overwrite_char(SeriesBuf* b, int32_t index, int32_t cp) {
  int u = checked_unit(b);
  if (unit_for(cp) > u) b = widen_to(b, unit_for(cp)), u = b->unit();
  int sh = series::log2_unit(u);
  int64_t pos = int64_t{b->head} + (int64_t{index} << sh);
  while (pos + u > int64_t{off(b->end())}) {
    b = memory::expand_series(b, int64_t{b->size} * 2 + 16);
    pos = int64_t{b->head} + (int64_t{index} << sh);
  }
  put_char(at(static_cast<Off>(pos)), u, cp);
  if (pos >= b->tail) b->tail = static_cast<Off>(pos + u);
  return b;
}

SeriesBuf* insert_char(SeriesBuf* b, int32_t index, int32_t cp) {
  int u = checked_unit(b);
  if (unit_for(cp) > u) b = widen_to(b, unit_for(cp)), u = b->unit();
  b = reserve(b, u);
  std::byte* p = b->head_ptr() + (int64_t{index} << series::log2_unit(u));
  if (p > b->tail_ptr()) p = b->tail_ptr();
  std::memmove(p + u, p, static_cast<size_t>(b->tail_ptr() - p));
  b->tail += static_cast<Off>(u);
  put_char(p, u, cp);
  return b;
}

SeriesBuf* remove_part(SeriesBuf* b, int32_t index, int32_t n) {
  int sh = series::log2_unit(checked_unit(b));
  std::byte* p = b->head_ptr() + (int64_t{index} << sh);
  std::byte* t = b->tail_ptr();
  if (p >= t || n <= 0) return b;
  std::byte* q = p + (int64_t{n} << sh);
  if (q > t) q = t;
  std::memmove(p, q, static_cast<size_t>(t - q));
  b->tail -= static_cast<Off>(q - p);
  return b;
}
SeriesBuf* remove_char(SeriesBuf* b, int32_t index) { return remove_part(b, index, 1); }

SeriesBuf* truncate_buffer(SeriesBuf* b, int32_t n) {
  int64_t t = int64_t{b->head} + (int64_t{n} << series::shift_of(b));
  if (t >= b->head && t < b->tail) b->tail = static_cast<Off>(t);
  return b;
}

SeriesBuf* append_literal_n(SeriesBuf* b, const char* lit, int32_t n) {
  int u = checked_unit(b);
  if (u == 1 && !is_ascii(lit, n)) {
    for (int32_t i = 0; i < n; i++) b = append_char(b, static_cast<uint8_t>(lit[i]));
    return b;
  }
  return append_fitting(b, lit, n, u);
}
SeriesBuf* append_literal(SeriesBuf* b, const char* lit) {
  return append_literal_n(b, lit, static_cast<int32_t>(std::strlen(lit)));
}

void swap_runs(std::byte* p, int32_t n1, int32_t n2) {
  // Three reversals rotate in place: no scratch buffer to share or grow.
  std::reverse(p, p + n1);
  std::reverse(p + n1, p + n1 + n2);
  std::reverse(p, p + n1 + n2);
}

void move_chars(Cell* from, Cell* to, int32_t n) {
  int32_t avail = xs_length_q(from);
  if (n > avail) n = avail;
  int32_t fh = series::head(from), th = series::head(to);
  for (int32_t i = 0; i < n; i++) {
    int32_t cp = xs_abs_at(from, fh + i);
    insert_char(series::buf(to), th + i, cp);
  }
  remove_part(series::buf(from), fh, n);
}

// --- Cell-level appending --------------------------------------------------------

void append_char(Cell* s, int32_t cp) { append_char(series::buf(s), cp); }

void append_ascii(Cell* s, std::string_view text) {
  append_literal_n(series::buf(s), text.data(), static_cast<int32_t>(text.size()));
}

int32_t append_utf8(Cell* s, std::string_view text) {
  auto n = static_cast<int32_t>(text.size());
  // ASCII, as nearly all molded text is, goes in as it stands.
  if (is_ascii(text.data(), n)) {
    append_fitting(series::buf(s), text.data(), n, checked_unit(series::buf(s)));
    return n;
  }
  int32_t before = xs_abs_length_q(s);
  // Text appended is text, not a file: a leading U+FEFF is a character to
  // keep, which the loader would skip as a byte order mark.
  if (text.starts_with("\xEF\xBB\xBF")) {
    append_char(s, 0xFEFF);
    text.remove_prefix(3);
  }
  // Text that ends inside a sequence is refused as an invalid sequence is,
  // not cut short unseen. Such an end is at most 3 bytes, kept aside now:
  // the text may lie in a buffer the load moves.
  uint8_t last[3];
  size_t kept = std::min<size_t>(text.size(), 3);
  std::memcpy(last, text.data() + text.size() - kept, kept);
  int32_t left = 0;
  unicode::load_utf8(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), s,
                     &left, false);
  if (left > 0) {
    int32_t n = std::min<int32_t>(left, static_cast<int32_t>(kept));
    fire(Err::invalid_utf8, binary::load(last + kept - n, n));
  }
  return xs_abs_length_q(s) - before;
}

void append_utf8_lossy(Cell* s, std::string_view text) {
  const auto* begin = reinterpret_cast<const uint8_t*>(text.data());
  const auto* end = begin + text.size();
  const auto* p = begin;
  while (p < end) {
    // The valid run goes in whole; each byte that starts no valid sequence
    // is one U+FFFD, and the byte after it starts the next character (the
    // decoder would have taken a good byte that broke a sequence with it).
    const uint8_t* q = p;
    int32_t cp = 0;
    while (q < end) {
      const uint8_t* next = unicode::fast_decode_utf8_char(q, end, &cp);
      if (cp < 0) break;
      q = next;
    }
    if (q > p) append_utf8(s, text.substr(static_cast<size_t>(p - begin), static_cast<size_t>(q - p)));
    if (q < end) {
      append_char(s, 0xFFFD);
      q++;
    }
    p = q;
  }
}

void append_int(Cell* s, int64_t n) {
  char tmp[24];
  int k = std::snprintf(tmp, sizeof tmp, "%lld", static_cast<long long>(n));
  append_ascii(s, std::string_view(tmp, k));
}

void concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset, bool keep, Mode mode) {
  Cell tmp;
  source = text_of(source, &tmp);
  SeriesBuf* tb = series::buf(target);
  SeriesBuf* sb = series::buf(source);
  int tu = checked_unit(tb), su = checked_unit(sb);
  if (tu < su) tb = widen_to(tb, su), tu = su;
  else if (su < tu && !keep) sb = widen_to(sb, tu), su = tu;
  // Either widening may have collected and moved the other buffer.
  tb = series::buf(target);
  sb = series::buf(source);
  int32_t count = xs_length_q(source);
  if (part >= 0 && part < count) count = part;
  if (count <= 0) return;
  int tsh = series::log2_unit(tu), ssh = series::log2_unit(su);
  int64_t bytes = int64_t{count} << tsh;
  int32_t th = std::min(series::head(target) + offset, xs_abs_length_q(target));
  int64_t at_byte = mode == Mode::append ? int64_t{tb->used()} : int64_t{th} << tsh;
  int64_t new_used = mode == Mode::insert ? int64_t{tb->used()} + bytes : std::max<int64_t>(at_byte + bytes, tb->used());
  if (new_used > INT32_MAX) fire(Err::no_memory);
  if (int64_t{tb->head} + new_used > int64_t{off(tb->end())}) {
    tb = memory::expand_series(tb, std::min<int64_t>(new_used * 2, INT32_MAX));
    sb = series::buf(source);  // may share the buffer, or have slid
  }
  std::byte* dst = tb->head_ptr() + at_byte;
  const std::byte* src = sb->head_ptr() + (int64_t{series::head(source)} << ssh);
  // Text taken from the target itself is copied aside before the gap opens.
  std::vector<std::byte> own;
  if (sb == tb) {
    own.assign(src, src + (int64_t{count} << ssh));
    src = own.data();
  }
  if (mode == Mode::insert)
    std::memmove(dst + bytes, dst, static_cast<size_t>(tb->tail_ptr() - dst));
  if (tu == su) {
    std::memmove(dst, src, static_cast<size_t>(bytes));
  } else {
    for (int32_t i = 0; i < count; i++) put_char(dst + (int64_t{i} << tsh), tu, get_char(src + (int64_t{i} << ssh), su));
  }
  tb->tail = tb->head + static_cast<Off>(new_used);
}

// --- Searching and comparing -----------------------------------------------------

int32_t find_char(const Cell* s, int32_t cp) {
  int32_t n = xs_length_q(s);
  for (int32_t i = 0; i < n; i++)
    if (char_at(s, i) == cp) return i;
  return -1;
}

bool find_char_skip_q(const Cell* s, int32_t cp, int32_t skip, bool case_) {
  int32_t n = xs_length_q(s);
  if (skip < 1) skip = 1;
  uint32_t want = case_ ? cp : unicode::to_case(cp, false);
  for (int32_t i = 0; i < n; i = counts::add(i, skip)) {
    int32_t c = char_at(s, i);
    if ((case_ ? uint32_t(c) : unicode::to_case(c, false)) == want) return true;
  }
  return false;
}

bool starts_with_literal_q(const Cell* s, const char* lit) {
  int32_t n = static_cast<int32_t>(std::strlen(lit));
  if (n > xs_length_q(s)) return false;
  for (int32_t i = 0; i < n; i++) {
    int32_t c = char_at(s, i);
    if (c > 255 || c != static_cast<uint8_t>(lit[i])) return false;
  }
  return true;
}

bool head_in_bitset_q(const Cell* s, const Cell* bitset) {
  return !xs_tail_q(s) && bitset::has(bitset, char_at(s, 0));
}

bool tag_enclosed_q(const Cell* s, const Cell* tag) {
  int32_t n = xs_length_q(tag);
  return xs_length_q(s) >= n + 2 && char_at(s, 0) == '<' && char_at(s, n + 1) == '>';
}

uint32_t hash(const Cell* s, bool case_sensitive) {
  SeriesBuf* b = series::buf(s);
  int unit = b->unit() ? b->unit() : 1;
  int32_t head = series::head(s);
  int32_t len = std::max(static_cast<int32_t>(b->used() / unit) - head, 0);
  return hashtable::hash_text(b->head_ptr() + static_cast<size_t>(head) * unit, unit, len, case_sensitive);
}

int compare_strings(const Cell* v1, const Cell* v2, int op, bool match) {
  Cell t1, t2;
  v1 = text_of(v1, &t1);
  v2 = text_of(v2, &t2);
  bool same = v1->w2 == v2->w2 && v1->w1 == v2->w1;
  if (op == COMP_SAME) return same ? 0 : -1;
  bool eq_op = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
  if (eq_op && same) return 0;
  int32_t l1 = xs_length_q(v1), l2 = xs_length_q(v2);
  int32_t n;
  if (!match) {
    if (l1 == 0 && l2 == 0) return 0;
    if (l1 != l2 && (eq_op || l2 == 0)) return 1;
    n = std::min(l1, l2);
  } else {
    if (l2 == 0) return op == COMP_FIND ? 1 : 0;
    if (l1 < l2) return 1;
    n = l2;
  }
  if (l1 == 0) return -1;
  bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT;
  for (int32_t i = 0; i < n; i++) {
    uint32_t a = static_cast<uint32_t>(char_at(v1, i)), b = static_cast<uint32_t>(char_at(v2, i));
    if (!exact) a = unicode::to_case(a, false), b = unicode::to_case(b, false);
    if (a != b) return a < b ? -1 : 1;
  }
  if (match) return 0;
  return l1 == l2 ? 0 : l1 < l2 ? -1 : 1;
}

bool match_at_head_q(const Cell* s, const Cell* value, int op) {
  switch (type_of(value)) {
    case T_CHAR: {
      if (xs_tail_q(s)) return false;
      uint32_t a = char_at(s, 0), b = static_cast<uint32_t>(get_int(value));
      if (op != COMP_STRICT_EQUAL) a = unicode::to_case(a, false), b = unicode::to_case(b, false);
      return a == b;
    }
    case T_TAG: {
      if (!tag_enclosed_q(s, value)) return false;
      Cell inner = *s;
      series::set_head(&inner, series::head(&inner) + 1);
      return compare_strings(&inner, value, op, true) == 0;
    }
    case T_STRING: case T_FILE: case T_URL: case T_EMAIL: case T_REF:
      return compare_strings(s, value, op, true) == 0;
    default:
      return false;
  }
}

// --- Text formatting ----------------------------------------------------------------

void byte_to_hex(uint8_t b, char out[2]) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out[0] = digits[b >> 4];
  out[1] = digits[b & 15];
}

std::string_view to_hex(int32_t v, bool nopad, char out[9]) {
  static constexpr char digits[] = "0123456789ABCDEF";
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 7; i >= 0; i--, u >>= 4) out[i] = digits[u & 15];
  out[8] = 0;
  if (!nopad) return {out, 8};
  int first = 0;
  while (first < 6 && out[first] == '0') first++;  // keep at least two digits
  return {out + first, static_cast<size_t>(8 - first)};
}

double text_to_float(const char* text, int32_t len, int32_t* left) {
  std::string tmp(text, len);
  char* end = nullptr;
  double d = std::strtod(tmp.c_str(), &end);
  if (left) *left = static_cast<int32_t>(len - (end - tmp.c_str()));
  return d;
}

bool is_whitespace(int32_t c) {
  if (c >= 1 && c <= 32) return true;
  switch (c) {
    case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000: return true;
  }
  return c >= 0x2000 && c <= 0x200A;
}

bool is_hwhitespace(int32_t c) { return c == 9 || c == 32 || (c > 32 && is_whitespace(c)); }

// --- Loading -------------------------------------------------------------------------

Cell* load(const uint8_t* bytes, int32_t len, Cell* target, int encoding) {
  if (encoding != ENC_UTF8 && encoding != ENC_UTF16LE) {
    std::fputs("*** Loading Error: input encoding unsupported\n", stdout);
    exit_process(0);
  }
  Cell* c = target ? target : stack::push_new();
  begin_cell(c);
  c->w1 = c->w2 = c->w3 = 0;
  // Text that ends inside a UTF-8 sequence is refused as an invalid one
  // would be: its last bytes are not dropped unseen.
  int32_t left = 0;
  Node n = encoding == ENC_UTF8 ? unicode::load_utf8(bytes, len, nullptr, &left, false)
                                : unicode::load_utf16le(bytes, len / 2, nullptr, false);
  series::set_cell(c, T_STRING, n);
  if (left > 0) fire(Err::invalid_utf8, binary::load(bytes + len - left, left));
  return c;
}

Cell* load_new(const uint8_t* bytes, int32_t len, int encoding) { return load(bytes, len, nullptr, encoding); }

Cell* load_in(const uint8_t* bytes, int32_t len, Cell* block, int encoding) {
  Cell* v = load(bytes, len, nullptr, encoding);  // held on the stack while the block grows
  Cell* slot = memory::new_tail_cell(block);
  *slot = *v;
  stack::pop(1);
  return slot;
}

}  // namespace xeb::string
