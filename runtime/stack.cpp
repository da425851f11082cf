// The data stack and the buffers of both stacks.
#include "runtime/stack.h"

#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/throw.h"

namespace xeb::stack {

DataStack ds;

namespace {
Buffers bufs;
}

Buffers alloc_buffers() {
  bufs.data = memory::alloc_heap_series(DATA_CELLS, 16, 0);
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
  cycles::reset();
}

[[noreturn]] void data_overflow() {
  ds.top = (ds.top - ds.bottom) > 5 ? ds.top - 5 : ds.bottom;
  cycles::reset();
  raise_internal(InternalError::stack_overflow);
}

}  // namespace xeb::stack
