// object!: objects as values over object contexts, their class ids, the
// change-hook record, making, molding, comparing and path access.
#include "datatypes/object.h"

#include <algorithm>
#include <optional>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "datatypes/ownership.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/cycle.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::object {

void (*eval_block_hook)(Cell* block) = nullptr;
void (*eval_function_hook)(Cell* fn, Node ctx, int32_t name_sym, int trace_mask) = nullptr;

namespace {

int32_t class_counter = FIRST_CLASS;

constexpr uint32_t NO_HOOK = 0xFFFF;


// Without an evaluator, a spec block assigns each set-word the value that
// directly follows its run of set-words.
void assign_in_order(Cell* spec, Cell* obj) {
  int32_t n = static_cast<int32_t>(series::buf(spec)->cell_count());
  for (int32_t i = series::head(spec); i < n; i++) {
    Cell* c = series::buf(spec)->cells() + i;
    if (!is_type(c, T_SET_WORD)) continue;
    int32_t j = i;
    while (j < n && is_type(series::buf(spec)->cells() + j, T_SET_WORD)) j++;
    Cell v = j < n ? series::buf(spec)->cells()[j] : fixed_none;
    Cell w = series::buf(spec)->cells()[i];
    Cell* wp = stack::push(&w);
    Cell* vp = stack::push(&v);
    context::set_in(wp, vp, obj->w1, true);  // a hook may move the context's node
    stack::pop(2);
  }
}

// Series fields that a deep clone copies.
bool cloned_series(TypeId t) {
  switch (t) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH:
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
      return true;
    default:
      return false;
  }
}

// Series fields that making an object from another one copies.
bool extended_series(TypeId t) {
  return cloned_series(t) || series::block_like(t) || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}

// A deep copy of a value through its type's copy slot, in place on the
// data stack; false when the type has no copy.
bool deep_copy(Cell* held) {
  auto copy = datatype::slot<act::Copy>(type_of(held), A_COPY);
  if (!copy) return false;
  uint32_t nl = held->header & HDR_NEW_LINE;
  copy(held, held, nullptr, 1, nullptr);
  held->header = (held->header & ~HDR_NEW_LINE) | nl;
  return true;
}

// Field i of ctx replaced by its deep copy. The context stays rooted by the
// caller's object cell.
void deep_copy_field(Node ctx, int32_t i) {
  Cell* saved = stack::top();
  Cell* held = stack::push(context::values(ctx) + i);
  if (deep_copy(held)) context::values(ctx)[i] = *held;
  stack::set_top(saved);
}

void rebind_field(Node ctx, int32_t i, const Cell* obj) {
  Cell* saved = stack::top();
  Cell* fn = stack::push(context::values(ctx) + i);
  rebind_function(fn, obj);
  context::values(ctx)[i] = *fn;
  stack::set_top(saved);
}

Cell hook_cell(uint32_t key, int32_t index, int32_t count) {
  uint32_t idx = index < 0 ? NO_HOOK : static_cast<uint32_t>(index);
  return Cell{T_PAIR, 0, (idx << 16) | (static_cast<uint32_t>(count) & 0xFFFF), key};
}
int32_t hook_index(const Cell* h) { return static_cast<int32_t>(h->w2) >> 16; }

// The hook's local count for the function now in the field. Counted afresh
// at each firing: a spec node kept as a cache key can be freed and reused by
// another spec after a collection, so no count is cached under it.
int32_t refresh_hook(Node hooks, int which, const Cell* fn) {
  int32_t count = function::count_locals(function::spec_node(fn), 0, false);
  Cell* h = buf_of(hooks)->cells() + which;
  *h = hook_cell(0, hook_index(h), count);
  return count;
}

void call_hook(Cell* fn, Node ctx, words::W name, int mask) {
  if (eval_function_hook) eval_function_hook(fn, ctx, words::sym(name), mask);
}


}  // namespace

void behind_barrier(words::W name, void (*body)(void* env), void* env) {
  Cell* saved = stack::top();
  Cell barrier = words::word(name);
  stack::mark_try_all(&barrier);
  CatchPoint cp(CatchLevel::all);
  try {
    body(env);
  } catch (const LangError&) {
    cp.land();
    Cell e = *stack::top_cell();
    stack::set_top(saved);
    stack::throw_error(stack::push(&e));
  }
  --stack::cs.top;  // the barrier, which owns no cells
  stack::set_base(stack::saved_base(stack::cs.top));
  stack::set_top(saved);
}

