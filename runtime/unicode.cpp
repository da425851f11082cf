// Unicode conversion and character width.
#include "runtime/unicode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/utf8.h"
#include "runtime/exit.h"
#include "runtime/region.h"
#include "runtime/shapes.h"
#include "runtime/stack.h"

namespace xeb::unicode {

ErrorHooks error_hooks;

namespace {

#include "runtime/unicode_tables_width.inc"

constexpr std::array<uint8_t, 364> make_dfa() {
  std::array<uint8_t, 364> t{};
  struct Span { int lo, hi, cls; };
  constexpr Span classes[] = {
    {0x00, 0x7F, 0}, {0x80, 0x8F, 1}, {0x90, 0x9F, 9}, {0xA0, 0xBF, 7},
    {0xC0, 0xC1, 8}, {0xC2, 0xDF, 2}, {0xE0, 0xE0, 10}, {0xE1, 0xEC, 3},
    {0xED, 0xED, 4}, {0xEE, 0xEF, 3}, {0xF0, 0xF0, 11}, {0xF1, 0xF3, 6},
    {0xF4, 0xF4, 5}, {0xF5, 0xFF, 8},
  };
  for (const Span& s : classes)
    for (int b = s.lo; b <= s.hi; b++) t[b] = static_cast<uint8_t>(s.cls);
  constexpr uint8_t transitions[108] = {
    0,12,24,36,60,96,84,12,12,12,48,72, 12,12,12,12,12,12,12,12,12,12,12,12,
    12, 0,12,12,12,12,12, 0,12, 0,12,12, 12,24,12,12,12,12,12,24,12,24,12,12,
    12,12,12,12,12,12,12,24,12,12,12,12, 12,24,12,12,12,12,12,12,12,24,12,12,
    12,12,12,12,12,12,12,36,12,36,12,12, 12,36,12,12,12,12,12,36,12,36,12,12,
    12,36,12,12,12,12,12,12,12,12,12,12,
  };
  for (int i = 0; i < 108; i++) t[256 + i] = transitions[i];
  return t;
}

[[noreturn]] void raise_bad_utf8(const uint8_t* p, int32_t avail) {
  uint8_t copy[4];
  size_t n = static_cast<size_t>(std::clamp(avail, 0, 4));
  std::memcpy(copy, p, n);
  if (error_hooks.invalid_utf8) error_hooks.invalid_utf8({copy, n});
  runtime_error(99);
}

[[noreturn]] void raise_bad_char(int64_t cp) {
  if (error_hooks.invalid_char) error_hooks.invalid_char(cp);
  runtime_error(99);
}

inline bool valid_cp(int64_t cp) { return cp >= 0 && cp <= 0x10FFFF; }

// Units are stored little-endian; memcpy keeps unaligned reads defined.
inline uint32_t get_unit(const std::byte* p, int unit) {
  switch (unit) {
    case 1: return static_cast<uint8_t>(*p);
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    default: runtime_error(101);
  }
}

inline void put_unit(std::byte* p, int unit, uint32_t c) {
  switch (unit) {
    case 1: *p = static_cast<std::byte>(c); return;
    case 2: { uint16_t v = static_cast<uint16_t>(c); std::memcpy(p, &v, 2); return; }
    case 4: std::memcpy(p, &c, 4); return;
    default: runtime_error(101);
  }
}

inline int unit_shift(int unit) { return unit >> 1; }  // 1, 2, 4 -> 0, 1, 2

// A string's characters from its head. Valid until the next allocation.
struct Text {
  const std::byte* p;
  int unit;
  int32_t len;
  uint32_t at(int32_t i) const { return get_unit(p + (static_cast<int64_t>(i) << unit_shift(unit)), unit); }
};

Text text_of(const Cell* s) {
  SeriesBuf* b = buf_of(series_node(s));
  int unit = b->unit();
  if (unit != 1 && unit != 2 && unit != 4) runtime_error(101);
  int32_t total = static_cast<int32_t>(b->used() >> unit_shift(unit));
  int32_t head = std::clamp(series_head(s), 0, total);
  return {b->head_ptr() + (static_cast<int64_t>(head) << unit_shift(unit)), unit, total - head};
}

inline int32_t take_count(int32_t count, int32_t len) { return count < 0 || count > len ? len : count; }

// The string's conversion scratch buffer, at least bytes long. Kept in the
// cell's cache word and grown under the same node, so it lives as long as
// the value and is reused by the next conversion.
SeriesBuf* scratch(Cell* str, int64_t bytes) {
  if (series_extra(str)) {
    SeriesBuf* b = buf_of(series_extra(str));
    if (b->size >= bytes) return b;
    return memory::expand(b, bytes);
  }
  Node n = memory::alloc_bytes(bytes);
  set_series_extra(str, n);
  return buf_of(n);
}

// Input bytes that no collection can move: a copy when they lie in the
// managed region, where a buffer may slide during the load.
class StableBytes {
 public:
  StableBytes(const uint8_t* p, int64_t n) : p_(p) {
    if (n > 0 && region::contains(p)) {
      copy_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(n)));
      if (!copy_) runtime_error(94);
      std::memcpy(copy_, p, static_cast<size_t>(n));
      p_ = copy_;
    }
  }
  ~StableBytes() { std::free(copy_); }
  StableBytes(const StableBytes&) = delete;
  StableBytes& operator=(const StableBytes&) = delete;
  const uint8_t* get() const { return p_; }

