// native!, action! and op!: built-in functions by table number, and infix
// operators wrapping a two-argument function. Cell of native!/action!:
// [21|22, table index (1-based), spec node, more node]; an op! copies the
// wrapped cell with header 23 | wrapped type << 16.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::native {

constexpr int ACTION_ENTRIES = ACTION_COUNT;
// The size of the native table; natives register themselves later.
extern int32_t table_size;

void init();  // native!
int check_spec(Node spec);  // op/check-spec
inline int wrapped_type(const Cell* op) { return static_cast<int>((op->header >> HDR_OP_TYPE_SHIFT) & 0xFF); }

// The payload of a native!, action! or op! cell.
inline uint32_t index(const Cell* f) { return f->w1; }  // in its table, from 1
inline Node spec_node(const Cell* f) { return f->w2; }
inline Node more_node(const Cell* f) { return f->w3; }
inline void set_spec(Cell* f, Node spec) { f->w2 = spec; }

// A built-in shows a spec with its descriptions, built from text the first
// time something reads it (the evaluator's hook). The words of the spec are
// the same before and after, so that readers of the words alone need not
// ask. May allocate.
extern void (*show_spec_hook)(const Cell* f);

// A built-in made from its maker's own spec (make native!, a decoded value)
// runs code that reads its frame as the built-in's spec lays it out. The
// evaluator's hook gives a made value whose spec lays it out otherwise the
// built-in's own call layout. May allocate.
extern void (*own_frame_hook)(Cell* made);
inline Node shown_spec(const Cell* f) {
  if (show_spec_hook) show_spec_hook(f);
  return spec_node(f);
}

}  // namespace xeb::native

namespace xeb::action {
void init();
}
namespace xeb::op {
void init();
int check_spec(Node spec);
}
