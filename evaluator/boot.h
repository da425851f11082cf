// Start-up of the evaluator: the action and native tables and the
// interpreter's state, then (until the boot library defines them) the
// native!, action! and op! values bound to their words in the global
// context, made from specs kept here.
#pragma once
#include <string_view>

#include "runtime/cell.h"

namespace xeb::evaluator {

// Once, after datatypes::init(). Also wires the value model's seams that call
// back into the interpreter (object spec evaluation, hook functions).
void init();

// A type name of a built-in's spec as its calls check it: the datatype, or
// the typeset of a type group (the same sets as the library's words).
Cell spec_type(std::string_view name);

}  // namespace xeb::evaluator
