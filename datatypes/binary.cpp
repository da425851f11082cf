// binary!: byte helpers, conversions, text form and the slots binary!
// overrides; the base encoders and decoders live in binary_base.cpp.
#include "datatypes/binary.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "runtime/hashtable.h"
#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::binary {

namespace {

inline Cell int_cell(int32_t n) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

[[noreturn]] void bad_to(const Cell* value) {
  Cell d = datatype::make_cell(T_BINARY), v = *value;
  fire(Err::bad_to_arg, &d, &v);
}

void clamp_head(Cell* b) {
  int32_t n = series::buffer_length(b);
  if (series::head(b) > n) series::set_head(b, n);
}

// The UTF-8 of n characters of type T at p, written (dst given) or counted.
template <class T>
int64_t units_utf8(std::byte* dst, const std::byte* p, int32_t n) {
  int64_t total = 0;
  auto one = [&](uint32_t c) {
    if (c < 0x80) {
      if (dst) dst[total] = static_cast<std::byte>(c);
      total++;
      return;
    }
    uint8_t e[4];
    int k = unicode::encode_utf8(static_cast<int32_t>(c), e);
    if (dst) std::memcpy(dst + total, e, k);
    total += k;
  };
  int32_t i = 0;
  if constexpr (sizeof(T) <= 2) {
    // ASCII eight bytes at a time, whose UTF-8 is its characters' low bytes.
    constexpr int32_t k = 8 / sizeof(T);
    constexpr uint64_t wide = sizeof(T) == 1 ? 0x8080808080808080 : 0xFF80FF80FF80FF80;
    for (uint64_t x; i + k <= n; i += k) {
      std::memcpy(&x, p + int64_t{i} * sizeof(T), 8);
      if (x & wide) {
        for (int j = 0; j < k; j++) {
          T c;
          std::memcpy(&c, p + int64_t{i + j} * sizeof(T), sizeof(T));
          one(c);
        }
        continue;
      }
      if (dst) {
        if constexpr (sizeof(T) == 1) std::memcpy(dst + total, &x, 8);
        else for (int j = 0; j < k; j++) dst[total + j] = static_cast<std::byte>(x >> (16 * j));
      }
      total += k;
    }
  }
  for (; i < n; i++) {
    T c;
    std::memcpy(&c, p + int64_t{i} * sizeof(T), sizeof(T));
    one(c);
  }
  return total;
}

// Writes (dst given) or counts the UTF-8 of a string-like value. Nothing
// allocates unless a character has no UTF-8 (the error raised).
int64_t text_bytes(std::byte* dst, const Cell* v) {
  int32_t n = string::xs_length_q(v);
  if (n == 0) return 0;
  SeriesBuf* b = series::buf(v);
  const std::byte* p = b->head_ptr() + (int64_t{series::head(v)} * b->unit());
  switch (b->unit()) {
    case 1: return units_utf8<uint8_t>(dst, p, n);
    case 2: return units_utf8<uint16_t>(dst, p, n);
    case 4: return units_utf8<uint32_t>(dst, p, n);
  }
  runtime_error(101);
}

}  // namespace

// --- Helpers ----------------------------------------------------------------------

uint8_t hex_digit(int32_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0xFF;
}

std::byte* xs_head(const Cell* b) {
  SeriesBuf* s = series::buf(b);
  int32_t h = std::min<int32_t>(series::head(b), static_cast<int32_t>(s->used()));
  return s->head_ptr() + std::max(h, 0);
}
int32_t xs_length_q(const Cell* b) { return string::xs_length_q(b); }
uint8_t byte_at(const Cell* b, int32_t offset) { return static_cast<uint8_t>(xs_head(b)[offset]); }

uint64_t leading_number(const Cell* b, int32_t max) {
  int32_t n = std::min(xs_length_q(b), max);
  uint64_t u = 0;
  for (int32_t i = 0; i < n; i++) u = (u << 8) | byte_at(b, i);
  return u;
}

Cell* make_at(Cell* c, int32_t capacity) {
  begin_cell(c);
  Node n = memory::alloc_bytes(std::max(capacity, 1));
  return series::set_cell(c, T_BINARY, n);
}

