// char!: a Unicode code point (0 to 0x10FFFF) kept where an integer! keeps
// its value, so the integer! slots it inherits work on it unchanged. Its
// arithmetic runs on the integer core and stays within the code-point range.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::char_ {

constexpr int32_t MAX_CODE_POINT = 0x10FFFF;

inline Cell make_cell(int32_t cp) { return Cell{T_CHAR, 0, static_cast<uint32_t>(cp), 0}; }
inline int32_t code_point(const Cell* c) { return static_cast<int32_t>(c->w2); }
inline void set_code_point(Cell* c, int32_t cp) { c->w2 = static_cast<uint32_t>(cp); }

Cell* push(int32_t cp);
Cell* make_in(const Cell* block, int32_t cp);
// Arithmetic on the two action arguments at the arguments base.
void do_math(int op);

// --- Slots ------------------------------------------------------------------

Cell* to(Cell* proto, Cell* spec, int type);  // also make
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);

void init();

}  // namespace xeb::char_
