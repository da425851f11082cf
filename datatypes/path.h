// The path types (path!, lit-path!, set-path!, get-path!) and paren!: blocks
// under another type id. They share block storage and every block slot and
// bring only their own construction and text; evaluating them is the
// interpreter's work.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::path {

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int lit_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int set_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int get_mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* copy(Cell* value, Cell* result, Cell* part, int deep, Cell* types);

// The cell retyped to path! and a copy pushed on the data stack.
Cell* push(Cell* c);
// An empty path! with room for n cells, written into c.
Cell* make_at(Cell* c, int32_t n);

void init();  // registers path!, lit-path!, set-path!, get-path! (in that order)

}  // namespace xeb::path

namespace xeb::paren {

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);

void init();  // registers paren!

}  // namespace xeb::paren
