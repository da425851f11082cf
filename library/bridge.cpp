// The C++-to-library bridge: a function frame as the interpreter's own calls
// build it, but without the interpreted mark, since the caller is C++.
#include "library/bridge.h"

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::library {

Cell* call(const Cell* name, const Cell* fn, std::span<const Cell> args, uint32_t kind) {
  if (!is_type(fn, T_FUNCTION)) fire(Err::invalid_arg, fn);
  // The callee's copy sits below its frame, so the result can replace it.
  Cell* start = stack::push(fn);
  Cell f = *start;
  stack::push_frame(name, frame_flags(FrameType::function));
  CallFrame* frame = stack::top_frame();
  Node ctx = function::context_of(&f);
  frame->fctx = ctx;
  frame->saved = stack::values_of(ctx);
  int32_t slots = context::size(ctx);
  int32_t given = static_cast<int32_t>(args.size()) < slots ? static_cast<int32_t>(args.size()) : slots;
  for (int32_t i = 0; i < given; i++) stack::push(&args[i]);
  for (int32_t i = given; i < slots; i++) {
    bool refinement = is_type(context::word_at(ctx, i), T_REFINEMENT);
    *stack::push_new() = refinement ? Cell{T_LOGIC, 0, 0, 0} : Cell{T_NONE, 0, 0, 0};
  }
  if (kind) {
    interpreter::trace::RuntimeCallback traced(kind, name, &f);
    interpreter::eval_function(start);
    traced.returned(stack::base());
  } else {
    interpreter::trace::Suspend quiet;
    interpreter::eval_function(start);
  }
  if (throwing()) return nullptr;
  Cell r = *stack::base();
  stack::unwind_func();
  *start = r;
  stack::set_top(start + 1);
  return start;
}

// No barrier: an error raised in the function unwinds through the sort as
// any error does, and break, continue and throw go on to their targets
// outside it as pending exits (the sort then stops calling and returns).
Cell* compare(Cell* fn, Cell* a, Cell* b) {
  Cell name = words::word(words::W::compare_callback);
  Cell args[2] = {*a, *b};
  Cell* r = call(&name, fn, args, interpreter::trace::sort_cb);
  return r ? r : const_cast<Cell*>(&fixed_none);  // pending exit: the stacks are its target's
}

}  // namespace xeb::library
