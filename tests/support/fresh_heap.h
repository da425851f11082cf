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

// The cell layouts the runtime's own tests build, set here in place of the
// datatype modules that set them in the program: blocks, strings, symbols
// and binaries as series cells (word 2), hash!-like cells with a table in word
// 3, words and objects bound through word 1, contexts with their table and
// (off the stack) their values, handles keeping their entry.
inline void mark_test_handle(Cell* h) {
  int32_t entry = static_cast<int32_t>(payload(h)[2]);
  if (entry >= 0) handles::mark(entry, nullptr);
}

inline void mark_test_store(Cell* ctx) {
  if (!(ctx->header & HDR_CTX_ON_STACK) && payload(ctx)[1]) collector::mark_node(&payload(ctx)[1]);
}

inline void set_test_layouts() {
  using collector::Holds;
  const collector::Layout block{Holds::nothing, Holds::cells, Holds::nothing};
  for (TypeId t : {T_BLOCK, T_PAREN, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}) collector::set_layout(t, block);
  for (TypeId t : {T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF, T_SYMBOL})
    collector::set_layout(t, {Holds::nothing, Holds::series, Holds::series});
  collector::set_layout(T_BINARY, {Holds::nothing, Holds::series, Holds::nothing});
  collector::set_layout(T_HASH, {Holds::nothing, Holds::cells, Holds::table});
  collector::set_layout(T_MAP, {Holds::nothing, Holds::cells, Holds::table});
  for (TypeId t : {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD, T_REFINEMENT})
    collector::set_layout(t, {Holds::cells, Holds::nothing, Holds::nothing});
  collector::set_layout(T_OBJECT, {Holds::cells, Holds::nothing, Holds::series});
  collector::set_layout(T_CONTEXT, {Holds::table, Holds::nothing, Holds::nothing, &mark_test_store});
  collector::set_layout(T_HANDLE, {Holds::nothing, Holds::nothing, Holds::nothing, &mark_test_handle});
}

inline void begin_fresh_heap() {
  set_test_layouts();
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
