// The GUI back-end's routine list, handed to the evaluator's routine table
// at start-up after the console's.
#pragma once
#include <span>

#include "evaluator/routines.h"

namespace xeb::routines {

std::span<const Def> gui_routines();  // gui/routines.cpp

}  // namespace xeb::routines