 private:
  const uint8_t* p_;
  uint8_t* copy_ = nullptr;
};

// The cell a load fills: the caller's, or a new string held on the data
// stack while it is built. Pops the held cell when the load ends normally;
// a raised error leaves it to the catching point, which resets the stack.
class LoadTarget {
 public:
  LoadTarget(Cell* target, int64_t n, int unit) : cell_(target) {
    if (cell_) return;
    cell_ = begin_cell(stack::push_new());
    Node node = memory::alloc_string(n, unit);
    *cell_ = Cell{T_STRING, 0, node, 0};
    held_ = true;
  }
  Cell* cell() const { return cell_; }
  SeriesBuf* buf() const { return buf_of(series_node(cell_)); }
  Node finish() {
    Node n = series_node(cell_);
    if (held_) stack::set_top(cell_);
    return n;
  }

 private:
  Cell* cell_;
  bool held_ = false;
};

SeriesBuf* widen(SeriesBuf* b, int to) {
  int from = b->unit();
  int64_t n = b->used() >> unit_shift(from);
  b = memory::reserve_tail(b, n * (to - from) + to);
  // Back to front, so no unit is overwritten before it is read.
  std::byte* h = b->head_ptr();
  for (int64_t i = n; i-- > 0;)
    put_unit(h + i * to, to, get_unit(h + i * from, from));
  b->tail = b->head + static_cast<Off>(n * to);
  b->flags = (b->flags & ~SER_UNIT_MASK) | static_cast<uint32_t>(to);
  return b;
}

// Stores c at the tail of the target's buffer, widening first when it does
// not fit the unit. grow: bytes to add when the buffer is full.
void store(const LoadTarget& t, uint32_t c, int64_t grow) {
  SeriesBuf* b = t.buf();
  int unit = b->unit();
  if (unit == 1 && c > 0xFF) b = c > 0xFFFF ? widen_1_4(b) : widen_1_2(b);
  else if (unit == 2 && c > 0xFFFF) b = widen_2_4(b);
  unit = b->unit();
  if (int64_t{off(b->end())} - b->tail < unit) b = memory::reserve_tail(b, std::max<int64_t>(grow, 16));
  put_unit(b->tail_ptr(), unit, c);
  b->tail += static_cast<Off>(unit);
}

[[noreturn]] void bad_utf16() {
  std::fputs("*** Input Error: invalid UTF-16LE codepoint\n", stdout);
  exit_process(0);
}

}  // namespace

constexpr std::array<uint8_t, 364> utf8_dfa = make_dfa();

// --- Decoding and counting -------------------------------------------------

const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp) {
  uint32_t k = utf8_dfa[*p];
  uint32_t c = (0xFFu >> k) & *p++;
  uint32_t state = utf8_dfa[256 + k];
  while (state != UTF8_ACCEPT && state != UTF8_REJECT) {
    if (p == end) {
      state = UTF8_REJECT;
      break;
    }
    k = utf8_dfa[*p];
    c = (*p++ & 0x3Fu) | (c << 6);
    state = utf8_dfa[256 + state + k];
  }
  *cp = state == UTF8_ACCEPT ? static_cast<int32_t>(c) : -1;
  return p;
}

