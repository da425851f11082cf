// percent!: a float! read and written as a percentage (0.5 is 50%). Its
// double sits where float! keeps its own; only its text is its own, every
// other slot is float!'s.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::percent {

inline double get(const Cell* c) { return get_double(c); }
inline Cell make_cell(double d) {
  Cell c{T_PERCENT, 0, 0, 0};
  put_double(&c, d);
  return c;
}
// The double given as its high and low 32-bit halves.
Cell* make_at(Cell* c, uint32_t high, uint32_t low);
Cell* make_in(const Cell* block, uint32_t high, uint32_t low);

int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);

void init();

}  // namespace xeb::percent
