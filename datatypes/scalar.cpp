// Shared helpers of the scalar datatypes.
#include "datatypes/scalar.h"

#include <utility>

#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"

namespace xeb::scalar {

Cell load_text(const Cell* text) {
  Cell out{T_UNSET, 0, 0, 0};
  if (word::load_value_hook) word::load_value_hook(text, &out);
  return out;
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
  Node global = context::global();
  int32_t i = global ? context::find_word(global, symbol::make("system"), true) : -1;
  if (i < 0) return nullptr;
  const Cell* v = context::values(global) + i;
  for (const char* name : names) {
    if (!is_type(v, T_OBJECT)) return nullptr;
    i = context::find_word(v->w1, symbol::make(name), true);
    if (i < 0) return nullptr;
    v = context::values(v->w1) + i;
  }
  return v;
}

namespace {

// A number minus, divided by, or the remainder by a pair or a point has no
// meaning the exchanged operands could give.
void refuse_unordered(int op, const Cell* right) {
  if (op != OP_SUB && op != OP_DIV && op != OP_REM) return;
  Cell fn = op == OP_SUB ? words::word(words::W::subtract) : words::word(words::W::divide);
  if (op == OP_REM) stack::caller_word(&fn);
  Cell t = datatype::make_cell(type_of(right));
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
      refuse_unordered(op, right);
      exchange();
      pair::do_math(op);
      return true;
    case T_POINT2D:
    case T_POINT3D:
      refuse_unordered(op, right);
      exchange();
      point::do_math(op);
      return true;
    case T_TUPLE:
      tuple::do_math(op);
      return true;
    case T_MONEY:
      money::do_math(op);
      return true;
    case T_DATE:
      if (op != OP_ADD) return false;
      exchange();
      date::do_math(op);
      return true;
    default:
      return false;
  }
}

}  // namespace xeb::scalar
