// Path evaluation: the head word's value, then one path-element step per
// further element through the container type's slot; a function reached is
// called with the remaining elements as its refinements.
#include "datatypes/series.h"
#include "datatypes/context.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/scalar.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "runtime/throw.h"

namespace xeb::interpreter {

namespace {

// After a set through step k changed the container in place: while that
// container is a value kept whole in its cell, it is stored into the
// container before it by the element that reached it (through that type's
// own setter, so owners hear of it), and finally into the head word. An
// event is kept whole in its cell too: the global handlers retype events.
void store_back(Cell* head_word, Cell* path, Cell* chain, int32_t k, Cell* changed, bool case_) {
  while (scalar::immediate_type(type_of(changed)) || type_of(changed) == T_EVENT) {
    if (k == 0) {
      context::set(head_word, changed);
      return;
    }
    k--;
    Cell* container = chain + 2 * k;
    Cell* element = container + 1;
    act::EvalPath step = actions::get_path_action(container, path, element, k);
    PathStep s{path, nullptr, nullptr, k, case_, false, true, false};
    step(container, element, changed, s);
    changed = container;
  }
}

}  // namespace

int32_t eval_path(Cell* path_in, Cell* code, int32_t pos, int32_t end, bool set, bool get, bool push, bool case_,
                  Cell* value) {
  Cell* start = push ? stack::top() : stack::base();
  // Work cells, all on the data stack: the path, the value reached, its
  // parent, the element that reached it, and the current element's value.
  Cell* path = stack::push(path_in);
  Cell* cont = stack::push(&fixed_none);
  Cell* parent = stack::push(&fixed_none);
  Cell* prev = stack::push(&fixed_none);
  Cell* item = stack::push(&fixed_none);
  Cell* elem = stack::push(&fixed_none);

  int32_t head = series::head(path);
  int32_t len = static_cast<int32_t>(series::buf(path)->cell_count());
  if (head >= len) fire(Err::empty_path);
  trace::event(trace::enter, path, head, nullptr, nullptr);
  trace::event(trace::fetch, path, head, nullptr, cell_at(path, head));
  len = static_cast<int32_t>(series::buf(path)->cell_count());  // the callback may have cut it
  if (head >= len) fire(Err::empty_path);
  // On the data stack too: a paren in the path may move its context's node
  // before a set stores back through it.
  Cell* first = stack::push(cell_at(path, head));
  // A set keeps each step's container and element: a value kept whole in
  // its cell is changed in a copy, which must go back where it came from.
  Cell* chain = stack::top();
  if (set)
    for (int32_t i = head + 1; i < len; i++) stack::push(&fixed_none), stack::push(&fixed_none);
  Cell* work = stack::top();
  if (!is_type(first, T_WORD)) fire(Err::word_first, path);
  Cell* v = word_value(first);
  if (callable(type_of(v))) {
    if (set) fire(Err::invalid_path_set, path);
    if (get) fire(Err::invalid_path_get, path);
    Cell fn = *v;
    pos = eval_call(&fn, code, pos, end, true, path, head, first, nullptr, CALL_NORMAL, false);
    if (throwing()) return pos;
    *cont = *(stack::top() - 1);
  } else {
    if (is_type(v, T_UNSET)) fire(Err::unset_path, path, first);
    *cont = *v;
    trace::event(trace::push, path, head, nullptr, cont);
    Node ctx = word_context(first);
    if (ctx && ctx != context::global() && !is_type(context::owner(ctx), T_OBJECT)) *parent = *context::owner(ctx);
    for (int32_t i = head + 1; i < len && i < static_cast<int32_t>(series::buf(path)->cell_count()); i++) {
      stack::set_top(work);
      trace::event(trace::fetch, path, i, nullptr, cell_at(path, i));
      if (i >= static_cast<int32_t>(series::buf(path)->cell_count())) break;
      *elem = *cell_at(path, i);
      switch (type_of(elem)) {
        case T_GET_WORD:
          *item = *word_value(elem);
          break;
        case T_PAREN:
          eval_block(elem, false);
          if (throwing()) return pos;
          *item = *(stack::top() - 1);
          stack::set_top(work);
          break;
        default:
          *item = *elem;
      }
      trace::event(trace::push, path, i, nullptr, item);
      if (is_type(item, T_UNSET)) fire(Err::invalid_path, path, elem);
      bool last = i == len - 1;
      act::EvalPath step = actions::get_path_action(cont, path, item, i - head - 1);
      PathStep s{path, parent, prev, i - head - 1, case_, get, last, false};
      if (set) {
        chain[2 * (i - head - 1)] = *cont;
        chain[2 * (i - head - 1) + 1] = *item;
      }
      Cell* r = step(cont, item, set && last ? value : nullptr, s);
      Cell result = *r;
      if (set && last) store_back(first, path, chain, i - head - 1, cont, case_);
      if (!get && !set && callable(type_of(&result))) {
        Cell owner = *cont;
        Cell name = is_type(elem, T_WORD) ? *elem : anon_word();
        // The call's frame names the method as its object binds it, so that
        // error reports and the debugger find it there.
        if (is_type(elem, T_WORD) && is_type(&owner, T_OBJECT)) context::bind_word(object::context_of(&owner), &name);
        *parent = owner;
        pos = eval_call(&result, code, pos, end, true, path, i, &name, parent, CALL_NORMAL, false);
        if (throwing()) return pos;
        *cont = *(stack::top() - 1);
        break;
      }
      *parent = *cont;
      *prev = *elem;
      *cont = result;
    }
  }
  trace::event(trace::exit, path, static_cast<int32_t>(series::buf(path)->cell_count()), nullptr, cont);
  Cell r = *cont;
  if (push) {
    stack::set_top(start);
    stack::push(&r);
  } else {
    stack::set_result_trim(&r);
  }
  return pos;
}

}  // namespace xeb::interpreter
