// bitset!: a set of non-negative integers (code points, in most uses) kept as
// an array of bits in a byte series, with a complement flag on the buffer
// that makes the set infinite upward.
//
// Bit n is byte n >> 3 of the array, mask 0x80 >> (n & 7). Membership of n:
// the stored bit when n lies within the array; the complement flag when it
// lies beyond. Stored bits always mean membership, complemented or not: every
// operation (and every caller) reads a set by this one rule.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::bitset {

constexpr uint32_t SER_COMPLEMENT = 0x80000;  // buffer flag: every number beyond the array is a member

// --- Cell access -------------------------------------------------------------

inline Node node_of(const Cell* b) { return b->w2; }
inline SeriesBuf* buf(const Cell* b) { return buf_of(b->w2); }
inline bool complemented(const Cell* b) { return (buf(b)->flags & SER_COMPLEMENT) != 0; }
inline uint32_t byte_count(const Cell* b) { return buf(b)->used(); }
// The first byte of the array; valid until the next allocation.
inline uint8_t* bytes(const Cell* b) { return reinterpret_cast<uint8_t*>(buf(b)->head_ptr()); }

// Whether n is a member. Negative numbers never are.
inline bool has(const Cell* b, int64_t n) {
  if (n < 0) return false;
  SeriesBuf* s = buf(b);
  if (static_cast<uint64_t>(n >> 3) >= s->used()) return (s->flags & SER_COMPLEMENT) != 0;
  return (reinterpret_cast<const uint8_t*>(s->head_ptr())[n >> 3] & (0x80 >> (n & 7))) != 0;
}

// --- Making ------------------------------------------------------------------

// Writes into c a new bitset of n bytes, each 0 (or 0xFF and the flag set
// when complemented); answers c.
Cell* make_at(Cell* c, int64_t n, bool complemented);
// A new bitset made from a spec as `make bitset!` does, pushed on the data
// stack.
Cell* push_spec(const Cell* spec);

// The set operation op (OP_AND..OP_DIFFERENCE) on the call's two arguments;
// the result replaces the first.
void do_bitwise(int op);

void init();

}  // namespace xeb::bitset
