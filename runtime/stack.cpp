// The data stack and the buffers of both stacks.
#include "runtime/stack.h"

#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/region_kept.h"
#include "runtime/throw.h"

namespace xeb::stack {

DataStack ds;

namespace {
Buffers bufs;
XEB_KEPT_WITH_HEAP(bufs);
bool making_overflow_error = false;
}

Buffers alloc_buffers() {
  bufs.data = memory::alloc_heap_series(DATA_CELLS + DATA_RESERVE, 16, 0);
  bufs.calls = memory::alloc_heap_series(int64_t{MAX_FRAMES} * sizeof(CallFrame), 1, 0);
  return bufs;
}

Buffers buffers() { return bufs; }

void init() {
  if (!bufs.data) alloc_buffers();
  // Positions are set from the fixed counts, not from the buffers' sizes,
  // so that the limits do not depend on the allocator's rounding.
  Cell* d = reinterpret_cast<Cell*>(buf_of(bufs.data)->data());
  ds = DataStack{d, d, d, d + DATA_CELLS};
  auto* f = reinterpret_cast<CallFrame*>(buf_of(bufs.calls)->data());
  cs = CallStack{f, f, f + MAX_FRAMES, nullptr};
  pending_throw = ThrowCode::none;
  making_overflow_error = false;
  cycles::reset();
}

[[noreturn]] void data_overflow() {
  if (making_overflow_error) runtime_error(19);  // the error machinery itself ran out
  making_overflow_error = true;
  ds.end = ds.bottom + DATA_CELLS + DATA_RESERVE;
  // Only the failed push is undone: the cells below belong to frames that
  // outlive the error (a try just below), so the error is made above them.
  ds.top--;
  cycles::reset();
  raise_internal(InternalError::stack_overflow);
}

void overflow_error_made() { making_overflow_error = false; }

void close_reserve() {
  if (!making_overflow_error && ds.top < ds.bottom + DATA_CELLS) ds.end = ds.bottom + DATA_CELLS;
}

}  // namespace xeb::stack
