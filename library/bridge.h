// The one bridge from C++ into the library: opens a function frame named by
// a word, pushes the arguments, runs the function and unwinds, the way a call
// from compiled code does.
#pragma once
#include <span>

#include "runtime/cell.h"

namespace xeb::library {

// Calls the function! `fn` with `args` for its first slots (the remaining
// slots are filled as an absent refinement and its arguments would be:
// refinements false, the rest none). `name` names the frame. Answers the
// result, left on the data-stack top for the caller to pop; answers null
// when a non-local exit is pending (throwing()). kind: the tracing kind of a
// runtime callback (a sort comparator, a port actor), 0 for any other call,
// which runs untraced.
Cell* call(const Cell* name, const Cell* fn, std::span<const Cell> args = {}, uint32_t kind = 0);

// A sort's /compare function called with a and b in a <compare-callback>
// frame, behind a barrier; answers its result pushed on the data stack.
Cell* compare(Cell* fn, Cell* a, Cell* b);

}  // namespace xeb::library
