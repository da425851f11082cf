// native!, action! and op!: built-ins by table number and infix operators.
// Code is never an address in a cell: word 1 holds the 1-based table index.
#include "datatypes/native.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb {

namespace native {

int32_t table_size = 0;
void (*show_spec_hook)(const Cell*) = nullptr;
void (*own_frame_hook)(Cell*) = nullptr;

namespace {

// make native! / make action! [spec index]: the index is bounded by the
// size of its table.
Cell* make_builtin(Cell* proto, Cell* spec, TypeId type, int32_t limit) {
  collector::KeepNodes keep;
  bool ok = is_type(spec, T_BLOCK) && series::buf(spec)->cell_count() - series::head(spec) == 2;
  Cell* cells = ok ? series::buf(spec)->cells() + series::head(spec) : nullptr;
  if (!ok || !is_type(cells, T_BLOCK) || !is_type(cells + 1, T_INTEGER) || get_int(cells + 1) < 1 ||
      get_int(cells + 1) > limit)
    fire(Err::bad_make_arg, proto, spec);
  int32_t index = get_int(cells + 1);
  Cell* result = stack::push_new();
  set_unset(result);
  Cell* more = stack::push_new();
  set_unset(more);  // marked by a collection inside the allocation
  *more = Cell{T_BLOCK, 0, memory::alloc_cells(2), 0};
  // The context holds the spec's own words, not the [spec index] pair's.
  Cell* words = stack::push(series::buf(spec)->cells() + series::head(spec));
  Node ctx = context::make_from_spec(words, true, false, context::Kind::function);
  *memory::new_tail_cell(more) = *context::cell(ctx);
  *memory::new_tail_cell(more) = fixed_none;
  Cell* s = series::buf(spec)->cells() + series::head(spec);
  *result = Cell{type, static_cast<uint32_t>(index), series::node_of(s), series::node_of(more)};
  stack::set_top(result + 1);
  if (own_frame_hook) own_frame_hook(result);
  return result;
}

Cell* native_make(Cell* proto, Cell* spec, int) { return make_builtin(proto, spec, T_NATIVE, table_size); }
Cell* action_make(Cell* proto, Cell* spec, int) { return make_builtin(proto, spec, T_ACTION, ACTION_ENTRIES); }

Cell* reflect(Cell* v, int field) {
  Cell r;
  int wrapped = is_type(v, T_OP) ? wrapped_type(v) : type_of(v);
  if (words::is(field, words::W::spec)) {
    r = Cell{T_BLOCK, 0, shown_spec(v), 0};
  } else if (words::is(field, words::W::body)) {
    if (wrapped == T_FUNCTION || wrapped == T_ROUTINE) r = function::more(v)[0];
    else r = Cell{T_INTEGER, 0, index(v), 0};
  } else {
    fire(Err::not_done);
  }
  return stack::set_result(&r);
}

int native_form(Cell*, Cell* b, Cell*, int part) { return actions::emit(b, "?native?", part); }
int action_form(Cell*, Cell* b, Cell*, int part) { return actions::emit(b, "?action?", part); }
int op_form(Cell*, Cell* b, Cell*, int part) { return actions::emit(b, "?op?", part); }

int mold_builtin(const char* lead, Cell* v, Cell* b, int only, int all, int flat, Cell* arg, int part, int indent) {
  Cell* saved = stack::top();
  // v may lie in a buffer that the spec's making moves, and the spec's node
  // may move: both are held on the data stack.
  Cell* held = stack::push(v);
  Cell* spec = stack::push_new();
  *spec = Cell{T_BLOCK, 0, shown_spec(held), 0};
  part = actions::emit(b, lead, part);
  part = actions::mold(spec, b, only, all, flat, arg, part, indent);
  part = actions::emit(b, "]", part);
  stack::set_top(saved);
  return part;
}
int native_mold(Cell* v, Cell* b, int o, int a, int f, Cell* arg, int part, int i) {
  return mold_builtin("make native! [", v, b, o, a, f, arg, part, i);
}
int action_mold(Cell* v, Cell* b, int o, int a, int f, Cell* arg, int part, int i) {
  return mold_builtin("make action! [", v, b, o, a, f, arg, part, i);
}

int op_mold(Cell* v, Cell* b, int only, int all, int flat, Cell* arg, int part, int indent) {
  Cell* saved = stack::top();
  Cell* held = stack::push(v);  // v may lie in a buffer that the spec's making moves
  Cell* spec = stack::push_new();
  *spec = Cell{T_BLOCK, 0, shown_spec(held), 0};  // held before the text allocates
  v = held;
  bool fn = wrapped_type(v) == T_FUNCTION;
  part = actions::emit(b, "make op! ", part);
  part = actions::emit(b, fn ? "func " : "[", part);
  part = actions::mold(spec, b, only, all, flat, arg, part, indent);
  if (fn) {
    Cell* body = stack::push(function::more(v));
    if (is_type(body, T_BLOCK)) part = actions::mold(body, b, 0, all, flat, arg, part, indent);
  } else {
    part = actions::emit(b, "]", part);
  }
  stack::set_top(saved);
  return part;
}

int compare(Cell* a, Cell* b, int op) {
  if (type_of(a) != type_of(b) || !equality_op(op)) return COMPARE_INVALID;
  return index(a) == index(b) ? 0 : index(a) < index(b) ? -1 : 1;
}

Cell* op_make(Cell*, Cell* value, int) {
  TypeId t = type_of(value);
  if (t != T_ACTION && t != T_NATIVE && t != T_FUNCTION && t != T_ROUTINE) {
    Cell* d = datatype::push(t);
    fire(Err::invalid_type, d);
  }
  Node spec = t == T_FUNCTION || t == T_ROUTINE ? function::spec_node(value) : native::spec_node(value);
  if (!check_spec(spec)) fire(Err::bad_op_spec);
  Cell r = *value;
  if (t == T_FUNCTION || t == T_ROUTINE) function::more(value)[3] = *value;
  r.header = T_OP | (static_cast<uint32_t>(t) << 16);
  return stack::set_result(&r);
}

}  // namespace

// Words 2 and 3 are nodes of cells the native keeps (its spec and more).
constexpr collector::Layout layout{collector::Holds::nothing, collector::Holds::cells, collector::Holds::cells};

void init() {
  datatype::Registration r{T_NATIVE, 0, "native!"};
  r.hashes(&hashtable::by_word<3>, true);
  r.marks(layout);
  r.set(A_MAKE, &native_make).set(A_REFLECT, &reflect).set(A_FORM, &native_form).set(A_MOLD, &native_mold)
      .set(A_COMPARE, &compare);
  datatype::register_type(r);
}

int check_spec(Node spec) {
  int args = 0;
  bool word_seen = false;
  SeriesBuf* b = buf_of(spec);
  for (Cell *c = b->cells(), *e = b->cells_tail(); c < e; c++) {
    switch (type_of(c)) {
      case T_WORD:
        args++;
        word_seen = true;
        break;
      case T_LIT_WORD: case T_GET_WORD:
        if (!word_seen) return 0;
        args++;
        break;
      case T_REFINEMENT:
        if (words::is(word_symbol(c), words::W::local_) || words::is(word_symbol(c), words::W::extern_))
          return args == 2;
        return 0;
      case T_SET_WORD:
        return args == 2;
      default:
        break;
    }
  }
  return args == 2;
}

}  // namespace native

