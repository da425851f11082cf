// Services for code that calls the runtime directly instead of going through
// the interpreter (the library's routines and the runtime's own modules):
// literals of the boot image, argument checks, words and locals, refinement
// passing, paths given as values, switch-style selection, and a few
// conversions and buffer helpers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::runtime {

// Index in the root block of literal 0; set by the boot image's loader.
extern int32_t root_literal_base;
Cell* get_root(int32_t i);  // valid until the next allocation
Node get_root_node(int32_t i);

// Argument checks: a failure raises expect-arg naming the function being
// called, the refused datatype and parameter #param (from 0).
Cell* type_check(const Cell* typeset, int32_t param, Cell* arg);
// slot < 0: the refinement is absent, answered unchanged and nothing read.
int32_t type_check_at(int32_t slot, const Cell* typeset, int32_t param);
Cell* type_check_opt(const Cell* flag, const Cell* typeset, int32_t param, Cell* arg);
Cell* check_not_unset(int32_t param, Cell* arg);

// Words and locals; the last value is the data stack's top cell.
Cell* set_word_last(Cell* word);
void set_word_last_drop(Cell* word);
void set_local(Node ctx, int32_t index);
void set_local_drop(Node ctx, int32_t index);
void set_field_drop(Node ctx, int32_t index);
Cell* get_word_value(Cell* word);
Cell* get_local_ref(Node ctx, int32_t index);

// Refinements. fill_refinement: a truthy value sets the flag cell at
// base + slot, else the count argument cells after it become none!.
void fill_refinement(const Cell* value, int32_t slot, int32_t count);
struct RefinementGroup {
  const Cell* value;  // truthy: the refinement is present
  int32_t position;   // its position among the callee's refinements, from 1
  int32_t slot;       // stack position of its first argument
  int32_t count;      // its argument count
};
// Calls native #entry (native: with the check flag set) or action #entry
// with one refinement integer per position.
void fill_refinements(int32_t entry, bool native, int32_t positions, std::span<const RefinementGroup> groups);

// Walks a path given as a value (no function is called); set: the last
// step stores the value in the result slot. The final value goes into the
// result slot.
void eval_path(bool set, const Cell* path);

// Selection over the block after the value at the base (switch? answers
// the first block after the match, else the cell after it, or the match
// itself at the end). push: the answer is pushed, else stored in the
// result slot; no match answers none!.
void select_case(bool push, bool switch_);

// One value loaded from text into result (unset! when the text holds none).
Cell* load_value(const Cell* str, Cell* result);
Cell* load_value_at(const Cell* str);

// A float! truncated toward zero (out-of-range raises); other cells give
// their integer payload.
int32_t float_to_int(const Cell* c);
int append_indent(Cell* str, int32_t n, int budget);
// Fills the buffer with count copies of its first unit_len bytes, doubling
// the filled part; answers the end of the filled area.
std::byte* fill_repeat(std::byte* buffer, int32_t unit_len, int32_t count);

}  // namespace xeb::runtime
