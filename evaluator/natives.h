// The native table: the 107 built-in functions that are not actions, each an
// entry of one signature reached by its index (1-based) from native! values.
// Arguments sit on the data stack from the arguments base; the result is the
// base cell.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::natives {

// check: type-check the arguments first (callers that did not fetch them by
// the spec). refs: one integer per refinement in spec order, -1 absent, else
// the stack position of its first argument counted from the base.
using Entry = void (*)(bool check, const int32_t* refs);

constexpr int TABLE_CAPACITY = 120;
constexpr int COUNT = 107;

void init();  // the table and the print work block; once
Entry entry(int index);  // 1..COUNT
// Stores entries at the registration counter and advances it.
void register_entries(const Entry* list, int count);

// The native! value of each index, kept once the built-in words exist, so
// that a call with the check flag can test its arguments by the spec.
void set_value(int index, const Cell* value);
// Calls native #index; with check, first type-checks the fixed arguments
// and the present refinements' arguments (expect-arg).
void call(int index, bool check, const int32_t* refs);

// The last print or prin ended its text with a line end.
bool last_lf();

// Family entries shared with the library's routines.
void print_value(bool new_line);  // print/prin of the base cell

}  // namespace xeb::natives
