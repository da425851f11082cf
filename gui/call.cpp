// Calls into the language behind a catch-all barrier.
#include "gui/call.h"

#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "library/bridge.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::gui {

CallResult call_function(const Cell* fn_in, std::string_view name, std::span<const Cell> args,
                         std::initializer_list<Refinement> refinements) {
  Cell* result = stack::push(&fixed_none);
  CallResult r{result, false, false};
  if (!is_type(fn_in, T_FUNCTION)) return r;
  Cell fn = *fn_in;
  // The slots in the callee's order: plain arguments first, then each
  // refinement's flag followed by its arguments.
  const Node ctx = function::context_of(&fn);
  const int32_t slots = context::size(ctx);
  Cell* slot = stack::top();
  for (int32_t i = 0; i < slots; i++) {
    const bool refinement = is_type(context::word_at(ctx, i), T_REFINEMENT);
    *stack::push_new() = refinement ? fixed_false : fixed_none;
  }
  for (int32_t i = 0; i < static_cast<int32_t>(args.size()) && i < slots; i++) slot[i] = args[i];
  for (const Refinement& ref : refinements) {
    for (int32_t i = 0; i < slots; i++) {
      const Cell* w = context::word_at(ctx, i);
      if (!is_type(w, T_REFINEMENT) || !symbol::same_nocase(symbol::name(word_symbol(w)), ref.name)) continue;
      slot[i] = fixed_true;
      for (size_t k = 0; k < ref.args.size() && i + 1 + static_cast<int32_t>(k) < slots; k++)
        slot[i + 1 + k] = ref.args[k];
      break;
    }
  }
  // The function on the data stack before the name's loading can allocate.
  Cell* callee = stack::push(&fn);
  Cell* word = stack::push(word::load(name));
  Cell* saved_base = stack::base();
  Cell* saved_top = stack::top();
  const uint32_t depth = stack::depth();
  Cell barrier = words::word(words::W::try_);
  stack::mark_try_all(&barrier);
  CatchPoint cp(CatchLevel::all);
  try {
    Cell* v = library::call(word, callee, std::span<const Cell>(slot, static_cast<size_t>(slots)));
    if (v) {
      *result = *v;
      r.ok = true;
    }
  } catch (const LangError&) {
    cp.land();
  }
  if (throwing()) {
    r.exited = true;
    cp.land();
  }
  // The barrier (owning no cells) goes, unless the error's unwinding took it.
  if (stack::depth() > depth) stack::cs.top = stack::cs.bottom + depth;
  stack::set_base(saved_base);
  stack::set_top(saved_top);
  stack::set_top(result + 1);
  return r;
}

Cell system_field(std::initializer_list<std::string_view> path) {
  Cell v = *context::get(word::load("system"));
  for (std::string_view step : path) {
    if (!is_type(&v, T_OBJECT)) return fixed_none;
    Cell* obj = stack::push(&v);  // loading the name may allocate
    Cell* w = stack::push(word::load(step));
    v = *object::get_field(obj, w);
    stack::pop(2);
  }
  return v;
}

Cell tui_helper(std::string_view name) {
  Cell* w = stack::push(word::load(name));  // before the object is read: it may allocate
  Cell obj = *context::get(word::load("TUI-helpers"));
  if (!is_type(&obj, T_OBJECT)) {
    stack::pop(1);
    return fixed_none;
  }
  Cell v = *object::get_field(&obj, w);
  stack::pop(1);
  return v;
}

}  // namespace xeb::gui
