// Pure bodies: a function whose body only reads its arguments (typed or
// not; its refinements, off in a call by name; no locals), computes on
// numbers with the inline operators, tests with either, if and unless,
// calls other such functions and returns its value is run from a decoded
// form of its body, with no frames and no data-stack cells of its own.
//
// Such a run changes nothing outside itself: no allocation, no write to any
// value or block, no event, no error. So the program's words and blocks stay
// as they were when it began, and the checks that keep the decoded form
// right (its blocks' cells unchanged, each word it leans on still holding
// the value it held when decoded) are made once per run, not per use.
// Anything the decoded form cannot do as the interpreter would (a value of
// another type, a word rebound, a block edited, the stacks' room running
// low) gives the run up: the caller then runs the body as usual, from the
// same state, and nothing tells the two apart.
#pragma once
#include "runtime/cell.h"

namespace xeb::interpreter::pure {

// Runs the body of fn (a function! called by the short path, its arguments
// at args, not traced) from its decoded form, the value in *out. Answers
// false, having changed nothing, when fn has no usable decoded form or the
// run gave up.
bool run(const Cell* fn, const Cell* args, Cell* out);

// Runs from a decoded form that held to the end (hits), and runs given up
// or refused for want of a usable form (misses).
extern uint64_t hits, misses;

}  // namespace xeb::interpreter::pure