namespace {

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  TypeId t = type_of(element);
  if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD) {
    Cell path = step.path ? *step.path : fixed_none;
    Cell* p = stack::push(&path);
    fire(Err::invalid_path, p, element);
  }
  Node ctx = parent->w1;
  int32_t index = word_context(element) == ctx ? word_index(element) : -1;
  if (index < 0) {
    index = context::find_word(ctx, word_symbol(element), true);
    if (index >= 0) {
      set_word_context(element, ctx);
      set_word_index(element, index);
    }
  }
  auto missing = [&]() -> Cell* {
    if (step.lenient && step.tail) return unset::push();
    Cell path = step.path ? *step.path : fixed_none;
    Cell* p = stack::push(&path);
    if (step.tail) fire(Err::invalid_path, p, element);
    fire(Err::unset_path, p, element);
  };
  if (index < 0) return missing();
  if (value) {
    Cell* saved = stack::top();
    Cell* obj = stack::push(parent);
    Cell* w = stack::push(element);
    Cell* old = stack::push(context::values(ctx) + index);
    Cell* nv = stack::push(value);
    context::set_in(w, nv, ctx, false);
    if (obj->w3) fire_on_change(obj, w, old, nv);
    stack::set_top(saved);
    return value;
  }
  Cell* v = context::values(ctx) + index;
  if (is_type(v, T_UNSET)) return missing();
  return v;
}

Cell* select(Cell* obj, Cell* key, Cell*, int, int, int, int, Cell*, Cell*, int, int) {
  TypeId t = type_of(key);
  if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD) {
    Cell* d = datatype::push(t);
    fire(Err::invalid_type, d);
  }
  return get_field(obj, key);
}

Cell* put(Cell* obj, Cell* key, Cell* value, int case_) {
  if (!is_type(key, T_WORD)) {
    Cell* d = datatype::push(type_of(key));
    fire(Err::invalid_key_type, d);
  }
  PathStep step{nullptr, nullptr, nullptr, -1, case_ != 0, false, true, false};
  eval_path(obj, key, value, step);
  return value;
}

Cell* modify(Cell* obj, Cell* field, Cell* value, int) {
  int32_t sym = word_symbol(field);
  if (words::is(sym, words::W::changed)) {
    if (!is_type(value, T_NONE)) fire(Err::invalid_arg, value);
    clear_changed(obj->w1);
  } else if (words::is(sym, words::W::owner)) {
    ownership::bind(obj, obj, nullptr);
  } else if (words::is(sym, words::W::owned)) {
    if (is_type(value, T_NONE)) {
      ownership::unbind(obj);
    } else if (is_type(value, T_BLOCK) && series::get_length(value, false) >= 1) {
      // [owner field]: only the cells the block holds (it read past its tail).
      Cell* c = series::buf(value)->cells() + series::head(value);
      Cell* o = stack::push(c);
      Cell* w = series::get_length(value, false) >= 2 ? stack::push(c + 1) : nullptr;
      ownership::bind(obj, o, w);
      stack::pop(w ? 2 : 1);
    }
  }
  return value;
}

Cell* copy(Cell* obj, Cell* result, Cell* part, int deep, Cell* types) {
  if (part) {
    Cell w = words::word(words::W::part);
    Cell* p = stack::push(&w);
    fire(Err::invalid_refine_arg, p, part);
  }
  return clone(obj, result, deep, types, true);
}

