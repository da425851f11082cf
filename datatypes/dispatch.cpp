// Generic dispatch through the registry's action table, and the text helpers
// every form and mold routine of this layer shares.
#include "datatypes/dispatch.h"

#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/series.h"
#include "runtime/stack.h"

namespace xeb::actions {

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  auto f = datatype::slot<act::Form>(type_of(value), A_FORM);
  return f ? f(value, buffer, arg, part) : part;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  auto f = datatype::slot<act::Mold>(type_of(value), A_MOLD);
  return f ? f(value, buffer, only, all, flat, arg, part, indent) : part;
}

int compare(Cell* value1, Cell* value2, int op) {
  auto f = datatype::slot<act::Compare>(type_of(value1), A_COMPARE);
  return f ? f(value1, value2, op) : COMPARE_INVALID;
}

int append_text(Cell* buffer, std::string_view utf8) {
  int32_t head = series::head(buffer);
  int32_t before = string::xs_abs_length_q(buffer);
  int32_t added = string::append_utf8(buffer, utf8);
  // Counted from the head: a head past the old tail counts only what
  // reaches past it.
  if (before >= head) return added;
  return std::max(string::xs_abs_length_q(buffer) - head, 0);
}

int append_indent(Cell* buffer, int levels, int part) {
  for (int i = 0; i < levels; i++) part = emit(buffer, "    ", part);
  return part;
}

Cell* push_string(int capacity) { return string::push_new(capacity); }

std::string to_utf8(const Cell* str) { return string::utf8_of(str); }

int32_t length_of(const Cell* str) { return string::xs_length_q(str); }

void truncate(Cell* str, int32_t n) {
  int32_t len = string::xs_length_q(str);
  if (n < 0) n = 0;
  if (n >= len) return;
  string::truncate_buffer(series::buf(str), series::head(str) + n);
}

std::string mold_text(Cell* value, int all, int flat, int only) {
  Cell* saved = stack::top();
  Cell* v = stack::push(value);
  Cell* buf = push_string(16);
  mold(v, buf, only, all, flat, nullptr, NO_LIMIT, 0);
  std::string s = to_utf8(buf);
  stack::set_top(saved);
  return s;
}

std::string form_text(Cell* value) {
  Cell* saved = stack::top();
  Cell* v = stack::push(value);
  Cell* buf = push_string(16);
  form(v, buf, nullptr, NO_LIMIT);
  std::string s = to_utf8(buf);
  stack::set_top(saved);
  return s;
}

}  // namespace xeb::actions
