// Function calls: the argument cache, argument fetching by it, refinements
// from paths and apply blocks, and running natives, actions and function
// bodies.
#include <cassert>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/native.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/words.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/pure.h"
#include "evaluator/routines.h"
#include "evaluator/trace.h"
#include "runtime/throw.h"

namespace xeb::interpreter {

Cell anon_word() { return words::word(words::W::anon); }

namespace {

inline Cell* cache_cells(const Cell* fn) { return block::buf(more_of(fn) + 1)->cells(); }
inline int32_t cache_size(const Cell* fn) { return static_cast<int32_t>(block::buf(more_of(fn) + 1)->cell_count()); }

// The spec's parameter #n (words and refinements in order, from 0) as a
// word!, for error messages.
Cell param_word(const Cell* fn, int32_t n) {
  SeriesBuf* b = buf_of(callable::spec_node(fn));
  for (Cell *c = b->cells(), *e = b->cells_tail(); c < e; c++) {
    TypeId t = type_of(c);
    if (t == T_WORD || t == T_GET_WORD || t == T_LIT_WORD || t == T_REFINEMENT) {
      if (n-- == 0) {
        Cell w = *c;
        w.header = T_WORD;
        return w;
      }
    }
  }
  return anon_word();
}

[[noreturn]] void expect_arg(const Cell* name, const Cell* value, const Cell* fn, int32_t param) {
  Cell n = *name, type = datatype::make_cell(type_of(value)), w = param_word(fn, param);
  fire(Err::expect_arg, &n, &type, &w);
}

// One argument by its class, pushed; answers the position after it.
inline int32_t fetch_arg_as_is(Cell* code, int32_t pos, int32_t end, ArgClass cls, bool infix, bool safer);

// An argument taken as it stands while tracing: fetched, then produced.
[[gnu::noinline]] int32_t fetch_arg_traced(Cell* code, int32_t pos, int32_t end, ArgClass cls, bool infix,
                                           bool safer) {
  trace::fire(trace::fetch, code, pos, nullptr, cell_at(code, pos));
  pos = fetch_arg_as_is(code, pos, end, cls, infix, safer);
  if (!throwing()) trace::event(trace::push, code, pos - 1, nullptr, stack::top() - 1);
  return pos;
}

[[gnu::always_inline]] inline int32_t fetch_arg(Cell* code, int32_t pos, int32_t end, ArgClass cls, bool infix,
                                              bool safer) {
  if (cls != ArgClass::normal && trace::tracing) [[unlikely]]
    return fetch_arg_traced(code, pos, end, cls, infix, safer);
  return fetch_arg_as_is(code, pos, end, cls, infix, safer);
}

[[gnu::always_inline]] inline int32_t fetch_arg_as_is(Cell* code, int32_t pos, int32_t end, ArgClass cls, bool infix,
                                                    bool safer) {
  Cell* v = cell_at(code, pos);
  switch (cls) {
    case ArgClass::get:
      stack::push(v);
      return pos + 1;
    case ArgClass::literal:
      switch (type_of(v)) {
        case T_PAREN: {
          Cell name = anon_word();
          Cell* entry = stack::top();
          stack::push_frame(&name, frame_flags(FrameType::native) | FRAME_INTERP);
          eval_block(v, true);
          if (throwing()) return pos;
          Cell r = *stack::base();
          stack::unwind();
          stack::set_top(entry);
          stack::push(&r);
          return pos + 1;
        }
        case T_GET_WORD: {
          Cell x = *word_value(v);
          stack::push(&x);
          return pos + 1;
        }
        case T_GET_PATH: {
          Cell p = *v;
          Cell* held = stack::push(&p);
          eval_path(held, nullptr, 0, 0, false, true, true, false);
          if (throwing()) return pos;
          Cell r = *(stack::top() - 1);
          stack::set_top(held);
          stack::push(&r);
          return pos + 1;
        }
        default:
          stack::push(v);
          return pos + 1;
      }
    default: {
      // A literal, or a word whose value is neither callable nor unset, is
      // its own value: pushed without a trip through the interpreter, and
      // any operators after it taken straight away.
      TypeId t = type_of(v);
      const Cell* val = nullptr;
      if (plain_literal(t)) {
        val = v;
      } else if (t == T_WORD) {
        val = bound_value(v);
        if (val && (is_type(val, T_UNSET) || is_type(val, T_OP) || callable(type_of(val)))) val = nullptr;
      }
      if (!val || trace::tracing) return eval_value(code, pos, end, infix || safer, true, false);
      Cell* start = stack::push(val);
      if (infix || safer) return pos + 1;
      return infix_after(code, pos + 1, end, true, start);
    }
  }
}

struct Fetch;
Cell call_name(const Fetch& f);

struct Fetch {
  Cell* fn;  // the callee's copy on the data stack
  Cell* code;
  int32_t pos, end;
  Cell* path;
  int32_t path_at;
  CallFrame* frame;  // the call's frame: its word names the call in errors
  int mode;
  bool infix;
  bool is_fn;
  int32_t count = 0;  // argument cells of a native or action
  int32_t refs[actions::MAX_REFINEMENTS];
  uint64_t set_by_walk = 0;  // function refinements given in the second walk
};

// The code is exhausted: at its end, or at its tail when an argument's
// evaluation cut it short.
bool at_end(const Fetch& f) {
  return f.pos >= f.end || !f.code || f.pos >= static_cast<int32_t>(series::buf(f.code)->cell_count());
}

Cell call_name(const Fetch& f) {
  return Cell{T_WORD, f.frame->ctx, f.frame->sym, static_cast<uint32_t>(-1)};
}

bool has_refinements(const Cell* fn) {
  Cell* c = cache_cells(fn);
  for (int32_t k = 0, n = cache_size(fn); k < n; k++)
    if (is_type(c + k, T_REFINEMENT)) return true;
  return false;
}

// One refinement of the second walk: finds it in the cache, activates it and
// fetches its arguments.
void walk_refinement(Fetch& f, const Cell* element, bool on) {
  int32_t sym = symbol::resolve(word_symbol(element));
  int32_t n = cache_size(f.fn), param = 0, k = 0;
  for (; k < n; k++) {
    Cell* e = cache_cells(f.fn) + k;
    if (is_type(e, T_REFINEMENT)) {
      if (symbol::resolve(word_symbol(e)) == sym) break;
      param++;
    } else if (is_type(e, T_TYPESET) && arg_class(e) != ArgClass::returns) {
      param++;
    }
  }
  if (k == n) {
    Cell el = *element;
    Cell nm = call_name(f);
    fire(Err::no_refine, &nm, &el);
  }
  int32_t ordinal = word_index(cache_cells(f.fn) + k);
  Cell* base = stack::base();
  if (f.is_fn) {
    uint64_t bit = uint64_t{1} << (ordinal & 63);
    if (f.set_by_walk & bit) fire(Err::dup_refine, f.path ? f.path : element);
    f.set_by_walk |= bit;
    base[param] = on ? fixed_true : fixed_false;
  } else {
    if (f.refs[ordinal - 1] != -1) fire(Err::dup_refine, f.path ? f.path : element);
    if (on) f.refs[ordinal - 1] = f.count;
  }
  int32_t slot = param + 1;
  for (k++; k < n; k++) {
    Cell e = cache_cells(f.fn)[k];
    if (!is_type(&e, T_TYPESET)) break;
    if (arg_class(&e) == ArgClass::returns) continue;
    if (!on && (f.mode & CALL_SAFER)) {
      slot++;
      continue;
    }
    if (at_end(f)) {
      Cell w = param_word(f.fn, slot), nm = call_name(f);
      fire(Err::no_arg, &nm, &w);
    }
    f.pos = fetch_arg(f.code, f.pos, f.end, arg_class(&e), false, f.mode & CALL_SAFER);
    if (throwing()) return;
    Cell* v = stack::top() - 1;
    if (!on) {
      stack::pop(1);
    } else {
      if (!accepts(&e, type_of(v))) {
        Cell nm = call_name(f);
        expect_arg(&nm, v, f.fn, slot);
      }
      if (f.is_fn) {
        stack::base()[slot] = *v;
        stack::pop(1);
      } else {
        f.count++;
      }
    }
    slot++;
  }
}

// First walk: the fixed arguments (and, for apply/all, every refinement);
// second walk: refinements from the path or, inline, from the code.
void fetch_args(Fetch& f) {
  cache_spec(f.fn);
  int32_t n = cache_size(f.fn);
  int call = f.mode & 3;
  bool active = true, left = f.infix;
  int32_t param = 0;
  if (f.infix) stack::set_top(stack::base() + 1);
  // The cache's cells, re-read only after an argument was fetched (that
  // may allocate and move the buffer).
  const Cell* cache = cache_cells(f.fn);
  for (int32_t k = 0; k < n; k++) {
    Cell e = cache[k];
    switch (type_of(&e)) {
      case T_TYPESET: {
        if (arg_class(&e) == ArgClass::returns) break;
        if (active) {
          if (left) {
            left = false;
          } else if (call && at_end(f)) {
            stack::push(&fixed_none);
          } else if (arg_class(&e) == ArgClass::literal && typeset::has(&e, T_UNSET) && at_end(f)) {
            set_unset(stack::push_new());
          } else {
            if (at_end(f)) {
              Cell w = param_word(f.fn, param), nm = call_name(f);
              fire(Err::no_arg, &nm, &w);
            }
            f.pos = fetch_arg(f.code, f.pos, f.end, arg_class(&e), f.infix, f.mode & CALL_SAFER);
            if (throwing()) return;
            cache = cache_cells(f.fn);
          }
          Cell* v = stack::top() - 1;
          if (!accepts(&e, type_of(v))) {
            Cell nm = call_name(f);
            expect_arg(&nm, v, f.fn, param);
          }
          f.count++;
        } else {
          if (f.is_fn) stack::push(&fixed_none);
          if (call == CALL_ALL && !at_end(f)) {
            f.pos = fetch_arg(f.code, f.pos, f.end, arg_class(&e), false, f.mode & CALL_SAFER);
            if (throwing()) return;
            stack::pop(1);
            cache = cache_cells(f.fn);
          }
        }
        param++;
        break;
      }
      case T_REFINEMENT: {
        active = false;
        if (call == CALL_ALL && !at_end(f)) {
          f.pos = fetch_arg(f.code, f.pos, f.end, ArgClass::normal, false, f.mode & CALL_SAFER);
          if (throwing()) return;
          cache = cache_cells(f.fn);
          Cell* v = stack::top() - 1;
          if (!is_type(v, T_LOGIC)) {
            Cell w = param_word(f.fn, param), type = datatype::make_cell(type_of(v)), nm = call_name(f);
            fire(Err::expect_arg, &nm, &type, &w);
          }
          active = logic::get(v) == 1;
          if (!f.is_fn) {
            if (active) f.refs[word_index(&e) - 1] = f.count;
            stack::pop(1);
          }
        } else if (f.is_fn) {
          stack::push(&fixed_false);
        }
        param++;
        break;
      }
      case T_INTEGER:
        if (f.is_fn && k == n - 1) function::init_locals(get_int(&e));
        break;
      default:
        break;
    }
  }
  // A function's refinement arguments must now be complete before the second
  // walk writes into their slots: they were pushed above as none!.
  if (f.path) {
    int32_t len = static_cast<int32_t>(series::buf(f.path)->cell_count());
    for (int32_t i = f.path_at + 1; i < len; i++) {
      Cell el = *cell_at(f.path, i);
      bool on;
      if (is_type(&el, T_WORD)) {
        on = true;
      } else if (is_type(&el, T_GET_WORD)) {
        on = !is_false(word_value(&el));
      } else {
        if (call && !has_refinements(f.fn)) break;
        fire(Err::bad_refine, &el);
      }
      walk_refinement(f, &el, on);
      if (throwing()) return;
    }
  } else if (call == CALL_INLINE) {
    while (!at_end(f)) {
      Cell el = *cell_at(f.code, f.pos);
      if (!is_type(&el, T_REFINEMENT) && !is_type(&el, T_GET_WORD)) {
        if (!has_refinements(f.fn)) break;
        fire(Err::bad_refine, &el);
      }
      f.pos++;
      Cell* held = stack::push(&el);
      bool on = false;
      if (!at_end(f)) {
        f.pos = eval_value(f.code, f.pos, f.end, f.infix || (f.mode & CALL_SAFER), true, false);
        if (throwing()) return;
        Cell* v = stack::top() - 1;
        if (is_type(v, T_UNSET)) fire(Err::no_value, held);
        on = !is_false(v);
      }
      el = *held;
      stack::set_top(held);
      walk_refinement(f, &el, on);
      if (throwing()) return;
    }
  }
}

constexpr int32_t MAX_FAST_ARITY = 255;

// The arity of the built-in conditional at a native index, 0 for another.
inline int32_t conditional_arity(uint32_t index) {
  if (index == natives::index(natives::Id::either)) return 3;
  if (index == natives::index(natives::Id::if_) || index == natives::index(natives::Id::unless)) return 2;
  return 0;
}

// Whether a native's cache (summarized) is a conditional's own spec; a
// native made with a conditional's index and another spec is not.
bool conditional_spec(const Cell* fn, const Cell* cache, uint32_t summary) {
  if (!is_type(fn, T_NATIVE)) return false;
  int32_t arity = conditional_arity(native::index(fn));
  if (!arity || summary != (SPEC_FAST | SPEC_PLAIN | static_cast<uint32_t>(arity))) return false;
  const Cell* ts = block::buf(cache)->cells();
  Cell all{T_TYPESET, ~0u, ~0u, ~0u}, blocks{T_TYPESET, 0, 0, 0};
  typeset::set_bit(&blocks, T_BLOCK);
  if (typeset::count(ts) != typeset::count(&all)) return false;
  for (int32_t k = 1; k < arity; k++)
    if (std::memcmp(typeset::bits(ts + k), typeset::bits(&blocks), 12)) return false;
  return true;
}

uint32_t summarize(const Cell* cache) {
  SeriesBuf* b = block::buf(cache);
  int32_t n = static_cast<int32_t>(b->cell_count()), arity = 0, locals = 0;
  uint32_t flags = SPEC_FAST | SPEC_PLAIN | SPEC_ANY;
  uint8_t any[12];
  std::memset(any, 0xFF, sizeof any);
  any[T_UNSET >> 3] &= static_cast<uint8_t>(~(0x80 >> (T_UNSET & 7)));  // the default typeset
  for (int32_t k = 0; k < n; k++) {
    const Cell* e = b->cells() + k;
    if (is_type(e, T_TYPESET)) {
      if (arg_class(e) == ArgClass::returns) return 0;
      if (flags & SPEC_REFINE) continue;
      if (arg_class(e) != ArgClass::normal) flags &= ~SPEC_PLAIN;
      if (std::memcmp(typeset::bits(e), any, sizeof any)) flags &= ~SPEC_ANY;
      arity++;
    } else if (is_type(e, T_REFINEMENT)) {
      flags |= SPEC_REFINE;
    } else if (is_type(e, T_INTEGER) && k == n - 1) {
      if (!(flags & SPEC_REFINE)) locals = get_int(e);
    } else {
      return 0;
    }
  }
  if (arity > MAX_FAST_ARITY || locals < 0 || locals > 255) return 0;
  return flags | static_cast<uint32_t>(arity) | static_cast<uint32_t>(locals) << 8;
}

}  // namespace

Cell* cache_spec(Cell* fn) {
  Cell* more = more_of(fn);
  if (is_type(more + 1, T_BLOCK)) return more + 1;
  Cell* saved = stack::top();
  Cell* f = stack::push(fn);
  bool native = !is_type(fn, T_FUNCTION) && !is_type(fn, T_ROUTINE);
  Cell* cache = block::push_only(8);
  Cell spec{T_BLOCK, 0, callable::spec_node(f), 0};
  Cell* sp = stack::push(&spec);
  int32_t ordinal = 0, locals = 0;
  bool in_locals = false;
  for (int32_t i = 0; i < static_cast<int32_t>(block::buf(sp)->cell_count()); i++) {
    Cell item = *cell_at(sp, i);
    TypeId t = type_of(&item);
    if (in_locals) {
      if (t == T_WORD) locals++;
      continue;
    }
    switch (t) {
      case T_WORD: case T_GET_WORD: case T_LIT_WORD: {
        ArgClass cls = t == T_WORD ? ArgClass::normal : t == T_GET_WORD ? ArgClass::get : ArgClass::literal;
        Cell* ts;
        if (i + 1 < static_cast<int32_t>(block::buf(sp)->cell_count()) && is_type(cell_at(sp, i + 1), T_BLOCK)) {
          Cell types = *cell_at(sp, ++i);
          Cell* held = stack::push(&types);
          ts = typeset::make_from_spec(cache, held);
          stack::pop(1);
        } else {
          ts = typeset::make_default(cache);
        }
        ts->header = T_TYPESET | (static_cast<uint32_t>(cls) << HDR_ARG_CLASS_SHIFT);
        break;
      }
      case T_REFINEMENT:
        if (words::is(word_symbol(&item), words::W::local_)) {
          in_locals = true;
          locals = 1;
        } else {
          Cell r{T_REFINEMENT, 0, static_cast<uint32_t>(word_symbol(&item)), static_cast<uint32_t>(++ordinal)};
          block::xs_append(cache, &r);
        }
        break;
      case T_SET_WORD: {
        if (!words::is(word_symbol(&item), words::W::return_)) fire(Err::bad_func_def, &item);
        Cell types = fixed_none;
        if (i + 1 < static_cast<int32_t>(block::buf(sp)->cell_count()) && is_type(cell_at(sp, i + 1), T_BLOCK))
          types = *cell_at(sp, ++i);
        Cell* ts;
        if (is_type(&types, T_BLOCK)) {
          Cell* held = stack::push(&types);
          ts = typeset::make_from_spec(cache, held);
          stack::pop(1);
        } else {
          ts = typeset::make_default(cache);
        }
        ts->header = T_TYPESET | (static_cast<uint32_t>(ArgClass::returns) << HDR_ARG_CLASS_SHIFT);
        break;
      }
      default:
        break;
    }
  }
  if (locals > 0) {
    Cell c{T_INTEGER, 0, static_cast<uint32_t>(locals), 0};
    block::xs_append(cache, &c);
  }
  if (native && ordinal > 0) {
    Cell c{T_INTEGER, 0, static_cast<uint32_t>(ordinal), 0};
    block::xs_append(cache, &c);
  }
  Cell c = *cache;
  uint32_t summary = summarize(&c);
  if (conditional_spec(f, &c, summary)) summary |= SPEC_COND;
  series::set_extra(&c, summary);
  more_of(f)[1] = c;
  stack::set_top(saved);
  return more_of(fn) + 1;
}

namespace {

constexpr int32_t kNoRefs[actions::MAX_REFINEMENTS] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                        -1, -1, -1, -1, -1, -1, -1, -1};

}  // namespace

