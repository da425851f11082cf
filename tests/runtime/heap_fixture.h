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

// For a test of where nodes sit in their frames: the stress build's moving
// mode (XEB_GC_STRESS_MOVES=1), which moves every node at each collection,
// is off while it lives.
struct NodesStayInFrames {
#ifdef XEB_GC_STRESS
  bool saved = collector::stress_moves;
  NodesStayInFrames() { collector::stress_moves = false; }
  ~NodesStayInFrames() { collector::stress_moves = saved; }
#endif
};

inline Cell block_cell(Node n) { return Cell{T_BLOCK, 0, n, 0}; }
inline Cell binary_cell(Node n) { return Cell{T_BINARY, 0, n, 0}; }

}  // namespace xeb::test
