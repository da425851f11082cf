// The library's routine lists, handed to the evaluator's routine table at
// start-up (system routines first, then the type predicates).
#pragma once
#include <span>

#include "evaluator/routines.h"

namespace xeb::routines {

std::span<const Def> system_routines();     // library/sys_routines.cpp
std::span<const Def> runtime_routines();    // library/runtime_routines.cpp
std::span<const Def> predicate_routines();  // library/predicates.cpp
std::span<const Def> media_routines();      // library/media_routines.cpp
std::span<const Def> codec_routines();      // library/codec_routines.cpp

}  // namespace xeb::routines
