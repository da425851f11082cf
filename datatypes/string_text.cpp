// string! text slots: form, mold with its escapes, make, to, comparison and
// path steps.
#include <algorithm>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
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
  int32_t quotes = 0, lines = 0;
  // plain: one byte a character, each printable ASCII that needs no escape.
  bool plain = series::buf(value)->unit() == 1;
  {
    SeriesBuf* vb = series::buf(value);  // nothing allocates in this loop
    int u = vb->unit();
    const std::byte* p = vb->head_ptr() + static_cast<int64_t>(h) * u;
    for (int32_t i = 0; i < n; i++) {
      int32_t c = get_char(p + static_cast<int64_t>(i) * u, u);
      quotes += c == '"';
      lines += c == '\n';
      plain = plain && c >= ' ' && c < 127 && c != '^';
    }
  }
  bool braces = lines >= 3 || quotes > 0 || len >= 50;
  if (!braces && plain) {
    // Room first, at the widest unit: the copy below then allocates nothing,
    // so the source's bytes stay where they are read.
    SeriesBuf* out = reserve(series::buf(buffer), (int64_t{n} + 2) * 4);
    const auto* src = reinterpret_cast<const char*>(series::buf(value)->head_ptr()) + h;
    out = append_literal_n(out, "\"", 1);
    out = append_literal_n(out, src, n);
    append_literal_n(out, "\"", 1);
    return part - n - 2;
  }
  if (!braces) {
    append_char(buffer, '"');
    for (int32_t i = 0; i < n; i++) mold_char(buffer, xs_abs_at(value, h + i), all);
    append_char(buffer, '"');
    return part - n - 2;
  }
  // Match the braces first: a "{" left open, and every "{" after it,
  // escapes; a "}" closing no open level escapes.
  std::vector<int32_t> open;
  int32_t first_unmatched = n;
  {
    std::vector<int32_t> stack_;
    for (int32_t i = 0; i < n; i++) {
      int32_t c = xs_abs_at(value, h + i);
      if (c == '{') stack_.push_back(i);
      else if (c == '}' && !stack_.empty()) stack_.pop_back();
    }
    if (!stack_.empty()) first_unmatched = stack_.front();
  }
  append_char(buffer, '{');
  int32_t level = 0;
  for (int32_t i = 0; i < n; i++) {
    int32_t c = xs_abs_at(value, h + i);
    if (c == '{') {
      if (i >= first_unmatched) append_ascii(buffer, "^{");
      else append_char(buffer, '{'), level++;
    } else if (c == '}') {
      if (level == 0) append_ascii(buffer, "^}");
      else append_char(buffer, '}'), level--;
    } else if (c == '"') {
      append_char(buffer, '"');
    } else if (c == '^') {
      append_ascii(buffer, "^^");
    } else {
      mold_char(buffer, c, all);
    }
  }
  append_char(buffer, '}');
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
