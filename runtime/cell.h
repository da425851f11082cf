// The value cell: four 32-bit words, a header and three payload words whose
// meaning each type sets. Cells are copied whole; nothing but offsets (never
// native pointers) is stored in them.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/types.h"

namespace xeb {

struct Cell {
  uint32_t header;
  uint32_t w1;
  uint32_t w2;
  uint32_t w3;
};
static_assert(sizeof(Cell) == 16 && alignof(Cell) == 4);

// Header bits.
constexpr uint32_t HDR_TYPE_MASK = 0xFFu;
constexpr uint32_t HDR_CTX_KIND_SHIFT = 11;  // bits 11-12 on a context cell
constexpr uint32_t HDR_CTX_KIND_MASK = 3u << HDR_CTX_KIND_SHIFT;
constexpr uint32_t HDR_CHANGED = 0x00002000;     // changed mark of an object word
constexpr uint32_t HDR_MONEY_SIGN = 0x00004000;
constexpr uint32_t HDR_ROUTINE_FLAG = 0x00008000;
constexpr uint32_t HDR_OP_TYPE_SHIFT = 16;       // bits 16-23 on an op!
constexpr uint32_t HDR_TUPLE_LEN_SHIFT = 19;     // bits 19-22 on a tuple!
constexpr uint32_t HDR_CTX_ON_STACK = 0x00400000;
constexpr uint32_t HDR_CTX_SELF = 0x01000000;
constexpr uint32_t HDR_NEW_LINE = 0x40000000;

inline TypeId type_of(const Cell* c) { return static_cast<TypeId>(c->header & HDR_TYPE_MASK); }
inline bool is_type(const Cell* c, TypeId t) { return (c->header & HDR_TYPE_MASK) == t; }

// Replaces the type byte and keeps every flag.
inline Cell* set_type(Cell* c, TypeId t) {
  c->header = (c->header & ~HDR_TYPE_MASK) | t;
  return c;
}
inline Cell* clear_new_line(Cell* c) {
  c->header &= ~HDR_NEW_LINE;
  return c;
}
inline Cell* copy_cell(const Cell* src, Cell* dst) {
  if (src != dst) std::memcpy(dst, src, sizeof(Cell));
  return dst;
}

// First step of the construction rule: a cell under construction reads as
// unset!, which the collector skips.
inline Cell* begin_cell(Cell* c) {
  c->header = T_UNSET;
  return c;
}
inline void set_unset(Cell* c) { *c = Cell{T_UNSET, 0, 0, 0}; }

// 64-bit payloads across words 2 and 3, low word first.
inline double get_double(const Cell* c) {
  double d;
  std::memcpy(&d, &c->w2, 8);
  return d;
}
inline void put_double(Cell* c, double d) { std::memcpy(&c->w2, &d, 8); }

inline int32_t get_int(const Cell* c) { return static_cast<int32_t>(c->w2); }

}  // namespace xeb
