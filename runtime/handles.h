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
  uint32_t generation = 0;  // counts the times the entry was freed
};

// A reference to an entry as values carry it: the index in bits 0-19, the
// entry's generation in bits 20-31, so that a value outliving its object
// no longer resolves once the entry is reused.
constexpr int REF_INDEX_BITS = 20;

void init();                                   // room for 1,000, filled at the first store; idempotent reset
int register_kind(const char* name, Release release);  // 1-based; 0 when full
int32_t store(void* object, uint32_t kind);
void release(uint32_t kind, void* object);
void remove(int32_t index, bool release_object);  // an index not in use is ignored
bool mark(int32_t index, void* object);        // true when newly marked
// Marks the entry a value's reference names, only while the reference is
// current: a stale one (entry freed, or freed and reused) marks nothing, so
// it cannot keep the entry's next object alive.
bool mark_ref(uint32_t ref);
void sweep();
const Entry* entry(int32_t index);             // nullptr when out of range or not yet filled
uint32_t reference(int32_t index);
const Entry* resolve(uint32_t ref);            // nullptr when stale, freed or out of range
int32_t capacity();

}  // namespace xeb::handles

namespace xeb::externals {

constexpr int STORE_CELLS = 100;
void init();
void adopt();  // init but for the heap: the store a heap image brings
Node store_node();  // the block of the store, a collector root
int32_t free_head();

}  // namespace xeb::externals
