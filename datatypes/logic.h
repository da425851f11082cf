// unset!, none! and logic!: their constructors, the fixed shared cells and
// the truth tests of conditionals. Truth: only none! and a logic! whose flag
// is not 1 are false.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb {

extern Cell fixed_unset;
extern Cell fixed_none;
extern Cell fixed_true;
extern Cell fixed_false;

inline bool is_false(const Cell* c) {
  return is_type(c, T_NONE) || (is_type(c, T_LOGIC) && c->w1 != 1);
}

namespace unset {
void init();
Cell* push_last();
Cell* make_in(const Cell* block);
Cell* push();
}  // namespace unset

namespace none {
void init();
Cell* push_last();
Cell* make_in(const Cell* block);
Cell* push();
}  // namespace none

namespace logic {
void init();
Cell* box(int flag);
Cell* make_in(const Cell* block, int flag);
Cell* push(int flag);
inline int get(const Cell* c) { return static_cast<int>(c->w1); }
int false_q();
int true_strict_q();
int value_true_q(const Cell* c, bool check, const Cell* arg);
int top_false_q();
inline int top_true_q() { return !top_false_q(); }
}  // namespace logic

}  // namespace xeb
