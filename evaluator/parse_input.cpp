// Parse input primitives: literal matching, repetition and search over the
// three kinds of input. Text is read at its buffer's unit (1, 2 or 4 bytes
// per code point) straight from the buffer; nothing here allocates managed
// memory, so raw pointers hold for the length of each call.
#include "evaluator/parse_input.h"

#include <cstring>
#include <string>

#include "datatypes/bitset.h"
#include "datatypes/dispatch.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/casemap.h"
#include "runtime/memory.h"


namespace xeb::parse {

namespace {

inline bool in_set(const Cell* set, int64_t n) { return bitset::has(set, n); }

// Lower case for the comparisons that ignore case; ASCII without a table.
inline uint32_t fold(uint32_t c) {
  if (c < 128) return c - 'A' < 26u ? c + 32 : c;
  return unicode::to_case(c, false);
}

// Code points of a text from its first used unit.
struct Text {
  const std::byte* p;
  int shift;
  int32_t len;  // elements in the buffer
  uint32_t at(int32_t i) const {
    switch (shift) {
      case 0: return static_cast<uint8_t>(p[i]);
      case 1: {
        uint16_t v;
        std::memcpy(&v, p + (i << 1), 2);
        return v;
      }
      default: {
        uint32_t v;
        std::memcpy(&v, p + (i << 2), 4);
        return v;
      }
    }
  }
};

Text text_of(const Cell* s) {
  SeriesBuf* b = series::buf(s);
  int sh = series::shift_of(b);
  return {b->head_ptr(), sh, static_cast<int32_t>(b->used() >> sh)};
}

// The rule value's own text from its head (a head past the tail reads empty).
struct Value {
  Text t;
  int32_t from, n;
};
Value value_text(const Cell* v) {
  Text t = text_of(v);
  int32_t h = series::head(v);
  if (h < 0) h = 0;
  if (h > t.len) h = t.len;
  return {t, h, t.len - h};
}

bool is_text_value(TypeId t) { return series::string_like(t); }

// Matches the code points of v (n of them) at pos of the input text.
bool text_run(const Text& in, int32_t pos, const Value& v, bool strict) {
  for (int32_t i = 0; i < v.n; i++) {
    uint32_t a = in.at(pos + i), b = v.t.at(v.from + i);
    if (a != b && (strict || fold(a) != fold(b))) return false;
  }
  return true;
}

int32_t match_text(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op) {
  Text t = text_of(in);
  if (end > t.len) end = t.len;
  bool strict = op == 2;
  switch (type_of(value)) {
    case T_CHAR: {
      if (pos >= end) return -1;
      uint32_t a = t.at(pos), b = static_cast<uint32_t>(get_int(value));
      return (a == b || (!strict && fold(a) == fold(b))) ? 1 : -1;
    }
    case T_BITSET:
      return pos < end && in_set(value, t.at(pos)) ? 1 : -1;
    case T_TAG: {
      Value v = value_text(value);
      int32_t n = v.n + 2;
      if (int64_t{pos} + n > end) return -1;
      if (t.at(pos) != '<' || t.at(pos + n - 1) != '>') return -1;
      return text_run(t, pos + 1, v, strict) ? n : -1;
    }
    default: {
      if (!is_text_value(type_of(value))) return -1;
      Value v = value_text(value);
      if (int64_t{pos} + v.n > end) return -1;
      return text_run(t, pos, v, strict) ? v.n : -1;
    }
  }
}

// The bytes a text or binary rule value stands for in byte input: a
// binary's bytes, a text's UTF-8 (a tag with its brackets).
std::string value_bytes(const Cell* value) {
  if (is_type(value, T_BINARY)) {
    SeriesBuf* b = series::buf(value);
    int32_t h = series::head(value), n = static_cast<int32_t>(b->used());
    if (h < 0) h = 0;
    if (h > n) h = n;
    return std::string(reinterpret_cast<const char*>(b->head_ptr()) + h, static_cast<size_t>(n - h));
  }
  std::string s = string::utf8_of(value);
  if (is_type(value, T_TAG)) s = "<" + s + ">";
  return s;
}

struct Bytes {
  const uint8_t* p;
  int32_t len;
};
Bytes bytes_of(const Cell* in) {
  SeriesBuf* b = series::buf(in);
  return {reinterpret_cast<const uint8_t*>(b->head_ptr()), static_cast<int32_t>(b->used())};
}

int32_t match_bytes(const Cell* in, int32_t pos, int32_t end, const Cell* value) {
  Bytes b = bytes_of(in);
  if (end > b.len) end = b.len;
  TypeId vt = type_of(value);
  switch (vt) {
    case T_CHAR:
      return pos < end && b.p[pos] == static_cast<uint32_t>(get_int(value)) ? 1 : -1;
    case T_BITSET:
      return pos < end && in_set(value, b.p[pos]) ? 1 : -1;
    default: {
      if (vt != T_BINARY && !is_text_value(vt)) return -1;
      std::string v = value_bytes(value);
      int32_t n = static_cast<int32_t>(v.size());
      if (int64_t{pos} + n > end) return -1;
      b = bytes_of(in);  // utf8_of allocates nothing managed, but stay safe
      return std::memcmp(b.p + pos, v.data(), v.size()) == 0 ? n : -1;
    }
  }
}

int32_t match_block(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op) {
  SeriesBuf* b = series::buf(in);
  int32_t n = static_cast<int32_t>(b->cell_count());
  if (end > n) end = n;
  if (pos >= end || pos < 0) return -1;
  Cell e = b->cells()[pos];
  // A lit-word or lit-path rule matches the word or path it quotes.
  TypeId vt = type_of(value);
  int o = op;
  if (vt == T_LIT_WORD || vt == T_LIT_PATH) o = op == 2 ? COMP_SAME_10 : COMP_SAME_11;
  return actions::compare(&e, const_cast<Cell*>(value), o) == 0 ? 1 : -1;
}

}  // namespace

Input input_kind(TypeId t) {
  if (series::block_like(t)) return Input::block;
  if (series::string_like(t)) return Input::text;
  if (t == T_BINARY) return Input::bytes;
  return Input::other;
}

int32_t tail_index(const Cell* in) {
  SeriesBuf* b = series::buf(in);
  return static_cast<int32_t>(b->used() >> series::shift_of(b));
}

int32_t match_at(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op) {
  switch (input_kind(type_of(in))) {
    case Input::text: return match_text(in, pos, end, value, op);
    case Input::bytes: return match_bytes(in, pos, end, value);
    case Input::block: return match_block(in, pos, end, value, op);
    default: return -1;
  }
}

int32_t repeat_at(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op, int32_t max, int32_t* next) {
  Input k = input_kind(type_of(in));
  TypeId vt = type_of(value);
  int32_t count = 0;
  int32_t limit = max < 0 ? INT32_MAX : max;
  if (k == Input::text && (vt == T_CHAR || vt == T_BITSET)) {
    Text t = text_of(in);
    if (end > t.len) end = t.len;
    if (vt == T_CHAR) {
      uint32_t c = static_cast<uint32_t>(get_int(value));
      if (op == 2) {
        while (pos < end && count < limit && t.at(pos) == c) pos++, count++;
      } else {
        uint32_t f = fold(c);
        while (pos < end && count < limit && fold(t.at(pos)) == f) pos++, count++;
      }
    } else {
      while (pos < end && count < limit && in_set(value, t.at(pos))) pos++, count++;
    }
    *next = pos;
    return count;
  }
  if (k == Input::bytes && (vt == T_CHAR || vt == T_BITSET)) {
    Bytes b = bytes_of(in);
    if (end > b.len) end = b.len;
    if (vt == T_CHAR) {
      uint32_t c = static_cast<uint32_t>(get_int(value));
      while (pos < end && count < limit && b.p[pos] == c) pos++, count++;
    } else {
      while (pos < end && count < limit && in_set(value, b.p[pos])) pos++, count++;
    }
    *next = pos;
    return count;
  }
  while (count < limit) {
    int32_t n = match_at(in, pos, end, value, op);
    if (n < 0) break;
    if (n == 0) {  // matches in place: every round would
      count = limit;
      break;
    }
    pos += n;
    count++;
  }
  *next = pos;
  return count;
}

int32_t search(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op, int32_t* after) {
  Input k = input_kind(type_of(in));
  TypeId vt = type_of(value);
  if (k == Input::block) {
    for (; pos < end; pos++) {
      if (match_block(in, pos, end, value, op) >= 0) {
        *after = pos + 1;
        return pos;
      }
    }
    return -1;
  }
  if (vt == T_CHAR || vt == T_BITSET) {
    if (k == Input::text) {
      Text t = text_of(in);
      if (end > t.len) end = t.len;
      if (vt == T_BITSET) {
        for (; pos < end; pos++)
          if (in_set(value, t.at(pos))) break;
      } else {
        uint32_t c = static_cast<uint32_t>(get_int(value));
        if (op == 2) {
          for (; pos < end && t.at(pos) != c; pos++) {
          }
        } else {
          uint32_t f = fold(c);
          for (; pos < end && fold(t.at(pos)) != f; pos++) {
          }
        }
      }
    } else {
      Bytes b = bytes_of(in);
      if (end > b.len) end = b.len;
      uint32_t c = static_cast<uint32_t>(get_int(value));
      for (; pos < end; pos++)
        if (vt == T_BITSET ? in_set(value, b.p[pos]) : b.p[pos] == c) break;
    }
    if (pos >= end) return -1;
    *after = pos + 1;
    return pos;
  }
  if (vt != T_BINARY && !is_text_value(vt)) return -2;
  if (k == Input::bytes) {
    std::string v = value_bytes(value);
    Bytes b = bytes_of(in);
    if (end > b.len) end = b.len;
    int32_t n = static_cast<int32_t>(v.size());
    for (; int64_t{pos} + n <= end; pos++) {
      if (std::memcmp(b.p + pos, v.data(), v.size()) == 0) {
        *after = pos + n;
        return pos;
      }
    }
    return -1;
  }
  for (; pos <= end; pos++) {
    int32_t n = match_text(in, pos, end, value, op);
    if (n >= 0) {
      *after = pos + n;
      return pos;
    }
  }
  return -1;
}

Cell element_at(const Cell* in, int32_t pos) {
  switch (input_kind(type_of(in))) {
    case Input::text: return Cell{T_CHAR, 0, text_of(in).at(pos), 0};
    case Input::bytes: return Cell{T_INTEGER, 0, bytes_of(in).p[pos], 0};
    default: return series::buf(in)->cells()[pos];
  }
}

}  // namespace xeb::parse
