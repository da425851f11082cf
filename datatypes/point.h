// point2D! and point3D!: coordinates as 32-bit floats in words 1, 2 (and 3),
// written (x, y) and (x, y, z). Twins: one set of slots serves both, the
// coordinate count taken from the type. Equality is tolerant (ten units in
// the last place), strict equality exact, sameness bitwise.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::point {

inline int dims(const Cell* c) { return is_type(c, T_POINT3D) ? 3 : 2; }
// Coordinate i (0 x, 1 y, 2 z): payload word 1 + i.
inline float coord(const Cell* c, int i) {
  float f;
  std::memcpy(&f, &c->w[i], 4);
  return f;
}
inline void set_coord(Cell* c, int i, float f) { std::memcpy(&c->w[i], &f, 4); }
inline float x(const Cell* c) { return coord(c, 0); }
inline float y(const Cell* c) { return coord(c, 1); }
inline float z(const Cell* c) { return coord(c, 2); }

inline Cell make_cell2(float x, float y) {
  Cell c{T_POINT2D, 0, 0, 0};
  set_coord(&c, 0, x);
  set_coord(&c, 1, y);
  return c;
}
inline Cell make_cell3(float x, float y, float z) {
  Cell c{T_POINT3D, 0, 0, 0};
  set_coord(&c, 0, x);
  set_coord(&c, 1, y);
  set_coord(&c, 2, z);
  return c;
}

// The key hash of a point of n coordinates; a pair! equal to a point
// hashes as that point does.
uint32_t hash_coords(const float* coords, int n);
Cell* make_at2(Cell* c, float x, float y);  // keep the header's flags
Cell* make_at3(Cell* c, float x, float y, float z);
Cell* push2(float x, float y);
Cell* push3(float x, float y, float z);

// The arithmetic cores: the point at the arguments base, the other operand
// next to it; the result replaces the point.
void do_math(int op);
// 1-2 (1-3) for the accessor words x, y (z); 0 for any other word.
int accessor_index(const Cell* word, int dims);

// --- Slots (both types) ------------------------------------------------------
Cell* make(Cell* proto, Cell* spec, int type);  // also to
Cell* random(Cell* value, int seed, int secure, int only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
void absolute();
Cell* negate(Cell* n);
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
Cell* pick(Cell* value, int index, Cell* boxed);
Cell* reverse(Cell* value, Cell* part, Cell* skip);

void init();  // registers point2D! and point3D!

}  // namespace xeb::point
