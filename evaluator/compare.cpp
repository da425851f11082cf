// The comparison entry and the fast paths.
#include "evaluator/compare.h"

#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/series.h"
#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb::actions {

namespace {

bool truth(int answer, int op) {
  switch (op) {
    case COMP_NOT_EQUAL: return answer != 0;
    case COMP_LESSER: return answer < 0;
    case COMP_LESSER_EQUAL: return answer <= 0;
    case COMP_GREATER: return answer > 0;
    case COMP_GREATER_EQUAL: return answer >= 0;
    default: return answer == 0;
  }
}

// Equality-like ops answer "not equal" for incomparable values; the others
// raise.
bool equality_like(int op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op >= COMP_SAME;
}

int three_way(int32_t a, int32_t b) { return (a > b) - (a < b); }

// Runs body on the two operands as the arguments of a frame named by the
// operation; pushes the result it leaves at the frame's base.
template <class Body>
Cell* framed(const Cell* name, const Cell* left, const Cell* right, Body body) {
  Cell l = *left, r = *right;
  Cell* entry_top = stack::top();
  Cell n = name ? *name : interpreter::anon_word();
  stack::mark_native(&n);
  stack::push(&l);
  stack::push(&r);
  body();
  Cell res = *stack::base();
  stack::unwind();
  stack::set_top(entry_top);
  return stack::push(&res);
}

// A generic action with no refinements.
Cell* fallback(Action a, const Cell* name, const Cell* left, const Cell* right) {
  return framed(name, left, right, [a] {
    int32_t refs[MAX_REFINEMENTS];
    for (int32_t& x : refs) x = -1;
    entry(a)(refs);
  });
}

Cell* compare_fallback(int op, const Cell* name, const Cell* left, const Cell* right) {
  return framed(name, left, right, [op] { compare_args(op); });
}

constexpr Action kMathAction[8] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE, A_REMAINDER, A_OR_T, A_AND_T, A_XOR_T};

// The inline integer arithmetic; false when it overflowed into out.
void int_math(int op, int32_t a, int32_t b, Cell* out) {
  int32_t r = 0;
  bool over = false;
  switch (op) {
    case OP_ADD: over = __builtin_add_overflow(a, b, &r); break;
    case OP_SUB: over = __builtin_sub_overflow(a, b, &r); break;
    case OP_MUL: over = __builtin_mul_overflow(a, b, &r); break;
    case OP_OR: r = a | b; break;
    case OP_AND: r = a & b; break;
    default: r = a ^ b; break;
  }
  if (!over) {
    *out = integer::make_cell(r);
    return;
  }
  double x = a, y = b;
  double d = op == OP_ADD ? x + y : op == OP_SUB ? x - y : x * y;
  *out = Cell{T_FLOAT, 0, 0, 0};
  put_double(out, d);
}

bool float_math(int op, const Cell* left, const Cell* right, Cell* out) {
  if (!is_type(left, T_FLOAT) || !is_type(right, T_FLOAT) || op > OP_MUL) return false;
  double x = get_double(left), y = get_double(right);
  *out = Cell{T_FLOAT, 0, 0, 0};
  put_double(out, op == OP_ADD ? x + y : op == OP_SUB ? x - y : x * y);
  return true;
}

}  // namespace

int compare_raw(Cell* value1, Cell* value2, int op) {
  TypeId t = type_of(value1);
  switch (t) {
    case T_LOGIC:
      if (!is_type(value2, T_LOGIC)) return COMPARE_INVALID;
      return static_cast<int>(logic::get(value1) == 1) - static_cast<int>(logic::get(value2) == 1);
    case T_OP: case T_ACTION: case T_NATIVE:
      if (type_of(value2) != t) return COMPARE_INVALID;
      return three_way(static_cast<int32_t>(native::index(value1)), static_cast<int32_t>(native::index(value2)));
    case T_ROUTINE: case T_FUNCTION:
      if (type_of(value2) != t) return COMPARE_INVALID;
      return three_way(static_cast<int32_t>(function::more_node(value1)), static_cast<int32_t>(function::more_node(value2)));
    default: {
      act::Compare f = datatype::slot<act::Compare>(t, A_COMPARE);
      return f ? f(value1, value2, op) : COMPARE_INVALID;
    }
  }
}

bool compare_truth(Cell* value1, Cell* value2, int op) {
  auto f = reinterpret_cast<act::Compare>(get_action(value1, A_COMPARE));
  int answer = f(value1, value2, op);
  if (answer == COMPARE_INVALID) {
    if (!equality_like(op)) {
      Cell a = *value1, b = *value2;
      fire(Err::invalid_compare, &a, &b);
    }
    return op == COMP_NOT_EQUAL;
  }
  return truth(answer, op);
}

void compare_args(int op) {
  Cell* base = stack::base();
  logic::box(compare_truth(base, base + 1, op));
}

// --- Arithmetic -------------------------------------------------------------------

Cell* math_op(int op, const Cell* name, const Cell* left, const Cell* right) {
  Cell r;
  if (is_type(left, T_INTEGER) && is_type(right, T_INTEGER)) {
    int_math(op, get_int(left), get_int(right), &r);
    return stack::push(&r);
  }
  if (float_math(op, left, right, &r)) return stack::push(&r);
  return fallback(kMathAction[op], name, left, right);
}

