// print and prin: a block is reduced first, a string printed as it is, any
// other value formed; the text goes to the print hooks.
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives.h"
#include "datatypes/print_hooks.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::natives {

namespace {
bool last_line_end = false;
}

bool last_lf() { return last_line_end; }

void print_value(bool new_line) {
  Cell* value = arg(0);
  if (is_type(value, T_BLOCK)) {
    // The reduced values go into a fresh block on the data stack, so a throw
    // out of the evaluation leaves nothing to restore.
    int32_t none_refs[1] = {-1};
    Cell* entry = stack::top();
    Cell* blk = stack::push(value);
    stack::push_frame(stack::names.body, 0, frame_flags(FrameType::native) | FRAME_INTERP);
    stack::push(blk);
    reduce(false, none_refs);
    if (throwing()) return;
    Cell r = *stack::base();
    stack::unwind();
    stack::set_top(entry);
    *value = r;
  }
  Cell* text;
  if (is_type(value, T_STRING)) {
    text = stack::push(value);
    int32_t len = series::buffer_length(text);
    if (series::head(text) > len) series::set_head(text, len);
  } else {
    text = string::push_new(16);
    actions::direct::form(value, text, nullptr, actions::NO_LIMIT);
  }
  print_hooks::call_print(text, new_line);
  last_line_end = new_line;
  stack::set_result_trim(&fixed_unset);
}

void print(bool, const int32_t*) { print_value(true); }
void prin(bool, const int32_t*) { print_value(false); }

}  // namespace xeb::natives
