// Non-local exits: break, continue, exit, return and throw raise a pending
// exit; catch and try stop them.
#include "datatypes/series.h"
#include "datatypes/error.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "evaluator/trace.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::natives {

void break_(bool, const int32_t* refs) { stack::throw_break(present(refs[ref(Id::break_, "return")]), false); }
void continue_(bool, const int32_t*) { stack::throw_break(false, true); }
void exit_(bool, const int32_t*) { stack::throw_exit(false, false); }
void return_(bool, const int32_t*) { stack::throw_exit(true, false); }

void throw_(bool, const int32_t* refs) {
  interpreter::trace::event(interpreter::trace::throw_, nullptr, -1, nullptr, stack::base());
  if (!present(refs[ref(Id::throw_, "name")])) {
    stack::set_top(stack::base() + 1);
    set_unset(stack::push_new());
  }
  stack::throw_value(ThrowCode::throw_value);
}

namespace {

// Whether a catch/name takes a throw of the given name.
bool name_matches(const Cell* wanted, const Cell* thrown) {
  if (!is_type(thrown, T_WORD)) return false;  // an unnamed throw
  int32_t sym = symbol::resolve(word_symbol(thrown));
  if (is_type(wanted, T_WORD)) return symbol::resolve(word_symbol(wanted)) == sym;
  SeriesBuf* b = series::buf(wanted);
  bool found = false;
  for (Cell *c = b->cells() + series::head(wanted), *e = b->cells_tail(); c < e; c++) {
    if (!is_type(c, T_WORD)) {
      Cell w = words::word(words::W::name), blk = *wanted;
      fire(Err::invalid_refine_arg, &w, &blk);
    }
    if (symbol::resolve(word_symbol(c)) == sym) found = true;
  }
  return found;
}

}  // namespace

void catch_(bool, const int32_t* refs) {
  Cell* name = opt(refs[ref(Id::catch_, "name")]);
  Cell* base = stack::base();
  Cell frame_name = words::word(words::W::body_frame);
  stack::mark_catch(&frame_name);
  CatchPoint cp(CatchLevel::catch_);
  interpreter::eval_block(base, true);
  if (throwing()) {
    if (!cp.takes_pending()) return;
    cp.land();
    // The throw has set this frame to [value name].
    Cell* fb = stack::base();
    if (name && !name_matches(name, fb + 1)) {
      Cell v = fb[0], n = fb[1];
      stack::unwind();
      stack::set_top(stack::base());
      *stack::push_new() = v;
      *stack::push_new() = n;
      stack::throw_value(ThrowCode::throw_value);
      return;
    }
    stack::set_top(fb + 1);
    interpreter::trace::event(interpreter::trace::catch_, nullptr, -1, nullptr, fb);
  }
  stack::unwind_last();
  stack::set_top(stack::base() + 1);
}

void try_(bool, const int32_t* refs) {
  bool all_ = present(refs[ref(Id::try_, "all")]);
  Cell* base = stack::base();
  Cell frame_name = words::word(words::W::try_);
  if (all_) stack::mark_try_all(&frame_name);
  else stack::mark_try(&frame_name);
  CatchPoint cp(CatchLevel::all);
  try {
    interpreter::eval_block(base, true);
  } catch (const LangError&) {
    cp.land();
    stack::keep_error_result();
    if (present(refs[ref(Id::try_, "keep")])) error::capture_stack(stack::base());
    return;
  }
  if (throwing()) return;  // break, continue, return, exit and throw pass through
  stack::unwind_last();
  stack::set_top(stack::base() + 1);
}

}  // namespace xeb::natives