Cell* reflect(Cell* obj, int field) {
  Cell* saved = stack::top();
  Node ctx = obj->w1;
  int32_t n = context::size(ctx);
  Cell* result = stack::push_new();
  set_unset(result);  // marked by a collection inside the allocation below
  if (words::is(field, words::W::class_)) {
    *result = Cell{T_INTEGER, 0, obj->w2, 0};
  } else if (words::is(field, words::W::owner)) {
    *result = Cell{T_LOGIC, (context::cell(ctx)->header & HDR_OWNS_SERIES) ? 1u : 0u, 0, 0};
  } else if (words::is(field, words::W::events_q)) {
    *result = Cell{T_LOGIC, obj->w3 ? 1u : 0u, 0, 0};
  } else if (words::is(field, words::W::changed) || words::is(field, words::W::words) ||
             words::is(field, words::W::values) || words::is(field, words::W::body)) {
    *result = Cell{T_BLOCK, 0, memory::alloc_cells(n > 0 ? n * 2 : 1), 0};
    ctx = obj->w1;  // the allocation may have moved the context's node
    for (int32_t i = 0; i < n; i++) {
      Cell w = *context::word_at(ctx, i);
      Cell v = context::values(ctx)[i];
      if (words::is(field, words::W::changed)) {
        if (!(w.header & HDR_CHANGED)) continue;
        *memory::new_tail_cell(result) = w;
      } else if (words::is(field, words::W::words)) {
        w.header = T_WORD;
        *memory::new_tail_cell(result) = w;
      } else if (words::is(field, words::W::values)) {
        *memory::new_tail_cell(result) = v;
      } else {
        w.header = T_SET_WORD | HDR_NEW_LINE;
        *memory::new_tail_cell(result) = w;
        if (is_type(&v, T_WORD)) set_type(&v, T_LIT_WORD);
        else if (is_type(&v, T_PATH)) set_type(&v, T_LIT_PATH);
        *memory::new_tail_cell(result) = v;
      }
    }
  } else {
    fire(Err::not_done);
  }
  Cell r = *result;
  stack::set_top(saved);
  return stack::set_result(&r);
}

int form(Cell* obj, Cell* buffer, Cell* arg, int part) {
  std::string_view seen = cycles::detect(obj, false);
  if (!seen.empty()) return actions::emit(buffer, seen, part);
  return serialize(obj, buffer, 0, 0, 0, arg, part, 0, 0, 0);
}

}  // namespace

void init() {
  datatype::Registration r{T_OBJECT, 0, "object!"};
  r.hashes(&hashtable::by_word<1>, true);
  r.marks(layout);
  r.set(A_MAKE, &make).set(A_REFLECT, &reflect).set(A_FORM, &form).set(A_MOLD, &mold)
      .set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_COPY, &copy).set(A_PUT, &put)
      .set(A_SELECT, &select).set(A_MODIFY, &modify);
  datatype::register_type(r);
}

int32_t new_class_id() { return ++class_counter; }
int32_t last_class_id() { return class_counter; }
void set_last_class_id(int32_t id) { class_counter = id; }

Cell* make_at(Cell* cell, int32_t slots) {
  Node ctx = context::create(slots, false, true, 0, context::Kind::object);
  *cell = Cell{T_OBJECT, ctx, 0, 0};
  *context::owner(ctx) = *cell;
  return cell;
}

Cell* push(Node ctx, int32_t class_id) {
  Cell* c = stack::push_new();
  *c = Cell{T_OBJECT, ctx, static_cast<uint32_t>(class_id), 0};
  *context::owner(ctx) = *c;
  return c;
}

Cell* push_with_hooks(Node ctx, Node hooks, int32_t class_id) {
  Cell* c = stack::push_new();
  *c = Cell{T_OBJECT, ctx, static_cast<uint32_t>(class_id), hooks};
  *context::owner(ctx) = *c;
  return c;
}

Node make_hooks(uint32_t key1, uint32_t key2, int32_t index1, int32_t count1, int32_t index2, int32_t count2) {
  Node n = memory::alloc_cells(2);
  *memory::alloc_tail_cell(buf_of(n)) = hook_cell(key1, index1, count1);
  *memory::alloc_tail_cell(buf_of(n)) = hook_cell(key2, index2, count2);
  return n;
}

Node find_hooks(Node ctx) {
  int32_t n = context::size(ctx);
  int32_t idx[2] = {-1, -1};
  for (int32_t i = 0; i < n; i++) {
    int32_t s = word_symbol(context::word_at(ctx, i));
    if (words::is(s, words::W::on_change)) idx[0] = i;
    else if (words::is(s, words::W::on_deep_change)) idx[1] = i;
  }
  if (idx[0] < 0 && idx[1] < 0) return 0;
  uint32_t key[2] = {0, 0};
  int32_t count[2] = {0, 0};
  for (int k = 0; k < 2; k++) {
    if (idx[k] < 0) continue;
    Cell v = context::values(ctx)[idx[k]];
    if (!is_type(&v, T_FUNCTION) && !is_type(&v, T_ROUTINE)) {
      Cell w = *context::word_at(ctx, idx[k]);
      Cell* wp = stack::push(&w);
      Cell* d = datatype::push(type_of(&v));
      fire(Err::bad_field_set, wp, d);
    }
    count[k] = function::count_locals(function::spec_node(&v), 0, false);
  }
  return make_hooks(key[0], key[1], idx[0], count[0], idx[1], count[1]);
}

