// The routine table: the C++ functions behind the library's routine! values,
// each module's list registered from above.
// A routine! carries its index here as its code (cell 2 of its more block).
// The library source declares a routine as `name: routine [spec]`; start-up
// finds the C++ function by that name, so the source and the table only
// have to agree on names.
//
// Calling convention: the arguments sit on the data stack from the arguments
// base, one cell per slot of the spec (refinements as logic!, then their
// arguments); the routine leaves its result in the base cell, or leaves it
// unset! when it has none. It may allocate (the collector's one rule holds).
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace xeb::routines {

using Fn = void (*)();

struct Def {
  std::string_view name;  // the word the library source defines
  Fn fn;
};

// Appends one module's list; the layers above hand theirs in at start-up,
// before the library runs, and indexes follow the order of the calls.
void add(std::span<const Def> defs);

int32_t find(std::string_view name);  // -1 when no routine has that name
Fn entry(int32_t index);              // null outside the table
std::string_view name(int32_t index);
int32_t count();

}  // namespace xeb::routines
