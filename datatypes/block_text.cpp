// block! construction, text and comparison. Form, mold and compare walk
// nested blocks, so each records the block it is inside on the cycle stack:
// a block holding itself is not entered twice, and nesting is bounded.
#include <algorithm>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/block_internal.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"

namespace xeb::block {

void (*scan_hook)(const Cell* str, Cell* out) = nullptr;

namespace {

// Stores the block built on the stack top into out and drops it.
Cell* finish(Cell* out, Cell* built, int type) {
  set_type(built, static_cast<TypeId>(type));
  Cell v = *built;
  stack::pop(1);
  *out = v;
  return out;
}

[[noreturn]] void bad_make(int type, const Cell* spec) {
  Cell d = datatype::make_cell(type), v = *spec;
  fire(Err::bad_make_arg, &d, &v);
}

// The body of an object! or map!, through its reflect slot.
Cell* body_of(Cell* out, Cell* spec, int type) {
  auto reflect = datatype::slot<act::Reflect>(type_of(spec), A_REFLECT);
  if (!reflect) bad_make(type, spec);
  Cell* held = stack::push(spec);
  Cell* r = reflect(held, words::sym(words::W::body));
  if (r != held) *held = *r;
  return finish(out, held, type);
}

// One cell per element of a vector!, read through its own slots.
Cell* from_vector(Cell* out, Cell* spec, int type) {
  auto length = datatype::slot<act::LengthQ>(T_VECTOR, A_LENGTH_Q);
  auto pick = datatype::slot<act::Pick>(T_VECTOR, A_PICK);
  if (!length || !pick) bad_make(type, spec);
  Cell* vec = stack::push(spec);
  int32_t n = std::max(length(vec), 0);
  Cell* r = push_only(n);
  for (int32_t i = 1; i <= n; i++) {
    Cell* tmp = stack::push(vec);
    Cell* v = pick(tmp, i, nullptr);
    xs_append(r, v);
    stack::pop(1);
  }
  Cell v = *r;
  stack::pop(2);
  *out = v;
  set_type(out, static_cast<TypeId>(type));
  return out;
}

int32_t last_char(const Cell* buffer) {
  int32_t n = string::xs_length_q(buffer);
  return n > 0 ? string::char_at(buffer, n - 1) : -1;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (series::block_like(st)) return finish(proto, clone(spec, false, false), type);
  switch (st) {
    case T_INTEGER: case T_FLOAT: {
      double d = st == T_INTEGER ? get_int(spec) : std::trunc(get_double(spec));
      if (!(d >= INT32_MIN && d <= INT32_MAX)) {
        Cell v = *spec;
        fire(Err::out_of_range, &v);
      }
      int32_t n = static_cast<int32_t>(d);
      return finish(proto, push_only(n < 1 ? 1 : n), type);
    }
    case T_OBJECT: case T_MAP: return body_of(proto, spec, type);
    case T_VECTOR: return from_vector(proto, spec, type);
    default: bad_make(type, spec);
  }
}

Cell* to(Cell* proto, Cell* spec, int type) {
  int st = type_of(spec);
  if (series::block_like(st)) return finish(proto, clone(spec, false, false), type);
  switch (st) {
    case T_OBJECT: case T_MAP: return body_of(proto, spec, type);
    case T_VECTOR: return from_vector(proto, spec, type);
    case T_STRING: {
      if (!scan_hook) fire(Err::not_done);
      Cell* held = stack::push(spec);
      Cell* out = begin_cell(stack::push_new());
      scan_hook(held, out);
      Cell v = *out;
      stack::pop(2);
      *proto = v;
      set_type(proto, static_cast<TypeId>(type));
      return proto;
    }
    case T_TYPESET: {
      Cell* out = begin_cell(stack::push_new());
      typeset::to_block(out, spec);
      return finish(proto, out, type);
    }
    default: {
      Cell* held = stack::push(spec);
      Cell* r = push_only(1);
      xs_append(r, held);
      Cell v = *r;
      stack::pop(2);
      *proto = v;
      set_type(proto, static_cast<TypeId>(type));
      return proto;
    }
  }
}

// --- Text ------------------------------------------------------------------------

int form_each(Cell* value, Cell* buffer, Cell* arg, int part) {
  cycles::push(value->w2);
  int32_t h = clamped_head(value);
  for (int32_t i = h;; i++) {
    SeriesBuf* s = buf(value);
    if (i >= static_cast<int32_t>(s->cell_count())) break;
    if (arg && part < 1) break;
    Cell* c = stack::push(s->cells() + i);
    if (i > h) {
      int32_t ch = last_char(buffer);
      if (ch != '\t' && ch != '\n' && ch != '\r') part = actions::emit(buffer, " ", part);
    }
    part = actions::form(c, buffer, arg, part);
    stack::pop(1);
  }
  cycles::pop();
  return part;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string_view ph = cycles::detect(value, false);
  if (!ph.empty()) return actions::emit(buffer, ph, part);
  return form_each(value, buffer, arg, part);
}

int mold_each(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  cycles::push(value->w2);
  bool opened = false;
  int32_t h = clamped_head(value);
  for (int32_t i = h;; i++) {
    SeriesBuf* s = buf(value);
    if (i >= static_cast<int32_t>(s->cell_count())) break;
    if (arg && part < 1) {
      cycles::pop();
      return part;
    }
    Cell* c = stack::push(s->cells() + i);
    bool first = i == h;
    if (!flat && (c->header & HDR_NEW_LINE)) {
      if (first && !only) {
        indent++;
        opened = true;
      }
      if (!(first && only)) part = actions::emit(buffer, "\n", part);
      part = actions::append_indent(buffer, indent, part);
    } else if (!first) {
      part = actions::emit(buffer, " ", part);
    }
    part = actions::mold(c, buffer, 0, all, flat, arg, part, indent);
    stack::pop(1);
  }
  cycles::pop();
  if (opened) {
    indent--;
    part = actions::emit(buffer, "\n", part);
    part = actions::append_indent(buffer, indent, part);
  }
  return part;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  std::string_view ph = cycles::detect(value, true);
  if (!ph.empty()) return actions::emit(buffer, ph, part);
  if (!only) part = actions::emit(buffer, "[", part);
  part = mold_each(value, buffer, only, all, flat, arg, part, indent);
  if (!only) part = actions::emit(buffer, "]", part);
  return part;
}

// --- Comparison ------------------------------------------------------------------------

namespace {
bool path_pair(int a, int b) {
  return (a == T_PATH || a == T_LIT_PATH) && (b == T_PATH || b == T_LIT_PATH);
}
bool equality_op(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SAME_10 ||
         op == COMP_SAME_11 || op == COMP_FIND;
}
}  // namespace

int compare(Cell* value1, Cell* value2, int op) {
  int t1 = type_of(value1), t2 = type_of(value2);
  if (t1 != t2 && !((op == COMP_SAME_10 || op == COMP_SAME_11) && path_pair(t1, t2))) return COMPARE_INVALID;
  bool same = value1->w2 == value2->w2 && head_of(value1) == head_of(value2);
  if (op == COMP_SAME) return same ? 0 : -1;
  if (same) return 0;
  if (cycles::find(value1->w2)) return cycles::find(value2->w2) ? 0 : -1;
  NoCollection hold;
  int32_t n1 = std::max(xs_length_q(value1), 0), n2 = std::max(xs_length_q(value2), 0);
  if (n1 != n2 && equality_op(op)) return 1;
  // An empty block orders before a non-empty one from either side: the
  // answer falls to the lengths below, never to "equal".
  int r = 0;
  cycles::push(value1->w2);
  cycles::push(value2->w2);
  Cell* a = buf(value1)->cells() + std::max(head_of(value1), 0);
  Cell* b = buf(value2)->cells() + std::max(head_of(value2), 0);
  for (int32_t i = 0, n = std::min(n1, n2); i < n && r == 0; i++, a++, b++) {
    int ta = type_of(a), tb = type_of(b);
    if (ta != tb && !(any_word(static_cast<TypeId>(ta)) && any_word(static_cast<TypeId>(tb))) &&
        !(is_number(ta) && is_number(tb))) {
      r = ta < tb ? -1 : 1;
      break;
    }
    r = actions::compare(a, b, op);
    if (r == COMPARE_INVALID) r = 1;  // values of one kind that cannot be ordered count as different
  }
  cycles::drop(2);
  if (r != 0) return r;
  return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
}

}  // namespace xeb::block
