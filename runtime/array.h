// Raw arrays: growable vectors of fixed-size elements (bytes, 32-bit words,
// 16-byte records) in ordinary series buffers, so they move and die with the
// collector like any series without being language values. Positions are
// 1-based; find answers byte offsets from the head.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

namespace xeb::array {

Node make(int64_t count, int elem_size);
int64_t length(Node a);
void clear(Node a);
void set_length(Node a, int64_t position);
Node copy(Node a);
std::byte* data(Node a);  // valid until the next allocation
void append_byte(Node a, uint8_t b);
std::byte* append_bytes(Node a, const void* src, int64_t n);
void append_int(Node a, uint32_t v);
inline void append_ptr(Node a, uint32_t v) { append_int(a, v); }
int64_t find_int(Node a, uint32_t v);
inline int64_t find_ptr(Node a, uint32_t v) { return find_int(a, v); }
uint32_t pick_int(Node a, int64_t position);
inline uint32_t pick_ptr(Node a, int64_t position) { return pick_int(a, position); }
void poke_ptr(Node a, int64_t position, uint32_t v);
void remove_ptr(Node a, uint32_t v);
void remove_at(Node a, int64_t byte_offset, int64_t n);

}  // namespace xeb::array
