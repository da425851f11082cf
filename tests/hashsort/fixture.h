// A fresh heap per test with one fixed root block; tables live in root cells
// so the collector reaches them through its table hook.
#pragma once
#include <gtest/gtest.h>

#include <string_view>

#include "runtime/collector.h"
#include "runtime/handles.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"

namespace xeb::test {

inline Node g_root = 0;
inline void mark_root() {
  if (g_root) collector::mark_node(&g_root);
}

class HashHeap : public ::testing::Test {
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
      collector::add_root_marker(mark_root);
      registered = true;
    }
    collector::mark_hashtable_hook = hashtable::mark;
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
};

inline Cell* root(uint32_t i) { return buf_of(g_root)->cells() + i; }
inline uint32_t push_root(const Cell& c) {
    uint32_t i = buf_of(g_root)->cell_count();
    *memory::alloc_tail_cell(buf_of(g_root)) = c;
    return i;
  }
  // A block in the root; answers its root slot.
inline uint32_t new_block(int32_t cap) {
    uint32_t i = push_root(Cell{T_UNSET, 0, 0, 0});
    Node b = memory::alloc_series(cap, 16, 0);
    *root(i) = Cell{T_BLOCK, 0, b, 0};
    return i;
  }
inline Node blk(uint32_t slot) { return root(slot)->w2; }
inline Cell* cells(uint32_t slot) { return buf_of(blk(slot))->cells(); }
inline int32_t len(uint32_t slot) { return static_cast<int32_t>(buf_of(blk(slot))->cell_count()); }
inline void append(uint32_t slot, const Cell& c) { *memory::alloc_tail_cell(buf_of(blk(slot))) = c; }
  // A string cell appended to a block: the cell first (unset), then the text.
inline void append_string(uint32_t slot, std::string_view s, TypeId type = T_STRING) {
    int32_t at = len(slot);
    append(slot, Cell{T_UNSET, 0, 0, 0});
    Node n = memory::alloc_string(static_cast<int64_t>(s.size()), 1);
    SeriesBuf* b = buf_of(n);
    std::memcpy(b->head_ptr(), s.data(), s.size());
    b->tail = b->head + static_cast<Off>(s.size());
    cells(slot)[at] = Cell{type, 0, n, 0};
  }
  // A table kept in the root as a hash!-like cell; answers its root slot.
inline uint32_t keep_table(Node t, Node key_block = 0) { return push_root(Cell{T_HASH, 0, key_block, t}); }
inline Node tab(uint32_t slot) { return root(slot)->w3; }

inline Cell int_cell(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
inline Cell word_cell(TypeId t, int32_t sym) { return Cell{t, 0, static_cast<uint32_t>(sym), 0xFFFFFFFFu}; }

}  // namespace xeb::test