void attach_hooks(Cell* obj) {
  collector::KeepNodes keep;
  obj->w3 = find_hooks(obj->w1);
  if (deep_hook_q(obj)) ownership::bind(obj, obj, nullptr);
  *context::owner(obj->w1) = *obj;
}

bool deep_hook_q(const Cell* obj) {
  return obj->w3 && hook_index(buf_of(obj->w3)->cells() + 1) != -1;
}

// The hooks read what they hold through the data stack after the call, so
// nodes may move while a hook runs (callers that hold nodes across keep them).
void fire_on_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value) {
  if (!obj->w3) return;
  int32_t index = hook_index(buf_of(obj->w3)->cells());
  if (index < 0) return;
  Node ctx = obj->w1;
  Cell* saved = stack::top();
  Cell* fn = stack::push(context::values(ctx) + index);
  if (!is_type(fn, T_FUNCTION)) fire(Err::invalid_obj_evt, fn);
  int32_t count = refresh_hook(obj->w3, 0, fn);
  // The handler always gets a word, also for a set-word of a spec block.
  Cell* w = word;
  if (word_context(word) != ctx || type_of(word) != T_WORD) {
    w = stack::push(word);
    set_type(w, T_WORD);
    if (word_context(w) != ctx) context::bind_word(ctx, w);
  }
  behind_barrier(words::W::on_change, [&] {
    Cell name = words::word(words::W::on_change);
    stack::mark_func(&name, function::context_of(fn));
    stack::push(w);
    stack::push(old_value);
    stack::push(new_value);
    if (count > 0) function::init_locals(count);
    call_hook(fn, ctx, words::W::on_change, 8);
    stack::unwind_func();
  });
  stack::set_top(saved);
}

void fire_on_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
                         int32_t part) {
  if (!owner->w3) fire(Err::invalid_obj_evt, owner);
  int32_t hi = hook_index(buf_of(owner->w3)->cells() + 1);
  if (hi < 0) return;
  Node ctx = owner->w1;
  Cell* saved = stack::top();
  Cell* fn = stack::push(context::values(ctx) + hi);
  if (!is_type(fn, T_FUNCTION)) {
    stack::set_top(saved);
    return;
  }
  int32_t count = refresh_hook(owner->w3, 1, fn);
  behind_barrier(words::W::on_deep_change, [&] {
    Cell name = words::word(words::W::on_deep_change);
    stack::mark_func(&name, function::context_of(fn));
    stack::push(owner);
    stack::push(word);
    stack::push(target);
    stack::push(action);
    stack::push(value ? value : &fixed_none);
    Cell i{T_INTEGER, 0, static_cast<uint32_t>(index), 0}, p{T_INTEGER, 0, static_cast<uint32_t>(part), 0};
    stack::push(&i);
    stack::push(&p);
    if (count > 0) function::init_locals(count);
    call_hook(fn, ctx, words::W::on_deep_change, 16);
    stack::unwind_func();
  });
  stack::set_top(saved);
}

Cell* get_field(const Cell* obj, const Cell* word) {
  int32_t i = find_field(obj, word);
  return i >= 0 ? context::values(obj->w1) + i : &fixed_none;
}

int32_t find_field(const Cell* obj, const Cell* word) {
  return context::find_word(obj->w1, word_symbol(word), true);
}

int32_t field_count(const Cell* obj) { return context::size(obj->w1); }
Cell* get_values(const Cell* obj) { return context::values(obj->w1); }

void clear_changed(Node ctx) {
  for (Cell *w = context::words(ctx), *e = w + context::size(ctx); w < e; w++) w->header &= ~HDR_CHANGED;
}

