// A fresh heap for the runtime's own unit tests: frames made anew, a fixed
// root block of 64 cells that the collector marks, and the collector turned
// on last (in the GC-stress build collecting at every allocation).
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

inline void begin_fresh_heap() {
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
}

inline void start_collector() {
  collector::enabled = 1;
#ifdef XEB_GC_STRESS
  collector::stress_every = 1;
#endif
}

inline void stop_collector() {
  collector::enabled = 0;
#ifdef XEB_GC_STRESS
  collector::stress_every = 0;
#endif
}

// Cells of the root block, appended and read by index.
inline Cell* root(uint32_t i) { return buf_of(g_root)->cells() + i; }
inline uint32_t push_root(const Cell& c) {
  uint32_t i = buf_of(g_root)->cell_count();
  *memory::alloc_tail_cell(buf_of(g_root)) = c;
  return i;
}

class FreshHeap : public ::testing::Test {
 protected:
  void SetUp() override {
    begin_fresh_heap();
    start_collector();
  }
  void TearDown() override {
    stop_collector();
    g_root = 0;
  }
};

}  // namespace xeb::test
