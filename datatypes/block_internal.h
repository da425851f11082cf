// Helpers shared by the block modules only.
#pragma once
#include <cstdint>

#include "datatypes/block.h"
#include "runtime/collector.h"

namespace xeb::block {

// Room for n more cells at the tail (doubling the need); the buffer answered
// is the block's current one. Sizes beyond the 32-bit layout raise no-memory.
SeriesBuf* reserve(Cell* b, int64_t n);
// The index table of a hash!, 0 for every other block-like type.
Node index_of(const Cell* b);
// The head, first moved back to the tail when it lay past it.
int32_t clamped_head(Cell* b);
int32_t length_from_head(Cell* b);
bool is_number(int type);

using collector::NoCollection;

}  // namespace xeb::block