Cell* clone(Cell* src, Cell* dst, bool deep, Cell* types, bool recompute_hooks) {
  collector::KeepNodes keep;
  Cell s = *src;
  Cell type_set = types ? *types : fixed_none;
  Cell* saved = stack::top();
  Cell* hold = stack::push(&s);
  Cell* d = stack::push(&s);
  Node ctx = context::clone(d, context::Kind::object);
  int32_t n = context::size(ctx);
  for (int32_t i = 0; i < n; i++) context::values(ctx)[i] = context::values(hold->w1)[i];
  d->w3 = recompute_hooks ? 0 : s.w3;
  *context::owner(ctx) = *d;
  // Functions are always rebound: a shared one would still run in the
  // source object. Other fields are shared unless copied below.
  for (int32_t i = 0; i < n; i++) {
    TypeId t = type_of(context::values(ctx) + i);
    if (t == T_FUNCTION) rebind_field(ctx, i, d);
    else if (deep && !types && cloned_series(t)) deep_copy_field(ctx, i);
  }
  if (types && n > 0) {
    if (deep) {
      if (cycles::find(hold->w1)) {
        cycles::reset();
        fire(Err::no_cycle);
      }
      cycles::push(hold->w1);
    }
    Cell* store = stack::push_new();
    *store = Cell{T_BLOCK, 0, context::store_of(ctx), 0};
    Cell* ts = stack::push(&type_set);
    block::copy_types(store, 0, n, 1, deep, ts);
    if (deep) cycles::pop();
  }
  if (recompute_hooks) attach_hooks(d);
  Cell r = *d;
  stack::set_top(saved);
  *dst = r;
  return dst;
}

Cell* rebind_function(Cell* fn, const Cell* obj_in) {
  collector::KeepNodes keep;
  if (is_type(function::more(fn), T_NONE)) fire(Err::bad_func_def, fn);
  Cell* saved = stack::top();
  Cell* obj = stack::push(obj_in);
  Cell* spec = stack::push_new();
  *spec = Cell{T_BLOCK, 0, function::spec_node(fn), 0};
  Cell* holder = stack::push(fn);
  Node fctx = context::clone(holder, context::Kind::function);
  uint32_t flags = fn->header & (HDR_TRACE | HDR_NO_TRACE | HDR_LIBRARY);
  // push copies the body deeply and, with a context given, leaves the copy
  // unbound: bound here, first to the object, then to the new arguments.
  function::push(spec, function::more(fn), fctx, 0, 0, flags);
  Cell* nf = stack::top() - 1;
  Cell* body = stack::push(function::more(nf));
  context::bind(body, obj->w1, true);
  context::bind(body, fctx, false);
  set_unset(function::more(nf) + 2);
  *fn = *nf;
  stack::set_top(saved);
  return fn;
}

bool extend_from_object(Cell* dst, Node src) {
  collector::KeepNodes keep;
  Node d = dst->w1;
  int32_t before = context::size(d);
  Cell* saved = stack::top();
  for (int32_t i = 0; i < context::size(src); i++) {
    Cell w = *context::word_at(src, i);
    set_word_index(&w, -1);
    Cell* wp = stack::push(&w);
    Cell* vp = stack::push(context::values(src) + i);
    context::set_in(wp, vp, d, false);
    stack::set_top(saved);
  }
  for (int32_t i = 0; i < context::size(d); i++) {
    TypeId t = type_of(context::values(d) + i);
    if (extended_series(t)) deep_copy_field(d, i);
    else if (t == T_FUNCTION) rebind_field(d, i, dst);
  }
  return context::size(d) > before;
}

void copy_series_fields(Node src, Node dst, bool copy_all) {
  collector::KeepNodes keep;
  int32_t n = std::min(context::size(src), context::size(dst));
  Cell* saved = stack::top();
  for (int32_t i = 0; i < n; i++) {
    Cell* held = stack::push(context::values(src) + i);
    TypeId t = type_of(held);
    if (extended_series(t)) {
      if (deep_copy(held) && series::block_like(t)) context::bind(held, dst, true);
      context::values(dst)[i] = *held;
    } else if (copy_all) {
      context::values(dst)[i] = *held;
    }
    stack::set_top(saved);
  }
}

