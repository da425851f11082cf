// typeset!: a set of datatypes held in the cell itself, a 96-bit bitmap over
// words 1-3 (type id i: byte i / 8, mask 0x80 >> i % 8, in memory order).
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::typeset {

void init();

// The bitmap's bytes, in memory order.
inline const uint8_t* bits(const Cell* ts) { return reinterpret_cast<const uint8_t*>(ts->w); }
inline uint8_t* bits(Cell* ts) { return reinterpret_cast<uint8_t*>(ts->w); }

void clear(Cell* ts);
bool has(const Cell* ts, int type_id);
void set_bit(Cell* ts, int type_id);
int32_t count(const Cell* ts);  // members among the registered type ids
Cell* make_in(const Cell* block, uint32_t w1, uint32_t w2, uint32_t w3);
Cell* make_default(const Cell* block);
Cell* make_from_spec(const Cell* block, const Cell* spec);
void add_type(Cell* ts, const Cell* value);  // ts on a root
// The set operation op (5-12) on the frame's two arguments; result in the
// frame's result slot.
void do_bitwise(int op);
Cell* to_block(Cell* result, const Cell* ts);

}  // namespace xeb::typeset