Cell* load_in(const uint8_t* bytes, int32_t len, Cell* block) {
  std::vector<uint8_t> copy(bytes, bytes + std::max(len, 0));  // the bytes may move
  Cell* c = make_at(stack::push_new(), len);
  SeriesBuf* b = series::buf(c);
  if (len > 0) std::memcpy(b->head_ptr(), copy.data(), len);
  b->tail = b->head + static_cast<Off>(std::max(len, 0));
  if (!block) return c;
  Cell* slot = memory::new_tail_cell(block);
  *slot = *c;
  stack::pop(1);
  return slot;
}
Cell* load(const uint8_t* bytes, int32_t len) { return load_in(bytes, len, nullptr); }

std::byte* append_bytes(Cell* b, const uint8_t* bytes, int32_t len) {
  std::vector<uint8_t> copy(bytes, bytes + len);
  SeriesBuf* s = string::reserve(series::buf(b), len);
  std::byte* p = s->tail_ptr();
  if (len > 0) std::memcpy(p, copy.data(), len);  // an empty source may have no bytes at all
  s->tail += static_cast<Off>(len);
  return p;
}

std::byte* insert_bytes(Cell* b, int32_t offset, const uint8_t* bytes, int32_t len) {
  std::vector<uint8_t> copy(bytes, bytes + len);
  SeriesBuf* s = series::buf(b);
  if (int64_t{off(s->end())} - s->tail < len) s = memory::expand_series(s, int64_t{s->size} * 2 + len);
  std::byte* p = xs_head(b) + offset;
  std::memmove(p + len, p, static_cast<size_t>(s->tail_ptr() - p));
  std::memcpy(p, copy.data(), len);
  s->tail += static_cast<Off>(len);
  return p;
}

int64_t value_bytes(std::byte* dst, const Cell* value, int32_t limit, bool in_bytes, int mode) {
  bool write = mode == 1 || (mode == 2 && dst);
  int t = type_of(value);
  int64_t n = 0;
  switch (t) {
    case T_CHAR: {
      uint8_t u[4];
      n = unicode::encode_utf8(char_::code_point(value), u);
      if (limit >= 1 && n > limit) n = limit;
      if (write) std::memcpy(dst, u, n);
      return n;
    }
    case T_INTEGER: {
      int32_t v = get_int(value);
      if (v < -128 || v > 255) {
        Cell c = *value;
        fire(Err::invalid_arg, &c);
      }
      if (write) *dst = static_cast<std::byte>(v & 0xFF);
      return 1;
    }
    case T_BINARY: {
      n = xs_length_q(value);
      if (limit >= 1 && n > limit) n = limit;
      if (write) std::memmove(dst, xs_head(value), n);
      return n;
    }
    case T_TUPLE: {
      n = (value->header >> HDR_TUPLE_LEN_SHIFT) & 0xF;
      if (limit >= 1 && n > limit) n = limit;
      if (write) std::memcpy(dst, tuple::bytes(value), n);
      return n;
    }
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: {
      n = text_bytes(nullptr, value);
      if (write && !(limit >= 1 && n > limit)) return text_bytes(dst, value);
      if (limit >= 1 && n > limit) n = limit;
      if (write) {
        std::vector<std::byte> tmp(text_bytes(nullptr, value));
        text_bytes(tmp.data(), value);
        if (n > 0) std::memcpy(dst, tmp.data(), n);  // an empty text has no buffer
      }
      return n;
    }
    case T_BLOCK: case T_PAREN: case T_HASH: {
      // Nested blocks are walked: one holding itself would never end.
      if (cycles::find(series::node_of(value))) {
        cycles::reset();
        fire(Err::no_cycle);
      }
      int32_t count = series::buffer_length(value) - std::max(series::head(value), 0);
      int64_t total = 0;
      cycles::push(series::node_of(value));
      for (int32_t i = 0; i < count; i++) {
        if (!in_bytes && limit >= 1 && i >= limit) break;
        int32_t left = in_bytes && limit >= 1 ? static_cast<int32_t>(limit - total) : -1;
        if (in_bytes && limit >= 1 && left <= 0) break;
        // On the data stack: forming an item allocates, and a nested block
        // walked from a C++ copy would lose its node.
        Cell* item = stack::push(series::buf(value)->cells() + series::head(value) + i);
        total += value_bytes(write ? dst + total : nullptr, item, left, in_bytes, mode);
        stack::pop(1);
      }
      cycles::pop();
      return total;
    }
    default: {
      if (mode != 2) bad_to(value);
      Cell* v = stack::push(value);  // forming allocates: the value is held where the collector sees it
      Cell* tmp = string::push_new(16);
      actions::form(v, tmp, nullptr, actions::NO_LIMIT);
      n = text_bytes(nullptr, tmp);
      if (limit >= 1 && n > limit) n = limit;
      if (write) {
        std::vector<std::byte> bytes(text_bytes(nullptr, tmp));
        text_bytes(bytes.data(), tmp);
        if (n > 0) std::memcpy(dst, bytes.data(), n);  // an empty form has no bytes at all
      }
      stack::pop(2);
      return n;
    }
  }
}