bool construct_fields(Node ctx, const Cell* spec_in, bool only) {
  collector::KeepNodes keep;
  int32_t before = context::size(ctx);
  Cell* saved = stack::top();
  Cell* spec = stack::push(spec_in);
  auto len = [&] { return static_cast<int32_t>(series::buf(spec)->cell_count()); };
  auto at = [&](int32_t i) { return series::buf(spec)->cells() + i; };
  for (int32_t i = series::head(spec); i < len(); i++) {
    if (!is_type(at(i), T_SET_WORD)) continue;
    int32_t j = i;
    while (j < len() && is_type(at(j), T_SET_WORD)) j++;
    Cell v = j < len() ? *at(j) : fixed_none;
    if (!only && is_type(&v, T_WORD)) {
      int32_t sym = word_symbol(&v);
      if (words::is(sym, words::W::true_) || words::is(sym, words::W::yes) || words::is(sym, words::W::on))
        v = fixed_true;
      else if (words::is(sym, words::W::false_) || words::is(sym, words::W::no) || words::is(sym, words::W::off))
        v = fixed_false;
      else if (words::is(sym, words::W::none))
        v = fixed_none;
    }
    Cell* w = stack::push(at(i));
    context::put(ctx, w, &v);
    stack::set_top(saved + 1);
  }
  stack::set_top(saved);
  return context::size(ctx) > before;
}

Cell* construct(const Cell* spec_in, const Cell* proto_in, bool only) {
  collector::KeepNodes keep;
  Cell spec_v = *spec_in;
  Cell proto_v = proto_in ? *proto_in : fixed_none;
  Cell* result = stack::push_new();
  set_unset(result);
  Cell* spec = stack::push(&spec_v);
  if (proto_in) {
    Cell* proto = stack::push(&proto_v);
    datatype::slot<act::Copy>(T_OBJECT, A_COPY)(proto, result, nullptr, 1, nullptr);
  } else {
    make_at(result, 4);
    result->w2 = static_cast<uint32_t>(new_class_id());
    *context::owner(result->w1) = *result;
  }
  construct_fields(result->w1, spec, only);
  stack::set_top(result + 1);
  return result;
}

// Nothing here allocates but the hooks, which run with nodes as free to move
// as the caller lets them be: the context is read again after each.
void set_many(Cell* obj_in, const Cell* value_in, bool any, bool only, bool some) {
  Cell* saved = stack::top();
  Cell* obj = stack::push(obj_in);
  Cell* src = stack::push(value_in);
  Node ctx = obj->w1;
  int32_t n = context::size(ctx);
  int32_t hook1 = -1, hook2 = -1;
  if (obj->w3) {
    hook1 = hook_index(buf_of(obj->w3)->cells());
    hook2 = hook_index(buf_of(obj->w3)->cells() + 1);
  }
  enum class From { block, object, one } from = From::one;
  if (!only && is_type(src, T_BLOCK)) from = From::block;
  else if (!only && type_of(src) == T_OBJECT) from = From::object;
  // The source cell paired with field i (by position), or null past its end.
  auto source_at = [&](int32_t i) -> Cell* {
    switch (from) {
      case From::block: {
        int32_t k = series::head(src) + i;
        return k < static_cast<int32_t>(series::buf(src)->cell_count()) ? series::buf(src)->cells() + k : nullptr;
      }
      case From::object:
        return i < context::size(src->w1) ? context::values(src->w1) + i : nullptr;
      default:
        return src;
    }
  };
  if (!only && !some && !any) {
    for (int32_t i = 0; i < n; i++) {
      Cell* c = source_at(i);
      if (!c) break;
      if (is_type(c, T_UNSET)) {
        Cell w = *context::word_at(ctx, i);
        set_type(&w, T_WORD);
        Cell* wp = stack::push(&w);
        fire(Err::need_value, wp);
      }
    }
  }
  for (int32_t i = 0; i < n && i < context::size(ctx); i++) {
    Cell v;
    if (from == From::object) {
      int32_t k = context::find_word(src->w1, word_symbol(context::word_at(ctx, i)), true);
      if (k < 0) continue;  // a field the source lacks is left alone
      v = context::values(src->w1)[k];
    } else {
      Cell* c = source_at(i);
      v = c ? *c : fixed_none;
    }
    if (some && is_type(&v, T_NONE)) continue;
    context::word_at(ctx, i)->header |= HDR_CHANGED;
    if (i == hook1 || i == hook2) continue;  // set never replaces a hook
    if (!obj->w3) {
      context::values(ctx)[i] = v;
      continue;
    }
    Cell* w = stack::push(context::word_at(ctx, i));
    set_type(w, T_WORD);
    set_word_context(w, ctx);
    set_word_index(w, i);
    Cell* old = stack::push(context::values(ctx) + i);
    Cell* nv = stack::push(&v);
    context::values(ctx)[i] = v;
    fire_on_change(obj, w, old, nv);
    ctx = obj->w1;
    stack::set_top(src + 1);
  }
  stack::set_top(saved);
}

