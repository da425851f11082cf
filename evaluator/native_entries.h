// The entries of the native families, for the native table.
#pragma once
#include <cstdint>

#include "evaluator/natives.h"
#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xeb::natives {

// One declaration per row of the native list (not_yet, the entry of the
// natives whose families come later and which raise not-done, repeats).
#define XEB_X(id, entry, name) void entry(bool check, const int32_t* refs);
XEB_NATIVES(XEB_X)
#undef XEB_X

// Argument helpers of the entries (inline: every native reads through them).
inline Cell* arg(int i) { return stack::base() + i; }
inline Cell* opt(int32_t ref) { return ref >= 0 ? stack::base() + ref : nullptr; }  // or null
inline bool present(int32_t ref) { return ref != -1; }

}  // namespace xeb::natives