Cell* math_op_int(int op, const Cell* name, const Cell* left, int32_t right) {
  Cell rc = integer::make_cell(right), r;
  if (is_type(left, T_INTEGER)) {
    int_math(op, get_int(left), right, &r);
    return stack::push(&r);
  }
  return fallback(kMathAction[op], name, left, &rc);
}

Cell* math_op_top(int op, const Cell* name, const Cell* right) {
  Cell* left = stack::top() - 1;
  Cell r;
  if (is_type(left, T_INTEGER) && is_type(right, T_INTEGER)) {
    int_math(op, get_int(left), get_int(right), &r);
  } else if (!float_math(op, left, right, &r)) {
    r = *fallback(kMathAction[op], name, left, right);
    stack::pop(1);
  }
  *left = r;
  return left;
}

Cell* math_op_top_int(int op, const Cell* name, int32_t right) {
  Cell rc = integer::make_cell(right);
  return math_op_top(op, name, &rc);
}

// --- Comparison fast paths -----------------------------------------------------------

namespace {

// The truth, computed inline for two integers, else under a frame.
bool relation(int op, const Cell* name, const Cell* left, const Cell* right) {
  if (is_type(left, T_INTEGER) && is_type(right, T_INTEGER))
    return truth(three_way(get_int(left), get_int(right)), op);
  Cell* r = compare_fallback(op, name, left, right);
  bool t = logic::get(r) == 1;
  stack::pop(1);
  return t;
}

}  // namespace

Cell* compare_op(int op, const Cell* name, const Cell* left, const Cell* right) {
  return logic::push(relation(op, name, left, right));
}
Cell* compare_op_int(int op, const Cell* name, const Cell* left, int32_t right) {
  Cell rc = integer::make_cell(right);
  return logic::push(relation(op, name, left, &rc));
}
bool compare_op_test(int op, const Cell* name, const Cell* left, const Cell* right, bool negate) {
  return relation(op, name, left, right) != negate;
}
bool compare_op_int_test(int op, const Cell* name, const Cell* left, int32_t right, bool negate) {
  Cell rc = integer::make_cell(right);
  return relation(op, name, left, &rc) != negate;
}
bool compare_op_result(int op, const Cell* name, const Cell* left, const Cell* right) {
  bool t = relation(op, name, left, right);
  logic::box(t);
  return t;
}
Cell* compare_op_top(int op, const Cell* name, const Cell* right) {
  Cell* left = stack::top() - 1;
  bool t = relation(op, name, left, right);
  *left = t ? fixed_true : fixed_false;
  return left;
}
Cell* compare_op_top_int(int op, const Cell* name, int32_t right) {
  Cell rc = integer::make_cell(right);
  return compare_op_top(op, name, &rc);
}

// --- Blocks -----------------------------------------------------------------------------

Cell* pick_path(const Cell* value, int32_t n, const Cell* name) {
  if (is_type(value, T_BLOCK)) {
    int32_t len = block::xs_length_q(value);
    if (n >= 1 && n <= len) {
      Cell v = *interpreter::cell_at(value, block::head_of(value) + n - 1);
      return stack::push(&v);
    }
    return stack::push(&fixed_none);
  }
  Cell v = *value;
  Cell* entry_top = stack::top();
  Cell nm = name ? *name : interpreter::anon_word();
  stack::mark_native(&nm);
  Cell* c = stack::push(&v);
  Cell* i = stack::push_new();
  *i = integer::make_cell(n);
  PathStep step{nullptr, nullptr, nullptr, 0, false, false, true, false};
  Cell res = *direct::eval_path(c, i, nullptr, step);
  stack::unwind();
  stack::set_top(entry_top);
  return stack::push(&res);
}

Cell* series_nav(const Cell* value, Nav code, const Cell* name) {
  if (is_type(value, T_BLOCK)) {
    Cell v = *value;
    int32_t n = block::xs_length_q(&v);
    int32_t h = block::head_of(&v);
    switch (code) {
      case Nav::length_q: return integer::push(n < 0 ? 0 : n);
      case Nav::index_q: return integer::push(h + 1);
      case Nav::head_q: return logic::push(h == 0);
      case Nav::tail_q: return logic::push(n <= 0);
      case Nav::next: if (n > 0) series::set_head(&v, h + 1); break;
      case Nav::back: if (h > 0) series::set_head(&v, h - 1); break;
      case Nav::head: series::set_head(&v, 0); break;
      case Nav::tail: series::set_head(&v, h + n); break;
    }
    return stack::push(&v);
  }
  static constexpr Action kNav[] = {A_LENGTH_Q, A_LENGTH_Q, A_INDEX_Q, A_HEAD_Q, A_TAIL_Q,
                                    A_NEXT,     A_BACK,     A_HEAD,    A_TAIL};
  Cell v = *value;
  Cell* entry_top = stack::top();
  Cell nm = name ? *name : interpreter::anon_word();
  stack::mark_native(&nm);
  stack::push(&v);
  int32_t refs[MAX_REFINEMENTS];
  for (int32_t& x : refs) x = -1;
  entry(kNav[static_cast<int>(code)])(refs);
  Cell res = *stack::base();
  stack::unwind();
  stack::set_top(entry_top);
  return stack::push(&res);
}

}  // namespace xeb::actions