int compare_bytes(const Cell* left, const Cell* right, int op, bool match) {
  int rt = type_of(right);
  if (!series::string_like(rt) && rt != T_BINARY) return COMPARE_INVALID;
  bool same = left->w2 == right->w2 && left->w1 == right->w1;
  if (op == COMP_SAME) return same ? 0 : -1;
  bool eq = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
  if (same && eq) return 0;
  int32_t la = xs_length_q(left), lb = xs_length_q(right);
  int32_t n;
  if (!match) {
    if (la != lb && eq) return 1;
    if (la == 0 && lb == 0) return 0;
    n = std::min(la, lb);
  } else {
    if (lb == 0) return (op == COMP_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND) ? 0 : 1;
    if (lb > la) return 1;
    n = lb;
  }
  // Stored bytes, whatever the right value's unit.
  const uint8_t* a = reinterpret_cast<const uint8_t*>(xs_head(left));
  const uint8_t* b = reinterpret_cast<const uint8_t*>(xs_head(right));
  int r = std::memcmp(a, b, n);
  if (r) return r < 0 ? -1 : 1;
  if (match) return 0;
  return la == lb ? 0 : la < lb ? -1 : 1;
}

bool match_q(const Cell* b, const Cell* value, int op) {
  int t = type_of(value);
  if (series::string_like(t) || t == T_BINARY) return compare_bytes(b, value, op, true) == 0;
  if (t == T_CHAR) return xs_length_q(b) > 0 && static_cast<uint8_t>(*xs_head(b)) == static_cast<uint32_t>(char_::code_point(value));
  return false;
}

void byte_from_value(std::byte* dst, const Cell* value) {
  if (!is_type(value, T_INTEGER) && !is_type(value, T_CHAR)) {
    Cell v = *value;
    fire(Err::invalid_arg, &v);
  }
  *dst = static_cast<std::byte>(get_int(value) & 0xFF);
}

// --- Slots -----------------------------------------------------------------------------

