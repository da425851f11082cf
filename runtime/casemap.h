// Case mapping of single code points (Unicode 11.0, one code point to one:
// a string's length never changes), and in-place case conversion of char!
// and string values.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::unicode {

// The lookup tables of the Basic Multilingual Plane are constant data, made
// by the compiler: runtime init's step that once built them does nothing.
void init_case_tables();

// The upper (upper true) or lower case of cp; cp itself when it has none.
uint32_t to_case(uint32_t cp, bool upper);

// Maps a char!, or a string from its head, in place; answers v. part (null
// for none) limits a string: an integer! count of characters, or a position
// in the same buffer whose head ends the range; any other part raises
// invalid-refine-arg. Writing may widen the buffer, so v must stay where it
// is and be reachable by the collector.
Cell* to_case_string(Cell* v, const Cell* part, bool upper);

// Told of every string to_case_string changed (value, upper, head index,
// count), so an owning object hears of the change. Set by the ownership
// module; null until then.
extern void (*case_change_hook)(const Cell* v, bool upper, int32_t index, int32_t count);

}  // namespace xeb::unicode
