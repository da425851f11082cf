// Parse input primitives: what one literal rule value matches at a position
// of a block, text or byte input, repeated over a run, or searched for.
// The parse engine calls these for every literal rule; the repeated and
// searching forms are the tight loops that run `any #"a"`, `to "x"` and
// their kin without pushing a frame per element.
//
// Positions are absolute indexes (elements from the buffer's first used
// element); `end` is the last position a match may reach (the tail, or the
// part limit). The input and value cells must be rooted: block comparisons
// go through the comparison action.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::parse {

enum class Input : uint8_t { block, text, bytes, other };

Input input_kind(TypeId t);
int32_t tail_index(const Cell* in);  // elements in the whole buffer

// Elements a match of value at pos consumes, or -1 when it does not match.
// op: 0 ignores case, 2 is strict.
int32_t match_at(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op);

// Matches value again and again from pos, at most max times (-1: no bound);
// answers the count and sets *next past the last match. A value that
// matches without consuming counts once.
int32_t repeat_at(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op, int32_t max, int32_t* next);

// The first position in [pos, end] where value matches (*after: past the
// match), or -1. -2: the value cannot be searched for in this input.
int32_t search(const Cell* in, int32_t pos, int32_t end, const Cell* value, int op, int32_t* after);

// The element at pos as a value: a char! of text, an integer! byte, the
// cell of a block.
Cell element_at(const Cell* in, int32_t pos);

}  // namespace xeb::parse
