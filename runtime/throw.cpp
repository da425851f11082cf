// Non-local exits: the error raiser's unwinding, the pending exits with their
// target search, the static unwinding of compiled code, and catching points.
#include "runtime/throw.h"

#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb {

ThrowCode pending_throw = ThrowCode::none;
ErrorHooks error_hooks = {};

namespace stack {
namespace {

[[noreturn]] void raise_throw(ThrowError id, const Cell* arg) {
  if (error_hooks.raise_throw) error_hooks.raise_throw(id, arg);
  runtime_error(95);  // no error machinery to report it with
}

[[noreturn]] void uncaught(const Cell* error) {
  Cell e = *error;
  ds.base = ds.bottom;
  ds.top = ds.bottom + 1;
  *ds.bottom = e;
  if (error_hooks.print_uncaught) error_hooks.print_uncaught(ds.bottom);
  exit_process(-2);
}

// The target of a pending exit, searched from the top without changing
// anything (so that a failed search leaves the stacks as they were). Unless
// direct, the top frame is that of the exit's own call: it is passed over,
// but as a try/all frame it is still a barrier.
template <class Target>
CallFrame* find_target(bool direct, Target is_target) {
  CallFrame* f = cs.top;
  if (!direct && f > cs.bottom && (--f)->type() == FrameType::try_all) return nullptr;
  while (f > cs.bottom) {
    --f;
    if (is_target(*f)) return f;
    if (f->type() == FrameType::try_all) return nullptr;
  }
  return nullptr;
}

// Makes t the top frame, restoring compiled contexts on the way; the data
// stack is set to t's own (empty) frame. Answers the new base.
Cell* land_on(CallFrame* t) {
  Cell* own = ds.base;
  while (cs.top - 1 > t) {
    CallFrame* f = --cs.top;
    if (f->fctx) {
      values_of(f->fctx) = f->saved;
      memory::kept_local.key = ~0u;
    }
    own = saved_base(f);
  }
  ds.base = ds.top = own;
  return own;
}

}  // namespace

[[noreturn]] void throw_error(const Cell* error) {
  if (cs.top == cs.bottom) uncaught(error);  // nothing can catch it; the bottom record is stale
  Cell* e = push(error);                     // a root while the hook may allocate
  if (error_hooks.annotate) error_hooks.annotate(e);
  overflow_error_made();
  Cell* saved_top = ds.top;
  CallFrame* f = unwind_to_type(FrameType::try_, true);
  if (!f) uncaught(e);
  // The error lands on the try frame's own base: the cells above it belong
  // to the unwound calls, those below to the catching native. So the top
  // comes back down even after an overflow, and the reserve can close.
  Cell* own = ds.base;
  ds.base = saved_base(f);
  --cs.top;  // the try frame itself: its native lands on the C++ exception
  Cell v = *(saved_top - 1);
  *own = v;
  ds.top = own + 1;
  close_reserve();
  pending_throw = ThrowCode::error;
  throw LangError{*(ds.top - 1)};
}

void throw_break(bool with_value, bool is_continue) {
  Cell* old_base = ds.base;
  CallFrame* t = find_target(false, [](const CallFrame& f) { return f.type() == FrameType::loop; });
  if (!t) raise_throw(is_continue ? ThrowError::continue_loop : ThrowError::break_loop, nullptr);
  Cell v = *old_base;
  Cell* slot = land_on(t);
  if (with_value) *slot = v;
  else set_unset(slot);
  pending_throw = is_continue ? ThrowCode::continue_loop : ThrowCode::break_loop;
}

void throw_exit(bool with_value, bool direct) {
  Cell* old_base = ds.base;
  CallFrame* t = find_target(direct, [](const CallFrame& f) { return f.body(); });
  if (!t) raise_throw(ThrowError::return_value, nullptr);
  Cell v = *old_base;
  Cell* slot = land_on(t);
  if (with_value) *slot = v;
  else set_unset(slot);
  pending_throw = with_value ? ThrowCode::return_value : ThrowCode::exit;
}

void throw_value(ThrowCode code) {
  Cell* old_base = ds.base;
  // The frame below the throw's own: where an error about it is reported.
  if (!cs.throw_origin) cs.throw_origin = cs.top > cs.bottom ? cs.top - 1 : cs.top;
  CallFrame* t = find_target(false, [](const CallFrame& f) { return f.type() == FrameType::catch_; });
  if (!t) raise_throw(ThrowError::throw_value, old_base);
  Cell value = old_base[0], name = old_base[1];
  land_on(t);
  push(&value);
  push(&name);
  pending_throw = code;
}

void unroll(FrameType type) {
  Cell v = *ds.base;
  unwind_to_type(type, true);
  *ds.base = v;
  ds.top = ds.base;
}

void unroll_loop(bool keep) { unwind_to_type(FrameType::loop, keep); }

}  // namespace stack

CatchPoint::CatchPoint(CatchLevel level) : level_(level), frames_(stack::depth()), cycles_(cycles::depth()) {}

ThrowCode CatchPoint::land() {
  ThrowCode c = pending_throw;
  pending_throw = ThrowCode::none;
  stack::cs.throw_origin = nullptr;  // a later error must not report from a stale origin
  stack::cut_to(frames_);
  cycles::cut_to(cycles_);
  return c;
}

}  // namespace xeb
