// pair!: two signed 32-bit integer coordinates, x in word 2 and y in word 3,
// written XxY. Its arithmetic core also serves integer! and float! with a
// pair on the right; an integer result that does not fit (an overflow, an
// uneven division) or a scaling by a float makes the result a point2D!.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::pair {

inline int32_t x(const Cell* c) { return static_cast<int32_t>(c->w2); }
inline int32_t y(const Cell* c) { return static_cast<int32_t>(c->w3); }
inline void set_x(Cell* c, int32_t v) { c->w2 = static_cast<uint32_t>(v); }
inline void set_y(Cell* c, int32_t v) { c->w3 = static_cast<uint32_t>(v); }
inline Cell make_cell(int32_t x, int32_t y) {
  return Cell{T_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}

Cell* make_at(Cell* c, int32_t x, int32_t y);  // keeps the header's flags
Cell* make_in(const Cell* block, int32_t x, int32_t y);
Cell* push(int32_t x, int32_t y);

// The arithmetic core on the two action arguments at the arguments base.
void do_math(int op);
// 1 for the word x, 2 for y (any letter case); another word raises
// cannot-use when context is a pair, else invalid-path (context, word).
int axis(const Cell* word, const Cell* context);
// Argument i (0 or 1 from the base), a pair, rewritten as a point2D!.
void to_point(int i);
// The integer of an integer! or, truncated, of a float!; a float outside
// the 32-bit range raises out-of-range.
int32_t to_int(const Cell* v);

// --- Slots ------------------------------------------------------------------
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

void init();

}  // namespace xeb::pair