namespace {

// A function's body when it is traced, left out of a trace, or library
// code: the tracing state it runs with is put back on every way out.
[[gnu::noinline]] void run_body_traced(const Cell* fn);

// A pending exit met at the end of a body: return and exit land on this
// frame (their value already in its base); answers false for any other
// code, which passes on.
[[gnu::noinline]] bool land_body_exit() {
  if (pending_throw != ThrowCode::return_value && pending_throw != ThrowCode::exit) return false;
  pending_throw = ThrowCode::none;
  stack::cs.throw_origin = nullptr;
  stack::set_top(stack::base() + 1);
  return true;
}

// Runs the body of the function on top of the call stack, its arguments
// and locals in place from the arguments base.
inline void run_body(const Cell* fn) {
  stack::enter_body(function::context_of(fn));
  if ((fn->header & (HDR_TRACE | HDR_NO_TRACE | HDR_LIBRARY)) || trace::tracing) [[unlikely]]
    run_body_traced(fn);
  else
    eval_block(more_of(fn), true);
  if (throwing() && !land_body_exit()) return;
  stack::top_frame()->header &= ~FRAME_BODY;
}

// An argument the spec refuses, in the short call path.
[[gnu::noinline, noreturn]] void refuse_fast(const Cell* fn, const Cell* v, int32_t k) {
  CallFrame* frame = stack::top_frame();
  Cell nm{T_WORD, frame->ctx, frame->sym, static_cast<uint32_t>(-1)};
  expect_arg(&nm, v, fn, k);
}

}  // namespace

