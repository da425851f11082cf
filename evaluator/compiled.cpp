// Services for direct callers of the runtime.
#include "evaluator/compiled.h"

#include <cmath>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/scalar.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "evaluator/actions.h"
#include "evaluator/compare.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives.h"
#include "lexer/load.h"
#include "datatypes/string.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb::runtime {

int32_t root_literal_base = 0;

Cell* get_root(int32_t i) { return buf_of(root())->cells() + root_literal_base + i; }
Node get_root_node(int32_t i) { return get_root(i)->w1; }

// --- Argument checks --------------------------------------------------------------

namespace {
[[noreturn]] void refuse(int32_t param, const Cell* arg) {
  Cell caller, type = datatype::make_cell(type_of(arg)), w;
  stack::caller_word(&caller);
  error::get_call_argument(param, &w);
  fire(Err::expect_arg, &caller, &type, &w);
}
}  // namespace

Cell* type_check(const Cell* typeset, int32_t param, Cell* arg) {
  if (!interpreter::accepts(typeset, type_of(arg))) refuse(param, arg);
  return arg;
}

int32_t type_check_at(int32_t slot, const Cell* typeset, int32_t param) {
  if (slot < 0) return slot;
  type_check(typeset, param, stack::base() + slot);
  return slot;
}

Cell* type_check_opt(const Cell* flag, const Cell* typeset, int32_t param, Cell* arg) {
  return flag->w1 ? type_check(typeset, param, arg) : arg;
}

Cell* check_not_unset(int32_t param, Cell* arg) {
  if (is_type(arg, T_UNSET)) refuse(param, arg);
  return arg;
}

// --- Words and locals ---------------------------------------------------------------

Cell* set_word_last(Cell* word) {
  Cell* last = stack::top() - 1;
  if (is_type(last, T_UNSET)) fire(Err::need_value, word);
  Cell* w = stack::push(word);
  interpreter::set_word(w, last);
  stack::pop(1);
  return stack::top() - 1;
}

void set_word_last_drop(Cell* word) {
  set_word_last(word);
  stack::reset();
}

namespace {
Cell* local_slot(Node ctx, int32_t index) {
  Cell* vals = context::values(ctx);
  if (!vals) fire(Err::not_defined, context::word_at(ctx, index));
  return vals + index;
}
}  // namespace

void set_local(Node ctx, int32_t index) {
  Cell* last = stack::top() - 1;
  if (is_type(last, T_UNSET)) fire(Err::need_value, context::word_at(ctx, index));
  *local_slot(ctx, index) = *last;
}

void set_local_drop(Node ctx, int32_t index) {
  set_local(ctx, index);
  stack::reset();
}

void set_field_drop(Node ctx, int32_t index) {
  Cell v = *(stack::top() - 1);
  if (context::kind_of(ctx) == context::Kind::object) context::word_at(ctx, index)->header |= HDR_CHANGED;
  *local_slot(ctx, index) = v;
  stack::reset();
}

Cell* get_word_value(Cell* word) {
  Cell* v = interpreter::word_value(word);
  if (is_type(v, T_UNSET)) fire(Err::no_value, word);
  return v;
}

Cell* get_local_ref(Node ctx, int32_t index) { return local_slot(ctx, index); }

// --- Refinements ----------------------------------------------------------------------

void fill_refinement(const Cell* value, int32_t slot, int32_t count) {
  Cell* flag = stack::base() + slot;
  if (!is_false(value)) {
    flag->w1 = 1;
    return;
  }
  for (int32_t i = 1; i <= count; i++) flag[i] = fixed_none;
}

void fill_refinements(int32_t entry, bool native, int32_t positions, std::span<const RefinementGroup> groups) {
  int32_t refs[actions::MAX_REFINEMENTS];
  for (int32_t& r : refs) r = -1;
  for (const RefinementGroup& g : groups) {
    if (g.position < 1 || g.position > positions || g.position > actions::MAX_REFINEMENTS) continue;
    if (!is_false(g.value)) {
      refs[g.position - 1] = g.slot;
    } else {
      for (int32_t i = 0; i < g.count; i++) stack::base()[g.slot + i] = fixed_none;
    }
  }
  if (native) natives::call(entry, true, refs);
  else actions::entry(entry)(refs);
}

// --- Paths ------------------------------------------------------------------------------