namespace action {
void init() {
  datatype::Registration r{T_ACTION, T_NATIVE, "action!"};
  r.hashes(&hashtable::by_word<3>, true);
  r.marks(native::layout);
  r.set(A_MAKE, &native::action_make).inherit({A_REFLECT}).set(A_FORM, &native::action_form)
      .set(A_MOLD, &native::action_mold).set(A_COMPARE, &native::compare);
  datatype::register_type(r);
}
}  // namespace action

namespace op {
// An op wrapping a function or routine keeps its context in word 1.
void mark_context(Cell* c) {
  int wrapped = native::wrapped_type(c);
  if ((wrapped == T_FUNCTION || wrapped == T_ROUTINE) && c->w1) collector::mark_context(&c->w1);
}

void init() {
  datatype::Registration r{T_OP, T_NATIVE, "op!"};
  r.hashes(&hashtable::by_words<1, 3>, true);
  collector::Layout l = native::layout;
  l.extra = &mark_context;
  r.marks(l);
  r.set(A_MAKE, &native::op_make).inherit({A_REFLECT}).set(A_FORM, &native::op_form)
      .set(A_MOLD, &native::op_mold).set(A_COMPARE, &native::compare);
  datatype::register_type(r);
}
int check_spec(Node spec) { return native::check_spec(spec); }
}  // namespace op

}  // namespace xeb
