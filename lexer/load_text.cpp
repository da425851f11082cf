// Loaders of the string-like tokens (strings in quotes, braces and raw
// braces, files, tags, URLs, e-mail addresses, refs), characters and
// binaries, with the `^` escapes and `%XX` groups they share.
#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "lexer/internal.h"
#include "lexer/loaders.h"
#include "runtime/stack.h"

namespace xeb::lexer::load {
namespace {

int hex_value(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool same_nocase(const uint8_t* p, size_t n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
    if (c != static_cast<uint8_t>(word[i])) return false;
  }
  return true;
}

// The escape that `^` gives each ASCII character; 0xFF: the character itself,
// 0xFE: a parenthesised form.
constexpr uint8_t kSelf = 0xFF, kParen = 0xFE;
constexpr auto kEscapes = [] {
  struct { uint8_t v[128]; } t{};
  for (int c = 0; c < 128; ++c) t.v[c] = kSelf;
  for (int c = 'a'; c <= 'z'; ++c) t.v[c] = static_cast<uint8_t>(c - 'a' + 1);
  for (int c = '@'; c <= '_'; ++c) t.v[c] = static_cast<uint8_t>(c - 64);  // @ A-Z [ \ ] ^ _
  t.v[int{'^'}] = kSelf;
  t.v[int{'-'}] = 9;
  t.v[int{'/'}] = 10;
  t.v[int{'~'}] = 127;
  t.v[int{'('}] = kParen;
  return t;
}();

constexpr struct { const char* name; int32_t cp; } kNamedChars[] = {
    {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127},
};

// The unit a code point needs; ASCII alone stays at 1 (the string store's
// rule, so ASCII and Latin-1 units never share a buffer).
int unit_for(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x10000 ? 2 : 4; }

}  // namespace

std::vector<char32_t>& scratch() {
  static std::vector<char32_t> cps;
  return cps;
}

int32_t decode_escape(const uint8_t*& p, const uint8_t* e) {
  if (p >= e) return -1;
  uint8_t c = *p;
  if (c >= 0x80) {
    int len;
    int32_t cp = detail::decode_utf8(p, e, len);
    if (cp >= 0) p += len;
    return cp;
  }
  uint8_t v = kEscapes.v[c];
  ++p;
  if (v == kSelf) return c;
  if (v != kParen) return v;
  const uint8_t* close = p;
  while (close < e && *close != ')' && close - p <= 6) ++close;
  if (close >= e || *close != ')' || close == p) return -1;
  size_t n = static_cast<size_t>(close - p);
  int32_t cp = 0;
  bool hex = true;
  for (const uint8_t* q = p; q < close && hex; ++q) {
    int d = hex_value(*q);
    hex = d >= 0;
    cp = cp * 16 + d;
  }
  if (!hex) {
    cp = -1;
    for (const auto& nc : kNamedChars)
      if (same_nocase(p, n, nc.name)) cp = nc.cp;
  }
  if (cp < 0 || cp > 0x10FFFF) return -1;
  p = close + 1;
  return cp;
}

bool decode_text(const uint8_t* p, const uint8_t* e, TextRules rules, std::vector<char32_t>& out) {
  out.clear();
  while (p < e) {
    uint8_t c = *p;
    if (c < 0x80 && !(rules.escapes && c == '^') && !(rules.percent && c == '%')) {
      out.push_back(c);
      ++p;
      continue;
    }
    if (c == '^' && rules.escapes) {
      ++p;
      int32_t cp = decode_escape(p, e);
      if (cp < 0) return false;
      out.push_back(static_cast<char32_t>(cp));
      continue;
    }
    if (c == '%' && rules.percent) {
      // A run of groups is UTF-8 bytes; a `%` without two hex digits is itself.
      uint8_t bytes[4];
      int have = 0, need = 1;
      const uint8_t* q = p;
      while (have < need && e - q >= 3 && q[0] == '%' && hex_value(q[1]) >= 0 && hex_value(q[2]) >= 0) {
        bytes[have] = static_cast<uint8_t>(hex_value(q[1]) << 4 | hex_value(q[2]));
        if (have == 0) need = bytes[0] < 0x80 ? 1 : bytes[0] >= 0xF0 ? 4 : bytes[0] >= 0xE0 ? 3 : 2;
        ++have;
        q += 3;
      }
      if (have == 0) {
        out.push_back('%');
        ++p;
        continue;
      }
      int len;
      int32_t cp = have == need ? detail::decode_utf8(bytes, bytes + have, len) : -1;
      // Groups may name a lone surrogate's bytes: a URL holding one molds so.
      if (cp < 0 && have == 3 && bytes[0] == 0xED && (bytes[1] & 0xE0) == 0xA0 && (bytes[2] & 0xC0) == 0x80)
        cp = 0xD000 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
      if (cp < 0) return false;
      out.push_back(static_cast<char32_t>(cp));
      p = q;
      continue;
    }
    int len;
    int32_t cp = detail::decode_utf8(p, e, len);
    if (cp < 0) return false;
    out.push_back(static_cast<char32_t>(cp));
    p += len;
  }
  return true;
}

void push_text(const std::vector<char32_t>& cps, uint8_t type) {
  int unit = 1;
  for (char32_t cp : cps)
    if (unit_for(cp) > unit) unit = unit_for(cp);
  int32_t n = static_cast<int32_t>(cps.size());
  Cell* c = string::make_typed(stack::push_new(), n, unit, static_cast<TypeId>(type));
  SeriesBuf* b = series::buf(c);
  std::byte* p = b->head_ptr();
  for (char32_t cp : cps) {
    if (unit == 1) {
      *reinterpret_cast<uint8_t*>(p) = static_cast<uint8_t>(cp);
    } else if (unit == 2) {
      uint16_t u = static_cast<uint16_t>(cp);
      std::memcpy(p, &u, 2);
    } else {
      uint32_t u = cp;
      std::memcpy(p, &u, 4);
    }
    p += unit;
  }
  b->tail = b->head + static_cast<Off>(n * unit);
}

namespace {

// Decodes [p, e) by the rules and, loading, pushes the value; a failure is
// `invalid` of the type with the token's text.
bool text_value(State& s, Token& t, const uint8_t* p, const uint8_t* e, TextRules rules, uint8_t type,
                bool load) {
  auto& cps = scratch();
  // Plain ASCII needs no decoding to be checked.
  bool plain = !(t.flags & (F_UTF8_3 | F_UTF8_4)) && !(rules.escapes && (t.flags & F_CARET)) &&
               !(rules.percent && (t.flags & F_PERCENT));
  if (plain) {
    if (!load) return true;
    cps.assign(p, e);
  } else if (!decode_text(p, e, rules, cps)) {
    return syntax_error(s, type, t.start);
  }
  if (!load) return true;
  push_text(cps, type);
  push_from_stack(s);
  return true;
}

bool ends_with(const Token& t, uint8_t c, ptrdiff_t min_length) {
  return t.end - t.start >= min_length && t.end[-1] == c;
}

}  // namespace

bool string(State& s, Token& t, bool load) {
  if (!ends_with(t, '"', 2)) return syntax_error(s, T_STRING, t.start);
  return text_value(s, t, t.start + 1, t.end - 1, {true, false}, T_STRING, load);
}

bool braced(State& s, Token& t, bool load) {
  if (!ends_with(t, '}', 2)) return syntax_error(s, T_STRING, t.start);
  return text_value(s, t, t.start + 1, t.end - 1, {true, false}, T_STRING, load);
}

bool raw_string(State& s, Token& t, bool load) {
  const uint8_t* p = t.start;
  while (p < t.end && *p == '%') ++p;
  ptrdiff_t n = p - t.start;
  // n `%`, `{`, text, `}`, n `%`: the scanner has matched the ends already.
  if (p >= t.end || *p != '{' || t.end - p < n + 2 || t.end[-n - 1] != '}')
    return syntax_error(s, T_STRING, t.start);
  return text_value(s, t, p + 1, t.end - n - 1, {}, T_STRING, load);
}

bool file(State& s, Token& t, bool load) {
  if (t.end - t.start >= 2 && t.start[1] == '"') {
    if (!ends_with(t, '"', 3)) return syntax_error(s, T_FILE, t.start);
    return text_value(s, t, t.start + 2, t.end - 1, {true, true}, T_FILE, load);
  }
  return text_value(s, t, t.start + 1, t.end, {false, true}, T_FILE, load);
}

bool tag(State& s, Token& t, bool load) {
  if (!ends_with(t, '>', 2)) return syntax_error(s, T_TAG, t.start);
  return text_value(s, t, t.start + 1, t.end - 1, {}, T_TAG, load);
}

bool url(State& s, Token& t, bool load) {
  if (t.start[0] == ':') return syntax_error(s, T_GET_WORD, t.start);
  if (t.start[0] == '\'') return syntax_error(s, T_LIT_WORD, t.start);
  return text_value(s, t, t.start, t.end, {false, true}, T_URL, load);
}

bool email(State& s, Token& t, bool load) { return text_value(s, t, t.start, t.end, {}, T_EMAIL, load); }

bool ref(State& s, Token& t, bool load) {
  if (t.start[0] != '@') return syntax_error(s, T_REF, t.start);
  return text_value(s, t, t.start + 1, t.end, {}, T_REF, load);
}

bool character(State& s, Token& t, bool load) {
  // #"x": one character or one escape between the quotes.
  const uint8_t* p = t.start + 2;
  const uint8_t* e = t.end - 1;
  if (t.end - t.start < 4 || t.start[1] != '"' || *e != '"') return syntax_error(s, T_CHAR, t.start);
  int32_t cp;
  if (*p == '^') {
    ++p;
    cp = decode_escape(p, e);
  } else {
    int len;
    cp = detail::decode_utf8(p, e, len);
    p += len;
  }
  if (cp < 0 || p != e) return syntax_error(s, T_CHAR, t.start);
  if (!load) return true;
  Cell* c = push_value(s);
  *c = Cell{(c->header & HDR_NEW_LINE) | T_CHAR, 0, static_cast<uint32_t>(cp), 0};
  return true;
}

// --- binary! -------------------------------------------------------------------

namespace {

int base64_value(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Decodes the text between the braces into out; blanks, line breaks and `;`
// comments are skipped in every base. Answers false on a bad digit or an
// incomplete byte.
bool decode_binary(int base, const uint8_t* p, const uint8_t* e, std::vector<uint8_t>& out) {
  out.clear();
  uint32_t acc = 0;
  int bits = 0, pad = 0;
  const int width = base == 16 ? 4 : base == 2 ? 1 : 6;
  out.reserve(static_cast<size_t>((e - p) * width / 8 + 1));
  for (; p < e; ++p) {
    uint8_t c = *p;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == ';') {
      while (p < e && *p != '\n') ++p;
      continue;
    }
    int d;
    if (base == 64 && c == '=') {
      ++pad;
      continue;
    }
    if (pad) return false;  // text after the padding
    if (base == 16) d = hex_value(c);
    else if (base == 2) d = c == '0' ? 0 : c == '1' ? 1 : -1;
    else d = base64_value(c);
    if (d < 0) return false;
    acc = (acc << width) | static_cast<uint32_t>(d);
    bits += width;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  if (base != 64) return bits == 0;
  // Base 64: leftover bits are the zero fill of a final group of 2 or 3
  // characters; padding, when present, completes that group exactly.
  if (bits >= 6 || acc != 0) return false;
  int chars = bits == 0 ? 0 : bits == 4 ? 2 : 3;
  return pad == 0 || (chars && chars + pad == 4);
}

}  // namespace

bool binary(State& s, Token& t, bool load) {
  int base = 0;
  const uint8_t* p = t.start;
  for (; p < t.end && *p >= '0' && *p <= '9' && base < 1000; ++p) base = base * 10 + (*p - '0');
  if (p == t.start) base = 16;
  if (t.end - p < 3 || p[0] != '#' || p[1] != '{' || t.end[-1] != '}' || (base != 2 && base != 16 && base != 64))
    return syntax_error(s, T_BINARY, t.start);
  static std::vector<uint8_t> bytes;
  if (!decode_binary(base, p + 2, t.end - 1, bytes)) return syntax_error(s, T_BINARY, t.start);
  if (!load) return true;
  binary::load(bytes.data(), static_cast<int32_t>(bytes.size()));
  push_from_stack(s);
  return true;
}

}  // namespace xeb::lexer::load
