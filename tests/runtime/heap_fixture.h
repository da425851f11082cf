// The heap tests' fixture: a fresh heap with its root block.
#pragma once
#include "tests/support/fresh_heap.h"

namespace xeb::test {

class Heap : public FreshHeap {
 protected:
  static Cell* root_push(const Cell& c) { return root(push_root(c)); }
  static Cell* root_cell(uint32_t i) { return root(i); }
  static uint32_t root_len() { return buf_of(g_root)->cell_count(); }
};

inline Cell block_cell(Node n) { return Cell{T_BLOCK, 0, n, 0}; }
inline Cell binary_cell(Node n) { return Cell{T_BINARY, 0, n, 0}; }

}  // namespace xeb::test
