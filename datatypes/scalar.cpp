// Shared helpers of the scalar datatypes.
#include "datatypes/scalar.h"

#include <utility>

#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"

namespace xeb::scalar {

Cell load_as(int type, const Cell* text, bool name_loaded) {
  Cell* out = stack::push_new();  // rooted: the value may hold a series
  if (word::load_value_hook) word::load_value_hook(text, out);
  if (type_of(out) != type) bad_to_arg(type, name_loaded && !is_type(out, T_UNSET) ? out : text);
  Cell v = *out;
  stack::pop(1);
  return v;
}

int emit(Cell* buffer, std::string_view text, int part) {
  string::append_ascii(buffer, text);
  return part - static_cast<int>(text.size());
}

int pick_index(int index, const Cell* boxed, int (*by_word)(const Cell*), int count) {
  int i = index;
  if (boxed && any_word(type_of(boxed))) i = by_word(boxed);
  else if (boxed && !is_type(boxed, T_INTEGER)) i = 0;
  if (i < 1 || i > count) {
    Cell c = boxed ? *boxed : Cell{T_INTEGER, 0, static_cast<uint32_t>(index), 0};
    fire(Err::out_of_range, &c);
  }
  return i;
}

const Cell* system_value(std::initializer_list<const char*> names) {
  // Every symbol first: making one may allocate, and nothing below may.
  int32_t syms[8];
  int n = 0;
  syms[n++] = symbol::make("system");
  for (const char* name : names)
    if (n < 8) syms[n++] = symbol::make(name);
  Node global = context::global();
  int32_t i = global ? context::find_word(global, syms[0], true) : -1;
  if (i < 0) return nullptr;
  const Cell* v = context::values(global) + i;
  for (int k = 1; k < n; k++) {
    if (!is_type(v, T_OBJECT)) return nullptr;
    Node ctx = object::context_of(v);
    i = context::find_word(ctx, syms[k], true);
    if (i < 0) return nullptr;
    v = context::values(ctx) + i;
  }
  return v;
}

namespace {

// A number divided by, or the remainder by, a pair or a point has no meaning
// the exchanged operands could give, nor has a number minus a point. An
// integer minus a pair is the negated pair plus the integer.
int refuse_unordered(int op, Cell* right) {
  bool int_pair = is_type(stack::base(), T_INTEGER) && is_type(right, T_PAIR);
  if (op == OP_SUB && int_pair) {
    pair::negate(right);
    return OP_ADD;
  }
  if (op != OP_SUB && op != OP_DIV && op != OP_REM) return op;
  Cell fn = op == OP_SUB ? words::word(words::W::subtract) : words::word(words::W::divide);
  if (op == OP_REM) stack::caller_word(&fn);
  Cell t = datatype::make_cell(int_pair ? T_INTEGER : type_of(right));
  fire(Err::not_related, &fn, &t);
}

void exchange() {
  Cell* left = stack::base();
  std::swap(left[0], left[1]);
}

}  // namespace

bool partner_math(int op) {
  Cell* right = stack::base() + 1;
  switch (type_of(right)) {
    case T_PAIR:
      op = refuse_unordered(op, right);
      exchange();
      pair::do_math(op);
      return true;
    case T_POINT2D:
    case T_POINT3D:
      op = refuse_unordered(op, right);
      exchange();
      point::do_math(op);
      return true;
    case T_TUPLE:
      tuple::do_math(op);
      return true;
    case T_MONEY:
      money::do_math(op);
      return true;
    case T_VECTOR:
      vector::do_math_scalar_first(op);
      return true;
    case T_DATE:
      if (op != OP_ADD) {
        // Only days can be added to a date; anything else an integer does
        // to one is refused alike.
        if (!is_type(stack::base(), T_INTEGER)) return false;
        Cell fn = words::word(words::W::subtract), t = datatype::make_cell(T_INTEGER);
        fire(Err::not_related, &fn, &t);
      }
      exchange();
      date::do_math(op);
      return true;
    default:
      return false;
  }
}

}  // namespace xeb::scalar
