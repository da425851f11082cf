// JSON reader and writer (see json.h).
//
// Both run with collections held off: the reader keeps the values it has
// made in a C++ stack until their container closes and both hold raw
// pointers into series buffers across allocations. Nothing either allocates
// is garbage but the temporaries of a key's word test and of a value's
// mold, so the heap grows by what the result needs.
#include "codec/json.h"

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/floattext.h"
#include "runtime/shapes.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::json {

namespace {

constexpr int READ_DEPTH_MAX = 1000;
constexpr int WRITE_DEPTH_MAX = 4000;

inline int unit_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }
inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline int hex_value(uint32_t c) {
  return c >= '0' && c <= '9' ? int(c - '0') : c >= 'a' && c <= 'f' ? int(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? int(c - 'A' + 10) : -1;
}

// Characters that end a word, and those that cannot start one besides.
bool not_word_char(uint32_t c) {
  switch (c) {
    case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{': case '}':
    case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n': case 0xA0: case ' ':
    case '\t': case '\r': case '<': case '>':
      return true;
    default:
      return false;
  }
}

// A new string! in c holding the code points, at the narrowest unit.
template <typename T>
void make_text(Cell* c, const T* cps, int32_t n) {
  uint32_t top = 0;
  for (int32_t i = 0; i < n; i++) top = cps[i] > top ? cps[i] : top;
  int unit = unit_for(top);
  string::make_at(c, n, unit);
  SeriesBuf* b = series::buf(c);
  std::byte* p = b->head_ptr();
  if (unit == 1) {
    auto* q = reinterpret_cast<uint8_t*>(p);
    for (int32_t i = 0; i < n; i++) q[i] = static_cast<uint8_t>(cps[i]);
  } else if (unit == 2) {
    for (int32_t i = 0; i < n; i++) {
      uint16_t u = static_cast<uint16_t>(cps[i]);
      std::memcpy(p + 2 * i, &u, 2);
    }
  } else {
    for (int32_t i = 0; i < n; i++) {
      uint32_t u = cps[i];
      std::memcpy(p + 4 * i, &u, 4);
    }
  }
  b->tail = b->head + static_cast<Off>(n * unit);
}

// The value of four hexadecimal digits at p (at least four units), or -1.
template <typename U>
int32_t hex4(const U* p) {
  int32_t v = 0;
  for (int k = 0; k < 4; k++) {
    int d = hex_value(p[k]);
    if (d < 0) return -1;
    v = v << 4 | d;
  }
  return v;
}

// Decodes the JSON escapes of [p, p+n) into out: \" \\ \/ and the five
// control escapes, \u with four hex digits, a high surrogate only with a
// low one at once after it. False on any other escape.
template <typename U>
bool decode_escapes(const U* p, int32_t n, std::vector<uint32_t>& out) {
  out.clear();
  for (int32_t i = 0; i < n;) {
    uint32_t c = p[i++];
    if (c == '\\') {
      if (i >= n) return false;
      uint32_t e = p[i++];
      switch (e) {
        case '"': case '\\': case '/': c = e; break;
        case 'b': c = 0x08; break;
        case 'f': c = 0x0C; break;
        case 'n': c = 0x0A; break;
        case 'r': c = 0x0D; break;
        case 't': c = 0x09; break;
        case 'u': {
          int32_t v = i + 4 <= n ? hex4(p + i) : -1;
          if (v < 0) return false;
          i += 4;
          if (v >= 0xD800 && v <= 0xDBFF) {
            if (i + 6 > n || p[i] != '\\' || p[i + 1] != 'u') return false;
            int32_t low = hex4(p + i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
          c = static_cast<uint32_t>(v);
          break;
        }
        default: return false;
      }
    }
    out.push_back(c);
  }
  return true;
}

// --- Reading -----------------------------------------------------------------

// Scratch of one reading, kept between readings for its capacity.
struct Scratch {
  std::vector<Cell> values;   // made values whose container is still open
  std::vector<uint32_t> cps;  // a string's decoded code points
  // Key text as it stands in the input (its units' bytes) to its word, or
  // to a none! cell when it stays a string.
  std::unordered_map<std::string_view, Cell> keys;
};

template <typename U>
struct Reader {
  const U* s;
  int32_t n;
  Scratch& x;
  int32_t pos = 0;
  int depth = 0;
  Refusal st{1, 0, 0};

  void ws() {
    while (pos < n) {
      U c = s[pos];
      if (c == ' ' || c == '\t' || c == '\r') {
        pos++;
      } else if (c == '\n') {
        pos++;
        st.line++;
        st.mark = st.last_lf = pos;
      } else {
        break;
      }
    }
  }

  bool literal(const char* text, Cell v) {
    int32_t len = static_cast<int32_t>(std::strlen(text));
    if (n - pos < len) return false;
    for (int32_t i = 0; i < len; i++)
      if (s[pos + i] != static_cast<U>(text[i])) return false;
    pos += len;
    x.values.push_back(v);
    return true;
  }

  // A value with the whitespace around it; mark after the value itself.
  bool value() {
    ws();
    if (pos >= n) return false;
    bool ok;
    switch (s[pos]) {
      case 't': ok = literal("true", Cell{T_LOGIC, 1, 0, 0}); break;
      case 'f': ok = literal("false", Cell{T_LOGIC, 0, 0, 0}); break;
      case 'n': ok = literal("null", Cell{T_NONE, 0, 0, 0}); break;
      case '{': ok = container<true>(); break;
      case '[': ok = container<false>(); break;
      case '"': ok = string(false); break;
      default: ok = number(); break;
    }
    if (!ok) return false;
    st.mark = pos;
    ws();
    return true;
  }

  void enter() {
    pos++;
    if (++depth > READ_DEPTH_MAX) fire(Err::too_deep);
  }

  // An array or an object. A failed first item leaves its opening
  // whitespace read; the closing bracket must then follow at once. A failed
  // item after a comma fails the text: the comma stands where the bracket
  // would have to.
  template <bool object>
  bool container() {
    enter();
    size_t start = x.values.size();
    ws();
    int32_t first = pos;
    auto item = [this] { return object ? property() : value(); };
    if (item()) {
      while (pos < n && s[pos] == ',') {
        pos++;
        ws();
        if (!item()) return false;
      }
    } else {
      pos = first;
    }
    if (pos >= n || s[pos] != (object ? '}' : ']')) return false;
    pos++;
    depth--;
    Cell b = close(start);
    if (object) map::make_at(&b, &b, static_cast<int32_t>(block::buf(&b)->cell_count()));
    x.values.push_back(b);
    return true;
  }

  bool property() {
    ws();
    if (pos >= n || s[pos] != '"' || !string(true)) return false;
    ws();
    if (pos >= n || s[pos] != ':') return false;
    pos++;
    st.mark = pos;
    return value();
  }

  // A block of the values made since start, which leave the scratch stack.
  Cell close(size_t start) {
    int32_t k = static_cast<int32_t>(x.values.size() - start);
    Cell b{T_UNSET, 0, 0, 0};
    block::make_at(&b, k > 0 ? k : 1);
    SeriesBuf* buf = block::buf(&b);
    if (k) std::memcpy(buf->cells(), x.values.data() + start, static_cast<size_t>(k) * sizeof(Cell));
    buf->tail = buf->head + static_cast<Off>(k * 16);
    x.values.resize(start);
    return b;
  }

  bool number() {
    int32_t p = pos;
    bool negative = p < n && s[p] == '-';
    if (negative) p++;
    if (p < n && s[p] >= '1' && s[p] <= '9') {
      while (++p < n && is_digit(s[p])) {}
    } else if (p < n && s[p] == '0') {
      p++;
    } else {
      return false;
    }
    int32_t digits = p - pos - (negative ? 1 : 0);
    bool fraction = false;
    if (p + 1 < n && s[p] == '.' && is_digit(s[p + 1])) {
      p++;
      while (++p < n && is_digit(s[p])) {}
      fraction = true;
    }
    if (p < n && (s[p] == 'e' || s[p] == 'E')) {
      int32_t q = p + 1;
      if (q < n && (s[q] == '+' || s[q] == '-')) q++;
      if (q < n && is_digit(s[q])) {
        while (++q < n && is_digit(s[q])) {}
        p = q;
        fraction = true;
      }
    }
    // The loader's rule: an integer of up to ten digits that fits 32 bits,
    // else a float of the whole text.
    if (!fraction && digits <= 10) {
      int64_t m = 0;
      for (int32_t i = p - digits; i < p; i++) m = m * 10 + (s[i] - '0');
      if (negative) m = -m;
      if (m >= INT32_MIN && m <= INT32_MAX) {
        x.values.push_back(Cell{T_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(m)), 0});
        pos = p;
        return true;
      }
    }
    char local[64];
    std::string long_text;
    char* t = local;
    size_t len = static_cast<size_t>(p - pos);
    if (len > sizeof local) {
      long_text.resize(len);
      t = long_text.data();
    }
    for (size_t i = 0; i < len; i++) t[i] = static_cast<char>(s[pos + static_cast<int32_t>(i)]);
    x.values.push_back(float_::make_cell(dtoa::strtod(std::string_view(t, len))));
    pos = p;
    return true;
  }

  // The escaped text between the quotes raises invalid-data.
  [[noreturn]] void bad_escape(int32_t from, int32_t to) {
    Cell* c = stack::push_new();
    set_unset(c);
    make_text(c, s + from, to - from);
    fire(Err::invalid_data, c);
  }

  void unescape(int32_t from, int32_t to) {
    if (!decode_escapes(s + from, to - from, x.cps)) bad_escape(from, to);
  }

  // A string, or with key the key it makes: a word when its text is
  // spelled as one and loads as one, else the string.
  bool string(bool key) {
    pos++;
    int32_t from = pos;
    bool escaped = false;
    for (;;) {
      if (pos >= n) return false;
      uint32_t c = s[pos];
      if (c == '"') break;
      if (c == '\\') {
        if (pos + 1 >= n) return false;
        uint32_t e = s[pos + 1];
        if (e == 'u') {
          if (pos + 6 > n) return false;
          for (int k = 2; k < 6; k++)
            if (hex_value(s[pos + k]) < 0) return false;
          pos += 6;
        } else if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
          pos += 2;
        } else {
          return false;
        }
        escaped = true;
        continue;
      }
      if (c < 0x20) return false;
      pos++;
    }
    int32_t to = pos++;
    if (key) {
      std::string_view raw(reinterpret_cast<const char*>(s + from), static_cast<size_t>(to - from) * sizeof(U));
      auto it = x.keys.find(raw);
      if (it == x.keys.end()) it = x.keys.emplace(raw, key_word(from, to, escaped)).first;
      if (is_type(&it->second, T_WORD)) {
        x.values.push_back(it->second);
        return true;
      }
    }
    Cell v{T_UNSET, 0, 0, 0};
    if (escaped) {
      unescape(from, to);
      make_text(&v, x.cps.data(), static_cast<int32_t>(x.cps.size()));
    } else {
      make_text(&v, s + from, to - from);
    }
    x.values.push_back(v);
    return true;
  }

  // The word a key makes (as `to word!` makes it), or none!.
  Cell key_word(int32_t from, int32_t to, bool escaped) {
    const Cell no{T_NONE, 0, 0, 0};
    if (escaped) unescape(from, to);
    else x.cps.assign(s + from, s + to);
    const std::vector<uint32_t>& t = x.cps;
    if (t.empty() || not_word_char(t[0]) || is_digit(t[0]) || t[0] == '\'') return no;
    for (uint32_t c : t)
      if (not_word_char(c)) return no;
    Cell* str = stack::push_new();
    set_unset(str);
    make_text(str, t.data(), static_cast<int32_t>(t.size()));
    Cell w{T_UNSET, 0, 0, 0};
    if (word::load_value_hook) word::load_value_hook(str, &w);
    stack::pop(1);
    if (!any_word_or_issue(type_of(&w))) return no;
    set_type(&w, T_WORD);
    return w;
  }
};

template <typename U>
bool read_units(const std::byte* p, int32_t n, Cell* out, Refusal& refused) {
  static Scratch scratch;
  scratch.values.clear();
  scratch.keys.clear();
  Reader<U> r{reinterpret_cast<const U*>(p), n, scratch};
  bool ok = r.value() && r.pos == n;
  if (ok) *out = scratch.values.front();
  else refused = r.st;
  scratch.values.clear();
  scratch.keys.clear();
  return ok;
}

// --- Writing -----------------------------------------------------------------

// The output text, at the narrowest unit its characters need so far.
struct Out {
  std::string bytes;
  int unit = 1;

  void widen(int u) {
    std::string w;
    size_t n = bytes.size() / static_cast<size_t>(unit);
    w.resize(n * static_cast<size_t>(u));
    for (size_t i = 0; i < n; i++) {
      uint32_t c = 0;
      std::memcpy(&c, bytes.data() + i * static_cast<size_t>(unit), static_cast<size_t>(unit));
      if (u == 2) {
        uint16_t h = static_cast<uint16_t>(c);
        std::memcpy(w.data() + 2 * i, &h, 2);
      } else {
        std::memcpy(w.data() + 4 * i, &c, 4);
      }
    }
    bytes.swap(w);
    unit = u;
  }
  void put(uint32_t c) {
    if (c > 0xFF && unit_for(c) > unit) widen(unit_for(c));
    if (unit == 1) {
      bytes.push_back(static_cast<char>(c));
    } else if (unit == 2) {
      uint16_t h = static_cast<uint16_t>(c);
      bytes.append(reinterpret_cast<const char*>(&h), 2);
    } else {
      bytes.append(reinterpret_cast<const char*>(&c), 4);
    }
  }
  void ascii(std::string_view t) {
    if (unit == 1) bytes.append(t);
    else for (char c : t) put(static_cast<uint8_t>(c));
  }
};

struct Writer {
  Out out;
  std::vector<uint32_t> indent;
  bool pretty = false;
  bool ascii = false;
  int level = 0;
  int depth = 0;
  std::vector<uint32_t> cps;
  // The containers being written, outermost first, as series node and head:
  // one that holds itself would otherwise be written without end.
  std::vector<std::pair<Node, int32_t>> writing;

  bool normal(uint32_t c) const { return c >= 32 && c != '"' && c != '\\' && (!ascii || c <= 127); }

  void escape(uint32_t c) {
    switch (c) {
      case '"': out.ascii("\\\""); return;
      case '\\': out.ascii("\\\\"); return;
      case 0x08: out.ascii("\\b"); return;
      case 0x0C: out.ascii("\\f"); return;
      case 0x0A: out.ascii("\\n"); return;
      case 0x0D: out.ascii("\\r"); return;
      case 0x09: out.ascii("\\t"); return;
      default: break;
    }
    if (c <= 0xFFFF) {
      hex(c);
    } else {
      uint32_t m = c - 0x10000;
      hex(0xD800 + (m >> 10));
      hex(0xDC00 + (m & 1023));
    }
  }
  void hex(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    char t[6] = {'\\', 'u', digits[(v >> 12) & 15], digits[(v >> 8) & 15], digits[(v >> 4) & 15], digits[v & 15]};
    out.ascii(std::string_view(t, 6));
  }

  // Runs of characters that need no escape and fit the output's unit are
  // appended whole.
  template <typename U>
  void chars(const U* p, int32_t n) {
    int32_t i = 0;
    while (i < n) {
      uint32_t fits = out.unit == 1 ? 0xFF : out.unit == 2 ? 0xFFFF : 0xFFFFFFFF;
      int32_t j = i;
      while (j < n && p[j] <= fits && normal(p[j])) j++;
      if (j > i) {
        if (sizeof(U) == static_cast<size_t>(out.unit)) {
          out.bytes.append(reinterpret_cast<const char*>(p + i), static_cast<size_t>(j - i) * sizeof(U));
        } else {
          for (int32_t k = i; k < j; k++) out.put(p[k]);
        }
      }
      if (j < n) {
        if (normal(p[j])) out.put(p[j]);
        else escape(p[j]);
        j++;
      }
      i = j;
    }
  }
  void quoted_units(const std::byte* p, int unit, int32_t n) {
    out.put('"');
    if (unit == 1) chars(reinterpret_cast<const uint8_t*>(p), n);
    else if (unit == 2) chars(reinterpret_cast<const uint16_t*>(p), n);
    else chars(reinterpret_cast<const uint32_t*>(p), n);
    out.put('"');
  }
  void quoted_string(const Cell* v) {
    SeriesBuf* b = series::buf(v);
    int unit = b->unit();
    int32_t len = string::xs_length_q(v);
    quoted_units(b->head_ptr() + static_cast<ptrdiff_t>(series::head(v)) * unit, unit, len);
  }
  void quoted_utf8(std::string_view t) {
    cps.clear();
    const auto* p = reinterpret_cast<const uint8_t*>(t.data());
    const auto* e = p + t.size();
    while (p < e) {
      int32_t c;
      p = unicode::fast_decode_utf8_char(p, e, &c);
      cps.push_back(static_cast<uint32_t>(c));
    }
    std::vector<uint32_t> text;
    text.swap(cps);
    quoted_units(reinterpret_cast<const std::byte*>(text.data()), 4, static_cast<int32_t>(text.size()));
    text.swap(cps);
  }
  // The form or mold of the value as a JSON string.
  void quoted_text(const Cell* v, bool form) {
    Cell* held = stack::push(v);
    std::string t = form ? actions::form_text(held) : actions::mold_text(held);
    stack::pop(1);
    quoted_utf8(t);
  }

  void new_line() {
    out.put('\n');
    for (int i = 0; i < level; i++)
      for (uint32_t c : indent) out.put(c);
  }

  void enter(Node node, int32_t head) {
    for (auto& w : writing)
      if (w.first == node && w.second == head) fire(Err::no_cycle);
    if (++depth > WRITE_DEPTH_MAX) fire(Err::too_deep);
    writing.emplace_back(node, head);
  }
  void leave() {
    writing.pop_back();
    depth--;
  }

  // A container's brackets and the commas between its items; pretty
  // output puts each item on its own line, indented once per level.
  void open(Node node, int32_t head, char bracket) {
    enter(node, head);
    out.put(bracket);
    if (pretty) level++, new_line();
  }
  void separate(bool& first) {
    if (!first) {
      out.put(',');
      if (pretty) new_line();
    }
    first = false;
  }
  void close(char bracket) {
    if (pretty) level--, new_line();
    leave();
    out.put(bracket);
  }

  void block(const Cell* v) {
    Node node = series::node_of(v);
    int32_t head = series::head(v);
    int32_t tail = static_cast<int32_t>(buf_of(node)->cell_count());
    if (head >= tail) return out.ascii("[]");
    open(node, head, '[');
    bool first = true;
    for (int32_t i = head; i < tail; i++) {
      separate(first);
      Cell item = buf_of(node)->cells()[i];
      value(&item);
    }
    close(']');
  }

  // A key: a word by its spelling, a string as it is, any other by its mold.
  void key(const Cell* k) {
    if (any_word(type_of(k))) {
      std::string_view name = symbol::name(word_symbol(k));
      bool plain = true;
      for (char c : name) plain = plain && static_cast<uint8_t>(c) < 0x80 && normal(static_cast<uint8_t>(c));
      if (plain) {
        out.put('"');
        out.ascii(name);
        out.put('"');
      } else {
        quoted_utf8(name);
      }
    } else if (is_type(k, T_STRING)) {
      quoted_string(k);
    } else {
      quoted_text(k, false);
    }
    out.put(':');
    if (pretty) out.put(' ');
  }

  void map_(const Cell* v) {
    Node node = map::block_node(v);
    if (map::length(v) == 0) return out.ascii("{}");
    open(node, 0, '{');
    bool first = true;
    for (uint32_t i = 0; i + 1 < buf_of(node)->cell_count(); i += 2) {
      Cell* e = buf_of(node)->cells() + i;
      if (map::removed(e + 1)) continue;
      Cell k = map::shown_key(e), item = e[1];
      separate(first);
      key(&k);
      value(&item);
    }
    close('}');
  }

  void object(const Cell* v) {
    Node ctx = object::context_of(v);
    int32_t n = context::size(ctx);
    if (n == 0) return out.ascii("{}");
    open(ctx, 0, '{');
    bool first = true;
    for (int32_t i = 0; i < n; i++) {
      Cell k = *context::word_at(ctx, i), item = context::values(ctx)[i];
      separate(first);
      key(&k);
      value(&item);
    }
    close('}');
  }

  void value(const Cell* v) {
    switch (type_of(v)) {
      case T_NONE: return out.ascii("null");
      case T_LOGIC: return out.ascii(logic::get(v) ? "true" : "false");
      case T_INTEGER: {
        char t[16];
        char* e = std::to_chars(t, t + sizeof t, get_int(v)).ptr;
        return out.ascii(std::string_view(t, static_cast<size_t>(e - t)));
      }
      // JSON has no NaN or infinity: they are written as null. The molded
      // text keeps every digit.
      case T_FLOAT: case T_PERCENT: {
        double d = get_double(v);
        if (!(d - d == 0.0)) return out.ascii("null");
        char t[dtoa::text_max];
        size_t n = dtoa::form_float(d, 0, true, dtoa::TextBuffer(t, dtoa::text_max));
        return out.ascii(std::string_view(t, n));
      }
      case T_STRING: return quoted_string(v);
      case T_MAP: return map_(v);
      case T_OBJECT: return object(v);
      default: break;
    }
    if (series::block_like(type_of(v))) block(v);
    else if (series::string_like(type_of(v))) quoted_text(v, true);
    else quoted_text(v, false);
  }
};

}  // namespace

