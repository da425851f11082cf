// Helpers shared by the natives_* families: argument refusal naming the
// native, number arguments as doubles, and the loop frame's catching point.
#pragma once
#include <cstdint>

#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "runtime/cell.h"
#include "runtime/frames.h"

namespace xeb::natives {

// Raises expect-arg with (the native's word, the value's datatype, the word
// of parameter `param`, counted from 0).
[[noreturn]] void refuse_arg(int32_t param, const Cell* value);

// integer!, float! (and percent!, time!, whose double lies at the same
// place) as a double; others refused as parameter `param`.
double number_arg(int32_t param, const Cell* value);

}  // namespace xeb::natives
