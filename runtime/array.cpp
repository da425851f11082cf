#include "runtime/array.h"

#include <cstring>

namespace xeb::array {

namespace {
int shift_of(SeriesBuf* b) {
  switch (b->unit()) { case 16: return 4; case 4: return 2; case 2: return 1; default: return 0; }
}
}  // namespace

Node make(int64_t count, int elem_size) {
  Node n = memory::alloc_series(count * elem_size, 1, 0);
  SeriesBuf* b = buf_of(n);
  b->flags = (b->flags & ~SER_UNIT_MASK) | static_cast<uint32_t>(elem_size);
  return n;
}

int64_t length(Node a) {
  SeriesBuf* b = buf_of(a);
  return (b->tail - b->head) >> shift_of(b);
}

void clear(Node a) { buf_of(a)->tail = buf_of(a)->head; }

void set_length(Node a, int64_t position) {
  SeriesBuf* b = buf_of(a);
  b->tail = b->head + static_cast<Off>((position - 1) << shift_of(b));
}

Node copy(Node a) { return memory::copy_series(buf_of(a)); }
std::byte* data(Node a) { return buf_of(a)->head_ptr(); }

void append_byte(Node a, uint8_t v) { *memory::alloc_tail(buf_of(a), 1) = std::byte{v}; }

std::byte* append_bytes(Node a, const void* src, int64_t n) {
  std::byte* p = memory::alloc_tail(buf_of(a), n);
  std::memcpy(p, src, static_cast<size_t>(n));
  return p;
}

void append_int(Node a, uint32_t v) { std::memcpy(memory::alloc_tail(buf_of(a), 4), &v, 4); }

int64_t find_int(Node a, uint32_t v) {
  SeriesBuf* b = buf_of(a);
  for (Off p = b->head; p + 4 <= b->tail; p += 4) {
    uint32_t x;
    std::memcpy(&x, at(p), 4);
    if (x == v) return p - b->head;
  }
  return -1;
}

uint32_t pick_int(Node a, int64_t position) {
  uint32_t x;
  std::memcpy(&x, buf_of(a)->head_ptr() + (position - 1) * 4, 4);
  return x;
}

void poke_ptr(Node a, int64_t position, uint32_t v) {
  std::memcpy(buf_of(a)->head_ptr() + (position - 1) * 4, &v, 4);
}

void remove_at(Node a, int64_t byte_offset, int64_t n) {
  SeriesBuf* b = buf_of(a);
  std::byte* p = b->head_ptr() + byte_offset;
  std::memmove(p, p + n, static_cast<size_t>(b->tail_ptr() - (p + n)));
  b->tail -= static_cast<Off>(n);
}

void remove_ptr(Node a, uint32_t v) {
  int64_t o = find_int(a, v);
  if (o >= 0) remove_at(a, o, 4);
}

}  // namespace xeb::array