void set_hooks(Node ctx, int32_t index1, int32_t count1, int32_t index2, int32_t count2) {
  collector::KeepNodes keep;
  Cell* obj = stack::top() - 1;
  obj->w3 = make_hooks(0, 0, index1, count1, index2, count2);
  if (index2 != -1) ownership::bind(obj, obj, nullptr);
  *context::owner(ctx) = *obj;
}

void fire_on_set(Cell* obj, Cell* word) {
  Cell* old_value = stack::top() - 1;
  Cell* new_value = stack::top() - 2;
  fire_on_change(obj, word, old_value, new_value);
}

void fire_on_set_word(Cell* obj_word, Cell* word) {
  Cell* old_value = stack::top() - 1;
  Cell* new_value = stack::top() - 2;
  Cell* obj = stack::push(context::get(obj_word));
  fire_on_change(obj, word, old_value, new_value);
  stack::pop(1);
}

bool of_class_q(Cell* word, int32_t class_id) {
  Cell* v = context::get(word);
  return type_of(v) == T_OBJECT && static_cast<int32_t>(v->w2) == class_id;
}

bool field_of_class_q(Node ctx, int32_t index, int32_t class_id) {
  Cell* v = context::values(ctx) + index;
  return type_of(v) == T_OBJECT && static_cast<int32_t>(v->w2) == class_id;
}

Cell* first_word(const Cell* obj) { return context::words(obj->w1); }
Cell* get_word(Node ctx, int32_t index) { return context::word_at(ctx, index); }

void clear_new_lines(Node ctx) {
  for (Cell *v = context::values(ctx), *e = v + context::size(ctx); v < e; v++) clear_new_line(v);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  std::optional<collector::KeepNodes> keep(std::in_place);
  Cell* result = stack::push_new();
  set_unset(result);
  bool has_proto = is_type(proto, T_OBJECT);
  int32_t proto_class = has_proto ? static_cast<int32_t>(proto->w2) : 0;
  Node proto_ctx = has_proto ? proto->w1 : 0;
  Cell* proto_held = has_proto ? stack::push(proto) : nullptr;
  // A shallow clone: the series fields are copied (and bound to the new
  // object) from the prototype below, so a deep clone would copy them twice.
  if (has_proto) clone(proto_held, result, false, nullptr, false);
  else make_at(result, 4);
  switch (type_of(spec)) {
    case T_OBJECT: {
      Cell* src = stack::push(spec);
      bool added = extend_from_object(result, src->w1);
      stack::set_top(result + 1);
      result->w2 = static_cast<uint32_t>(added || !has_proto ? new_class_id() : proto_class);
      attach_hooks(result);
      break;
    }
    case T_BLOCK: {
      Cell* body = stack::push(spec);
      bool added = context::collect_set_words(result->w1, body);
      *context::owner(result->w1) = *result;
      context::bind(body, result->w1, true);
      if (has_proto) copy_series_fields(proto_ctx, result->w1, false);
      // The body (and the prototype's hooks its set-words fire) runs with
      // nodes as free to move as the caller lets them be: from here on the
      // object is read through its data-stack cell.
      keep.reset();
      if (eval_block_hook) {
        eval_block_hook(body);
        if (throwing()) return result;  // the stacks are the pending exit's
      } else {
        assign_in_order(body, result);
      }
      clear_changed(result->w1);
      clear_new_lines(result->w1);
      result->w2 = static_cast<uint32_t>(added || !has_proto ? new_class_id() : proto_class);
      attach_hooks(result);
      break;
    }
    default:
      fire(Err::malconstruct, spec);
  }
  stack::set_top(result + 1);
  return result;
}

namespace {

// The last field that mold and form write: the hook fields are left out
// unless /all. -1 when none is written.
int32_t last_shown(Node ctx, int all) {
  int32_t last = context::size(ctx) - 1;
  for (; last >= 0 && !all; last--) {
    int32_t s = word_symbol(context::word_at(ctx, last));
    if (!words::is(s, words::W::on_change) && !words::is(s, words::W::on_deep_change)) break;
  }
  return last;
}

}  // namespace

