// Comparison: the one entry every comparison in the system goes through,
// turning a type's three-way answer into the truth of a relation; and the
// fast paths for the commonest integer and block operations, which fall back
// to the generic actions (under a frame naming the operation) whenever they
// do not apply, so their results always equal the interpreted ones.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::actions {

// The truth of value1 op value2. Ordering a pair that cannot be compared
// raises invalid-compare; equality-like ops simply answer false.
bool compare_truth(Cell* value1, Cell* value2, int op);
// The slot's answer (-1, 0, 1, or -2: not comparable) without the error.
int compare_raw(Cell* value1, Cell* value2, int op);
// Compares the two arguments at the base; a logic! into the result slot.
void compare_args(int op);

// Arithmetic fast paths (ops 0 add, 1 subtract, 2 multiply, 5 or, 6 and,
// 7 xor); name: the word naming the fallback's frame.
Cell* math_op(int op, const Cell* name, const Cell* left, const Cell* right);  // pushes the result
Cell* math_op_int(int op, const Cell* name, const Cell* left, int32_t right);
Cell* math_op_top(int op, const Cell* name, const Cell* right);  // replaces the top (left) cell
Cell* math_op_top_int(int op, const Cell* name, int32_t right);

// Comparison fast paths (ops 0-6).
Cell* compare_op(int op, const Cell* name, const Cell* left, const Cell* right);  // pushes a logic!
Cell* compare_op_int(int op, const Cell* name, const Cell* left, int32_t right);
bool compare_op_test(int op, const Cell* name, const Cell* left, const Cell* right, bool negate);
bool compare_op_int_test(int op, const Cell* name, const Cell* left, int32_t right, bool negate);
bool compare_op_result(int op, const Cell* name, const Cell* left, const Cell* right);
Cell* compare_op_top(int op, const Cell* name, const Cell* right);
Cell* compare_op_top_int(int op, const Cell* name, int32_t right);

// value/n with an integer literal n; pushes the result.
Cell* pick_path(const Cell* value, int32_t n, const Cell* name);
enum class Nav : int { length_q = 1, index_q, head_q, tail_q, next, back, head, tail };
Cell* series_nav(const Cell* value, Nav code, const Cell* name);

}  // namespace xeb::actions
