// The console's routine list, handed to the evaluator's routine table at
// start-up after the library's.
#pragma once
#include <span>

#include "evaluator/routines.h"

namespace xeb::routines {

std::span<const Def> console_routines();  // console/terminal.cpp

}  // namespace xeb::routines
