// triple!: three signed 32-bit integers in words 1-3. It can be carried,
// stored and printed; every action but form and mold refuses it.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::triple {

inline int32_t get(const Cell* c, int i) { return static_cast<int32_t>(c->w[i]); }
inline Cell make_cell(int32_t a, int32_t b, int32_t c) {
  return Cell{T_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
}

int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);

void init();

}  // namespace xeb::triple
