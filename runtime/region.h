// The managed region: one 4 GiB reservation holding every frame and fixed
// buffer, so that managed addresses fit in 32 bits as offsets from its base.
// Offset 0 is the unmapped first page and serves as null.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace xeb {

using Off = uint32_t;  // offset of managed memory from the region base; 0 = null

namespace region {

#ifdef XEB_REGION_AT
// Where the region is reserved. A constant below 2 GiB folds the
// translation of an offset into the addressing of each access (a load or
// store at offset + displacement), where a base kept in a variable costs a
// load and an add, and a register the hot paths are short of. The
// sanitizers own this part of the address space: their builds leave the
// address to the system.
inline constexpr uintptr_t kFixedBase = XEB_REGION_AT;
#endif

extern std::byte* base;

void init();  // reserves the region once; later calls do nothing

// Page-granular blocks inside the region, committed on return. The block's
// first word holds its rounded size, as the memory manager's OS blocks do.
// Answers 0 when the region or the system refuses.
Off os_alloc(size_t bytes);
void os_free(Off block);
// Grows a block in place to hold bytes, with the pages right after it when
// they are free; false (the block unchanged) when they are not.
bool os_extend(Off block, size_t bytes);
size_t block_size(Off block);  // rounded size stored in the block

// The bytes in use beyond which os_alloc and os_extend refuse: the memory
// manager keeps the last of the region for reporting that it is full.
void set_limit(size_t bytes);

bool contains(const void* p);
size_t committed();  // bytes currently committed

// Maps in the pages of [p, p + bytes) (memory outside the region, such as
// data the program embeds) in one call rather than a fault per few pages;
// a system that cannot leaves them to fault in as they are read.
void prefault(const void* p, size_t bytes);

// Bytes to put at a place in the region (committed).
struct Piece {
  Off at;
  const void* bytes;
  size_t size;
};
// Puts each piece's bytes at its place. Pieces that lie back to back in data
// the program embeds, after at least 64 bytes of it, are read from the
// program's file in one call: reading them through their mapping would map
// each of their pages first. Anything else, or a read the system refuses or
// that does not match the program, is copied.
void place(const Piece* pieces, size_t count);

// What a heap image keeps of the region: where its first block lies, where
// fresh space starts, what is committed, and the ranges given back.
struct Layout {
  uint64_t start, brk, mapped_end, committed, huge_end;
  std::vector<std::pair<uint64_t, uint64_t>> free, warm;  // offset, length
};
Layout layout();
// Takes an image's layout over a region whose blocks are a prefix of it:
// commits up to its end and decommits its free ranges. False (nothing
// changed) when the image's region began elsewhere or the system refuses.
bool adopt(const Layout& l);

}  // namespace region

#ifdef XEB_REGION_AT
template <class T = std::byte>
inline T* at(Off o) { return reinterpret_cast<T*>(region::kFixedBase + o); }

inline Off off(const void* p) { return static_cast<Off>(reinterpret_cast<uintptr_t>(p) - region::kFixedBase); }
#else
template <class T = std::byte>
inline T* at(Off o) { return reinterpret_cast<T*>(region::base + o); }

inline Off off(const void* p) {
  return static_cast<Off>(static_cast<const std::byte*>(p) - region::base);
}
#endif

}  // namespace xeb
