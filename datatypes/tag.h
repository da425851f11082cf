// tag!, email! and ref!: strings with another type id that differ only in
// how they are written out, and (email!) in path access to user and host.
#pragma once
#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::tag {
Cell* push(const Cell* c);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
void init();
}  // namespace xeb::tag

namespace xeb::email {
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
void init();
}  // namespace xeb::email

namespace xeb::ref {
Cell* push(const Cell* c);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
void init();
}  // namespace xeb::ref