namespace {

// The code a short call takes its arguments from: its buffer and tail,
// re-read only after an argument ran code (which may allocate, move the
// buffer or change the block).
struct Source {
  Cell* code;
  int32_t limit;  // the caller's end
  int32_t end;    // the lesser of the limit and the tail
  Cell* cells;    // the buffer's first cell
  void read() {
    SeriesBuf* b = series::buf(code);
    int32_t tail = static_cast<int32_t>(b->cell_count());
    end = limit < tail ? limit : tail;
    cells = b->cells();
  }
};

// An argument missing at the end of the code: an optional last literal
// argument is unset!, anything else raises no-arg.
[[gnu::noinline]] void missing_arg(const Cell* start, int32_t k, ArgClass cls) {
  const Cell* e = cache_cells(start) + k;
  if (cls == ArgClass::literal && typeset::has(e, T_UNSET)) {
    set_unset(stack::push_new());
    return;
  }
  CallFrame* frame = stack::top_frame();
  Cell w = param_word(start, k), nm{T_WORD, frame->ctx, frame->sym, static_cast<uint32_t>(-1)};
  fire(Err::no_arg, &nm, &w);
}

// One ordinary argument at pos (before s.end), pushed: a literal, or a word
// holding a value that is neither callable nor unset, with any chain of
// integer operators on integer operands after it, taken in place; anything
// else through the interpreter, which may run code: ran is set then, and
// the caller re-reads s unless an exit is pending (the exit's value may
// have taken the code's cell). Answers the position after it.
template <typename Src>
[[gnu::always_inline]] inline int32_t fetch_plain(Src& s, int32_t pos, bool& ran) {
  const Cell* v = s.cells + pos;
  const Cell* val = v;
  TypeId vt = type_of(v);
  if (vt == T_WORD) {
    val = bound_value(v);
    if (!val) goto general;
    vt = type_of(val);
    if (in_types(ACTIVE_TYPES, vt)) goto general;
  } else if (!plain_literal(vt)) {
    goto general;
  }
  if (trace::tracing) [[unlikely]] goto general;
  {
    Cell* at = stack::push(val);
    // The first operator after it, when an inline one on number operands,
    // is taken here; eval_infix takes any other, and the rest of a chain.
    if (++pos >= s.end) return pos;
    const Cell* w = s.cells + pos;
    if (!is_type(w, T_WORD)) return pos;
    const Cell* op = bound_value(w);
    if (!op || !is_type(op, T_OP)) return pos;
    int iop = integer_op(op);
    if (iop && inline_number(at) && pos + 1 < s.end) {
      const Cell* rv = inline_operand(w + 1);
      if (rv && takes_inline(iop, at, rv)) {
        scalar_infix(iop, at, rv);
        if ((pos += 2) >= s.end || !is_type(w + 2, T_WORD)) return pos;
      }
    }
    pos = eval_infix(s.code, pos, s.limit, true, at);
    ran = true;
    return pos;
  }
general:
  pos = eval_value(s.code, pos, s.limit, false, true, false);
  ran = true;
  return pos;
}

// The fixed arguments of a short call, pushed and checked against the
// spec's types. Answers the position after them (pending exits pass). Out
// of line: one copy for functions and natives, and no room for it in the
// C++ frame of every call a body makes (the sanitizer build's frames are
// large, and deep recursion must reach the language's limits first).
[[gnu::noinline]] int32_t fetch_fixed(Source& s, int32_t pos, const Cell* start, const Cell* cache,
                                                  uint32_t summary) {
  int32_t arity = static_cast<int32_t>(summary & 0xFF);
  // The typesets, when the classes or the types need them; re-read after
  // an argument that ran code.
  constexpr uint32_t untyped = SPEC_PLAIN | SPEC_ANY;
  const Cell* types = (summary & untyped) == untyped ? nullptr : block::buf(cache)->cells();
  for (int32_t k = 0; k < arity; k++) {
    ArgClass cls = summary & SPEC_PLAIN ? ArgClass::normal : arg_class(types + k);
    if (pos >= s.end) [[unlikely]] {
      missing_arg(start, k, cls);
      continue;
    }
    bool ran = false;
    if (cls == ArgClass::normal) [[likely]] {
      pos = fetch_plain(s, pos, ran);
    } else {
      pos = fetch_arg(s.code, pos, s.limit, cls, false, false);
      ran = true;
    }
    if (ran) {
      if (throwing()) return pos;
      s.read();
      if (types) types = cache_cells(start);
    }
    Cell* v = stack::top() - 1;
    if (summary & SPEC_ANY) {
      if (is_type(v, T_UNSET)) [[unlikely]] refuse_fast(start, v, k);
    } else if (!accepts(types + k, type_of(v))) [[unlikely]] {
      refuse_fast(start, v, k);
    }
  }
  return pos;
}

// The fixed arguments of a short call from code (up to limit). One ordinary
// argument that takes any value but unset! is fetched in the caller's own
// frame: the commonest spec pays no call for it, nor a Source written to
// memory (the evaluator is built without scalar replacement of aggregates,
// so only a Source that fetch_fixed needs is made).
[[gnu::always_inline]] inline int32_t fetch_short(Cell* code, int32_t limit, int32_t pos, const Cell* start,
                                                 const Cell* cache, uint32_t summary) {
  constexpr uint32_t one_any = SPEC_PLAIN | SPEC_ANY | 1;
  SeriesBuf* b = series::buf(code);
  int32_t tail = static_cast<int32_t>(b->cell_count());
  struct {
    Cell* code;
    int32_t limit, end;
    const Cell* cells;
  } src{code, limit, limit < tail ? limit : tail, b->cells()};
  if ((summary & (SPEC_PLAIN | SPEC_ANY | 0xFF)) != one_any || pos >= src.end) {
    Source s{code, limit, src.end, b->cells()};
    return fetch_fixed(s, pos, start, cache, summary);
  }
  bool ran = false;
  pos = fetch_plain(src, pos, ran);
  if (ran && throwing()) return pos;
  Cell* v = stack::top() - 1;
  if (is_type(v, T_UNSET)) [[unlikely]] refuse_fast(start, v, 0);
  return pos;
}

// The arguments of a built-in conditional (its frame pushed): the
// condition, then each block checked as the spec does. Answers the position
// after them; the block to run in *branch, or null when the result (none)
// is in the base already.
[[gnu::always_inline]] inline int32_t conditional_args(Source& s, int32_t pos, const Cell* start, uint32_t summary,
                                           Cell** branch) {
  int32_t arity = static_cast<int32_t>(summary & 0xFF);
  for (int32_t k = 0; k < arity; k++) {
    if (pos >= s.end) [[unlikely]]
      missing_arg(start, k, ArgClass::normal);
    if (k > 0) {
      // A literal block no operator follows is the argument as it stands.
      const Cell* c = s.cells + pos;
      if (is_type(c, T_BLOCK) && (pos + 1 >= s.end || !is_type(c + 1, T_WORD) || !op_at(s.code, pos + 1, s.end))) {
        stack::push(c);
        pos++;
        continue;
      }
    }
    bool ran = false;
    pos = fetch_plain(s, pos, ran);
    if (ran) {
      if (throwing()) return pos;
      s.read();
    }
    Cell* v = stack::top() - 1;
    if (k > 0 && !is_type(v, T_BLOCK)) [[unlikely]]
      refuse_fast(start, v, k);
  }
  Cell* base = stack::base();
  uint32_t index = native::index(start);
  if (index == natives::index(natives::Id::either)) {
    *branch = base + (strict_true(base) ? 1 : 2);
  } else if (is_false(base) == (index == natives::index(natives::Id::unless))) {
    *branch = base + 1;
  } else {
    *branch = nullptr;
    stack::set_result_trim(&fixed_none);
  }
  return pos;
}

// The frame of a native called by the short paths, named by the call's
// word (or anonymous).
[[gnu::always_inline]] inline void push_native_frame(const Cell* name) {
  constexpr uint32_t flags = frame_flags(FrameType::native) | FRAME_INTERP;
  if (name) stack::push_frame(name, flags);
  else stack::push_frame(stack::names.anon, 0, flags);
}

// A native's call ends: its result, left in the frame's base, replaces the
// callee's cell at start (pushed or stored by the mode) and the frame goes.
[[gnu::always_inline]] inline void finish_native(Cell* start, bool push) {
  Cell r = *stack::base();
  stack::unwind();
  *start = r;
  stack::set_top(start + 1);
  if (!push) stack::set_result_trim(start);
}

// The value of a branch that can neither fail nor run code: one literal
// (not unset!) or word holding a value that is neither callable nor unset,
// alone or after a set-word whose store takes it directly (the value is
// stored then). Answers false, having done nothing, for any other branch,
// which is run as a block. Nothing of a block's entry shows while not
// tracing when nothing fails, so a recursion's leaf ([n]) or an assignment
// ([m: x]) costs none. Only while not tracing.
[[gnu::always_inline]] inline bool quick_branch(const Cell* branch, Cell* out) {
  SeriesBuf* b = series::buf(branch);
  int32_t pos = series::head(branch), n = static_cast<int32_t>(b->cell_count()) - pos;
  if (n != 1 && n != 2) return false;
  const Cell* c = b->cells() + pos;
  const Cell* v = c + n - 1;
  if (n == 2 && !is_type(c, T_SET_WORD)) return false;
  TypeId t = type_of(v);
  if (t == T_WORD) {
    v = bound_value(v);
    if (!v || in_types(ACTIVE_TYPES, type_of(v))) return false;
  } else if (!plain_literal(t) || t == T_UNSET) {
    return false;
  }
  *out = *v;
  return n == 1 || set_word_direct(c, out);
}

// The arguments of a built-in conditional that can neither fail nor run
// code: a condition quick_value computes, then literal blocks no operator
// follows. Answers the position of the first block, the condition in cond
// and the block's cell (valid until the next allocation) in blocks_at, or
// -1 (nothing has happened then). Only while not tracing.
inline int32_t quick_conditional_args(Cell* code, int32_t pos, int32_t end, uint32_t summary, Cell* cond,
                                      const Cell** blocks_at) {
  const Cell* callee = nullptr;
  SeriesBuf* b = series::buf(code);
  int32_t tail = static_cast<int32_t>(b->cell_count());
  if (end > tail) end = tail;
  int32_t after = quick_value_in(b, pos, end, cond, &callee);
  if (after < 0) return -1;
  // A conditional takes two or three arguments: one or two blocks.
  int32_t blocks = static_cast<int32_t>(summary & 0xFF) - 1, next = after + blocks;
  if (next > end) return -1;
  const Cell* c = b->cells() + after;
  if (!is_type(c, T_BLOCK) || (blocks == 2 && !is_type(c + 1, T_BLOCK))) return -1;
  if (next < end && is_type(c + blocks, T_WORD)) {
    const Cell* op = bound_value(c + blocks);
    if (op && is_type(op, T_OP)) return -1;
  }
  *blocks_at = c;
  return after;
}

// A built-in conditional called from code: the frame and the cells its call
// would push, the chosen block run on them. While nothing can fail or run
// before the branch is known (the arguments as quick_conditional_args takes
// them, the branch as quick_branch takes it), the call needs no frame: a
// frame names the call only for what runs inside it.
int32_t call_conditional(const Cell* fn_in, Cell* code, int32_t pos, int32_t end, bool push, const Cell* name,
                         uint32_t summary) {
  Cell* start;
  Cell* branch;
  Cell cond;
  const Cell* blocks;
  if (int32_t after = trace::tracing ? -1 : quick_conditional_args(code, pos, end, summary, &cond, &blocks);
      after >= 0) {
    int32_t arity = static_cast<int32_t>(summary & 0xFF);
    uint32_t index = native::index(fn_in);
    int32_t k = index == natives::index(natives::Id::either) ? (is_false(&cond) ? 2 : 1)
                : is_false(&cond) == (index == natives::index(natives::Id::unless)) ? 1 : 0;
    Cell x = fixed_none;
    if (!k || quick_branch(blocks + k - 1, &x)) {
      if (push) *stack::push_new() = x;
      else stack::set_result_trim(&x);
      return after + arity - 1;
    }
    // The branch runs as a block under a frame of the call's name, which
    // errors inside it name; nothing reads the call's arguments, so the
    // frame holds one cell: the block while it runs, then its value.
    start = stack::top();
    push_native_frame(name);
    pos = after + arity - 1;
    eval_block_keep(blocks + k - 1);  // pushes the block before anything allocates
    if (throwing()) return pos;
    stack::unwind();
    if (!push) stack::set_result_trim(start);
    return pos;
  }
  start = stack::push(fn_in);
  Source s{code, end, end, nullptr};
  s.read();
  push_native_frame(name);
  pos = conditional_args(s, pos, start, summary, &branch);
  if (throwing()) return pos;
  if (branch) {
    Cell x;
    if (!trace::tracing && quick_branch(branch, &x)) {
      *stack::base() = x;
    } else {
      eval_block(branch, true);
      if (throwing()) return pos;
    }
  }
  finish_native(start, push);
  return pos;
}

}  // namespace