int32_t count_chars(const uint8_t* start, const uint8_t* end) {
  int32_t n = 0;
  int32_t cp;
  while (start < end) {
    start = fast_decode_utf8_char(start, end, &cp);
    n++;
  }
  return n;
}

const uint8_t* skip_chars(const uint8_t* p, const uint8_t* end, int32_t n) {
  int32_t cp;
  while (n-- > 0 && p < end) p = fast_decode_utf8_char(p, end, &cp);
  return p;
}

int utf8_length(uint8_t lead) {
  if ((lead & 0xF0) == 0xF0) return 4;
  if ((lead & 0xE0) == 0xE0) return 3;
  if ((lead & 0xC0) == 0xC0) return 2;
  return 0;
}

int32_t decode_utf8_checked(const uint8_t* p, int32_t* len) {
  int32_t avail = *len;
  if (avail <= 0) return -1;
  uint8_t b = p[0];
  if (b < 0x80) {
    *len = 1;
    return b;
  }
  int need;
  uint32_t c;
  if (b < 0xC2) raise_bad_utf8(p, avail);  // continuation byte, or overlong lead
  if (b < 0xE0) need = 2, c = b & 0x1Fu;
  else if (b < 0xF0) need = 3, c = b & 0x0Fu;
  else if (b < 0xF5) need = 4, c = b & 0x07u;
  else raise_bad_utf8(p, avail);
  for (int i = 1; i < need; i++) {
    if (i >= avail) {
      *len = need;
      return -1;  // cut short: the caller may have more bytes to come
    }
    uint8_t x = p[i];
    if ((x & 0xC0) != 0x80) raise_bad_utf8(p, avail);
    // The second byte alone shows an overlong form or a value above
    // 0x10FFFF, so a cut sequence is refused as early as a whole one. A
    // surrogate is taken (a string may hold one, and what it writes must
    // read back), except U+DC00-U+DCFF: that range stands for the bytes of
    // host names that are not UTF-8, and text read must never forge one.
    if (i == 1 && ((b == 0xE0 && x < 0xA0) || (b == 0xF0 && x < 0x90) || (b == 0xF4 && x >= 0x90) ||
                   (b == 0xED && x >= 0xB0 && x <= 0xB3)))
      raise_bad_utf8(p, avail);
    c = (c << 6) | (x & 0x3Fu);
  }
  *len = need;
  return static_cast<int32_t>(c);
}

// --- Encoding and sizes ------------------------------------------------------

int cp_utf8_size(int64_t cp) {
  if (!valid_cp(cp)) raise_bad_char(cp);
  return cp <= 0x7F ? 1 : cp <= 0x7FF ? 2 : cp <= 0xFFFF ? 3 : 4;
}

int64_t utf8_size(const std::byte* start, const std::byte* end, int unit) {
  int64_t n = 0;
  for (; start < end; start += unit) n += cp_utf8_size(get_unit(start, unit));
  return n;
}

void append_utf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  uint8_t bytes[4];
  out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(encode_utf8(c, bytes)));
}

int encode_utf8(int64_t cp, uint8_t* out) {
  if (!valid_cp(cp)) raise_bad_char(cp);
  return platform::put_utf8(out, static_cast<uint32_t>(cp));
}

int encode_utf8_bounded(int64_t cp, uint8_t* out, int64_t room) {
  uint8_t tmp[4];
  int n = encode_utf8(cp, tmp);
  if (room <= 0) return 0;
  if (n > room) n = static_cast<int>(room);
  std::memcpy(out, tmp, static_cast<size_t>(n));
  return n;
}

int encode_utf16(int64_t cp, uint8_t* out) {
  if (!valid_cp(cp)) return 0;
  uint32_t c = static_cast<uint32_t>(cp);
  if (c < 0x10000) {
    out[0] = static_cast<uint8_t>(c);
    out[1] = static_cast<uint8_t>(c >> 8);
    return 1;
  }
  uint32_t hi = ((c - 0x10000) >> 10) | 0xD800;
  uint32_t lo = (c & 0x3FF) | 0xDC00;
  out[0] = static_cast<uint8_t>(hi);
  out[1] = static_cast<uint8_t>(hi >> 8);
  out[2] = static_cast<uint8_t>(lo);
  out[3] = static_cast<uint8_t>(lo >> 8);
  return 2;
}

