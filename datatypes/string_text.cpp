// string! text slots: form, mold with its escapes, make, to, comparison and
// path steps.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "runtime/exit.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::string {

namespace {

// Escapes below 95: "^" + the entry; 0 means plain.
constexpr char kEscapes[95] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S',
    'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', 0, '_', 0, 0, '"', 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '^'};

// A new string of the type, built in a stack cell, then stored in out.
Cell* finish(Cell* out, Cell* built) {
  *out = *built;
  stack::pop(1);
  return out;
}

// A character of a buffer whose unit is sizeof(T).
template <class T>
inline int32_t unit_at(const std::byte* p, int32_t i) {
  T v;
  std::memcpy(&v, p + static_cast<int64_t>(i) * sizeof(T), sizeof(T));
  return static_cast<int32_t>(v);
}

// Runs f<T> with the type of b's unit (1, 2 or 4 bytes).
template <class F>
inline auto by_unit(const SeriesBuf* b, F&& f) {
  switch (b->unit()) {
    case 1: return f(uint8_t{});
    case 2: return f(uint16_t{});
    case 4: return f(uint32_t{});
  }
  runtime_error(101);
}

// What mold needs to know of n characters at p before it writes them.
struct Scan {
  int32_t quotes = 0, lines = 0;
  int32_t widest = 0;
  bool escapes = false;  // a character that escapes whatever the delimiters
  bool curly = false;    // a "{" or "}", which may escape between braces
};
// Eight bytes at a time: whether one of them is a control character, a
// byte of 127 or more, or one of ^ " { } (each of which the scan must see).
inline bool notable_bytes(uint64_t x) {
  constexpr uint64_t ones = ~uint64_t{0} / 255, highs = ones * 0x80;
  auto zero_in = [](uint64_t v) { return (v - ones) & ~v & highs; };
  uint64_t hit = ((x - ones * 0x20) & ~x & highs) | (x & highs);  // below 0x20, or 0x80 and up
  hit |= zero_in(x ^ (ones * '^')) | zero_in(x ^ (ones * '"')) | zero_in(x ^ (ones * 127));
  hit |= zero_in(x ^ (ones * '{')) | zero_in(x ^ (ones * '}'));
  return hit != 0;
}

template <class T>
Scan scan(const std::byte* p, int32_t n) {
  Scan s;
  uint32_t widest = 0;
  bool esc = false, curly = false;
  auto one = [&](uint32_t c) {
    s.quotes += c == '"';
    s.lines += c == '\n';
    widest = std::max(widest, c);
    esc |= (c < 0x20) | (c == '^') | (c == 127) | (c - 0x80 < 0x20) | (c - 0xD800 < 0x800);
    curly |= (c == '{') | (c == '}');
  };
  int32_t i = 0;
  if constexpr (sizeof(T) == 1) {
    // Runs of plain printable ASCII only raise the widest to below 127,
    // where every decision on it stands the same.
    for (; i + 8 <= n; i += 8) {
      uint64_t x;
      std::memcpy(&x, p + i, 8);
      if (!notable_bytes(x)) {
        widest = std::max<uint32_t>(widest, 0x7E);
        continue;
      }
      for (int k = 0; k < 8; k++) one(unit_at<T>(p, i + k));
    }
  }
  for (; i < n; i++) one(static_cast<uint32_t>(unit_at<T>(p, i)));
  s.widest = static_cast<int32_t>(widest);
  s.escapes = esc || s.widest < 0;  // a code point past int32 never stands as itself
  s.curly = curly;
  return s;
}

// n characters at p of type T written at w as units of type O, which holds
// each of them.
template <class T, class O>
void copy_units(std::byte* w, const std::byte* p, int32_t n) {
  if constexpr (sizeof(T) == sizeof(O)) {
    std::memcpy(w, p, static_cast<size_t>(n) * sizeof(T));
  } else {
    for (int32_t i = 0; i < n; i++) {
      auto v = static_cast<O>(unit_at<T>(p, i));
      std::memcpy(w + static_cast<int64_t>(i) * sizeof(O), &v, sizeof(O));
    }
  }
}

// The characters of a string's mold, counted (O void) or written at w in
// units of type O; widest: the widest code point written as itself.
template <class O>
struct Emit {
  static constexpr bool kWrite = !std::is_void_v<O>;
  std::byte* w = nullptr;
  int64_t count = 0;
  int32_t widest = 0;
  void put(int32_t c) {
    if constexpr (kWrite) {
      auto v = static_cast<O>(c);
      std::memcpy(w, &v, sizeof(O));
      w += sizeof(O);
    } else {
      count++;
    }
  }
  void plain(int32_t c) {
    if constexpr (!kWrite) widest = std::max(widest, c);
    put(c);
  }
  void ascii(std::string_view t) {
    for (char c : t) put(static_cast<uint8_t>(c));
  }
};