// A call whose spec holds only ordinary arguments (and locals), from code,
// without a path or apply mode: the general fetch reduced to its steps.
// Answers -1, having done nothing, for any other call. fn_in and name may
// lie anywhere (a code buffer, a context's store): both are read before
// anything can allocate.
int32_t call_fast(const Cell* fn_in, Cell* code, int32_t pos, int32_t end, bool push, const Cell* name) {
  // Only a cache built already: building one allocates, and fn is not yet
  // on the stack.
  const Cell* cache = more_of(fn_in) + 1;
  if (!is_type(cache, T_BLOCK)) return -1;
  uint32_t summary = series::extra(cache);
  if (!(summary & SPEC_FAST)) return -1;
  if (summary & SPEC_COND) return call_conditional(fn_in, code, pos, end, push, name, summary);
  TypeId t = type_of(fn_in);
  natives::Entry native = nullptr;
  actions::Entry action = nullptr;
  switch (t) {
    case T_FUNCTION: break;
    case T_NATIVE:
      if (!(native = natives::entry(static_cast<int>(native::index(fn_in))))) return -1;
      break;
    case T_ACTION:
      if (!(action = actions::entry(static_cast<int>(native::index(fn_in))))) return -1;
      break;
    default:
      return -1;
  }
  Cell* start = stack::push(fn_in);
  if (t == T_FUNCTION) {
    // The function context's values pointer: saved in the frame, pointed
    // at the arguments for the body, given back after it. Its address is
    // kept while nothing has moved; after a collection the context is found
    // through the frame, which the collector corrects when it moves the
    // context's node (a node held here would go stale).
    Node fctx = function::context_of(start);
    uint32_t moves = memory::moves;
    Off* values = &stack::values_of(fctx);
    constexpr uint32_t flags = frame_flags(FrameType::function) | FRAME_INTERP;
    uint64_t fctx_saved = fctx | uint64_t{*values} << 32;
    if (name) stack::push_frame(name, flags, fctx_saved);
    else stack::push_frame(stack::names.anon, 0, flags, fctx_saved);
    CallFrame* frame = stack::cs.top - 1;
    pos = fetch_short(code, end, pos, start, cache, summary);
    if (throwing()) return pos;
    if (summary & (SPEC_REFINE | 0xFF00)) {
      if (summary & SPEC_REFINE) {
        // Every refinement off, its arguments none, then the locals.
        int32_t n = cache_size(start);
        for (int32_t k = static_cast<int32_t>(summary & 0xFF); k < n; k++) {
          Cell e = cache_cells(start)[k];
          if (is_type(&e, T_REFINEMENT)) stack::push(&fixed_false);
          else if (is_type(&e, T_TYPESET)) stack::push(&fixed_none);
          else function::init_locals(get_int(&e));
        }
      } else {
        function::init_locals(static_cast<int32_t>(summary >> 8 & 0xFF));
      }
    }
    if (moves != memory::moves) {
      moves = memory::moves;
      values = &stack::values_of(frame->fctx);
    }
    // The caller's kept store comes back when the body ends with nothing
    // moved: every values pointer set meanwhile has been given back.
    memory::KeptCells outer = memory::kept_local;
    *values = off(stack::base());
    memory::kept_local = memory::KeptCells{frame->fctx, stack::base()};
    frame->header |= FRAME_BODY;
    Cell* result = start;
    if ((start->header & (HDR_TRACE | HDR_NO_TRACE | HDR_LIBRARY)) || trace::tracing) [[unlikely]] {
      run_body_traced(start);
      result = stack::base();
    } else if ((summary & SPEC_NOT_PURE) || !pure::run(start, stack::base(), start)) {
      // The body's block takes the callee's cell: nothing reads the callee
      // once its arguments are in (the frame holds its context), and the
      // body's value then lands where the call's result goes.
      *start = *more_of(start);
      eval_block_at(start);
    }
    if (throwing()) [[unlikely]] {
      if (!land_body_exit()) return pos;
      result = stack::base();  // a return's value
    }
    // The body left its frame on top.
    if (moves != memory::moves) {
      values = &stack::values_of(frame->fctx);
      outer.key = ~0u;
    }
    Cell r = *result;
    stack::cs.top = frame;
    *values = frame->saved;
    memory::kept_local = outer;
    stack::set_base(stack::saved_base(frame));
    *start = r;
    stack::set_top(start + 1);
    if (!push) stack::set_result_trim(start);
    return pos;
  }
  Source s{code, end, end, nullptr};
  s.read();
  push_native_frame(name);
  pos = fetch_fixed(s, pos, start, cache, summary);
  if (throwing()) return pos;
  if (native) native(false, kNoRefs);
  else action(kNoRefs);
  if (throwing()) return pos;
  finish_native(start, push);
  return pos;
}

