// Where a new value of a simple type goes: pushed on the data stack, into
// the result slot at the arguments base, or at a block's tail. Only for
// values that hold no managed node (numbers, characters, flags, type ids):
// the tail cell's allocation may collect, and the value, a C++ local until
// placed, is out of the collector's reach.
#pragma once
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::place {

inline Cell* pushed(const Cell& v) {
  Cell* c = stack::push_new();
  *c = v;
  return c;
}

inline Cell* at_base(const Cell& v) {
  *stack::base() = v;
  return stack::base();
}

inline Cell* at_tail(const Cell* block, const Cell& v) {
  Cell* c = memory::new_tail_cell(block);
  *c = v;
  return c;
}

}  // namespace xeb::place