// One character as mold_char writes it.
template <class O>
void emit_char(Emit<O>& e, int32_t cp, bool all) {
  if (cp == 30 || (cp >= 0x80 && cp <= 0x9F) || (cp >= 0xD800 && cp <= 0xDFFF) || (all && cp >= 0x80)) {
    char hex[9];
    e.ascii("^(");
    e.ascii(to_hex(cp, true, hex));
    e.put(')');
  } else if (cp < 95 && kEscapes[cp]) {
    e.put('^');
    e.put(kEscapes[cp]);
  } else if (cp == 127) {
    e.ascii("^~");
  } else {
    e.plain(cp);
  }
}

// Where the first "{" that no "}" closes stands, n when each one closes: the
// bottom of the matching stack, pushed at the last rise from depth 0.
template <class T>
int32_t first_unclosed(const std::byte* p, int32_t n) {
  int32_t depth = 0, at = n;
  for (int32_t i = 0; i < n; i++) {
    int32_t c = unit_at<T>(p, i);
    if (c == '{') {
      if (depth++ == 0) at = i;
    } else if (c == '}' && depth > 0) {
      depth--;
    }
  }
  return depth ? at : n;
}

// The mold of n characters at p, between quotes or (braces) between braces:
// from the first unclosed "{" on, every "{" escapes, as does a "}" closing
// no open level.
template <class T, class O>
void emit_text(Emit<O>& e, const std::byte* p, int32_t n, bool braces, bool all, int32_t unclosed) {
  e.put(braces ? '{' : '"');
  int32_t level = 0;
  for (int32_t i = 0; i < n; i++) {
    int32_t c = unit_at<T>(p, i);
    if (c >= ' ' && c < 127 && c != '^' && c != '"' && c != '{' && c != '}') {
      e.plain(c);
    } else if (!braces) {
      emit_char(e, c, all);
    } else if (c == '{') {
      if (i >= unclosed) e.ascii("^{");
      else e.put('{'), level++;
    } else if (c == '}') {
      if (level == 0) e.ascii("^}");
      else e.put('}'), level--;
    } else if (c == '"') {
      e.put('"');
    } else {
      emit_char(e, c, all);
    }
  }
  e.put(braces ? '}' : '"');
}

}  // namespace

void mold_char(Cell* buf, int32_t cp, bool all) {
  // A lone surrogate has no UTF-8 form the lexer reads: it is always escaped.
  if (cp == 30 || (cp >= 0x80 && cp <= 0x9F) || (cp >= 0xD800 && cp <= 0xDFFF) || (all && cp >= 0x80)) {
    char hex[9];
    append_ascii(buf, "^(");
    append_ascii(buf, to_hex(cp, true, hex));
    append_char(buf, ')');
  } else if (cp < 95 && kEscapes[cp]) {
    char e[2] = {'^', kEscapes[cp]};
    append_ascii(buf, std::string_view(e, 2));
  } else if (cp == 127) {
    append_ascii(buf, "^~");
  } else {
    append_char(buf, cp);
  }
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  int32_t n = xs_length_q(value);
  if (arg && part < n) n = std::max(part, 0);
  concatenate(buffer, value, n, 0, true, Mode::append);
  return part - n;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  int32_t h = series::head(value);
  int32_t len = xs_length_q(value);
  int32_t n = len;
  if (arg) n = part < 0 ? 0 : std::min(len, part);
  SeriesBuf* vb = series::buf(value);  // nothing allocates until the text is sized
  const std::byte* src = vb->head_ptr() + static_cast<int64_t>(h) * vb->unit();
  Scan sc = by_unit(vb, [&](auto t) { return scan<decltype(t)>(src, n); });
  bool braces = sc.lines >= 3 || sc.quotes > 0 || len >= 50;
  bool a = all != 0;
  char open = braces ? '{' : '"', close = braces ? '}' : '"';
  // Text where every character stands as itself (as nearly all does) is
  // copied whole between its delimiters; other text takes two passes, one
  // to size it, one to write it. Either way the room is made once, at the
  // unit the text needs, and the source is read again after that.
  bool as_is = !sc.escapes && (!a || sc.widest < 0x80) && (!braces || !sc.curly);
  int32_t unclosed = n;
  int64_t count = int64_t{n} + 2;
  int32_t widest = sc.widest;
  if (!as_is) {
    if (braces) unclosed = by_unit(vb, [&](auto t) { return first_unclosed<decltype(t)>(src, n); });
    Emit<void> size;
    by_unit(vb, [&](auto t) { emit_text<decltype(t)>(size, src, n, braces, a, unclosed); });
    count = size.count;
    widest = size.widest;
  }
  SeriesBuf* out = series::buf(buffer);
  int u = out->unit();
  int need = widest <= 0x7F ? 1 : widest <= 0xFFFF ? 2 : 4;
  if (need > u) out = widen_to(out, need), u = need;
  out = reserve(out, count * u);
  // Molding a string into its own buffer reads what the widening rewrote.
  vb = series::buf(value);
  src = vb->head_ptr() + static_cast<int64_t>(h) * vb->unit();
  by_unit(out, [&](auto o) {
    using O = decltype(o);
    Emit<O> put{out->tail_ptr()};
    if (as_is) {
      put.put(open);
      by_unit(vb, [&](auto t) { copy_units<decltype(t), O>(put.w, src, n); });
      put.w += static_cast<int64_t>(n) * sizeof(O);
      put.put(close);
    } else {
      by_unit(vb, [&](auto t) { emit_text<decltype(t)>(put, src, n, braces, a, unclosed); });
    }
  });
  out->tail += static_cast<Off>(count * u);
  return part - n - 2;
}

