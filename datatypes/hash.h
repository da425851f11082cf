// hash!: a block whose every cell is also entered in a hash index (a
// block-kind hash table over the whole buffer), so that find and select go
// through the index. Every edit keeps the index in step with the cells.
#pragma once
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::hash {

inline Node table_node(const Cell* h) { return h->w3; }
inline void set_table(Cell* h, Node t) { h->w3 = t; }

// Turns the block-like cell c into a hash! over its own buffer (a new index
// of every cell); answers c.
Cell* index_at(Cell* c);

void init();

}  // namespace xeb::hash
