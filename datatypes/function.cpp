// function! and routine!: spec validation, local counting, the constructors
// and the action slots of both types.
#include "datatypes/function.h"

#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "datatypes/series.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"

namespace xeb {

namespace function {

namespace {

Cell block_of(Node n, int32_t head = 0) { return Cell{T_BLOCK, static_cast<uint32_t>(head), n, 0}; }

[[noreturn]] void bad_def(const Cell* spec) { fire(Err::bad_func_def, spec); }

bool param_type(TypeId t) { return t == T_WORD || t == T_GET_WORD || t == T_LIT_WORD || t == T_REFINEMENT; }

Cell* make(Cell* proto, Cell* spec, int) {
  Cell* cells = is_type(spec, T_BLOCK) ? series::buf(spec)->cells() + series::head(spec) : nullptr;
  int32_t n = cells ? static_cast<int32_t>(series::buf(spec)->cell_count()) - series::head(spec) : 0;
  if (n < 2 || !is_type(cells, T_BLOCK) || !is_type(cells + 1, T_BLOCK)) bad_def(spec);
  Cell* s = stack::push(cells);
  Cell* b = stack::push(cells + 1);
  uint32_t flags = validate(s);
  push(s, b, 0, 0, 0, flags);
  Cell f = stack::top()[-1];
  stack::pop(3);
  return stack::push(&f);
}

Cell* reflect(Cell* fn, int field) {
  Cell r;
  if (words::is(field, words::W::spec)) {
    r = block_of(fn->w2);
  } else if (words::is(field, words::W::body)) {
    r = more(fn)[0];
  } else if (words::is(field, words::W::words)) {
    Node ctx = fn->w1;
    int32_t n = context::size(ctx);
    Cell* blk = stack::push_new();
    set_unset(blk);  // marked by a collection inside the allocation
    *blk = block_of(memory::alloc_cells(n));
    ctx = fn->w1;  // the allocation may have moved the context's node
    for (int32_t i = 0; i < n; i++) {
      // Bound to its slot: read outside a call it raises not-in-context.
      Cell w = *context::word_at(ctx, i);
      set_word_context(&w, ctx);
      set_word_index(&w, i);
      *memory::new_tail_cell(blk) = w;
    }
    r = *blk;
    stack::pop(1);
  } else {
    fire(Err::not_done);
  }
  return stack::set_result(&r);
}

int form(Cell*, Cell* b, Cell*, int part) { return actions::emit(b, "?function?", part); }
int routine_form(Cell*, Cell* b, Cell*, int part) { return actions::emit(b, "?routine?", part); }

int mold(Cell* fn, Cell* b, int, int all, int flat, Cell* arg, int part, int indent) {
  Cell* saved = stack::top();
  part = actions::emit(b, "func ", part);
  Cell* spec = stack::push_new();
  *spec = block_of(fn->w2);
  part = actions::mold(spec, b, 0, all, flat, arg, part, indent);
  Cell* body = stack::push(more(fn));
  if (is_type(body, T_NONE)) part = actions::emit(b, " none", part);
  else part = actions::mold(body, b, 0, all, flat, arg, part, indent);
  stack::set_top(saved);
  return part;
}

int routine_mold(Cell* fn, Cell* b, int only, int all, int flat, Cell* arg, int part, int indent) {
  Cell* saved = stack::top();
  part = actions::emit(b, "routine ", part);
  Cell* spec = stack::push_new();
  *spec = block_of(fn->w2);
  part = actions::mold(spec, b, only, all, flat, arg, part, indent);
  Cell* body = stack::push(more(fn));
  if (!is_type(body, T_BLOCK)) part = actions::emit(b, " ", part);
  part = actions::mold(body, b, is_type(body, T_BLOCK) ? only : 0, all, flat, arg, part, indent);
  stack::set_top(saved);
  return part;
}

int compare(Cell* a, Cell* b, int op) {
  if (type_of(a) != type_of(b) || !equality_op(op)) return COMPARE_INVALID;
  return a->w3 == b->w3 ? 0 : a->w3 < b->w3 ? -1 : 1;
}

// --- Word collection of the native `function` --------------------------------

Cell* cells_of(const Cell* b) { return series::buf(b)->cells(); }
int32_t tail_of(const Cell* b) { return static_cast<int32_t>(series::buf(b)->cell_count()); }

// What the walk has met: the canonical symbols of the spec's words and of
// the words collected so far (a word is collected once, in any case), and
// those of the words that name loop variables after them.
struct Seen {
  std::vector<int32_t> canon;
  int32_t foreach_, remove_each, repeat;
};

// Adds a word! copy of w to list unless seen already holds it.
void collect(Cell* list, Seen& seen, const Cell* w) {
  Cell word = *w;
  set_type(&word, T_WORD);
  int32_t sym = symbol::resolve(word_symbol(&word));
  for (int32_t c : seen.canon)
    if (c == sym) return;
  block::xs_append(list, &word);
  seen.canon.push_back(sym);
}

// body and list are rooted cells. Blocks and parens are entered; the cycle
// stack keeps a block holding itself from being walked forever. Nothing
// changes the body; its cells move only when something is collected or a
// nested block walked (both may allocate), so they are re-read just then.
void collect_body(Cell* body, Cell* list, Seen& seen) {
  if (cycles::find(series::node_of(body))) return;
  cycles::push(series::node_of(body));
  Cell* saved = stack::top();
  const int32_t tail = tail_of(body);
  const Cell* cells = cells_of(body);
  for (int32_t i = series::head(body); i < tail; i++) {
    const Cell* c = cells + i;
    TypeId t = type_of(c);
    if (t == T_BLOCK || t == T_PAREN) {
      collect_body(stack::push(c), list, seen);
      stack::set_top(saved);
      cells = cells_of(body);
    } else if (t == T_SET_WORD) {
      collect(list, seen, c);
      cells = cells_of(body);
    } else if (t == T_WORD && i + 1 < tail) {
      int32_t sym = symbol::resolve(word_symbol(c));
      bool each = sym == seen.foreach_ || sym == seen.remove_each;
      if (!each && sym != seen.repeat) continue;
      const Cell* next = c + 1;
      TypeId nt = type_of(next);
      if (each && nt == T_BLOCK) {
        Cell* vars = stack::push(next);
        for (int32_t k = series::head(vars), n = tail_of(vars); k < n; k++) {
          const Cell* v = cells_of(vars) + k;
          TypeId vt = type_of(v);
          if (vt == T_WORD || vt == T_GET_WORD || vt == T_LIT_WORD) collect(list, seen, v);
        }
        stack::set_top(saved);
      } else if (nt == T_WORD || nt == T_SET_WORD) {
        collect(list, seen, next);
      }
      cells = cells_of(body);
    }
  }
  cycles::pop();
}

}  // namespace

Cell* collect_words(Cell* spec, const Cell* body_in) {
  Cell* body = stack::push(body_in);
  Cell* list = block::push_only(8);
  Cell* seen = block::clone(spec, false, false);
  // /extern: the words after it stay out of the locals (seen holds them);
  // a /local after them keeps its words; the spec ends where /extern was.
  int32_t ext = -1;
  for (int32_t i = series::head(spec); i < tail_of(spec) && ext < 0; i++)
    if (is_type(cells_of(spec) + i, T_REFINEMENT) && words::is(word_symbol(cells_of(spec) + i), words::W::extern_))
      ext = i;
  if (ext >= 0) {
    int32_t i = ext + 1;
    while (i < tail_of(spec) && is_type(cells_of(spec) + i, T_WORD)) i++;
    if (i < tail_of(spec) && is_type(cells_of(spec) + i, T_REFINEMENT) &&
        words::is(word_symbol(cells_of(spec) + i), words::W::local_)) {
      for (i++; i < tail_of(spec); i++) {
        Cell c = cells_of(spec)[i];
        if (is_type(&c, T_WORD)) block::xs_append(list, &c);
      }
    }
    block::xs_set_tail(spec, ext);
  }
  for (int32_t i = series::head(seen); i < tail_of(seen); i++) {
    Cell* c = cells_of(seen) + i;
    switch (type_of(c)) {
      case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT:
        set_type(c, T_WORD);
        break;
      case T_WORD: case T_BLOCK: case T_STRING:
        break;
      default:
        if (ext >= 0) fire(Err::bad_func_extern, c);
    }
  }
  Seen met{{}, symbol::resolve(words::sym(words::W::foreach)), symbol::resolve(words::sym(words::W::remove_each)),
           symbol::resolve(words::sym(words::W::repeat))};
  met.canon.reserve(64);
  for (int32_t i = series::head(seen), n = tail_of(seen); i < n; i++)
    if (is_type(cells_of(seen) + i, T_WORD)) met.canon.push_back(symbol::resolve(word_symbol(cells_of(seen) + i)));
  collect_body(body, list, met);
  if (block::xs_length_q(list) > 0) {
    if (count_locals(series::node_of(spec), series::head(spec), true) < 0) {
      Cell local = words::refinement(words::W::local_);
      block::xs_append(spec, &local);
    }
    for (int32_t i = series::head(list); i < tail_of(list); i++) {
      Cell c = cells_of(list)[i];
      if (words::is(word_symbol(&c), words::W::local_)) continue;
      block::xs_append(spec, &c);
    }
  }
  // The list replaces the body copy as the answer, above the caller's top.
  *body = *list;
  stack::set_top(body + 1);
  return body;
}

void init() {
  datatype::Registration r{T_FUNCTION, T_CONTEXT, "function!"};
  r.hashes(&hashtable::by_words<1, 3>, true);
  r.marks(layout);
  r.set(A_MAKE, &make).set(A_REFLECT, &reflect).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  datatype::register_type(r);
}

Cell* more(const Cell* fn) { return buf_of(fn->w3)->cells(); }

uint32_t validate(const Cell* spec_in) {
  Cell* spec = stack::push(spec_in);
  uint32_t flags = 0;
  bool locals = false, ret = false;
  int32_t head = series::head(spec);
  auto at = [&](int32_t i) { return series::buf(spec)->cells() + i; };
  auto len = [&] { return static_cast<int32_t>(series::buf(spec)->cell_count()); };
  int32_t i = head;
  if (i < len() && is_type(at(i), T_BLOCK)) {
    Cell* attr = at(i);
    SeriesBuf* ab = series::buf(attr);
    for (Cell *c = ab->cells() + series::head(attr), *e = ab->cells_tail(); c < e; c++) {
      if (!is_type(c, T_WORD)) bad_def(spec);
      if (words::is(word_symbol(c), words::W::trace)) flags |= HDR_TRACE;
      else if (words::is(word_symbol(c), words::W::no_trace)) flags |= HDR_NO_TRACE;
    }
    i++;
  }
  for (; i < len(); i++) {
    TypeId t = type_of(at(i));
    switch (t) {
      case T_WORD: case T_GET_WORD: case T_LIT_WORD: {
        if (locals && t != T_WORD) bad_def(spec);
        if (ret && !locals) bad_def(spec);
        if (i + 2 < len() && is_type(at(i + 1), T_STRING) && is_type(at(i + 2), T_BLOCK)) bad_def(spec);
        if (i + 1 < len() && is_type(at(i + 1), T_BLOCK)) {
          i++;
          Cell types = *at(i);
          for (int32_t k = series::head(&types); k < static_cast<int32_t>(series::buf(&types)->cell_count());
               k++) {
            Cell item = series::buf(&types)->cells()[k];
            Cell* v = &item;
            Cell* saved = stack::top();
            if (is_type(v, T_WORD)) v = word::get(v);
            TypeId vt = type_of(v);
            if (vt != T_DATATYPE && vt != T_TYPESET && vt != T_WORD) fire(Err::invalid_type_spec, v);
            stack::set_top(saved);
          }
        }
        break;
      }
      case T_SET_WORD: {
        if (!words::is(word_symbol(at(i)), words::W::return_) || ret || locals) bad_def(spec);
        if (i + 1 >= len() || !is_type(at(i + 1), T_BLOCK)) bad_def(spec);
        if (i + 2 < len() && !is_type(at(i + 2), T_REFINEMENT) && !is_type(at(i + 2), T_STRING)) bad_def(spec);
        ret = true;
        i++;
        break;
      }
      case T_REFINEMENT: {
        if (words::is(word_symbol(at(i)), words::W::local_)) locals = true;
        else if (locals || ret) bad_def(spec);
        if (i + 1 < len()) {
          TypeId n = type_of(at(i + 1));
          if (n != T_WORD && n != T_GET_WORD && n != T_LIT_WORD && n != T_REFINEMENT && n != T_SET_WORD &&
              n != T_STRING)
            bad_def(spec);
        }
        break;
      }
      case T_STRING:
        break;
      default:
        bad_def(spec);
    }
  }
  // A parameter named twice (in any case) is refused at the second place
  // of the first one that is: canonical symbols compared, each read once.
  struct Param {
    int32_t canon, at;
  };
  Param few[32];
  std::vector<Param> many;
  Param* params = few;
  int32_t n = 0;
  for (int32_t i = head; i < len(); i++) {
    if (!param_type(type_of(at(i)))) continue;
    if (n == 32) {
      many.assign(few, few + n);
      params = nullptr;
    }
    Param p{symbol::resolve(word_symbol(at(i))), i};
    if (params) params[n] = p;
    else many.push_back(p);
    n++;
  }
  if (!params) params = many.data();
  for (int32_t a = 0; a < n; a++)
    for (int32_t b = a + 1; b < n; b++)
      if (params[a].canon == params[b].canon) fire(Err::dup_vars, at(params[b].at));
  return flags;
}

int32_t count_locals(Node spec, int32_t start, bool strict) {
  SeriesBuf* b = buf_of(spec);
  int32_t count = 0;
  bool on = false;
  for (Cell *c = b->cells() + start, *e = b->cells_tail(); c < e; c++) {
    if (!on) {
      if (is_type(c, T_REFINEMENT) && words::is(word_symbol(c), words::W::local_)) {
        on = true;
        count = 1;
      }
    } else if (is_type(c, T_WORD)) {
      count++;
    }
  }
  if (!on && strict) return -1;
  return count;
}

void init_locals(int32_t n) {
  if (n <= 0) return;
  stack::push(&fixed_false);
  for (int32_t i = 1; i < n; i++) stack::push(&fixed_none);
}

Node push(const Cell* spec_in, const Cell* body_in, Node ctx, int32_t code, int32_t owner, uint32_t flags) {
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  Cell* spec = stack::push(spec_in);
  Cell* body = body_in ? stack::push(body_in) : nullptr;
  if (series::head(spec) > 0) {
    Node copy = memory::alloc_cells(series::buf(spec)->cell_count());
    int32_t n = static_cast<int32_t>(series::buf(spec)->cell_count());
    for (int32_t i = series::head(spec); i < n; i++)
      *memory::alloc_tail_cell(buf_of(copy)) = series::buf(spec)->cells()[i];
    *spec = block_of(copy);
  }
  Cell* more_cell = stack::push_new();
  set_unset(more_cell);  // marked by a collection inside the allocation
  *more_cell = block_of(memory::alloc_cells(MORE_CELLS));
  for (int i = 0; i < MORE_CELLS; i++) set_unset(memory::new_tail_cell(more_cell));
  bool own_ctx = !ctx;
  if (!ctx) ctx = context::make_from_spec(spec, true, false, context::Kind::function);
  Cell fn{T_FUNCTION | flags, ctx, series::node_of(spec), series::node_of(more_cell)};
  Cell* f = stack::push(&fn);
  *context::owner(ctx) = fn;
  Cell* m = buf_of(f->w3)->cells();
  // A deep copy, parens and paths included: later edits of the block given
  // do not reach the function.
  // A context of its own binds the copy as it is made.
  if (body) {
    Cell copy;
    if (take_boot_bodies && own_ctx && is_type(body, T_BLOCK) && series::head(body) == 0 &&
        (series::buf(body)->flags & SER_BOOT_BODY)) {
      // A library body that nothing else holds: bound where it lies.
      series::buf(body)->flags &= ~SER_BOOT_BODY;
      context::bind(body, ctx, false);
      copy = Cell{T_BLOCK, 0, series::node_of(body), 0};
    } else {
      copy = own_ctx ? *context::clone_bound(body, ctx) : *block::clone(body, true, true);
      stack::pop(1);
    }
    buf_of(f->w3)->cells()[0] = copy;
  } else {
    m[0] = fixed_none;
  }
  m = buf_of(f->w3)->cells();
  if (code) m[2] = Cell{T_INTEGER, 0, static_cast<uint32_t>(code), 0};
  if (owner) m[4] = Cell{T_INTEGER, 0, static_cast<uint32_t>(owner), 0};
  Cell r = *f;
  stack::set_top(saved);
  *stack::push_new() = r;
  return ctx;
}

}  // namespace function

namespace routine {

void init() {
  datatype::Registration r{T_ROUTINE, T_FUNCTION, "routine!"};
  r.marks(function::layout);
  r.inherit({A_REFLECT});
  r.set(A_FORM, &function::routine_form).set(A_MOLD, &function::routine_mold).set(A_COMPARE, &function::compare);
  datatype::register_type(r);
}

Cell* push(const Cell* spec_in, const Cell* body_in, int32_t code, int32_t integer, bool flag) {
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  Cell* spec = stack::push(spec_in);
  Cell* body = body_in ? stack::push(body_in) : nullptr;
  Cell* more_cell = stack::push_new();
  set_unset(more_cell);  // marked by a collection inside the allocation
  *more_cell = Cell{T_BLOCK, 0, memory::alloc_cells(function::MORE_CELLS), 0};
  for (int i = 0; i < function::MORE_CELLS; i++) set_unset(memory::new_tail_cell(more_cell));
  Node ctx = context::make_from_spec(spec, true, false, context::Kind::function);
  uint32_t arity = 0;
  SeriesBuf* sb = series::buf(spec);
  for (Cell *c = sb->cells(), *e = sb->cells_tail(); c < e; c++)
    if (is_type(c, T_WORD)) arity++;
  Cell r{T_ROUTINE | (flag ? HDR_ROUTINE_FLAG : 0u) | ((arity & HDR_ARITY_MASK) << HDR_ARITY_SHIFT), ctx, series::node_of(spec), series::node_of(more_cell)};
  Cell* m = series::buf(more_cell)->cells();
  m[0] = body ? *body : fixed_none;
  m[2] = Cell{T_INTEGER, 0, static_cast<uint32_t>(code), 0};
  m[4] = Cell{T_INTEGER, 0, static_cast<uint32_t>(integer), 0};
  stack::set_top(saved);
  return stack::push(&r);
}

}  // namespace routine

}  // namespace xeb
