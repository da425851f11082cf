// The interpreter: walks a block one expression at a time. Words are looked
// up, set-words and set-paths assign, parens run as nested blocks, paths are
// walked, callable values are called with arguments taken from the code that
// follows them, and an operator after a value takes that value as its left
// operand.
//
// Every intermediate value lives on the data stack. A code block is always
// passed as a pointer to a cell that is a root and stays put (a data-stack
// cell): positions are indexes into its buffer, and buffer addresses are
// re-read through that cell after anything that can allocate.
//
// Pending exits (break, continue, return, exit, throw) come back as
// `throwing()`; every routine here returns at once when it sees one, leaving
// the stacks as the throw operation set them.
#pragma once
#include <cstdint>

#include "datatypes/word.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::interpreter {

// Call modes of argument fetching (apply): 1 every argument and refinement
// positionally from the block, 2 refinements inline; SAFER may be or-ed in.
enum CallMode : int { CALL_NORMAL = 0, CALL_ALL = 1, CALL_INLINE = 2, CALL_SAFER = 4 };

// Argument classes kept in bits 20-21 of an argument-cache typeset.
enum class ArgClass : uint32_t { normal = 0, get = 1, literal = 2, returns = 3 };
// The ordinal (from 1) of a refinement cell in an argument cache.
inline int32_t cache_ordinal(const Cell* ref) { return word_index(ref); }
inline ArgClass arg_class(const Cell* ts) { return static_cast<ArgClass>((ts->header >> HDR_ARG_CLASS_SHIFT) & 3); }

void init();  // the current-code cell; once, after the stacks exist

// The block being evaluated, its head at the expression under way (error!
// make reads it for `near`). Valid until the next allocation.
Cell* current_code();
// The block of the evaluation `out` levels out from the innermost (0), or
// null when fewer are under way.
const Cell* code_out(int out);

// Evaluates the whole block. keep: the last value goes into the caller's
// result slot; else it is left pushed on the caller's data stack. One
// entry per mode: every caller knows its mode.
void eval_block_keep(const Cell* block);
void eval_block_push(const Cell* block);
inline void eval_block(const Cell* block, bool keep) {
  if (keep) eval_block_keep(block);
  else eval_block_push(block);
}
// Evaluates the whole block whose cell lies at code, on the data stack
// below the cells it must keep (a function's arguments): its steps go above
// them, and its last value replaces the block's cell. The stack's top is
// left for the caller to set.
void eval_block_at(Cell* code);
// One expression at pos (absolute index in code's buffer) under a <body>
// frame; answers the position after it.
int32_t eval_expression(Cell* code, int32_t pos, int32_t end, bool push);
// One expression at the block's head (do/next); answers the new head. At the
// tail the result is unset! and the head is answered unchanged.
int32_t eval_next(Cell* block);
// One value and the infix chain after it (unless no_infix). push: the result
// is pushed; else it becomes the current frame's only value, in its result
// slot. quote: a callable met as a value is the result, not called.
int32_t eval_value(Cell* code, int32_t pos, int32_t end, bool no_infix, bool push, bool quote);

// A path in the code (code may be null for a path given as a value). The
// value to store in set mode is `value` (a stack cell).
int32_t eval_path(Cell* path, Cell* code, int32_t pos, int32_t end, bool set, bool get, bool push, bool case_,
                  Cell* value = nullptr);

// Calls a callable value with its arguments from code[pos, end). path and
// path_at: the path whose elements after path_at are refinements (or null).
// name: the word naming the frame (null: <anon>). owner: the object whose
// context a function reached through a path runs with (or null). infix: the
// left operand is the data stack's top cell.
int32_t eval_call(const Cell* fn, Cell* code, int32_t pos, int32_t end, bool push, Cell* path, int32_t path_at,
                  const Cell* name, const Cell* owner, int mode, bool infix);

// The argument cache of a callable value: built on first use, kept in the
// second cell of its more block. Answers that cell (valid until the next
// allocation).
Cell* cache_spec(Cell* fn);

// Runs a function! whose arguments and locals are in place from the current
// arguments base: its body with the context's values pointed at them.
void eval_function(const Cell* fn);
// Calls a routine! with its arguments on the data stack.
void call_routine(const Cell* fn);

// A set of types as one bit per type id (every id is below 64).
constexpr uint64_t type_bit(TypeId t) { return uint64_t{1} << t; }
inline bool in_types(uint64_t set, TypeId t) { return (set >> t) & 1; }
static_assert(T_LAST < 64);

constexpr uint64_t CALLABLE_TYPES = type_bit(T_NATIVE) | type_bit(T_ACTION) | type_bit(T_FUNCTION) | type_bit(T_ROUTINE);
inline bool callable(TypeId t) { return in_types(CALLABLE_TYPES, t); }

}  // namespace xeb::interpreter
