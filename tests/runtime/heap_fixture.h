// A fresh heap per test, with one fixed root block the collector marks.
#pragma once
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "runtime/handles.h"
#include "runtime/memory.h"

namespace xeb::test {

inline Node g_root = 0;

inline void mark_test_root() {
  if (g_root) collector::mark_node(&g_root);
}

class Heap : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::reset_for_tests();
    collector::init();
    handles::init();
    memory::new_node_frame(memory::NODES_PER_FRAME);
    memory::new_series_frame();
    g_root = memory::alloc_heap_series(64, 16, 0);
    static bool registered = false;
    if (!registered) {
      collector::add_root_marker(mark_test_root);
      registered = true;
    }
    collector::enabled = 1;
#ifdef XEB_GC_STRESS
    collector::stress_every = 1;
#endif
  }
  void TearDown() override {
    collector::enabled = 0;
#ifdef XEB_GC_STRESS
    collector::stress_every = 0;
#endif
    g_root = 0;
  }

  // Appends a cell to the root block.
  static Cell* root_push(const Cell& c) {
    Cell* slot = memory::alloc_tail_cell(buf_of(g_root));
    *slot = c;
    return slot;
  }
  static Cell* root_cell(uint32_t i) { return buf_of(g_root)->cells() + i; }
  static uint32_t root_len() { return buf_of(g_root)->cell_count(); }
};

inline Cell block_cell(Node n) { return Cell{T_BLOCK, 0, n, 0}; }
inline Cell binary_cell(Node n) { return Cell{T_BINARY, 0, n, 0}; }

}  // namespace xeb::test
