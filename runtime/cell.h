// The value cell: four 32-bit words, a header and three payload words whose
// meaning each type sets. Cells are copied whole; nothing but offsets (never
// native pointers) is stored in them.
//
// Typed access, the rule for code above the runtime: only a datatype's own
// module reads or writes w1, w2 and w3 of its cells. Its header gives named
// inline accessors for its payload (series::head, series::node, native::index,
// context::node_of ...), and every other module goes through them. A raw
// pointer into a series buffer is kept only where no collection can happen:
// between calls that cannot allocate, or under collector::NoCollection. A walk
// across calls that can allocate holds a series::Cursor (the rooted series
// and an index) and re-reads the buffer at each step.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "runtime/types.h"

namespace xeb {

struct Cell {
  Cell() = default;
  constexpr Cell(uint32_t header, uint32_t w1 = 0, uint32_t w2 = 0, uint32_t w3 = 0)
      : header(header), w{w1, w2, w3} {}

  uint32_t header;
  // The payload words by name, as each type's accessors read them, or as an
  // array, for the services that walk them by index (payload() below): the
  // same three words either way.
  union {
    struct {
      uint32_t w1;
      uint32_t w2;
      uint32_t w3;
    };
    uint32_t w[3];
  };
};
static_assert(sizeof(Cell) == 16 && alignof(Cell) == 4 && std::is_trivially_copyable_v<Cell>);

// Header bits: every bit of a cell's header is defined here, and nowhere
// else. Bits above the type's byte mean what the cell's type says.
constexpr uint32_t HDR_TYPE_MASK = 0xFFu;
constexpr uint32_t HDR_NO_TRACE = 0x00000200;    // function!: trace leaves its body out
constexpr uint32_t HDR_TRACE = 0x00000400;       // function!: trace shows its body
constexpr uint32_t HDR_LIBRARY = 0x00000800;     // function!: library code, seen as compiled
constexpr uint32_t HDR_CTX_KIND_SHIFT = 11;      // bits 11-12 on a context cell
constexpr uint32_t HDR_CTX_KIND_MASK = 3u << HDR_CTX_KIND_SHIFT;
constexpr uint32_t HDR_EVENT_HOLDS_NODE = 0x00001000;  // event!: word 2 is a node to mark
constexpr uint32_t HDR_CHANGED = 0x00002000;     // changed mark of an object word
constexpr uint32_t HDR_MONEY_SIGN = 0x00004000;
constexpr uint32_t HDR_ROUTINE_FLAG = 0x00008000;
constexpr uint32_t HDR_OWNS_SERIES = 0x00010000;  // owner mark of an object context
constexpr uint32_t HDR_OP_TYPE_SHIFT = 16;       // bits 16-23 on an op!
constexpr uint32_t HDR_TUPLE_LEN_SHIFT = 19;     // bits 19-22 on a tuple!
constexpr uint32_t HDR_ARG_CLASS_SHIFT = 20;     // bits 20-21 on an argument-cache typeset
constexpr uint32_t HDR_CTX_ON_STACK = 0x00400000;
constexpr uint32_t HDR_CTX_SELF = 0x01000000;
constexpr uint32_t HDR_ARITY_SHIFT = 25;         // bits 25-29 on a routine!: its arity
constexpr uint32_t HDR_ARITY_MASK = 31;
constexpr uint32_t HDR_NEW_LINE = 0x40000000;

// The payload as three words in a row, for the services that treat every
// type alike (marking by a type's layout, hashing, copying): what each word
// means is the type's business.
inline uint32_t* payload(Cell* c) { return c->w; }
inline const uint32_t* payload(const Cell* c) { return c->w; }

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
  std::memcpy(&d, &c->w[1], 8);
  return d;
}
inline void put_double(Cell* c, double d) { std::memcpy(&c->w[1], &d, 8); }

inline int32_t get_int(const Cell* c) { return static_cast<int32_t>(c->w2); }

}  // namespace xeb
