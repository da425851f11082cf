// Memory statistics over the memory manager's frames, with figures computed
// from the 32-bit layout's constants so they do not depend on this build.
#pragma once
#include "runtime/cell.h"

namespace xeb::memory {

// Mode 1: bytes in use. Mode 2: appends the detail to the block (the cell of
// a block! value) and answers 0.
double stats(Cell* block, int mode);

}  // namespace xeb::memory
