// Words, contexts and function makers: func, function, does, has, get,
// set, unset, value?, context?, bind, in, type?, construct, extend,
// new-line and new-line?.
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/words.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "runtime/throw.h"

namespace xeb::natives {

using interpreter::cell_at;

namespace {

void clamp_head(Cell* b) {
  int32_t n = static_cast<int32_t>(series::buf(b)->cell_count());
  if (series::head(b) > n) series::set_head(b, n);
}

// func over two cells on the data stack; the new function! is the result.
void make_function(Cell* spec, Cell* body) {
  clamp_head(spec);
  clamp_head(body);
  uint32_t flags = function::validate(spec);
  function::push(spec, body, 0, 0, 0, flags);
  stack::set_result_trim(stack::top() - 1);
}

bool is_path(TypeId t) { return t == T_PATH || t == T_GET_PATH || t == T_SET_PATH || t == T_LIT_PATH; }

// The context a bind or in target refers to, or 0.
Node context_of(const Cell* v) {
  switch (type_of(v)) {
    case T_OBJECT: case T_ERROR: case T_PORT:
      return object::context_of(v);
    case T_FUNCTION: case T_ROUTINE:
      return function::context_of(v);
    default:
      return any_word(type_of(v)) ? word_context(v) : 0;
  }
}

}  // namespace

void func(bool, const int32_t*) { make_function(arg(0), arg(1)); }

void function(bool, const int32_t*) {
  Cell* spec = block::clone(arg(0), false, false);
  Cell* body = stack::push(arg(1));
  function::collect_words(spec, body);
  make_function(spec, body);
}

void does(bool, const int32_t*) {
  Cell* body = stack::push(arg(0));
  Cell* spec = block::push_only(0);
  make_function(spec, body);
}

void has(bool, const int32_t*) {
  Cell* spec = block::clone(arg(0), false, false);
  Cell* body = stack::push(arg(1));
  Cell local = words::refinement(words::W::local_);
  block::insert_value(spec, &local, false, true);
  make_function(spec, body);
}

void get(bool, const int32_t* refs) {
  Cell* w = arg(0);
  if (is_path(type_of(w))) {
    interpreter::eval_path(w, nullptr, 0, 0, false, true, true, present(refs[ref(Id::get, "case")]));
    if (throwing()) return;
    stack::set_result_trim(stack::top() - 1);
    return;
  }
  if (is_type(w, T_OBJECT)) {
    Cell field = words::word(words::W::values);
    Cell* r = actions::direct::reflect(w, &field);
    stack::set_result_trim(r);
    return;
  }
  Cell* v = interpreter::word_value(w);
  if (is_type(v, T_UNSET) && !present(refs[ref(Id::get, "any")])) fire(Err::no_value, w);
  stack::set_result_trim(v);
}

void set(bool, const int32_t* refs) {
  Cell* w = arg(0);
  Cell* value = arg(1);
  bool any_ = present(refs[ref(Id::set, "any")]), only = present(refs[ref(Id::set, "only")]), some = present(refs[ref(Id::set, "some")]);
  if (is_type(value, T_UNSET) && !any_) fire(Err::need_value, w);
  TypeId t = type_of(w);
  if (is_path(t)) {
    interpreter::eval_path(w, nullptr, 0, 0, true, false, true, present(refs[ref(Id::set, "case")]), value);
    if (throwing()) return;
  } else if (t == T_OBJECT) {
    object::set_many(w, value, any_, only, some);
  } else if (t == T_BLOCK) {
    Cell name = interpreter::anon_word();
    stack::push_frame(&name, frame_flags(FrameType::native) | FRAME_INTERP);
    Cell* words_ = stack::push(w);
    Cell* values = stack::push(value);
    int32_t n = block::xs_length_q(words_);
    bool spread = !only && (series::block_like(type_of(values)) || is_type(values, T_MAP));
    int32_t nv = spread ? block::xs_length_q(values) : 0;
    auto word_at = [&](int32_t i) { return cell_at(words_, series::head(words_) + i); };
    auto value_at = [&](int32_t i) { return cell_at(values, series::head(values) + i); };
    if (spread) {
      for (int32_t i = 0; i < n; i++) {
        Cell* e = word_at(i);
        TypeId et = type_of(e);
        if (et != T_WORD && et != T_SET_WORD && et != T_GET_WORD && et != T_LIT_WORD) fire(Err::invalid_arg, e);
        if (i < nv && is_type(value_at(i), T_UNSET) && !any_) fire(Err::need_value, e);
      }
    }
    for (int32_t i = 0; i < n; i++) {
      Cell v = spread ? (i < nv ? *value_at(i) : fixed_none) : *values;
      if (some && is_type(&v, T_NONE)) continue;
      Cell* wc = stack::push(word_at(i));
      Cell* vc = stack::push(&v);
      if (!any_word(type_of(wc))) fire(Err::invalid_arg, wc);
      interpreter::set_word(wc, vc);
      stack::pop(2);
    }
    stack::unwind();
  } else {
    interpreter::set_word(w, value);
  }
  stack::set_result_trim(arg(1));
}

void unset(bool, const int32_t*) {
  Cell* w = arg(0);
  Cell* u = stack::push(&fixed_unset);
  if (is_type(w, T_BLOCK)) {
    for (int32_t i = series::head(w); i < static_cast<int32_t>(series::buf(w)->cell_count()); i++) {
      Cell* wc = stack::push(cell_at(w, i));
      if (any_word(type_of(wc))) interpreter::set_word(wc, u);
      stack::pop(1);
    }
  } else {
    interpreter::set_word(w, u);
  }
  stack::set_result_trim(&fixed_unset);
}

void value_q(bool, const int32_t*) {
  Cell* v = arg(0);
  bool r;
  if (any_word(type_of(v))) {
    Cell* found = interpreter::bound_value(v);
    r = found && !is_type(found, T_UNSET);
  } else {
    r = !is_type(v, T_UNSET);
  }
  stack::set_result_trim(r ? &fixed_true : &fixed_false);
}

void context_q(bool, const int32_t*) {
  Node ctx = word_context(arg(0));
  if (!ctx) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  stack::set_result_trim(context::owner(ctx));
}

void bind(bool, const int32_t* refs) {
  Cell* target = arg(1);
  Node ctx = context_of(target);
  if (!ctx) fire(Err::invalid_arg, target);
  bool self = is_type(target, T_OBJECT);
  Cell* w = arg(0);
  if (is_type(w, T_BLOCK)) {
    Cell* b = present(refs[ref(Id::bind, "copy")]) ? block::clone(w, true, false) : stack::push(w);
    context::bind(b, context_of(target), self);  // the copy may have moved the context's node
    stack::set_result_trim(b);
    return;
  }
  context::bind_word(ctx, w);
  stack::set_top(stack::base() + 1);
}

void in(bool, const int32_t*) {
  Node ctx = context_of(arg(0));
  Cell* w = arg(1);
  if (!ctx || context::bind_word(ctx, w) < 0) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  if (is_type(w, T_REFINEMENT)) set_type(w, T_WORD);
  stack::set_result_trim(w);
}

void type_q(bool, const int32_t* refs) {
  int t = type_of(arg(0));
  if (present(refs[ref(Id::type_q, "word")])) {
    Cell w = datatype::entries[t].word;
    stack::set_result_trim(&w);
    return;
  }
  Cell d = datatype::make_cell(t);
  stack::set_result_trim(&d);
}

void construct(bool, const int32_t* refs) {
  Cell* r = object::construct(arg(0), present(refs[ref(Id::construct, "with")]) ? opt(refs[ref(Id::construct, "with")]) : nullptr, present(refs[ref(Id::construct, "only")]));
  stack::set_result_trim(r);
}

// An object is never extended.
void extend(bool, const int32_t* refs) {
  if (!is_type(arg(0), T_MAP)) fire(Err::not_done);
  map::extend(arg(0), arg(1), present(refs[ref(Id::extend, "case")]));
}

void new_line(bool, const int32_t* refs) {
  Cell* pos = arg(0);
  bool on = !is_false(arg(1));
  int32_t step = 0;
  if (present(refs[ref(Id::new_line, "all")])) step = 1;
  if (present(refs[ref(Id::new_line, "skip")])) {
    Cell* size = opt(refs[ref(Id::new_line, "skip")]);
    step = get_int(size);
    if (step <= 0) fire(Err::out_of_range, size);
  }
  int32_t n = block::xs_length_q(pos);
  Cell* first = stamp::write_cells(series::node_of(pos)) + series::head(pos);
  auto mark = [](Cell* c, bool m) {
    if (m) c->header |= HDR_NEW_LINE;
    else c->header &= ~HDR_NEW_LINE;
  };
  if (step == 0) {
    if (n > 0) mark(first, on);
  } else {
    for (int32_t i = 0; i < n; i++) mark(first + i, step == 1 || i % step == 0 ? on : !on);
  }
  stack::set_top(stack::base() + 1);
}

void new_line_q(bool, const int32_t*) {
  Cell* pos = arg(0);
  bool r = block::xs_length_q(pos) > 0 && (cell_at(pos, series::head(pos))->header & HDR_NEW_LINE);
  stack::set_result_trim(r ? &fixed_true : &fixed_false);
}

}  // namespace xeb::natives

