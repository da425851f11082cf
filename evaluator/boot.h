// Start-up of the evaluator: the action and native tables and the
// interpreter's state, then (until the boot library defines them) the
// native!, action! and op! values bound to their words in the global
// context, made from specs kept here.
#pragma once

namespace xeb::evaluator {

// Once, after datatypes::init(). Also wires the value model's seams that call
// back into the interpreter (object spec evaluation, hook functions).
void init();
// The two halves of init, as datatypes' (datatypes/init.h): the tables and
// seams, then the built-ins' values in the global context, which a heap
// image brings instead.
void init_outside_heap();
void build_heap();

}  // namespace xeb::evaluator
