// url! and file!: percent-encoding, URLs from blocks and path steps, the
// file mold, and POSIX platform paths. The I/O slots wait for the I/O layer.
#include "datatypes/url.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/port.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/unicode.h"

namespace xeb::url {

namespace {

constexpr bool alnum(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

constexpr std::array<bool, 128> make_class(const char* extra) {
  std::array<bool, 128> t{};
  for (int c = 0; c < 128; c++) t[c] = alnum(c);
  for (const char* p = extra; *p; p++) t[static_cast<uint8_t>(*p)] = true;
  return t;
}
constexpr auto kFileClass = make_class("!#$&'()*+,-./:=?@_~");
constexpr auto kUrlClass = make_class("-._~");

// UTF-8 of a string-like value from its head, copied out of managed memory.
std::string utf8_bytes(const Cell* v) { return string::utf8_of(v); }

void append_escaped(Cell* target, uint8_t byte) {
  char hex[2];
  string::byte_to_hex(byte, hex);
  char g[3] = {'%', hex[0], hex[1]};
  string::append_ascii(target, std::string_view(g, 3));
}

}  // namespace

bool in_class(int32_t c, Class cls) {
  if (c < 0 || c >= 128) return false;
  return cls == Class::url ? kUrlClass[c] : kFileClass[c];
}

void encode(const Cell* value, Cell* target, Class cls) {
  for (unsigned char b : utf8_bytes(value)) {
    if (in_class(b, cls)) string::append_char(target, b);
    else append_escaped(target, b);
  }
}

void decode(const Cell* value, Cell* target) {
  std::string in = utf8_bytes(value);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(in.data());
  const uint8_t* end = p + in.size();
  auto group = [&](const uint8_t* q, uint8_t* out) {
    if (end - q < 3 || q[0] != '%') return false;
    uint8_t hi = binary::hex_digit(q[1]), lo = binary::hex_digit(q[2]);
    if (hi > 15 || lo > 15) return false;
    *out = static_cast<uint8_t>(hi << 4 | lo);
    return true;
  };
  while (p < end) {
    uint8_t lead;
    if (group(p, &lead)) {
      int n = unicode::utf8_length(lead);
      if (n >= 2) {
        uint8_t seq[4] = {lead};
        bool whole = true;
        for (int k = 1; k < n && whole; k++) whole = group(p + 3 * k, &seq[k]);
        if (whole) {
          int32_t len = n;
          int32_t cp = unicode::decode_utf8_checked(seq, &len);  // raises on an invalid sequence
          if (cp >= 0) {
            string::append_char(target, cp);
            p += 3 * n;
            continue;
          }
        }
        // Missing continuation groups: the "%" is plain text.
        string::append_char(target, '%');
        p++;
        continue;
      }
      string::append_char(target, lead);
      p += 3;
      continue;
    }
    int32_t len = static_cast<int32_t>(end - p);
    int32_t cp = unicode::decode_utf8_checked(p, &len);
    if (cp < 0) break;
    string::append_char(target, cp);
    p += len;
  }
}

// --- Slots -----------------------------------------------------------------------

namespace {

Cell* from_block(Cell* proto, Cell* spec, int type) {
  int32_t n = series::get_length(spec, false);
  if (n < 1) {
    Cell d{T_DATATYPE, static_cast<uint32_t>(type), 0, 0}, v = *spec;
    fire(Err::bad_to_arg, &d, &v);
  }
  Cell* out = string::make_typed(stack::push_new(), 16, 1, T_URL);
  auto item = [&](int32_t i) { return stack::push(series::buf(spec)->cells() + series::head(spec) + i); };
  auto form_item = [&](int32_t i) {
    Cell* v = item(i);
    actions::form(v, out, nullptr, actions::NO_LIMIT);
    stack::pop(1);
  };
  form_item(0);
  string::append_ascii(out, "://");
  int32_t i = 1;
  if (i < n) form_item(i++);
  if (i < n && is_type(series::buf(spec)->cells() + series::head(spec) + i, T_INTEGER)) {
    string::append_char(out, ':');
    form_item(i++);
  }
  if (i < n) {
    string::append_char(out, '/');
    for (; i < n; i++) {
      form_item(i);
      if (i + 1 < n)
        string::append_char(out, is_type(series::buf(spec)->cells() + series::head(spec) + i + 1, T_ISSUE) ? '#' : '/');
    }
  }
  *proto = *out;
  stack::pop(1);
  return proto;
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (type == T_URL && (st == T_BLOCK || st == T_PAREN || st == T_HASH)) return from_block(proto, spec, type);
  return string::to(proto, spec, type);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (type == T_URL && (st == T_BLOCK || st == T_PAREN || st == T_HASH)) return from_block(proto, spec, type);
  return string::make(proto, spec, type);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  int32_t added = 0;
  for (unsigned char b : utf8_bytes(value)) {
    if (arg && added >= part) break;
    // Parens end a URL token: they are written as groups too.
    if (in_class(b, Class::file) && b != '(' && b != ')') string::append_char(buffer, b), added += 1;
    else append_escaped(buffer, b), added += 3;
  }
  return part - added;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  if (value) {
    Cell p = step.path ? *step.path : *parent, e = *element;
    fire(Err::bad_path_set, &p, &e);
  }
  Cell* out = string::push_new(string::xs_length_q(parent) + 16);
  actions::form(element, out, nullptr, actions::NO_LIMIT);
  int32_t ulen = string::xs_length_q(parent);
  bool url_slash = ulen > 0 && string::char_at(parent, ulen - 1) == '/';
  bool elem_slash = string::xs_length_q(out) > 0 && string::char_at(out, 0) == '/';
  if (!url_slash && !elem_slash) string::insert_char(series::buf(out), 0, '/');
  else if (url_slash && elem_slash) string::remove_char(series::buf(out), 0);
  string::concatenate(out, parent, -1, 0, true, string::Mode::insert);
  set_type(out, type_of(parent));
  return out;
}

// A URL opens as a port of its scheme.
Cell* open(Cell* url, int new_, int read, int write, int seek, Cell* allow) {
  Cell* p = port::from_url(url);
  if (throwing()) return p;
  return datatype::slot<act::Open>(T_PORT, A_OPEN)(p, new_, read, write, seek, allow);
}
// read and write are the I/O layer's: io::init fills those slots at start-up.

void init() {
  datatype::Registration r{T_URL, T_STRING, "url!"};
  r.hashes(&string::hash);
  r.marks(string::layout);
  r.set(A_MAKE, &make).set(A_TO, &to).set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path);
  r.set(A_OPEN, &open);
  r.inherit({A_RANDOM, A_REFLECT, A_FORM, A_COMPARE, A_APPEND, A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND,
             A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE,
             A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_TRIM, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::url

namespace xeb::file {

namespace {
bool surrogate(int32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
// Characters of the file class that still end a bare file token.
bool ends_bare_file(int32_t c) { return c == '(' || c == ')' || c == ':' || c == '@'; }
bool needs_quotes(int32_t c) {
  return (c <= 127 && (!url::in_class(c, url::Class::file) || ends_bare_file(c))) || surrogate(c);
}
// Characters that cannot stand inside a quoted file literal as themselves:
// written as a %XX group (a surrogate, which has no UTF-8 form, as ^(XXXX)).
bool needs_escape_in_quotes(int32_t c) { return c < 32 || c == '"' || c == '%' || c == '^' || c == 127; }
}  // namespace

void to_local_path(const Cell* file, Cell* target, bool prefix) {
  // The system's notation is already the POSIX one ("/" separators, a
  // leading "/" for the root); only a relative path may get the prefix.
  bool absolute = string::xs_length_q(file) > 0 && string::char_at(file, 0) == '/';
  if (!absolute && prefix) {
    Cell* cwd = get_current_dir();
    string::concatenate(target, cwd, -1, 0, true, string::Mode::append);
    stack::pop(1);
  }
  string::concatenate(target, file, -1, 0, true, string::Mode::append);
}

Cell* get_current_dir() {
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (buf.size() > (1u << 20)) break;
    buf.resize(buf.size() * 2);
  }
  std::string dir = buf.data();
  if (dir.empty() || dir.back() != '/') dir += '/';
  Cell* s = string::push_new(static_cast<int32_t>(dir.size()));
  string::append_utf8(s, dir);
  return s;
}

Cell* push(const Cell* f) { return stack::push(f); }

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  string::append_char(buffer, '%');
  int32_t len = string::xs_length_q(value);
  int32_t n = arg ? (part < 0 ? 0 : std::min(len, part)) : len;
  if (len == 0) {
    string::append_ascii(buffer, "\"\"");
    return part - 1;
  }
  bool quote = false;
  for (int32_t i = 0; i < n && !quote; i++) quote = needs_quotes(string::char_at(value, i));
  if (quote) string::append_char(buffer, '"');
  for (int32_t i = 0; i < n; i++) {
    int32_t c = string::char_at(value, i);
    if (surrogate(c)) {
      string::mold_char(buffer, c, false);
    } else if (quote && needs_escape_in_quotes(c)) {
      char hex[2];
      string::byte_to_hex(static_cast<uint8_t>(c), hex);
      char g[3] = {'%', hex[0], hex[1]};
      string::append_ascii(buffer, std::string_view(g, 3));
    } else {
      string::append_char(buffer, c);
    }
  }
  if (quote) string::append_char(buffer, '"');
  return part - n - 1;
}

// delete, query, read, rename and write are the I/O layer's: io::init fills
// those slots at start-up.

void init() {
  datatype::Registration r{T_FILE, T_URL, "file!"};
  r.hashes(&string::hash);
  r.marks(string::layout);
  r.set(A_MOLD, &mold);
  r.inherit({A_MAKE, A_TO, A_FORM, A_EVAL_PATH, A_COMPARE, A_RANDOM, A_REFLECT, A_APPEND, A_AT, A_BACK, A_CHANGE,
             A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK,
             A_POKE, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_TRIM,
             A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::file