int32_t eval_call(const Cell* fn_in, Cell* code, int32_t pos, int32_t end, bool push, Cell* path, int32_t path_at,
                  const Cell* name, const Cell* owner, int mode, bool infix) {
  if (!path && !infix && mode == CALL_NORMAL && code && !trace::tracing) {
    int32_t after = call_fast(fn_in, code, pos, end, push, name);
    if (after >= 0) return after;
  }
  Cell fn = *fn_in;
  Fetch f;
  f.code = code;
  f.pos = pos;
  f.end = end;
  f.path = path;
  f.path_at = path_at;
  Cell nm = name ? *name : anon_word();
  f.mode = mode;
  f.infix = infix;
  f.is_fn = is_type(&fn, T_FUNCTION);
  if (!f.is_fn)
    for (int32_t& r : f.refs) r = -1;

  // The callee's copy sits just below its frame, so the result can replace
  // it and the call leaves exactly one cell.
  Cell* start;
  Cell left;
  if (infix) {
    start = stack::top() - 1;
    left = *start;
    *start = fn;
    stack::set_top(start + 1);
  } else {
    start = stack::push(&fn);
  }
  f.fn = start;
  if (f.is_fn) {
    stack::push_frame(&nm, frame_flags(FrameType::function) | FRAME_INTERP);
    CallFrame* frame = stack::top_frame();
    frame->fctx = function::context_of(&fn);
    frame->saved = stack::values_of(function::context_of(&fn));
  } else {
    stack::push_frame(&nm, frame_flags(FrameType::native) | FRAME_INTERP);
  }
  f.frame = stack::top_frame();
  if (infix) *stack::push_new() = left;

  trace::event(trace::open, code, pos, nullptr, &nm);
  fetch_args(f);
  if (throwing()) return f.pos;
  // Fetching may have collected and moved nodes: the callee is read again
  // from its stack cell and the name's context from the frame, both of
  // which the collector corrects.
  fn = *start;
  set_word_context(&nm, f.frame->ctx);
  // An anonymous call is named by the function value itself.
  const Cell* ref = name ? &nm : &fn;
  trace::event(trace::call, code, f.pos, ref, &fn);
  switch (type_of(&fn)) {
    case T_NATIVE: {
      natives::Entry e = natives::entry(static_cast<int>(native::index(&fn)));
      if (!e) fire(Err::not_done);
      e(false, f.refs);
      break;
    }
    case T_ACTION: {
      actions::Entry e = actions::entry(static_cast<int>(native::index(&fn)));
      if (!e) fire(Err::not_done);
      e(f.refs);
      break;
    }
    case T_FUNCTION:
      eval_function(f.fn);
      break;
    default:
      call_routine(f.fn);
  }
  if (throwing()) return f.pos;
  if (trace::tracing) {
    fn = *start;
    set_word_context(&nm, f.frame->ctx);
  }
  trace::event(trace::return_, code, f.pos, ref, stack::base());
  Cell r = *stack::base();
  if (f.is_fn) stack::unwind_func();
  else stack::unwind();
  *start = r;
  stack::set_top(start + 1);
  if (!push) stack::set_result_trim(start);
  return f.pos;
}