int serialize(Cell* obj, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int newline_mode,
              int indent, int lead) {
  Node ctx = obj->w1;
  // The separator goes only between written fields, so no hook field left
  // out leaves one behind, and an object with only hook fields writes nothing.
  int32_t last = last_shown(ctx, all);
  if (last < 0) return part;
  const char* sep = "\n";
  if (flat) {
    newline_mode = 0;
    sep = " ";
  } else if (lead) {
    if (only) newline_mode = 0;
    else part = actions::emit(buffer, "\n", part);
  }
  cycles::push(ctx);
  Cell* saved = stack::top();
  for (int32_t i = 0; i <= last; i++) {
    if (part <= 0) break;
    ctx = obj->w1;  // molding the last value may have moved the context's node
    Cell w = *context::word_at(ctx, i);
    int32_t s = word_symbol(&w);
    if (!all && (words::is(s, words::W::on_change) || words::is(s, words::W::on_deep_change))) continue;
    if (newline_mode) part = actions::append_indent(buffer, indent, part);
    w.header = T_WORD;
    Cell* wp = stack::push(&w);
    part = word::mold(wp, buffer, 0, 0, 0, nullptr, part, 0);
    part = actions::emit(buffer, ": ", part);
    Cell* v = stack::push(context::values(ctx) + i);
    if ((v->header & HDR_TYPE_MASK) == 0) set_unset(v);
    if (is_type(v, T_WORD)) part = actions::emit(buffer, "'", part);
    part = actions::mold(v, buffer, 0, all, flat, arg, part, indent);
    if (newline_mode || i < last) part = actions::emit(buffer, sep, part);
    stack::set_top(saved);
  }
  stack::set_top(saved);
  cycles::pop();
  return part;
}

int mold(Cell* obj, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  std::string_view seen = cycles::detect(obj, true);
  if (!seen.empty()) return actions::emit(buffer, seen, part);
  if (!only) part = actions::emit(buffer, "make object! [", part);
  part = serialize(obj, buffer, only, all, flat, arg, part, 1, indent + 1, 1);
  if (!flat && indent > 0 && last_shown(obj->w1, all) >= 0) part = actions::append_indent(buffer, indent, part);
  if (!only) part = actions::emit(buffer, "]", part);
  return part;
}

int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_OBJECT)) return COMPARE_INVALID;
  Node ca = a->w1, cb = b->w1;
  if (ca == cb) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find(ca)) return cycles::find(cb) ? 0 : -1;
  int32_t na = context::size(ca), nb = context::size(cb);
  if (na != nb) return na < nb ? -1 : 1;
  if (na == 0) return 0;
  cycles::push(ca);
  cycles::push(cb);
  int result = 0;
  Cell* saved = stack::top();
  for (int32_t i = 0; i < na && result == 0; i++) {
    int32_t sa = symbol::resolve(word_symbol(context::word_at(ca, i)));
    int32_t sb = symbol::resolve(word_symbol(context::word_at(cb, i)));
    if (sa != sb) {
      result = sa < sb ? -1 : 1;
      break;
    }
    Cell* va = stack::push(context::values(ca) + i);
    Cell* vb = stack::push(context::values(cb) + i);
    TypeId ta = type_of(va), tb = type_of(vb);
    auto numeric = [](TypeId t) { return t == T_INTEGER || t == T_FLOAT || t == T_PERCENT; };
    if (ta == tb || (any_word(ta) && any_word(tb)) || (numeric(ta) && numeric(tb))) {
      result = actions::compare(va, vb, op);
      if (result == COMPARE_INVALID) result = 1;
    } else {
      result = ta < tb ? -1 : 1;
    }
    stack::set_top(saved);
  }
  cycles::pop();
  cycles::pop();
  return result;
}

int compare_as_objects(const Cell* value1, const Cell* value2, TypeId t, int op) {
  if (!is_type(value2, t)) return COMPARE_INVALID;
  Cell a = *value1, b = *value2;
  set_type(&a, T_OBJECT);
  set_type(&b, T_OBJECT);
  return compare(&a, &b, op);
}

}  // namespace xeb::object
