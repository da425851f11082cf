// The data stack: the cells on which every call passes its arguments and
// returns its result. A call's arguments start at the arguments base, whose
// cell is also the call's result slot.
//
// Invariant: bottom <= base <= top < end. The buffer is a fixed heap series
// (it never moves), so the positions are plain pointers; the collector marks
// the cells [bottom, top) as roots.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::stack {

constexpr int DATA_CELLS = 20000;  // at most 19,999 in use: top never reaches end
// Cells past the limit, opened only while an overflow error is made and
// unwound: building the error pushes cells of its own.
constexpr int DATA_RESERVE = 1000;

struct DataStack {
  Cell* bottom;
  Cell* base;
  Cell* top;  // next free cell
  Cell* end;
};
extern DataStack ds;

// Allocates the buffers of both stacks (call stack included) as fixed heap
// series; their nodes go into the root block.
struct Buffers {
  Node data;
  Node calls;
};
Buffers alloc_buffers();
Buffers buffers();
// Sets every position of both stacks over the buffers, empties them and
// clears any pending exit.
void init();

inline Cell* bottom() { return ds.bottom; }
inline Cell* base() { return ds.base; }
inline Cell* top() { return ds.top; }
inline void set_base(Cell* c) { ds.base = c; }
inline void set_top(Cell* c) { ds.top = c; }

// Full stack: the failed push is undone, the reserve opens for the error
// machinery, the cycle stack is emptied, internal stack-overflow. An overflow of the reserve while that error is being made
// is runtime error 19.
[[noreturn]] void data_overflow();
// The error raiser calls it once the error is made; the reserve stays open
// until a catching point is left with the stack back below the limit.
void overflow_error_made();
void close_reserve();
inline bool reserve_open() { return ds.end != ds.bottom + DATA_CELLS; }

// The new cell reads as unset! until its maker types it: the collector marks
// every cell below top, and a stale payload there would be followed.
inline Cell* push_new() {
  Cell* c = ds.top++;
  if (ds.top < ds.end) {
    c->header = T_UNSET;
    return c;
  }
  data_overflow();
}
inline Cell* push(const Cell* c) {
  Cell v = *c;  // c may lie at top
  Cell* d = push_new();
  *d = v;
  return d;
}
inline Cell* pop(int n) {
  ds.top = (ds.top - ds.bottom) > n ? ds.top - n : ds.bottom;
  return ds.top;
}
inline Cell* reset() { return ds.top = ds.base; }
inline Cell* reset_keep_result() {
  ds.top = ds.base + 1;
  return ds.base;
}
inline Cell* set_result(const Cell* c) { return copy_cell(c, ds.base); }
inline Cell* set_last(const Cell* c) { return set_result(c); }
inline Cell* set_result_trim(const Cell* c) {
  Cell v = *c;
  ds.top = ds.base + 1;
  *ds.base = v;
  return ds.base;
}
inline Cell* top_cell() { return ds.top > ds.bottom ? ds.top - 1 : ds.bottom; }
inline TypeId top_type() { return type_of(top_cell()); }
// An error! on top becomes the result; the frame is cut to its result slot
// either way.
inline void keep_error_result() {
  Cell* t = top_cell();
  if (is_type(t, T_ERROR)) copy_cell(t, ds.base);
  ds.top = ds.base + 1;
}

// Cell index from the bottom: how frames record data-stack positions.
inline uint32_t index_of(const Cell* c) { return static_cast<uint32_t>(c - ds.bottom); }
inline Cell* cell_at(uint32_t index) { return ds.bottom + index; }

}  // namespace xeb::stack