namespace {

// The tracing state a body runs with, put back on every way out.
struct TraceScope {
  uint32_t saved;
  explicit TraceScope(uint32_t header) : saved(trace::enter_function(header)) {}
  ~TraceScope() { trace::leave_function(saved); }
};

void run_body_traced(const Cell* fn) {
  // Library bodies behave as compiled code: nothing in them is traced.
  TraceScope scope(fn->header & HDR_LIBRARY ? HDR_NO_TRACE : fn->header);
  CallFrame* frame = stack::top_frame();
  Cell name{T_WORD, frame->ctx, frame->sym, static_cast<uint32_t>(-1)};
  trace::event(trace::prolog, more_of(fn), -1, &name, fn);
  eval_block(more_of(fn), true);
  if (!throwing()) trace::event(trace::epilog, more_of(fn), -1, &name, fn);
}

}  // namespace

void eval_function(const Cell* fn) { run_body(fn); }

// A routine! carries its routine-table index in cell 2 of its more block; the
// C++ function reads its arguments from the base and leaves its result there.
void call_routine(const Cell* fn) {
  routines::Fn f = routines::entry(get_int(function::more(fn) + 2));
  if (!f) fire(Err::not_done);
  f();
}

void call_evaluated(const Cell* fn_in, const Cell* name, Cell* start, int count, bool push) {
  Cell fn = *fn_in;
  for (int i = count; i > 0; i--) start[i] = start[i - 1];
  *start = fn;
  stack::set_top(start + 1);
  bool is_fn = is_type(&fn, T_FUNCTION);
  Cell* base = stack::push_frame(name, frame_flags(is_fn ? FrameType::function : FrameType::native) | FRAME_INTERP);
  CallFrame* frame = stack::top_frame();
  if (is_fn) {
    frame->fctx = function::context_of(&fn);
    frame->saved = stack::values_of(function::context_of(&fn));
  }
  stack::set_top(base + count);
  cache_spec(start);
  int32_t n = cache_size(start), param = 0;
  int32_t k = 0;
  for (int32_t seen = 0; k < n && seen < count; k++) {
    Cell* e = cache_cells(start) + k;
    if (!is_type(e, T_TYPESET) || arg_class(e) == ArgClass::returns) continue;
    if (!accepts(e, type_of(base + seen))) {
      Cell nm{T_WORD, frame->ctx, frame->sym, static_cast<uint32_t>(-1)};
      expect_arg(&nm, base + seen, start, param);
    }
    seen++;
    param++;
  }
  // A function's context covers every slot: the arguments not given, its
  // refinements (false), their arguments and its locals get their cells.
  if (is_fn) {
    for (; k < n; k++) {
      Cell e = cache_cells(start)[k];
      if (is_type(&e, T_TYPESET) && arg_class(&e) != ArgClass::returns) stack::push(&fixed_none);
      else if (is_type(&e, T_REFINEMENT)) stack::push(&fixed_false);
      else if (is_type(&e, T_INTEGER) && k == n - 1) function::init_locals(get_int(&e));
    }
  }
  int32_t refs[actions::MAX_REFINEMENTS];
  for (int32_t& r : refs) r = -1;
  switch (type_of(&fn)) {
    case T_NATIVE: natives::entry(static_cast<int>(native::index(&fn)))(false, refs); break;
    case T_ACTION: actions::entry(static_cast<int>(native::index(&fn)))(refs); break;
    case T_FUNCTION: eval_function(start); break;
    default: call_routine(start);
  }
  if (throwing()) return;
  Cell r = *stack::base();
  if (is_fn) stack::unwind_func();
  else stack::unwind();
  *start = r;
  stack::set_top(start + 1);
  if (!push) stack::set_result_trim(start);
}

}  // namespace xeb::interpreter