int compare(Cell* value1, Cell* value2, int op) {
  int t1 = type_of(value1), t2 = type_of(value2);
  if (t1 != t2 && !(series::string_like(t2) && (op == COMP_EQUAL || op == COMP_NOT_EQUAL))) return COMPARE_INVALID;
  return compare_strings(value1, value2, op, false);
}

Cell* to(Cell* proto, Cell* spec, int type) {
  TypeId target = static_cast<TypeId>(type);
  int st = type_of(spec);
  if (st == T_NONE) {
    Cell d = datatype::make_cell(type), v = *spec;
    fire(Err::bad_to_arg, &d, &v);
  }
  Cell* out = stack::push_new();
  if (series::string_like(st)) {
    series::copy(spec, out, nullptr, 0, nullptr);
  } else if (st == T_BINARY) {
    std::byte* p = binary::xs_head(spec);
    int32_t n = binary::xs_length_q(spec);
    // Decode only complete sequences; bytes left over are reported.
    int32_t left = 0;
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(p), reinterpret_cast<uint8_t*>(p) + n);
    Node node = unicode::load_utf8(bytes.data(), n, nullptr, &left, false);
    series::set_cell(out, T_STRING, node);
    if (left > 0) {
      Cell* rest = binary::load(bytes.data() + n - left, left);
      fire(Err::invalid_utf8, rest);
    }
  } else if (st == T_BLOCK || st == T_PAREN || st == T_HASH) {
    xs_make_at(out, 16);
    insert(out, spec, -1, 0, -1, 1);
  } else if (st == T_REFINEMENT && target != T_STRING) {
    xs_make_at(out, 16);
    actions::mold(spec, out, 0, 0, 0, nullptr, actions::NO_LIMIT, 0);
  } else {
    xs_make_at(out, 16);
    actions::form(spec, out, nullptr, actions::NO_LIMIT);
  }
  set_type(out, target);
  series::set_head(out, 0);
  return finish(proto, out);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (type == T_BINARY) {
    if (st == T_MONEY) {
      Cell d = datatype::make_cell(type), v = *spec;
      fire(Err::bad_make_arg, &d, &v);
    }
    if (st != T_INTEGER && st != T_FLOAT) return binary::to(proto, spec, type);
  }
  if (st == T_INTEGER || st == T_FLOAT) {
    // A float beyond the integers is clamped before the conversion; NaN is
    // out of range like a negative size.
    double d = st == T_INTEGER ? get_int(spec) : get_double(spec);
    int64_t n = !(d > -1.0) ? -1 : d > INT32_MAX ? INT32_MAX : static_cast<int64_t>(d);
    if (n < 0) {
      Cell v = *spec;
      fire(Err::out_of_range, &v);
    }
    Cell* out = stack::push_new();
    make_typed(out, static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX)), 1, static_cast<TypeId>(type));
    return finish(proto, out);
  }
  return to(proto, spec, type);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int et = type_of(element);
  if (et == T_INTEGER) return series::path_index(parent, element, value);
  if (et == T_WORD) series::fail_path(Err::invalid_path, step, element);
  if (!value) {
    Cell* r = stack::push(parent);
    return select(r, element, nullptr, 0, step.case_, 0, 0, nullptr, nullptr, 0, 0);
  }
  Cell* r = stack::push(parent);
  Cell* found = find(r, element, nullptr, 0, step.case_, 0, 0, nullptr, nullptr, 0, 0, 1, 0);
  if (is_type(found, T_NONE) || series::xs_tail_q(found)) series::fail_path(Err::bad_path_set, step, element);
  series::poke(found, 1, value, nullptr);
  stack::pop(1);
  return value;
}

}  // namespace xeb::string
