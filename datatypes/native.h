// native!, action! and op!: built-in functions by table number, and infix
// operators wrapping a two-argument function. Cell of native!/action!:
// [21|22, table index (1-based), spec node, more node]; an op! copies the
// wrapped cell with header 23 | wrapped type << 16.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::native {

constexpr int ACTION_ENTRIES = 62;
// The size of the native table; natives register themselves later.
extern int32_t table_size;

void init();  // native!
int check_spec(Node spec);  // op/check-spec
inline int wrapped_type(const Cell* op) { return static_cast<int>((op->header >> 16) & 0xFF); }

}  // namespace xeb::native

namespace xeb::action {
void init();
}
namespace xeb::op {
void init();
int check_spec(Node spec);
}
