// The value model's start-up: builds every module of the runtime and the
// datatypes in their fixed order. Also owns the root block (everything that
// must never be collected hangs off it) and the load-copy flag.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace xeb::datatypes {

constexpr int ROOT_CELLS = 8755;

void init();  // init_outside_heap, then build_heap
// The two halves of init, each once per process. init_outside_heap fills
// every table and hook outside the managed heap (types, actions, roots,
// error seams); build_heap makes the heap's first contents (frames, root
// block, stacks, symbol table, global context, internal words, error
// catalogue), which a heap image brings instead: a start from one runs
// init_outside_heap, takes the image back, then adopt_heap.
void init_outside_heap();
void build_heap();
void adopt_heap();  // what C++ derives from a heap image's contents (the stacks' bounds)
bool initialised();

Node root();
Cell* root_append(const Cell& c);  // valid until the next allocation
extern int load_copy;             // 1 during init and the predefined words

}  // namespace xeb::datatypes
