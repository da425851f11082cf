// The ownership table: which object (and through which field word) owns a
// series, so that edits inside the series reach the owner's on-deep-change*
// hook. Weak: a collection drops the records of dead series and owners.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::ownership {

constexpr uint32_t SER_OWNED = 0x20000;  // buffer flag of an owned series

void init();
void adopt();  // init but for the heap: the table a heap image brings
void bind(Cell* value, Cell* owner, Cell* word);  // word may be null
int unbind(Cell* value);
Cell* owner_of(Node series);  // the owner cell or the fixed none cell
// Before (and, when an owner was found, after) a series edit.
int check(Cell* value, Cell* action, Cell* arg, int32_t index, int32_t part);
Node table();

}  // namespace xeb::ownership
