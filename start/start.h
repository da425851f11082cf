// Whole-program start-up: the one module that knows every layer. It builds
// them once, lowest first, and registers what each upper layer hands down
// (routine lists, the embedded sources).
#pragma once
#include <cstdint>
#include <vector>

namespace xeb::start {

// Runtime init (the value model), the lexer's loaders, then the evaluator:
// everything below the library. Once per process; later calls do nothing.
void init();
// Its two halves: every layer's tables and seams outside the heap, then the
// heap's first contents, which a heap image brings instead.
void init_tables();
void init_heap();

// init_tables and the routine table from the library's and the console's
// lists, then the heap and the library's top level: taken from the heap
// image the program embeds when that image is valid here (and
// XEB_NO_SNAPSHOT is unset), else made by init_heap, decoding and running
// the sources. Once per process.
void boot();

// Whether boot took the library's state from the heap image.
bool booted_from_image();

// For the build: init and the routine table, the sources run but the last,
// and the image of the heap they leave (empty when they fail).
std::vector<uint8_t> make_heap_image();

}  // namespace xeb::start
