// Whole-program start-up: the one module that knows every layer. It builds
// them once, lowest first, and registers what each upper layer hands down
// (routine lists, the embedded sources).
#pragma once

namespace xeb::start {

// Runtime init (the value model), the lexer's loaders, then the evaluator:
// everything below the library. Once per process; later calls do nothing.
void init();

// init, the routine table from the library's and the console's lists, then
// the library's top level. Once per process.
void boot();

}  // namespace xeb::start