// --- String to external text ---------------------------------------------------

const uint8_t* to_utf8_part(Cell* str, int32_t* count, bool crlf) {
  Text t = text_of(str);
  int32_t n = take_count(*count, t.len);
  int per = t.unit == 1 ? 2 : t.unit == 2 ? 3 : 4;  // also covers an LF as CR LF
  SeriesBuf* sb = scratch(str, (int64_t{n} + 1) * per);
  t = text_of(str);  // the scratch allocation may have moved the string
  uint8_t* out = reinterpret_cast<uint8_t*>(sb->head_ptr());
  uint8_t* w = out;
  for (int32_t i = 0; i < n; i++) {
    uint32_t c = t.at(i);
    if (crlf && c == '\n') *w++ = '\r';
    w += encode_utf8(c, w);
  }
  *w = 0;
  sb->tail = sb->head + static_cast<Off>(w - out);
  *count = static_cast<int32_t>(w - out);
  return out;
}

const uint8_t* to_utf8(Cell* str, int32_t* count) { return to_utf8_part(str, count, false); }

const uint8_t* to_utf16(Cell* str, int32_t* count, bool crlf) {
  Text t = text_of(str);
  int32_t n = take_count(*count, t.len);
  int64_t bytes = 2 * int64_t{n} + 2;
  for (int32_t i = 0; i < n; i++) {
    uint32_t c = t.at(i);
    if (c > 0x10FFFF) return nullptr;
    if (c == '\n' || c > 0xFFFF) bytes += 2;
  }
  SeriesBuf* sb = scratch(str, bytes);
  t = text_of(str);
  uint8_t* out = reinterpret_cast<uint8_t*>(sb->head_ptr());
  int32_t units = 0;
  for (int32_t i = 0; i < n; i++) {
    uint32_t c = t.at(i);
    if (crlf && c == '\n') units += encode_utf16('\r', out + 2 * units);
    units += encode_utf16(c, out + 2 * units);
  }
  out[2 * units] = out[2 * units + 1] = 0;
  sb->tail = sb->head + static_cast<Off>(2 * units);
  *count = units;
  return out;
}

const uint8_t* to_utf16_cstr(Cell* str) {
  int32_t count = -1;
  return to_utf16(str, &count, true);
}

int32_t encode_string(const Cell* str, uint8_t* out, int32_t count, bool nul) {
  Text t = text_of(str);
  int32_t n = take_count(count, t.len);
  int32_t w = 0;
  for (int32_t i = 0; i < n; i++) w += encode_utf8(t.at(i), out + w);
  if (nul) out[w] = 0;
  return w;
}

int32_t encode_string_bounded(const Cell* str, uint8_t* out, int32_t room, int32_t count, bool nul) {
  Text t = text_of(str);
  int32_t n = take_count(count, t.len);
  int32_t w = 0;
  for (int32_t i = 0; i < n; i++) {
    int k = encode_utf8_bounded(t.at(i), out + w, room);
    w += k;
    room -= k;
  }
  if (nul && room > 0) out[w] = 0;
  return w;
}

// --- External text to strings ----------------------------------------------------

SeriesBuf* widen_1_2(SeriesBuf* b) { return widen(b, 2); }
SeriesBuf* widen_1_4(SeriesBuf* b) { return widen(b, 4); }
SeriesBuf* widen_2_4(SeriesBuf* b) { return widen(b, 4); }

