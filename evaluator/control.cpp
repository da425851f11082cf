// Conditionals and evaluation natives: if, unless, either, any, all,
// switch, case, do, reduce, compose and apply.

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/port.h"
#include "datatypes/word.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/words.h"
#include "evaluator/actions.h"
#include "evaluator/compare.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "evaluator/trace.h"
#include "lexer/load.h"
#include "runtime/cycle.h"
#include "runtime/throw.h"

namespace xeb::natives {

using interpreter::cell_at;

namespace {

inline int32_t tail_of(const Cell* b) { return static_cast<int32_t>(series::buf(b)->cell_count()); }
// Where a walk over code must stop: its end when it started, or sooner when
// the code was cut short under it (an expression that clears its own
// block). Values added meanwhile are not walked.
inline int32_t live_end(const Cell* b, int32_t end) { return std::min(end, tail_of(b)); }

using interpreter::strict_true;

// Adds a value to a target block cell (on the stack): appended, or
// inserted at the target's position, which then advances.
void add_value(Cell* target, const Cell* value, bool append) {
  Cell v = *value;
  clear_new_line(&v);
  // A hash! indexes what it gains: it goes through insert, at its tail.
  if (append && !is_type(target, T_HASH)) block::xs_append(target, &v);
  else block::insert_value(target, &v, true, false);
}

}  // namespace

void if_(bool, const int32_t*) {
  if (is_false(arg(0))) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  interpreter::eval_block(arg(1), true);
}

void unless(bool, const int32_t*) {
  if (!is_false(arg(0))) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  interpreter::eval_block(arg(1), true);
}

void either(bool, const int32_t*) { interpreter::eval_block(arg(strict_true(arg(0)) ? 1 : 2), true); }

void any(bool, const int32_t*) {
  Cell* code = stack::push(arg(0));
  int32_t pos = series::head(code), end = tail_of(code);
  while (pos < live_end(code, end)) {
    pos = interpreter::eval_expression(code, pos, end, true);
    if (throwing()) return;
    Cell* v = stack::top() - 1;
    if (!is_false(v)) {
      stack::set_result_trim(v);
      return;
    }
    stack::set_top(code + 1);
  }
  stack::set_result_trim(&fixed_none);
}

void all(bool, const int32_t*) {
  Cell* code = stack::push(arg(0));
  int32_t pos = series::head(code), end = tail_of(code);
  if (pos >= end) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  Cell last = fixed_none;
  while (pos < live_end(code, end)) {
    stack::set_top(code + 1);
    pos = interpreter::eval_expression(code, pos, end, true);
    if (throwing()) return;
    Cell* v = stack::top() - 1;
    if (is_false(v)) {
      stack::set_result_trim(&fixed_none);
      return;
    }
    last = *v;
  }
  stack::set_result_trim(&last);
}

void switch_(bool, const int32_t* refs) {
  Cell* value = arg(0);
  Cell* cases = arg(1);
  if (!is_type(value, T_BLOCK)) {
    int32_t end = tail_of(cases);
    for (int32_t i = series::head(cases); i < end; i++) {
      Cell c = *cell_at(cases, i);
      if (type_of(&c) != type_of(value) || !actions::compare_truth(&c, value, COMP_EQUAL)) continue;
      // The first block after the match; none before the tail falls through
      // to the default rather than reading past the end.
      for (int32_t j = i; j < tail_of(cases); j++) {
        if (is_type(cell_at(cases, j), T_BLOCK)) {
          Cell* b = stack::push(cell_at(cases, j));
          interpreter::eval_block(b, true);
          return;
        }
      }
      break;
    }
  }
  if (present(refs[ref(Id::switch_, "default")])) {
    interpreter::eval_block(opt(refs[ref(Id::switch_, "default")]), true);
    return;
  }
  stack::set_result_trim(&fixed_none);
}

void case_(bool, const int32_t* refs) {
  bool all_ = present(refs[ref(Id::case_, "all")]);
  Cell* code = stack::push(arg(0));
  int32_t pos = series::head(code), end = tail_of(code);
  Cell* res = stack::push(&fixed_none);
  bool matched = false;
  while (pos < live_end(code, end)) {
    if (all_) matched = false;
    stack::set_top(res + 1);
    pos = interpreter::eval_expression(code, pos, end, true);
    if (throwing()) return;
    if (pos >= live_end(code, end)) {
      Cell w = words::word(words::W::case_);
      fire(Err::need_value, &w);
    }
    bool t = strict_true(stack::top() - 1);
    stack::set_top(res + 1);
    if (!t) {
      pos++;
      continue;
    }
    if (is_type(cell_at(code, pos), T_BLOCK)) {
      interpreter::eval_block(cell_at(code, pos), false);
      pos++;
    } else {
      pos = interpreter::eval_expression(code, pos, end, true);
    }
    if (throwing()) return;
    *res = *(stack::top() - 1);
    if (!all_) {
      stack::set_result_trim(res);
      return;
    }
    matched = true;
  }
  stack::set_result_trim(matched ? res : &fixed_none);
}

namespace {

// The run of a do/trace that started one: ended on every way out. The end
// event, sent when the code was left normally or by a pending exit, runs the
// callback, which may raise: so it is sent by finish(), never from the
// destructor, which only abandons a run an error left.
struct TraceRun {
  bool started;
  CallFrame* marked;
  void finish() {
    if (marked) stack::clear_frame_body_flag(marked);
    marked = nullptr;
    if (!started) return;
    started = false;
    try {
      interpreter::trace::finish();
    } catch (const LangError&) {
      interpreter::trace::abandon();
      throw;
    }
  }
  ~TraceRun() {
    if (marked) stack::clear_frame_body_flag(marked);
    if (started) interpreter::trace::abandon();
  }
};

}  // namespace

// A script file or URL runs through the library's do-file, with the trace
// callback and the /args value or none.
void do_script(const int32_t* refs) {
  Cell* fn = stack::push(context::get(word::load("do-file")));
  if (!is_type(fn, T_FUNCTION)) fire(Err::not_done);  // before the library is
  Cell* callback = opt(refs[ref(Id::do_, "trace")]);
  Cell* extra = opt(refs[ref(Id::do_, "args")]);
  Cell pass[3] = {*arg(0), callback ? *callback : Cell{T_NONE, 0, 0, 0}, extra ? *extra : Cell{T_NONE, 0, 0, 0}};
  Cell name = *word::load("do-file");
  Cell* r = port::call_hook(&name, fn, std::span<const Cell>(pass, 3), 0);
  if (!r) return;
  stack::set_result_trim(r);
}

namespace {

// The preprocessor's walker, run on the code in place: (code, no job, no
// /clean). It is a library function, absent until the library is. False
// with a non-local exit pending.
bool expand_in_place(Cell* code) {
  Cell* pre = stack::push(context::get(word::load("preprocessor")));
  if (!is_type(pre, T_OBJECT)) fire(Err::not_done);
  Cell name = *word::load("expand");
  Cell* fn = stack::push(object::get_field(pre, &name));
  if (!is_type(fn, T_FUNCTION)) fire(Err::not_done);
  Cell pass[3] = {*code, fixed_none, fixed_false};
  if (!port::call_hook(&name, fn, std::span<const Cell>(pass, 3), 0)) return false;
  stack::set_top(code + 1);
  return true;
}

}  // namespace

void do_(bool check, const int32_t* refs) {
  if (is_type(arg(0), T_FILE) || is_type(arg(0), T_URL)) return do_script(refs);
  if (present(refs[ref(Id::do_, "trace")])) {
    // The callback's type was checked with the other arguments.
    Cell* callback = opt(refs[ref(Id::do_, "trace")]);
    // The traced code sees the caller's frame as a function body: a return
    // in it ends the traced code, not a function around it.
    TraceRun run{false, stack::set_body_flag_below()};
    Cell* code = arg(0);
    bool block = is_type(code, T_BLOCK) || is_type(code, T_PAREN);
    run.started = is_type(callback, T_FUNCTION) && interpreter::trace::start(callback, block ? code : nullptr);
    int32_t plain[4] = {refs[0], refs[1], refs[2], refs[3]};  // every refinement but /trace
    plain[ref(Id::do_, "trace")] = -1;
    // A single value is fetched and, unless it calls or walks a path (whose
    // events are their own), pushed as a block's value would be, with no
    // code block to name.
    TypeId t = type_of(code);
    bool single = !block && t != T_HASH && t != T_STRING && t != T_ERROR;
    bool pushes = single && t != T_PATH && t != T_SET_PATH;
    if (pushes && t == T_WORD) {
      const Cell* v = interpreter::bound_value(code);
      pushes = !v || !(interpreter::callable(type_of(v)) || is_type(v, T_OP));
    }
    if (single) {
      Cell fetched = *code;
      interpreter::trace::event(interpreter::trace::fetch, nullptr, -1, nullptr, &fetched);
    }
    do_(check, plain);
    if (pushes && !throwing()) interpreter::trace::event(interpreter::trace::push, nullptr, -1, nullptr, stack::base());
    run.finish();
    return;
  }
  Cell* value = arg(0);
  switch (type_of(value)) {
    case T_BLOCK: case T_PAREN: case T_HASH: case T_STRING: {
      Cell* code = stack::push(value);
      if (is_type(code, T_STRING)) {
        Cell* loaded = stack::push_new();
        set_unset(loaded);
        lexer::transcode(code, loaded);
        *code = *loaded;
        stack::set_top(code + 1);
      }
      int32_t tail = tail_of(code);
      if (series::head(code) > tail) series::set_head(code, tail);
      if (present(refs[ref(Id::do_, "expand")]) && !expand_in_place(code)) return;
      if (!present(refs[ref(Id::do_, "next")])) {
        interpreter::eval_block(code, true);
        return;
      }
      int32_t next = interpreter::eval_next(code);
      if (throwing()) return;
      Cell r = *(stack::top() - 1);
      series::set_head(code, next);
      interpreter::set_word(opt(refs[ref(Id::do_, "next")]), code);
      stack::set_result_trim(&r);
      return;
    }
    case T_PATH: {
      Cell* p = stack::push(value);
      interpreter::eval_path(p, nullptr, 0, 0, false, false, true, false);
      if (throwing()) return;
      stack::set_result_trim(stack::top() - 1);
      return;
    }
    case T_ERROR:
      stack::throw_error(value);
    case T_WORD: {
      Cell* v = interpreter::word_value(value);
      switch (type_of(v)) {
        case T_UNSET: fire(Err::no_value, value);
        case T_OP: fire(Err::no_op_arg, value);
        case T_NATIVE: case T_ACTION: case T_FUNCTION: case T_ROUTINE: {
          Cell fn = *v, name = *value;
          stack::set_top(stack::base() + 1);
          interpreter::eval_call(&fn, nullptr, 0, 0, false, nullptr, 0, &name, nullptr, interpreter::CALL_NORMAL,
                                 false);
          return;
        }
        default:
          stack::set_result_trim(v);
          return;
      }
    }
    case T_GET_WORD:
      stack::set_result_trim(interpreter::word_value(value));
      return;
    case T_LIT_WORD:
      set_type(value, T_WORD);
      stack::set_result_trim(value);
      return;
    case T_LIT_PATH:
      set_type(value, T_PATH);
      series::set_extra(value, 0);
      stack::set_result_trim(value);
      return;
    case T_SET_WORD: case T_SET_PATH:
      fire(Err::need_value, value);
    default:
      stack::set_result_trim(value);
  }
}

void reduce(bool, const int32_t* refs) {
  Cell* value = arg(0);
  Cell* out = opt(refs[ref(Id::reduce, "into")]);
  Cell* target;
  if (!is_type(value, T_BLOCK)) {
    if (interpreter::callable(type_of(value)) || is_type(value, T_OP)) {
      stack::set_result_trim(value);
      return;
    }
    Cell* one = stack::push(value);
    Cell* holder = block::push_only(1);
    block::xs_append(holder, one);
    interpreter::eval_value(holder, 0, 1, false, true, true);
    if (throwing()) return;
    if (!out) {
      stack::set_result_trim(stack::top() - 1);
      return;
    }
    target = stack::push(out);
    int32_t start = series::head(target);
    bool appending = block::xs_length_q(target) <= 0;
    add_value(target, stack::top() - 2, appending);
    if (appending) series::set_head(target, start);
    stack::set_result_trim(target);
    return;
  }
  Cell* code = stack::push(value);
  int32_t pos = series::head(code), end = tail_of(code);
  if (out) {
    target = stack::push(out);
  } else {
    target = block::push_only(end - pos);
  }
  int32_t start = series::head(target);
  bool appending = !out || block::xs_length_q(target) <= 0;
  while (pos < live_end(code, end)) {
    stack::set_top(target + 1);
    pos = interpreter::eval_expression(code, pos, end, true);
    if (throwing()) return;
    add_value(target, stack::top() - 1, appending);
  }
  if (appending) series::set_head(target, start);
  stack::set_result_trim(target);
}

namespace {

// Composes the block cell `src` into `target`; both lie on the data stack.
void compose_into(Cell* src, Cell* target, bool deep, bool only, bool append) {
  int32_t end = tail_of(src);
  for (int32_t i = series::head(src); i < end && i < tail_of(src); i++) {
    Cell* keep = stack::top();
    Cell el = *cell_at(src, i);
    if (is_type(&el, T_BLOCK) && deep) {
      // The cycle stack bounds the depth and refuses a block inside itself.
      if (cycles::find(series::node_of(&el))) {
        cycles::reset();
        fire(Err::no_cycle);
      }
      Cell* inner = stack::push(&el);
      Cell* made = block::push_only(block::xs_length_q(inner));
      cycles::push(series::node_of(inner));
      compose_into(inner, made, true, only, true);
      cycles::pop();
      if (throwing()) return;
      series::set_head(made, 0);
      add_value(target, made, append);
    } else if (is_type(&el, T_PAREN)) {
      if (block::xs_length_q(&el) <= 0) continue;
      interpreter::eval_block(&el, false);
      if (throwing()) return;
      Cell* r = stack::top() - 1;
      if (is_type(r, T_UNSET)) {
      } else if (only || !is_type(r, T_BLOCK)) {
        add_value(target, r, append);
      } else {
        for (int32_t k = series::head(r); k < tail_of(r); k++) add_value(target, cell_at(r, k), append);
      }
    } else {
      add_value(target, &el, append);
    }
    stack::set_top(keep);
  }
}

}  // namespace

void compose(bool, const int32_t* refs) {
  Cell* value = arg(0);
  if (!is_type(value, T_BLOCK)) {
    Cell want = datatype::make_cell(T_BLOCK), got = datatype::make_cell(type_of(value));
    fire(Err::expect_val, &want, &got);
  }
  Cell* out = opt(refs[ref(Id::compose, "into")]);
  Cell* src = stack::push(value);
  Cell* target = out ? stack::push(out) : block::push_only(block::xs_length_q(src));
  int32_t start = series::head(target);
  bool appending = !out || block::xs_length_q(target) <= 0;
  compose_into(src, target, present(refs[ref(Id::compose, "deep")]), present(refs[ref(Id::compose, "only")]), appending);
  if (throwing()) return;
  if (appending) series::set_head(target, start);
  stack::set_result_trim(target);
}

void apply(bool, const int32_t* refs) {
  Cell* func = arg(0);
  Cell fn, name;
  Cell* path = nullptr;
  switch (type_of(func)) {
    case T_WORD: case T_PATH: {
      Cell w = is_type(func, T_WORD) ? *func : *cell_at(func, series::head(func));
      if (is_type(func, T_PATH)) path = func;
      if (!is_type(&w, T_WORD)) fire(Err::invalid_arg, func);
      fn = *interpreter::word_value(&w);
      name = w;
      break;
    }
    default:
      fn = *func;
      name = words::word(words::W::applied);
  }
  if (is_type(&fn, T_OP)) {
    set_type(&fn, static_cast<TypeId>((fn.header >> 16) & 0xFF));
    fn.header &= HDR_TYPE_MASK;
  }
  if (!interpreter::callable(type_of(&fn))) fire(Err::invalid_arg, func);
  int mode = present(refs[ref(Id::apply, "all")]) ? interpreter::CALL_ALL : interpreter::CALL_INLINE;
  if (present(refs[ref(Id::apply, "safer")])) mode |= interpreter::CALL_SAFER;
  stack::set_interp_flag();
  Cell* code = stack::push(arg(1));
  interpreter::eval_call(&fn, code, series::head(code), tail_of(code), true, path,
                         path ? series::head(path) : 0, &name, nullptr, mode, false);
  if (throwing()) return;
  stack::set_result_trim(stack::top() - 1);
}

}  // namespace xeb::natives
