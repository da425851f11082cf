// A fresh heap per test with one fixed root block; tables live in root cells
// so the collector reaches them through its table hook.
#pragma once
#include <gtest/gtest.h>

#include <string_view>

#include "runtime/hashtable.h"
#include "runtime/shapes.h"
#include "tests/support/fresh_heap.h"

namespace xeb::test {

// Hashers of the key types these tests use, set here as their datatype
// modules set them in the program.
inline uint32_t test_text_hash(const Cell* s, bool case_sensitive) {
  SeriesBuf* b = buf_of(series_node(s));
  int unit = b->unit() ? b->unit() : 1;
  int32_t len = static_cast<int32_t>(b->used() / unit) - series_head(s);
  return hashtable::hash_text(b->head_ptr() + series_head(s) * unit, unit, len < 0 ? 0 : len, case_sensitive);
}
inline uint32_t test_word_hash(const Cell* w, bool) {
  return hashtable::hash_pointer(static_cast<uint32_t>(hashtable::resolve_symbol(word_symbol(w))));
}

inline void set_test_hashers() {
  hashtable::set_hashing(T_INTEGER, &hashtable::by_value<2>, false);
  for (TypeId t : {T_STRING, T_FILE}) hashtable::set_hashing(t, &test_text_hash, false);
  for (TypeId t : {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD}) hashtable::set_hashing(t, &test_word_hash, false);
  hashtable::set_hashing(T_BLOCK, &hashtable::by_words<1, 2>, true);
  hashtable::set_hashing(T_NONE, [](const Cell*, bool) { return 0xFFFFFFFFu; }, false);
}

class HashHeap : public FreshHeap {
 protected:
  void SetUp() override {
    begin_fresh_heap();
    set_test_hashers();
    collector::mark_hashtable_hook = hashtable::mark;
    start_collector();
  }
};

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