Node load_utf8(const uint8_t* bytes, int32_t len, Cell* target, int32_t* remaining, bool cr) {
  if (remaining) *remaining = 0;
  len = std::max(len, 0);
  StableBytes src(bytes, len);
  LoadTarget t(target, std::max(len, 1), 1);
  if (len == 0) return t.finish();
  if (target) memory::reserve_tail(t.buf(), int64_t{len} * t.buf()->unit());
  const uint8_t* p = src.get();
  const uint8_t* end = p + len;
  if (len > 2 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
  while (p < end) {
    // A run of ASCII into one-byte units goes in as it stands (a CR, which
    // may fold, takes the way below).
    if (*p < 0x80 && t.buf()->unit() == 1) {
      const uint8_t* q = p;
      while (q < end && *q < 0x80 && !(cr && *q == '\r')) q++;
      if (q > p) {
        int64_t k = q - p;
        SeriesBuf* b = t.buf();
        if (int64_t{off(b->end())} - b->tail < k) b = memory::reserve_tail(b, k);
        std::memcpy(b->tail_ptr(), p, static_cast<size_t>(k));
        b->tail += static_cast<Off>(k);
        p = q;
        continue;
      }
    }
    int32_t n = static_cast<int32_t>(end - p);
    int32_t c = decode_utf8_checked(p, &n);
    if (c < 0) break;  // cut short: left for the next block
    if (cr && c == '\r') {
      if (p + 1 < end) {
        if (p[1] == '\n') {
          p++;
          continue;
        }
      } else if (remaining) {
        break;  // may pair with an LF at the start of the next block
      }
      c = '\n';
    }
    int unit = t.buf()->unit();
    store(t, static_cast<uint32_t>(c), unit == 1 ? len : unit == 2 ? len / 4 : len);
    p += n;
  }
  if (remaining) *remaining = static_cast<int32_t>(end - p);
  return t.finish();
}

Node load_utf8_new(const uint8_t* bytes, int32_t len) { return load_utf8(bytes, len, nullptr, nullptr, false); }

Node load_utf8_into(const uint8_t* bytes, int32_t len, Cell* str, int32_t* remaining) {
  return load_utf8(bytes, len, str, remaining, false);
}

Node load_utf16le(const uint8_t* bytes, int32_t n, Cell* target, bool cr) {
  n = std::max(n, 0);
  StableBytes src(bytes, int64_t{n} * 2);
  const uint8_t* s = src.get();
  int need = n == 0 ? 2 : 1;
  for (int32_t i = 0; i < n; i++) {
    uint8_t hi = s[2 * i + 1];
    if (hi >= 0xD8 && hi <= 0xDF) {
      need = 4;
      break;
    }
    if (hi) need = 2;
  }
  LoadTarget t(target, std::max(n, 1), need);
  SeriesBuf* b = t.buf();
  // A target only ever widens: narrowing would corrupt the text it holds.
  if (b->used() == 0) b->flags = (b->flags & ~SER_UNIT_MASK) | static_cast<uint32_t>(std::max(need, b->unit()));
  else if (b->unit() < need) b = widen(b, need);
  int unit = b->unit();
  b = memory::reserve_tail(b, int64_t{n} * unit);
  b->flags |= SER_FROM_UTF16;
  std::byte* w = b->tail_ptr();
  for (int32_t i = 0; i < n; i++) {
    uint32_t c = s[2 * i] | (uint32_t{s[2 * i + 1]} << 8);
    if (cr && c == '\r') continue;
    if (unit == 4 && c >= 0xD800 && c <= 0xDBFF) {
      uint32_t lo = i + 1 < n ? s[2 * i + 2] | (uint32_t{s[2 * i + 3]} << 8) : 0;
      if (lo < 0xDC00 || lo > 0xDFFF) bad_utf16();
      c = (((c & 0x3FF) << 10) | (lo & 0x3FF)) + 0x10000;
      i++;
    }
    put_unit(w, unit, c);
    w += unit;
  }
  b->tail = off(w);
  return t.finish();
}

// --- Width ---------------------------------------------------------------------------

bool width_in_ranges(uint32_t cp, std::span<const uint32_t> r) {
  if (r.size() < 2 || cp < r.front() || cp > r.back()) return false;
  for (size_t i = 0; i + 1 < r.size(); i += 2) {
    if (cp < r[i]) return false;  // sorted: no later range holds it
    if (cp <= r[i + 1]) return true;
  }
  return false;
}

}  // namespace xeb::unicode

namespace xeb {

int char_display_width(uint32_t cp) {
  if (cp == 0) return 0;
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
  if (unicode::width_in_ranges(cp, unicode::kZeroWidthRanges)) return 0;
  if (unicode::width_in_ranges(cp, unicode::kWideRanges)) return 2;
  return 1;
}

}  // namespace xeb