Cell* to(Cell* proto, Cell* spec, int type) {
  int t = type_of(spec);
  Cell* out = make_at(stack::push_new(), 16);
  auto put = [&](const void* p, int32_t n) { append_bytes(out, static_cast<const uint8_t*>(p), n); };
  switch (t) {
    case T_INTEGER: {
      uint32_t v = static_cast<uint32_t>(integer::get(spec));
      uint8_t be[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
      put(be, 4);
      break;
    }
    case T_FLOAT: case T_PERCENT: {
      uint64_t bits;
      double d = get_double(spec);
      std::memcpy(&bits, &d, 8);
      uint8_t be[8];
      for (int i = 0; i < 8; i++) be[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
      put(be, 8);
      break;
    }
    case T_BITSET: {
      SeriesBuf* b = series::buf(spec);
      std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(b->head_ptr()), reinterpret_cast<uint8_t*>(b->tail_ptr()));
      put(bytes.data(), static_cast<int32_t>(bytes.size()));
      break;
    }
    case T_ISSUE: {
      Cell* text = string::push_new(16);
      actions::form(spec, text, nullptr, actions::NO_LIMIT);
      SeriesBuf* tb = series::buf(text);
      Node n = decode_16(tb->head_ptr(), string::xs_length_q(text), tb->unit());
      if (!n) {
        Cell v = *spec;
        fire(Err::invalid_data, &v);
      }
      series::set_cell(out, T_BINARY, n);
      stack::pop(1);
      break;
    }
    case T_BINARY:
      series::copy(spec, out, nullptr, 0, nullptr);
      break;
    case T_CHAR: case T_TUPLE: case T_BLOCK: case T_PAREN: case T_HASH:
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
      insert(out, spec, -1, 0, -1, 1);
      break;
    default:
      bad_to(spec);
  }
  series::set_head(out, 0);
  *proto = *out;
  stack::pop(1);
  return proto;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  int32_t n = xs_length_q(value);
  bool lines = n > 30 && !flat;
  auto newline = [&](int levels) {
    string::append_char(buffer, '\n');
    part -= 1;
    part = actions::append_indent(buffer, levels, part);
  };
  if (!only) string::append_ascii(buffer, "#{"), part -= 2;
  if (lines) newline(indent + 1);
  for (int32_t i = 0; i < n; i++) {
    char hex[2];
    string::byte_to_hex(static_cast<uint8_t>(xs_head(value)[i]), hex);
    string::append_ascii(buffer, std::string_view(hex, 2));
    part -= 2;
    if (!flat && (i + 1) % 32 == 0) newline(indent + 1);
    if (arg && part <= 0) return part;
  }
  if (lines && n % 32) newline(indent);
  if (!only) string::append_char(buffer, '}'), part -= 1;
  return part;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) { return mold(value, buffer, 0, 0, 0, arg, part, 0); }

int compare(Cell* value1, Cell* value2, int op) {
  if (!is_type(value2, T_BINARY) && op != COMP_EQUAL && op != COMP_NOT_EQUAL) return COMPARE_INVALID;
  return compare_bytes(value1, value2, op, false);
}

Cell* insert(Cell* b, Cell* value, int part, int only, int dup, int last) {
  clamp_head(b);
  int32_t h = series::head(b);
  bool at_tail = last || h >= series::buffer_length(b);
  int64_t n = value_bytes(nullptr, value, part, false, 0);  // checks the value first
  int64_t times = dup >= 2 ? dup : 1;
  int64_t total = n * times;
  if (total > INT32_MAX) fire(Err::no_memory);
  // Taken before the owner's hook, which may edit series inside the value.
  std::vector<std::byte> bytes(n);
  if (n > 0) value_bytes(bytes.data(), value, part, false, 1);
  if (n == 0) return b;
  // Reported at the old length for an append, at the head for an insertion.
  int32_t at = last ? static_cast<int32_t>(series::buffer_length(b)) : h;
  bool owned = series::notify_before(b, last ? series::Notice::append : series::Notice::insert, value, at,
                                     static_cast<int32_t>(total));
  int64_t size = int64_t{series::buf(b)->used()} + total;
  if (size > INT32_MAX) fire(Err::no_memory);
  SeriesBuf* s = series::buf(b);
  if (int64_t{off(s->end())} - s->tail < total) {
    int64_t want = size >= int64_t{s->size} * 2 ? size : int64_t{s->size} * 2;
    s = memory::expand_series(s, want);
  }
  std::byte* p = at_tail ? s->tail_ptr() : s->head_ptr() + h;
  if (!at_tail) std::memmove(p + total, p, static_cast<size_t>(s->tail_ptr() - p));
  std::memcpy(p, bytes.data(), n);
  // The copied region doubles each time: a short value repeated a billion
  // times costs some thirty copies.
  for (int64_t have = n; have < total;) {
    const int64_t k = std::min(have, total - have);
    std::memcpy(p + have, p, static_cast<size_t>(k));
    have += k;
  }
  s->tail += static_cast<Off>(total);
  if (owned)
    series::notify_after(b, last ? series::Notice::append : series::Notice::insert, value, at,
                         static_cast<int32_t>(total));
  series::set_head(b, last ? 0 : static_cast<int32_t>(h + total));
  return b;
}

Cell* change(Cell* b, Cell* value, int part, int only, int dup) {
  clamp_head(b);
  int32_t h = series::head(b);
  int32_t rest = series::buffer_length(b) - h;
  int64_t n = value_bytes(nullptr, value, -1, false, 2);
  std::vector<std::byte> bytes(n);
  // Taken before any change, so a part of this binary itself works too.
  value_bytes(bytes.data(), value, -1, false, 2);
  int64_t written = n * (dup >= 2 ? dup : 1);
  int64_t c = part >= 0 ? std::min<int64_t>(part, rest) : std::min<int64_t>(written, rest);
  int64_t size = int64_t{series::buf(b)->used()} + written - c;
  if (written > INT32_MAX || size > INT32_MAX) fire(Err::no_memory);
  bool owned = series::notify_before(b, series::Notice::change, value, h, static_cast<int32_t>(c));
  SeriesBuf* s = series::buf(b);
  if (int64_t{s->head} + size > int64_t{off(s->end())}) s = memory::expand_series(s, size * 2);
  std::byte* p = s->head_ptr() + h;
  if (written != c) {
    std::memmove(p + written, p + c, static_cast<size_t>(s->tail_ptr() - (p + c)));
    s->tail = s->head + static_cast<Off>(size);
  }
  if (n > 0) std::memcpy(p, bytes.data(), n);
  for (int64_t have = n; n > 0 && have < written;) {
    const int64_t k = std::min(have, written - have);
    std::memcpy(p + have, p, static_cast<size_t>(k));
    have += k;
  }
  if (owned) series::notify_after(b, series::Notice::change, value, h, static_cast<int32_t>(written));
  series::set_head(b, static_cast<int32_t>(std::min<int64_t>(h + written, series::buffer_length(b))));
  return b;
}

Cell* trim(Cell* b, int head, int tail, int auto_, int lines, int all, Cell* with) {
  if (auto_ || lines) fire(Err::not_done);
  if (all || with) {
    Cell zero = int_cell(0);
    string::trim_with(b, with ? with : &zero);
  } else {
    SeriesBuf* s = series::buf(b);
    std::byte* p = xs_head(b);
    std::byte* lo = p;
    std::byte* hi = s->tail_ptr();
    if (head || !tail)
      while (lo < hi && *lo == std::byte{0}) lo++;
    if (tail || !head)
      while (hi > lo && hi[-1] == std::byte{0}) hi--;
    std::memmove(p, lo, static_cast<size_t>(hi - lo));
    s->tail = off(p + (hi - lo));
  }
  series::notify_after(b, series::Notice::trim, nullptr, series::head(b), 0);
  return b;
}

namespace {
void bitwise(int op) {
  Cell* a = stack::base();
  Cell* b = a + 1;
  if (!is_type(b, T_BINARY)) {
    Cell v = *b;
    fire(Err::invalid_arg, &v);
  }
  int32_t la = xs_length_q(a), lb = xs_length_q(b);
  int32_t n = std::max(la, lb), common = std::min(la, lb);
  Node node = memory::alloc_bytes(n);
  SeriesBuf* out = buf_of(node);
  auto pa = reinterpret_cast<const uint8_t*>(xs_head(a));
  auto pb = reinterpret_cast<const uint8_t*>(xs_head(b));
  auto po = reinterpret_cast<uint8_t*>(out->head_ptr());
  for (int32_t i = 0; i < common; i++)
    po[i] = op == OP_AND ? pa[i] & pb[i] : op == OP_OR ? pa[i] | pb[i] : pa[i] ^ pb[i];
  const uint8_t* longer = la > lb ? pa : pb;
  for (int32_t i = common; i < n; i++) po[i] = op == OP_AND ? 0 : longer[i];
  out->tail = out->head + static_cast<Off>(n);
  series::set_cell(a, T_BINARY, node);
}
}  // namespace

void and_t() { bitwise(OP_AND); }
void or_t() { bitwise(OP_OR); }
void xor_t() { bitwise(OP_XOR); }

Cell* complement(Cell* b) {
  SeriesBuf* s = series::buf(b);
  for (std::byte* p = xs_head(b); p < s->tail_ptr(); p++) *p = ~*p;
  return b;
}

namespace {
// The bytes from the head (none when the head lies past the tail).
uint32_t hash(const Cell* c, bool) {
  SeriesBuf* b = buf_of(c->w2);
  uint32_t used = b->used();
  uint32_t from = std::min(c->w1, used);
  return hashtable::murmur3(b->head_ptr() + from, used - from);
}
}  // namespace

void init() {
  datatype::Registration r{T_BINARY, T_STRING, "binary!"};
  r.hashes(&hash);
  r.marks({collector::Holds::nothing, collector::Holds::series, collector::Holds::nothing});
  r.set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare).set(A_APPEND, &insert);
  r.set(A_INSERT, &insert).set(A_CHANGE, &change).set(A_TRIM, &trim).set(A_AND_T, &and_t);
  r.set(A_COMPLEMENT, &complement).set(A_OR_T, &or_t).set(A_XOR_T, &xor_t);
  r.inherit({A_MAKE, A_RANDOM, A_REFLECT, A_EVAL_PATH, A_AT, A_BACK, A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q,
             A_INDEX_Q, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP,
             A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::binary
