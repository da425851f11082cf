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

void init();  // once per process; later calls do nothing
bool initialised();

Node root();
Cell* root_append(const Cell& c);  // valid until the next allocation
extern int load_copy;             // 1 during init and the predefined words

}  // namespace xeb::datatypes
