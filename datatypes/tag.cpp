// tag!, email! and ref!: written out with their delimiters; email! paths
// reach the user and host parts.
#include "datatypes/tag.h"

#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"

namespace xeb {

namespace {

// What tag! and email! take from string! as it is: all but writing out and
// paths, which each sets or takes on its own.
void inherit_string(datatype::Registration& r) {
  r.inherit({A_MAKE, A_REFLECT, A_TO, A_COMPARE, A_APPEND, A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND, A_HEAD,
             A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_PUT, A_REMOVE, A_REVERSE,
             A_SELECT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_MODIFY});
}

}  // namespace

namespace tag {

Cell* push(const Cell* c) { return stack::push(c); }

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  string::append_char(buffer, '<');
  part = string::form(value, buffer, arg, part - 1);
  string::append_char(buffer, '>');
  return part - 1;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

void init() {
  datatype::Registration r{T_TAG, T_STRING, "tag!"};
  r.hashes(&string::hash);
  r.marks(string::layout);
  r.set(A_FORM, &form).set(A_MOLD, &mold).inherit({A_EVAL_PATH});
  inherit_string(r);
  datatype::register_type(r);
}

}  // namespace tag

namespace email {

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return string::form(value, buffer, arg, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  if (is_type(element, T_INTEGER)) return string::eval_path(parent, element, value, step);
  bool word = is_type(element, T_WORD);
  bool user = word && words::is(word_symbol(element), words::W::user);
  bool host = word && words::is(word_symbol(element), words::W::host);
  if (!user && !host) series::fail_path(Err::invalid_path, step, element);
  Cell* base = stack::top();
  int32_t at = string::find_char(parent, '@');
  if (at < 0) at = string::xs_length_q(parent);
  Cell* part = stack::push(parent);
  if (!user) series::set_head(part, series::head(part) + at + 1);
  int32_t n = user ? at : -1;
  if (value) {
    if (!user) n = string::xs_length_q(part);
    string::change(part, value, n, 0, -1);
    stack::set_top(base);
    return value;
  }
  Cell* out = stack::push_new();
  Cell limit{T_INTEGER, 0, static_cast<uint32_t>(n), 0};
  Cell* lim = user ? stack::push(&limit) : nullptr;
  series::copy(part, out, lim, 0, nullptr);
  set_type(out, T_STRING);
  Cell result = *out;
  stack::set_top(base);
  return stack::push(&result);
}

void init() {
  datatype::Registration r{T_EMAIL, T_STRING, "email!"};
  r.hashes(&string::hash);
  r.marks(string::layout);
  r.set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path).inherit({A_FORM});
  inherit_string(r);
  datatype::register_type(r);
}

}  // namespace email

namespace ref {

Cell* push(const Cell* c) { return stack::push(c); }

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  string::append_char(buffer, '@');
  return string::form(value, buffer, arg, part - 1);
}

void init() {
  datatype::Registration r{T_REF, T_STRING, "ref!"};
  r.hashes(&string::hash);
  r.marks(string::layout);
  r.set(A_MOLD, &mold);
  r.inherit({A_MAKE, A_REFLECT, A_TO, A_FORM, A_COMPARE, A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND, A_HEAD,
             A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE,
             A_SELECT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace ref

}  // namespace xeb