bool unescape(const uint32_t* text, int32_t n, std::vector<uint32_t>& out) { return decode_escapes(text, n, out); }

bool read(const Cell* text, Cell* out, Refusal& refused) {
  collector::NoCollection hold;
  collector::KeepNodes keep;
  SeriesBuf* b = series::buf(text);
  int unit = b->unit();
  int32_t n = string::xs_length_q(text);
  const std::byte* p = b->head_ptr() + static_cast<ptrdiff_t>(n ? series::head(text) : 0) * unit;
  if (unit == 1) return read_units<uint8_t>(p, n, out, refused);
  if (unit == 2) return read_units<uint16_t>(p, n, out, refused);
  return read_units<uint32_t>(p, n, out, refused);
}

void write(const Cell* value, const Cell* indent, bool ascii, Cell* out) {
  collector::NoCollection hold;
  collector::KeepNodes keep;
  Writer w;
  w.ascii = ascii;
  if (indent) {
    w.pretty = true;
    int32_t n = string::xs_length_q(indent);
    for (int32_t i = 0; i < n; i++) w.indent.push_back(static_cast<uint32_t>(string::char_at(indent, i)));
  }
  w.out.bytes.reserve(4000);
  w.value(value);
  int32_t n = static_cast<int32_t>(w.out.bytes.size() / static_cast<size_t>(w.out.unit));
  set_unset(out);
  string::make_at(out, n, w.out.unit);
  SeriesBuf* b = series::buf(out);
  std::memcpy(b->head_ptr(), w.out.bytes.data(), w.out.bytes.size());
  b->tail = b->head + static_cast<Off>(w.out.bytes.size());
}

}  // namespace xeb::json