void eval_path(bool set, const Cell* path_in) {
  Cell* path = stack::push(path_in);
  Cell* cont = stack::push(&fixed_none);
  Cell* parent = stack::push(&fixed_none);
  Cell* prev = stack::push(&fixed_none);
  Cell* elem = stack::push(&fixed_none);
  int32_t head = static_cast<int32_t>(path->w1);
  int32_t len = static_cast<int32_t>(buf_of(path->w2)->cell_count());
  if (head >= len) fire(Err::empty_path);
  *elem = *interpreter::cell_at(path, head);
  if (is_type(elem, T_WORD)) {
    *cont = *interpreter::word_value(elem);
    Node ctx = word_context(elem);
    if (ctx && ctx != context::global() && !is_type(context::owner(ctx), T_OBJECT)) *parent = *context::owner(ctx);
  } else {
    *cont = *elem;
  }
  Cell head_word = *elem;
  for (int32_t i = head + 1; i < len; i++) {
    *elem = *interpreter::cell_at(path, i);
    bool last = i == len - 1;
    PathStep s{path, parent, prev, i - head - 1, false, !set, last, false};
    Cell r = *actions::direct::eval_path(cont, elem, set && last ? stack::base() : nullptr, s);
    if (set && last && scalar::immediate_type(type_of(cont))) {
      // The changed copy of a value kept whole in its cell goes back to its container.
      if (i > head + 1) {
        PathStep up{path, nullptr, nullptr, i - head - 2, false, false, true, false};
        actions::direct::eval_path(parent, prev, cont, up);
      } else if (is_type(&head_word, T_WORD)) {
        context::set(&head_word, cont);
      }
    }
    *parent = *cont;
    *prev = *elem;
    *cont = r;
  }
  Cell r = *cont;
  stack::set_top(path);
  stack::set_result(&r);
}

// --- Selection ---------------------------------------------------------------------------

void select_case(bool push, bool switch_) {
  Cell* value = stack::base();
  Cell* blk = value + 1;
  Cell answer = fixed_none;
  if (!is_type(value, T_BLOCK)) {
    int32_t step = push ? 1 : 2;
    int32_t tail = static_cast<int32_t>(buf_of(blk->w2)->cell_count());
    for (int32_t i = static_cast<int32_t>(blk->w1); i < tail; i += step) {
      Cell c = *interpreter::cell_at(blk, i);
      if (type_of(&c) != type_of(value) || !actions::compare_truth(&c, value, COMP_EQUAL)) continue;
      if (switch_) {
        // The first block after the match; none before the tail answers none.
        for (int32_t j = i + 1; j < tail; j++) {
          if (is_type(interpreter::cell_at(blk, j), T_BLOCK)) {
            answer = *interpreter::cell_at(blk, j);
            break;
          }
        }
      } else {
        answer = i + 1 < tail ? *interpreter::cell_at(blk, i + 1) : c;
      }
      break;
    }
  }
  if (push) stack::push(&answer);
  else stack::set_result(&answer);
}

// --- Loading and conversion ------------------------------------------------------------

Cell* load_value(const Cell* str, Cell* result) {
  Cell* saved = stack::top();
  Cell* blk = stack::push_new();
  set_unset(blk);
  lexer::TranscodeOptions o;
  o.quiet = true;
  lexer::Transcoded t = lexer::transcode(str, blk, o);
  // A scan that stopped before the end of the text loads nothing.
  Cell first = fixed_unset;
  if (!t.ok || static_cast<int32_t>(t.consumed) < string::xs_length_q(str)) first = fixed_none;
  else if (block::xs_length_q(blk) > 0) first = *interpreter::cell_at(blk, static_cast<int32_t>(blk->w1));
  stack::set_top(saved);
  *result = first;
  return result;
}

Cell* load_value_at(const Cell* str) { return load_value(str, stack::base()); }

int32_t float_to_int(const Cell* c) {
  if (!is_type(c, T_FLOAT)) return get_int(c);
  double d = get_double(c);
  if (std::isnan(d) || d >= 2147483648.0 || d < -2147483648.0) {
    Cell v = *c;
    fire(Err::out_of_range, &v);
  }
  return static_cast<int32_t>(std::trunc(d));
}

int append_indent(Cell* str, int32_t n, int budget) {
  for (int32_t i = 0; i < n; i++) actions::append_text(str, "    ");
  return budget - 4 * n;
}

std::byte* fill_repeat(std::byte* buffer, int32_t unit_len, int32_t count) {
  int64_t total = static_cast<int64_t>(unit_len) * count;
  int64_t filled = count > 0 ? unit_len : 0;
  while (filled > 0 && filled * 2 <= total) {
    std::memcpy(buffer + filled, buffer, static_cast<size_t>(filled));
    filled *= 2;
  }
  if (filled < total) std::memcpy(buffer + filled, buffer, static_cast<size_t>(total - filled));
  return buffer + total;
}

}  // namespace xeb::runtime
