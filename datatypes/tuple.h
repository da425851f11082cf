// tuple!: 3 to 12 unsigned bytes kept in the cell's three payload words
// (byte i of the value is byte i of words 1-3, in memory order), the count
// in header bits 19-22. Arithmetic saturates each byte to 0..255.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::tuple {

constexpr int MAX_BYTES = 12;
constexpr uint32_t COUNT_MASK = 0xFu << HDR_TUPLE_LEN_SHIFT;

// The count field holds up to 15: a damaged header still reads no byte past
// the payload.
inline int count(const Cell* c) {
  const int n = static_cast<int>((c->header & COUNT_MASK) >> HDR_TUPLE_LEN_SHIFT);
  return n < MAX_BYTES ? n : MAX_BYTES;
}
inline void set_count(Cell* c, int n) {
  c->header = (c->header & ~COUNT_MASK) | (static_cast<uint32_t>(n) << HDR_TUPLE_LEN_SHIFT);
}
inline const uint8_t* bytes(const Cell* c) { return reinterpret_cast<const uint8_t*>(c->w); }
inline uint8_t* bytes(Cell* c) { return reinterpret_cast<uint8_t*>(c->w); }
// Byte i, 0-based; bytes past the count read as they are stored (zero).
inline uint8_t byte(const Cell* c, int i) { return bytes(c)[i]; }
inline void set_byte_at(Cell* c, int i, uint8_t b) { bytes(c)[i] = b; }

// A tuple of n bytes (3-12) from the array; bytes past n are zero.
Cell make_cell(int n, const uint8_t* b);
Cell* push(int n, uint32_t w1, uint32_t w2, uint32_t w3);
// From the low byte of each integer; fewer than 3 are padded with zeros.
Cell* make_from_ints(int n, const int32_t* values);
// r.g.b when a is -1, else r.g.b.a.
Cell* make_rgba(Cell* c, int r, int g, int b, int a);
bool all_zero_q(const Cell* c);

// The arithmetic core on the two action arguments at the arguments base.
void do_math(int op);

// --- Slots ------------------------------------------------------------------
Cell* make(Cell* proto, Cell* spec, int type);  // also to
Cell* random(Cell* value, int seed, int secure, int only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);
int length_q(Cell* value);
Cell* pick(Cell* value, int index, Cell* boxed);
Cell* reverse(Cell* value, Cell* part, Cell* skip);

void init();

}  // namespace xeb::tuple
