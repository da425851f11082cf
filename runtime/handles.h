// External handles: platform objects (bitmaps, open files, curl handles...)
// tied to small indexes that values carry, released through their kind's
// routine once no live value marks them. Next to it, the external-value
// store: a root block of cells addressed by index.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::handles {

using Release = void (*)(void* object);

constexpr int MAX_KINDS = 20;
constexpr uint32_t KIND_MASK = 0xFF;
constexpr uint32_t FREE_BIT = 0x40000000;
constexpr uint32_t MARK_BIT = 0x80000000;

struct Entry {
  uint32_t kind;   // kind index in bits 0-7, free and mark bits
  void* object;
  int32_t next;    // next entry of the same list, -1 ends it
};

void init();                                   // 1,000 free entries; idempotent reset
int register_kind(const char* name, Release release);  // 1-based; 0 when full
int32_t store(void* object, uint32_t kind);
void release(uint32_t kind, void* object);
void remove(int32_t index, bool release_object);  // an index not in use is ignored
bool mark(int32_t index, void* object);        // true when newly marked
void sweep();
const Entry* entry(int32_t index);             // nullptr when out of range
int32_t capacity();

}  // namespace xeb::handles

namespace xeb::externals {

constexpr int STORE_CELLS = 100;
void init();
Node store_node();  // the block of the store, a collector root
int32_t free_head();

}  // namespace xeb::externals
