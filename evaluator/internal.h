// Helpers shared by the evaluator's modules: reading code cells, looking
// words up on the hot path, and the frame and error conventions of calls.
#pragma once
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "datatypes/actions.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/native.h"
#include "datatypes/series.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/trace.h"
#include "runtime/cell.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/stamp.h"
#include "runtime/throw.h"

namespace xeb::interpreter {

// A callable's more block is made whole and only written in place, so its
// cells start where its buffer's data does: one load less than through the
// head on every call.
inline Cell* more_of(const Cell* fn) {
  SeriesBuf* b = buf_of(callable::more_node(fn));
  assert(reinterpret_cast<std::byte*>(b->cells()) == b->data());
  return reinterpret_cast<Cell*>(b->data());
}

// The call summary kept in the cache cell's third word. A call without a
// path or apply mode fetches only the fixed arguments and leaves every
// refinement off, so a spec whose fixed part holds no return marker is
// called by the short path, which needs the fixed arguments' count and
// whether they are all ordinary; a function's refinement slots follow.
constexpr uint32_t SPEC_FAST = 0x80000000;
constexpr uint32_t SPEC_PLAIN = 0x10000;   // every fixed argument is ordinary
constexpr uint32_t SPEC_REFINE = 0x20000;  // refinements follow the fixed part
constexpr uint32_t SPEC_ANY = 0x40000;     // every fixed argument takes any value but unset!
constexpr int32_t MAX_FAST_ARITY = 255;
// The cache is a built-in conditional's (either, if, unless) with its own
// spec: a condition of any type, then blocks. The call path runs it itself.
constexpr uint32_t SPEC_COND = 0x100000;
// The function's body has no decoded form worth running (evaluator/pure.h):
// its calls go straight to the interpreter.
constexpr uint32_t SPEC_NOT_PURE = 0x200000;

// The cell at an absolute index of a block's buffer; valid until the next
// allocation.
inline Cell* cell_at(const Cell* block, int32_t i) { return series::buf(block)->cells() + i; }

// The global context's value store is kept aside (memory::kept, keyed by
// the context) while no buffer has moved: a global word's value is then one
// load away. The slow path of bound_value refreshes it.
Cell* bound_value_slow(Node ctx, int32_t index);

// The value a word is bound to, or null when its context has no value store
// now (a function not running) or the word is unbound. Raises nothing.
inline Cell* bound_value(const Cell* w) {
  int32_t index = word_index(w);
  Node ctx = word_context(w);
  if (index < 0) return nullptr;
  if (ctx == memory::kept.key) [[likely]] {
    Cell* v = memory::kept.cells + index;
    if (!v) __builtin_unreachable();  // a kept store is never null: callers' tests fold away
    return v;
  }
  if (ctx == memory::kept_local.key) {
    Cell* v = memory::kept_local.cells + index;
    if (!v) __builtin_unreachable();
    return v;
  }
  if (!ctx) return nullptr;
  uint32_t store = context::store_of(ctx);
  if (!store) return nullptr;
  if (context::on_stack(ctx)) {
    // A running function's: kept aside for its next words.
    memory::kept_local = memory::KeptCells{ctx, at<Cell>(store)};
    return at<Cell>(store) + index;
  }
  return bound_value_slow(ctx, index);
}

// The word's value cell; the context layer raises the errors (unbound word,
// function not running). Valid until the next allocation.
inline Cell* word_value(Cell* w) {
  if (Cell* v = bound_value(w)) return v;
  return context::get(w);
}

// Sets a word to a value; word and value lie on the data stack. Object
// contexts go through the context layer, which fires their change hooks.
// Stores the value when the word's context takes it directly (the global
// context, a running function's, any but an object's); answers false,
// having done nothing, when the context layer must (hooks, errors).
inline bool set_word_direct(const Cell* w, const Cell* value) {
  int32_t index = word_index(w);
  Node ctx = word_context(w);
  if (index < 0) return false;
  if (ctx == memory::kept.key) [[likely]] {
    stamp::note_set(memory::kept.cells + index, value);
    memory::kept.cells[index] = *value;
    return true;
  }
  if (ctx == memory::kept_local.key) {
    memory::kept_local.cells[index] = *value;
    return true;
  }
  if (ctx) {
    if (uint32_t store = context::store_of(ctx)) {
      if (context::on_stack(ctx)) {
        at<Cell>(store)[index] = *value;
        return true;
      }
      if (context::kind_of(ctx) != context::Kind::object) {
        stamp::note_set(buf_of(store)->cells() + index, value);
        buf_of(store)->cells()[index] = *value;
        return true;
      }
    }
  }
  return false;
}
inline void set_word(Cell* w, const Cell* value) {
  if (!set_word_direct(w, value)) context::set(w, value);
}

// A value that evaluates to itself: no word, path, paren, callable or issue
// (those the interpreter treats apart).
inline bool plain_literal(TypeId t) {
  switch (t) {
    case T_PAREN: case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_ISSUE:
    case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_PATH: case T_LIT_PATH:
    case T_SET_PATH: case T_GET_PATH: case T_ROUTINE:
      return false;
    default:
      return true;
  }
}

// A word's value that is not the word's value as it stands: a call, an
// operator, or unset! (an error).
constexpr uint64_t ACTIVE_TYPES = CALLABLE_TYPES | type_bit(T_OP) | type_bit(T_UNSET);

// Whether the cell at pos is a word bound to an operator: the infix
// lookahead would take the value before it as its left operand.
inline bool op_at(const Cell* code, int32_t pos, int32_t end) {
  if (pos >= end || pos >= static_cast<int32_t>(series::buf(code)->cell_count())) return false;
  const Cell* w = cell_at(code, pos);
  if (!is_type(w, T_WORD)) return false;
  const Cell* op = bound_value(w);
  return op && is_type(op, T_OP);
}

// The infix lookahead after a value made at start (the data stack's top
// cell, or the result slot, which is the same cell then): operators at pos
// take it as their left operand. Answers the position after the chain.
int32_t eval_infix(Cell* code, int32_t pos, int32_t end, bool push, Cell* start);
// The same from an operator found at pos: op is its word's value, read
// since the last allocation.
int32_t eval_infix_at(Cell* code, int32_t pos, int32_t end, bool push, Cell* start, const Cell* op);
// An integer operator at pos (its word's value op, read since the last
// allocation, computes iop) whose right operand, at pos + 1, is a paren,
// while not tracing: the paren's value taken as eval_infix_at takes it.
// Answers the position after the paren.
int32_t infix_paren(Cell* code, int32_t pos, bool push, Cell* start, const Cell* op, int iop);
// The operations computed in place on two numbers: add, subtract,
// multiply, divide (not on two integers: its result's type depends on the
// remainder) and the comparisons equal? .. greater-or-equal?. A comparison
// is INT_COMPARE with the bit of each outcome it is true for: bit 0 when
// the left operand is the lesser, bit 1 when equal, bit 2 when greater;
// INT_STRICT marks strict-equal?, which tells an integer from a float.
enum IntOp : uint8_t {
  INT_NONE, INT_ADD, INT_SUB, INT_MUL, INT_DIV,
  INT_COMPARE = 8,
  INT_EQ = INT_COMPARE | 2, INT_NE = INT_COMPARE | 5, INT_LT = INT_COMPARE | 1, INT_GT = INT_COMPARE | 4,
  INT_LE = INT_COMPARE | 3, INT_GE = INT_COMPARE | 6,
  INT_STRICT = 16,
};

// The inline operation of each native index, INT_NONE for the natives that
// are not comparisons.
inline constexpr auto kNativeIntOp = [] {
  std::array<uint8_t, natives::COUNT + 1> ops{};
  ops[natives::index(natives::Id::equal_q)] = INT_EQ;
  ops[natives::index(natives::Id::not_equal_q)] = INT_NE;
  ops[natives::index(natives::Id::strict_equal_q)] = INT_EQ | INT_STRICT;
  ops[natives::index(natives::Id::lesser_q)] = INT_LT;
  ops[natives::index(natives::Id::greater_q)] = INT_GT;
  ops[natives::index(natives::Id::lesser_or_equal_q)] = INT_LE;
  ops[natives::index(natives::Id::greater_or_equal_q)] = INT_GE;
  return ops;
}();

// The same for each action index: add, subtract, multiply and divide.
inline constexpr auto kActionIntOp = [] {
  std::array<uint8_t, ACTION_COUNT + 1> ops{};
  ops[A_ADD] = INT_ADD;
  ops[A_SUBTRACT] = INT_SUB;
  ops[A_MULTIPLY] = INT_MUL;
  ops[A_DIVIDE] = INT_DIV;
  return ops;
}();

// The operation an operator computes in place on two numbers, or INT_NONE.
inline int integer_op(const Cell* op) {
  int wrapped = native::wrapped_type(op);
  uint32_t i = native::index(op);
  if (wrapped == T_ACTION) return i <= ACTION_COUNT ? kActionIntOp[i] : int{INT_NONE};
  if (wrapped == T_NATIVE) return i <= natives::COUNT ? kNativeIntOp[i] : int{INT_NONE};
  return INT_NONE;
}

// The float! of an integer operation that overflowed, into left.
[[gnu::noinline, gnu::cold]] inline void integer_overflow(int code, Cell* left, int32_t a, int32_t b) {
  double x = a, y = b;
  *left = Cell{T_FLOAT, 0, 0, 0};
  put_double(left, code == INT_ADD ? x + y : code == INT_SUB ? x - y : x * y);
}

// An integer_op applied to two integers, the left operand replaced by the
// result; an overflow gives the float! of the exact operation.
[[gnu::always_inline]] inline void integer_infix(int code, Cell* left, int32_t b) {
  int32_t a = get_int(left), r;
  if (code & INT_COMPARE) {
    int outcome = (a > b) - (a < b) + 1;  // 0 lesser, 1 equal, 2 greater
    *left = (code >> outcome) & 1 ? fixed_true : fixed_false;
    return;
  }
  bool over = code == INT_ADD   ? __builtin_add_overflow(a, b, &r)
              : code == INT_SUB ? __builtin_sub_overflow(a, b, &r)
                                : __builtin_mul_overflow(a, b, &r);
  if (!over) {
    integer::set(left, r);
    return;
  }
  integer_overflow(code, left, a, b);
}

// The types the inline operators take: integer!, float!, percent!. Their
// arithmetic and comparisons cannot fail (a float's overflow is infinity).
constexpr uint64_t INLINE_NUMBERS = type_bit(T_INTEGER) | type_bit(T_FLOAT) | type_bit(T_PERCENT);
inline bool inline_number(const Cell* v) { return in_types(INLINE_NUMBERS, type_of(v)); }

// Whether an operation computes in place on these operands: two numbers,
// but no division of two integers.
[[gnu::always_inline]] inline bool takes_inline(int code, const Cell* left, const Cell* right) {
  TypeId lt = type_of(left), rt = type_of(right);
  if (lt == T_INTEGER && rt == T_INTEGER) [[likely]] return code != INT_DIV;
  return in_types(INLINE_NUMBERS, lt) && in_types(INLINE_NUMBERS, rt);
}

// The operation on two numbers of which one at least is a float! or a
// percent!, as the actions and comparisons compute it: the left operand
// replaced by the result.
void number_infix(int code, Cell* left, const Cell* right);

// An operation that takes_inline, the left operand replaced by the result.
[[gnu::always_inline]] inline void scalar_infix(int code, Cell* left, const Cell* right) {
  if (is_type(left, T_INTEGER) && is_type(right, T_INTEGER)) [[likely]]
    integer_infix(code, left, get_int(right));
  else
    number_infix(code, left, right);
}

// An operand taken in place: a number, or a word holding one (reading it
// can neither fail nor allocate); null for any other.
inline const Cell* inline_operand(const Cell* r) {
  if (inline_number(r)) return r;
  if (!is_type(r, T_WORD)) return nullptr;
  const Cell* v = bound_value(r);
  return v && inline_number(v) ? v : nullptr;
}

// The infix lookahead after a value made at start, inline for its common
// cases: no operator follows, or an inline operator whose operands are
// numbers, its right operand a literal or a word holding one. The result
// stays at start.
[[gnu::always_inline]] inline int32_t infix_after(Cell* code, int32_t pos, int32_t end, bool push, Cell* start) {
  for (;;) {
    if (pos >= end) return pos;
    SeriesBuf* b = series::buf(code);
    if (pos >= static_cast<int32_t>(b->cell_count())) return pos;
    const Cell* w = b->cells() + pos;
    if (!is_type(w, T_WORD)) return pos;
    const Cell* op = bound_value(w);
    if (!op || !is_type(op, T_OP)) return pos;
    int iop = integer_op(op);
    if (!trace::tracing && iop && inline_number(start) && pos + 1 < end &&
        pos + 1 < static_cast<int32_t>(b->cell_count())) {
      const Cell* r = w + 1;
      const Cell* rv = inline_operand(r);
      if (rv && takes_inline(iop, start, rv)) {
        scalar_infix(iop, start, rv);
        pos += 2;
        continue;
      }
      if (is_type(r, T_PAREN)) {
        pos = infix_paren(code, pos, push, start, op, iop);
        if (throwing()) return pos;
        continue;
      }
    }
    return eval_infix_at(code, pos, end, push, start, op);
  }
}

// A value whose evaluation can neither fail nor run code: a literal (not
// unset!), or a word holding a plain value, with any chain of inline
// operators on number operands after it (computed as infix_after does).
// Answers the position after it with the value in out, or -1 when the
// general path must evaluate it; nothing has happened then, since reading
// words has no effect. A word holding a callable value is left in callee
// (valid until the next allocation). Only while not tracing.
// b is the code's buffer and end lies at or before its tail.
inline int32_t quick_value_in(SeriesBuf* b, int32_t pos, int32_t end, Cell* out, const Cell** callee) {
  if (pos >= end) return -1;
  const Cell* v = b->cells() + pos;
  TypeId t = type_of(v);
  const Cell* val = v;
  if (t == T_WORD) {
    val = bound_value(v);
    if (!val) return -1;
    t = type_of(val);
    if (callable(t)) {
      *callee = val;
      return -1;
    }
    if (t == T_OP) return -1;
  } else if (!plain_literal(t)) {
    return -1;
  }
  if (t == T_UNSET) return -1;
  *out = *val;
  for (const Cell* w = v + 1;; w += 2) {
    if (++pos >= end || !is_type(w, T_WORD)) return pos;
    const Cell* op = bound_value(w);
    if (!op || !is_type(op, T_OP)) return pos;
    int iop = integer_op(op);
    if (!iop || pos + 1 >= end) return -1;
    const Cell* rv = inline_operand(w + 1);
    if (!rv || !takes_inline(iop, out, rv)) return -1;
    scalar_infix(iop, out, rv);
    pos++;
  }
}
inline int32_t quick_value(Cell* code, int32_t pos, int32_t end, Cell* out, const Cell** callee) {
  SeriesBuf* b = series::buf(code);
  int32_t tail = static_cast<int32_t>(b->cell_count());
  return quick_value_in(b, pos, end < tail ? end : tail, out, callee);
}

// Truth for either, case and the loops: unset! raises no-return.
inline bool strict_true(const Cell* v) {
  if (is_type(v, T_UNSET)) fire(Err::no_return);
  return !is_false(v);
}

// The word used to name frames and errors when a call has no name.
Cell anon_word();

// Typeset membership on the hot path (bit 0x80 >> (t & 7) of byte t >> 3).
inline bool accepts(const Cell* ts, int t) {
  return typeset::bits(ts)[t >> 3] & (0x80 >> (t & 7));
}

// A call whose spec holds only ordinary arguments (and locals), from code,
// without a path or apply mode, and not while tracing: the general call
// reduced to its steps. Answers -1, having done nothing, for any other call
// (the general eval_call makes it then).
int32_t call_fast(const Cell* fn, Cell* code, int32_t pos, int32_t end, bool push, const Cell* name);

// Calls fn with its `count` arguments already evaluated at start + 0.. on
// the data stack; the result replaces them at start (pushed or stored by
// the mode), exactly as a call fetched from code would leave it.
void call_evaluated(const Cell* fn, const Cell* name, Cell* start, int count, bool push);

}  // namespace xeb::interpreter
