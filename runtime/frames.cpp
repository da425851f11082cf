// Call frames: pushing, popping, marks, the report walk and the collector's
// walk over the frames.
#include "runtime/frames.h"

#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/stack.h"
#include "runtime/shapes.h"

namespace xeb::stack {

CallStack cs;
Names names;

void call_overflow() {
  // The data stack keeps its cells: frames below the catching point still
  // use them, and the error machinery has the reserve if it needs room.
  cycles::reset();
  raise_internal(InternalError::stack_overflow);
}

namespace {

// Pops the top frame, giving a compiled call's context its outer values back.
CallFrame* pop_frame(bool restore) {
  CallFrame* f = --cs.top;
  if (restore && f->fctx) {
    values_of(f->fctx) = f->saved;
    memory::kept_local.key = ~0u;
  }
  return f;
}

}  // namespace

Cell* mark_func(const Cell* word, Node fctx) {
  if (cs.top >= cs.end) call_overflow();
  *cs.top++ = CallFrame{frame_flags(FrameType::function), off(ds.base), word_context(word),
                        static_cast<uint32_t>(word_symbol(word)), fctx,
                        fctx ? values_of(fctx) : 0};
  return ds.base = ds.top;
}

void unwind_last() {
  Cell* result = ds.base;
  unwind();
  copy_cell(result, ds.base);
}

void unwind_to_base() {
  if (cs.top == cs.bottom) return;
  CallFrame* f = pop_frame(true);
  if (cs.top == cs.bottom) {
    ds.base = ds.top = ds.bottom;
  } else {
    ds.top = ds.base;
    ds.base = saved_base(f);
  }
}

CallFrame* unwind_to_type(FrameType type, bool keep) {
  Cell* innermost = ds.base;
  while (cs.top > cs.bottom) {
    CallFrame* f = cs.top - 1;
    if (f->type() == type || f->type() == FrameType::try_all) {
      if (!keep) ds.base = saved_base(f);
      ds.top = innermost + 1;
      return f;
    }
    pop_frame(true);
    ds.base = saved_base(f);
  }
  ds.base = ds.top = ds.bottom;
  return nullptr;
}

void cut_to(uint32_t n) {
  while (depth() > n) pop_frame(true);
}

void set_body_flag(bool on) {
  if (CallFrame* f = top_frame()) f->header = on ? f->header | FRAME_BODY : f->header & ~FRAME_BODY;
}

CallFrame* set_body_flag_below() {
  if (cs.top - cs.bottom < 2) return nullptr;
  CallFrame* f = cs.top - 2;
  if (f->body()) return nullptr;
  f->header |= FRAME_BODY;
  return f;
}

void set_interp_flag() {
  if (CallFrame* f = top_frame()) f->header |= FRAME_INTERP;
}

bool interpreted(const CallFrame* from, bool only_next) {
  const CallFrame* f = from ? from - 1 : cs.top - 1;
  for (; f >= cs.bottom; f--) {
    if (f->interpreted()) return true;
    if (only_next) break;
  }
  return false;
}

const CallFrame* caller_frame() {
  CallFrame* from = cs.throw_origin && cs.throw_origin <= cs.top ? cs.throw_origin : cs.top;
  const CallFrame* f = from - 1;
  cs.throw_origin = nullptr;
  while (f >= cs.bottom && !reported(*f)) f--;
  return f >= cs.bottom ? f : nullptr;
}

void caller_word(Cell* out) {
  const CallFrame* f = caller_frame();
  uint32_t sym = f ? f->sym : names.not_found;
  Node ctx = f ? f->ctx : 0;
  if (names.make_word) {
    names.make_word(out, sym, ctx);
  } else {
    make_word_cell(out, T_WORD, ctx, static_cast<int32_t>(sym), -1);
  }
}

void record_error_position(Cell* field) {
  if (is_type(field, T_BLOCK)) return;
  *field = make_integer(static_cast<int32_t>(depth()));
}

void mark_gc_frames() {
  for (CallFrame& f : frames()) {
    if (f.ctx) {
      if (names.self && f.sym == names.self) collector::mark_node(&f.ctx);
      else collector::mark_context(&f.ctx);
    }
    if (f.fctx) {
      collector::mark_context(&f.fctx);
      // A context with heap values keeps a node in saved, not a stack cell.
      if (f.saved && !(buf_of(f.fctx)->cells()[0].header & HDR_CTX_ON_STACK)) collector::mark_node(&f.saved);
    }
  }
}

}  // namespace xeb::stack
