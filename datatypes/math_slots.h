// The two-operand arithmetic slots of a type whose core is one
// do_math(op) on the arguments base: each slot is the core with its
// operation bound, so the types share them instead of writing a wrapper per
// operation.
#pragma once
#include "datatypes/actions.h"
#include "datatypes/registry.h"

namespace xeb::datatype {

template <void (*Math)(int), MathOp Op>
void math_slot() {
  Math(Op);
}

// add, subtract, multiply, divide and remainder.
template <void (*Math)(int)>
void set_arithmetic(Registration& r) {
  r.set(A_ADD, &math_slot<Math, OP_ADD>).set(A_SUBTRACT, &math_slot<Math, OP_SUB>);
  r.set(A_MULTIPLY, &math_slot<Math, OP_MUL>).set(A_DIVIDE, &math_slot<Math, OP_DIV>);
  r.set(A_REMAINDER, &math_slot<Math, OP_REM>);
}

// and, or and xor.
template <void (*Math)(int)>
void set_bitwise(Registration& r) {
  r.set(A_AND_T, &math_slot<Math, OP_AND>).set(A_OR_T, &math_slot<Math, OP_OR>);
  r.set(A_XOR_T, &math_slot<Math, OP_XOR>);
}

}  // namespace xeb::datatype
