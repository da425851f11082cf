// The interpreter loop: blocks, single values and the infix chain.
#include "evaluator/interpreter.h"

#include <array>
#include <cmath>

#include "datatypes/actions.h"
#include "datatypes/context.h"
#include "datatypes/logic.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/internal.h"
#include "evaluator/trace.h"
#include "runtime/collector.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::interpreter {

namespace {

Cell code_cell{T_UNSET, 0, 0, 0};  // the current-code cell, filled when asked for

// The block evaluations under way, innermost first: each holds its code's
// data-stack cell and the start of the expression it is at. The chain lives
// on the C++ stack; the current-code cell is made from its head only when an
// error asks for it, so an expression costs one store.
struct CodeRec {
  const Cell* code;
  int32_t pos;
  CodeRec* prev;
};
CodeRec* code_top = nullptr;

// Pops the record on every way out of a block, exceptions included, so that
// the outer expression shows again after a nested error.
struct CodeScope {
  CodeRec rec;
  CodeScope(const Cell* code, int32_t pos) : rec{code, pos, code_top} { code_top = &rec; }
  ~CodeScope() { code_top = rec.prev; }
};

// An operator and its word kept while its right operand runs: roots on
// the C++ stack, innermost first, corrected in place when nodes move.
struct HeldRec {
  Cell op, name;
  HeldRec* prev;
};
HeldRec* held_top = nullptr;

struct HeldOp {
  HeldRec rec;
  HeldOp(const Cell& op, const Cell& name) : rec{op, name, held_top} { held_top = &rec; }
  ~HeldOp() { held_top = rec.prev; }
  HeldOp(const HeldOp&) = delete;
  HeldOp& operator=(const HeldOp&) = delete;
};

void mark_interp_roots() {
  collector::mark_cell(&code_cell);
  for (HeldRec* h = held_top; h; h = h->prev) {
    collector::mark_cell(&h->op);
    collector::mark_cell(&h->name);
  }
}

// Writes the value of one step by its mode: pushed at start (the top when the
// step began), or as the only value of the current frame.
inline void put(const Cell* v, bool push, Cell* start) {
  if (push) {
    Cell x = *v;
    stack::set_top(start);
    *stack::push_new() = x;
  } else {
    stack::set_result_trim(v);
  }
}


// The single-call shortcut of a paren runs inside its callers (the walker
// and the integer infix) in an optimized build: one C++ call less per paren.
// An unoptimized build (the sanitizer's) keeps every inlined copy's
// temporaries apart, so there it stays one function, lest the walker's
// frame, repeated at each level of a deep recursion, outgrow the C++ stack
// before the language's limits are met.
#ifdef __OPTIMIZE__
#define PAREN_INLINE [[gnu::always_inline]] inline
#else
#define PAREN_INLINE [[gnu::noinline]]
#endif

void eval_paren(const Cell* paren);
PAREN_INLINE void paren_value(const Cell* paren);

// A call through a word that the short path refused, made by the general
// call. Out of line: its copies of the value and the word would widen the
// walker's C++ frame, which every nested call repeats. Kept from GCC's
// interprocedural rewrites too: its clone took both cells by value on the
// C++ stack, and the pushes at its call sites made every function that
// inlines the walker's step (the walker, infix_paren) keep a frame pointer.
[[gnu::noipa]] int32_t call_general(const Cell* val, const Cell* w, Cell* code, int32_t pos, int32_t end,
                                       bool push) {
  Cell fn = *val, name = *w;
  return eval_call(&fn, code, pos, end, push, nullptr, 0, &name, nullptr, CALL_NORMAL, false);
}

// A set-word at pos and the expression after it; the value is put by the
// mode at start. Answers the position after the expression.
int32_t eval_set_word(Cell* code, int32_t pos, int32_t end, bool push, Cell* start) {
  const Cell* v = cell_at(code, pos);
  const Cell* callee = nullptr;
  if (!trace::tracing) [[likely]] {
    // A value that cannot fail, stored where nothing can fail, needs
    // no frame to name it in an error.
    Cell x;
    int32_t after = quick_value(code, pos + 1, end, &x, &callee);
    if (after >= 0 && set_word_direct(v, &x)) {
      put(&x, push, start);
      return after;
    }
  }
  Cell* base = stack::push_frame(v, frame_flags(FrameType::native) | FRAME_INTERP);
  stack::push(v);
  trace::event(trace::push, code, pos, nullptr, base);
  if (++pos >= end) fire(Err::need_value, base);
  if (callee) {
    // A call, as eval_value would make it: the word's value is known.
    Cell fn = *callee, name = *cell_at(code, pos);
    int32_t after = call_fast(&fn, code, pos + 1, end, true, &name);
    pos = after >= 0 ? after : eval_call(&fn, code, pos + 1, end, true, nullptr, 0, &name, nullptr, CALL_NORMAL, false);
    if (throwing()) return pos;
    pos = infix_after(code, pos, end, true, base + 1);
  } else {
    pos = eval_value(code, pos, end, false, true, false);
  }
  if (throwing()) return pos;
  trace::event(trace::set, code, pos, base, base + 1);
  if (is_type(base + 1, T_UNSET)) fire(Err::need_value, base);
  set_word(base, base + 1);
  Cell r = base[1];
  stack::unwind();
  put(&r, push, start);
  return pos;
}

// One expression of a block, pushed: eval_value's work with its commonest
// cases taken here, in the block's own loop (a call through a word, a
// literal, a word holding a plain value), so they need no frame of
// eval_value. Only while not tracing (the caller has checked); anything
// else goes to eval_value. b is the code's buffer, read since the last
// allocation, and pos lies before both end and its tail.
[[gnu::always_inline]] inline int32_t eval_step(Cell* code, SeriesBuf* b, int32_t pos, int32_t end) {
  Cell* v = b->cells() + pos;
  Cell* start = stack::top();
  TypeId t = type_of(v);
  const Cell* val = v;
  // Each case leaves its value at start and the position after it in pos;
  // one infix lookahead follows them all.
  if (t == T_SET_WORD) {
    pos = eval_set_word(code, pos, end, true, start);
    if (throwing()) return pos;
  } else if (t == T_PAREN) {
    paren_value(v);  // pushed at start
    if (throwing()) return pos;
    pos++;
  } else {
    if (t == T_WORD) {
      val = bound_value(v);
      if (!val) return eval_value(code, pos, end, false, true, false);
      t = type_of(val);
      if (callable(t)) {
        // call_fast reads the value and the word before anything allocates.
        int32_t after = call_fast(val, code, pos + 1, end, true, v);
        if (after < 0) after = call_general(val, v, code, pos + 1, end, true);
        if (throwing()) return after;
        return infix_after(code, after, end, true, start);
      }
      if (t == T_UNSET || t == T_OP) return eval_value(code, pos, end, false, true, false);
    } else if (!plain_literal(t)) {
      return eval_value(code, pos, end, false, true, false);
    }
    stack::push(val);
    pos++;
  }
  return infix_after(code, pos, end, true, start);
}

}  // namespace

Cell* bound_value_slow(Node ctx, int32_t index) {
  Cell* values = context::store_values(ctx);
  if (ctx == context::global()) memory::kept = memory::KeptCells{ctx, values};
  return values + index;
}


void number_infix(int code, Cell* left, const Cell* right) {
  TypeId lt = type_of(left), rt = type_of(right);
  double x = lt == T_INTEGER ? double(get_int(left)) : get_double(left);
  double y = rt == T_INTEGER ? double(get_int(right)) : get_double(right);
  if (code & INT_COMPARE) {
    int outcome;  // 0 lesser, 1 equal, 2 greater; -1 for no relation
    if (code & INT_STRICT) {
      outcome = lt == rt && x == y ? 1 : 0;
    } else if ((code & 7) == (INT_EQ & 7) || (code & 7) == (INT_NE & 7)) {
      outcome = float_::almost_equal_q(x, y) ? 1 : 0;
    } else {
      // An ordering with a NaN holds neither way.
      outcome = std::isnan(x) || std::isnan(y) ? -1 : (x > y) - (x < y) + 1;
    }
    *left = outcome >= 0 && (code >> outcome) & 1 ? fixed_true : fixed_false;
    return;
  }
  put_double(left, code == INT_ADD ? x + y : code == INT_SUB ? x - y : code == INT_MUL ? x * y : x / y);
  set_type(left, lt == T_PERCENT ? T_PERCENT : T_FLOAT);
}

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  set_unset(&code_cell);
  collector::add_root_marker(mark_interp_roots);
  trace::setup();
}

Cell* current_code() {
  // Library code runs as compiled code, which has no place of its own: the
  // interpreted code that called into it is shown (its own when none did).
  CodeRec* r = code_top;
  while (r && (series::buf(r->code)->flags & function::SER_LIBRARY)) r = r->prev;
  if (!r) r = code_top;
  if (r) {
    code_cell = *r->code;
    series::set_head(&code_cell, r->pos);
  } else {
    set_unset(&code_cell);
  }
  return &code_cell;
}

const Cell* code_out(int out) {
  CodeRec* r = code_top;
  for (; r && out > 0; out--) r = r->prev;
  return r ? r->code : nullptr;
}

namespace {

// The rest of a block from pos while tracing may be on: a step goes through
// eval_value while tracing is on, and each expression event is sent while
// it is on (it may go off and on again at any step). Each step's value is
// pushed at mark, where the next step drops it. Answers false when an exit
// is pending.
[[gnu::noinline]] bool run_traced(Cell* code, Cell* mark, CodeRec& rec, int32_t pos, int32_t end) {
  for (;;) {
    rec.pos = pos;
    if (trace::tracing)
      pos = eval_value(code, pos, end, false, true, false);
    else
      pos = eval_step(code, series::buf(code), pos, end);
    if (throwing()) return false;
    trace::event(trace::expr, code, pos, nullptr, stack::top() - 1);
    if (pos >= end || pos >= static_cast<int32_t>(series::buf(code)->cell_count())) return true;
    stack::set_top(mark);
  }
}

}  // namespace

// A block runs on its caller's frame: each expression pushes its value above
// the code's cell and the next one drops it, so the last value is the one
// left. No frame is needed: nothing unwinds to a block, and the collector
// sees every cell below the top.
//
// While tracing is off the loop tests it once per step, after the step:
// nothing runs between that test and the next step, so the step needs no
// test of its own, and the block no exit event when it ends untraced.
// Tracing found on there sends the step's expression event, and the rest of
// the block runs traced.
namespace {

// The steps of a block from pos while tracing is off, the first one's
// start recorded already, each step's value pushed at mark: the loop of
// run_block. Answers false when an exit is pending; traced: tracing came on
// at a step (the rest ran traced).
[[gnu::always_inline]] inline bool run_untraced(Cell* code, Cell* mark, SeriesBuf* b, int32_t pos, int32_t end,
                                                CodeRec& rec, bool& traced) {
  // The end is the tail when the block began; values added later are not
  // run, and one that cut the block short ends it at its new tail.
  for (;;) {
    rec.pos = pos;
    pos = eval_step(code, b, pos, end);
    if (throwing()) return false;
    if (trace::tracing) [[unlikely]] {
      traced = true;
      trace::fire(trace::expr, code, pos, nullptr, stack::top() - 1);
      if (pos >= end || pos >= static_cast<int32_t>(series::buf(code)->cell_count())) return true;
      stack::set_top(mark);
      return run_traced(code, mark, rec, pos, end);
    }
    if (pos >= end) return true;
    b = series::buf(code);
    if (pos >= static_cast<int32_t>(b->cell_count())) return true;
    stack::set_top(mark);
  }
}

// The block in code run with its steps' cells kept above mark, its value
// left on top. False when it throws.
[[gnu::always_inline]] inline bool run_code(Cell* code, Cell* mark) {
  SeriesBuf* b = series::buf(code);
  int32_t pos = series::head(code);
  int32_t end = static_cast<int32_t>(b->cell_count());
  bool traced = true;  // the exit event is due (when tracing is on then)
  if (pos >= end) {
    trace::event(trace::enter, code, pos, nullptr, nullptr);
    set_unset(stack::push_new());
  } else if (trace::tracing) [[unlikely]] {
    trace::fire(trace::enter, code, pos, nullptr, nullptr);
    CodeScope scope(code, pos);
    if (!run_traced(code, mark, scope.rec, pos, end)) return false;
  } else {
    traced = false;
    CodeScope scope(code, pos);
    if (!run_untraced(code, mark, b, pos, end, scope.rec, traced)) return false;
  }
  if (traced)
    trace::event(trace::exit, code, static_cast<int32_t>(series::buf(code)->cell_count()), nullptr,
                 stack::top() - 1);
  return true;
}

template <bool keep>
[[gnu::always_inline]] inline void run_block(const Cell* block) {
  Cell* code = stack::push(block);  // keeps the code rooted while it runs
  if (!run_code(code, code + 1)) return;
  Cell r = *(stack::top() - 1);
  if constexpr (keep) {
    Cell* base = stack::base();
    *base = r;
    stack::set_top(code > base ? code : base + 1);
  } else {
    stack::set_top(code);
    *stack::push_new() = r;
  }
}

// A paren whose first expression left more to run, or met tracing: the
// rest as run_block runs it, from the step just made (pos after it).
[[gnu::noinline]] void paren_rest(Cell* code, CodeRec& rec, int32_t pos, int32_t end) {
  bool traced = false;
  if (trace::tracing) {
    traced = true;
    trace::fire(trace::expr, code, pos, nullptr, stack::top() - 1);
    if (pos < end && pos < static_cast<int32_t>(series::buf(code)->cell_count())) {
      stack::set_top(code + 1);
      if (!run_traced(code, code + 1, rec, pos, end)) return;
    }
  } else if (SeriesBuf* b = series::buf(code); pos < static_cast<int32_t>(b->cell_count())) {
    stack::set_top(code + 1);
    if (!run_untraced(code, code + 1, b, pos, end, rec, traced)) return;
  }
  if (traced)
    trace::event(trace::exit, code, static_cast<int32_t>(series::buf(code)->cell_count()), nullptr,
                 stack::top() - 1);
  Cell r = *(stack::top() - 1);
  *code = r;
  stack::set_top(code + 1);
}

// A paren's value, pushed, as eval_block_push leaves it. Its commonest
// form, a call through a word that takes the whole paren, runs in a frame
// of its own smaller than run_block's: the code pushed, its record, the
// call, the value in the code's cell.
PAREN_INLINE void paren_value(const Cell* paren) {
  SeriesBuf* b = series::buf(paren);
  int32_t pos = series::head(paren);
  int32_t end = static_cast<int32_t>(b->cell_count());
  const Cell* w = b->cells() + pos;
  const Cell* val;
  if (trace::tracing || pos >= end || !is_type(w, T_WORD) || !(val = bound_value(w)) || !callable(type_of(val))) {
    eval_block_push(paren);
    return;
  }
  Cell* code = stack::push(paren);  // w and val stay put: pushing allocates nothing
  CodeScope scope(code, pos);
  // call_fast reads the value and the word before anything allocates.
  int32_t after = call_fast(val, code, pos + 1, end, true, w);
  if (after < 0) after = call_general(val, w, code, pos + 1, end, true);
  if (throwing()) return;
  after = infix_after(code, after, end, true, code + 1);
  if (throwing()) return;
  if (trace::tracing || after < end) [[unlikely]] {
    paren_rest(code, scope.rec, after, end);
    return;
  }
  Cell r = *(stack::top() - 1);
  *code = r;
  stack::set_top(code + 1);
}

[[gnu::noinline]] void eval_paren(const Cell* paren) { paren_value(paren); }

}  // namespace

void eval_block_keep(const Cell* block) { run_block<true>(block); }

void eval_block_at(Cell* code) {
  // The code already in place below the cells it keeps.
  if (run_code(code, stack::top())) *code = *(stack::top() - 1);
}
void eval_block_push(const Cell* block) { run_block<false>(block); }

int32_t eval_expression(Cell* code, int32_t pos, int32_t end, bool push) {
  Cell* entry = stack::top();
  stack::push_frame(stack::names.body, 0, frame_flags(FrameType::native) | FRAME_INTERP);
  pos = eval_value(code, pos, end, false, false, false);
  if (throwing()) return pos;
  trace::event(trace::expr, code, pos, nullptr, stack::base());
  Cell r = *stack::base();
  stack::unwind();
  if (push) {
    stack::set_top(entry);
    *stack::push_new() = r;
  } else {
    stack::set_result_trim(&r);
  }
  return pos;
}

int32_t eval_next(Cell* block) {
  int32_t head = series::head(block);
  int32_t tail = static_cast<int32_t>(series::buf(block)->cell_count());
  if (head >= tail) {
    set_unset(stack::push_new());
    return head;
  }
  return eval_expression(block, head, tail, true);
}

int32_t eval_value(Cell* code, int32_t pos, int32_t end, bool no_infix, bool push, bool quote) {
  if (trace::tracing) [[unlikely]] {
    if (pos < end && pos < static_cast<int32_t>(series::buf(code)->cell_count()))
      trace::fire(trace::fetch, code, pos, nullptr, cell_at(code, pos));
  }
  int32_t tail = static_cast<int32_t>(series::buf(code)->cell_count());
  if (end > tail) end = tail;  // the code may have shrunk under us
  Cell* start = push ? stack::top() : stack::reset();
  if (pos >= end) {
    // The code was cut short under a caller that had checked its end.
    set_unset(push ? stack::push_new() : stack::base());
    if (!push) stack::set_top(stack::base() + 1);
    return pos;
  }
  Cell* v = cell_at(code, pos);
  int32_t at = pos;  // where the value was read, for the push event
  // The value produced in place (not by a call): the push event.
  auto produced = [&] { trace::event(trace::push, code, at, nullptr, start); };
  switch (type_of(v)) {
    case T_PAREN:
      eval_paren(v);  // pushed at start
      if (throwing()) return pos;
      if (!push) stack::set_result_trim(start);
      pos++;
      break;

    case T_SET_WORD:
      pos = eval_set_word(code, pos, end, push, start);
      if (throwing()) return pos;
      break;

    case T_SET_PATH: {
      stack::push_frame(static_cast<uint32_t>(words::sym(words::W::set_path)), 0,
                        frame_flags(FrameType::native) | FRAME_INTERP);
      Cell* path = stack::push(v);
      trace::event(trace::push, code, at, nullptr, path);
      if (++pos >= end) fire(Err::need_value, path);
      pos = eval_value(code, pos, end, false, true, false);
      if (throwing()) return pos;
      Cell* value = stack::top() - 1;
      trace::event(trace::set, code, pos, path, value);
      eval_path(path, nullptr, 0, 0, true, false, true, false, value);
      if (throwing()) return pos;
      Cell r = *(stack::top() - 1);
      stack::unwind();
      put(&r, push, start);
      break;
    }

    case T_GET_WORD: {
      Cell x = *word_value(v);
      put(&x, push, start);
      produced();
      pos++;
      break;
    }

    case T_LIT_WORD:
      put(v, push, start);
      set_type(stack::top() - 1, T_WORD);
      produced();
      pos++;
      break;

    case T_WORD: {
      Cell* val = word_value(v);
      switch (type_of(val)) {
        case T_UNSET:
          fire(Err::no_value, v);
        case T_NATIVE: case T_ACTION: case T_FUNCTION: case T_ROUTINE: {
          if (!push) stack::set_top(start);
          // call_fast reads the value and the word before anything allocates.
          int32_t after = trace::tracing ? -1 : call_fast(val, code, pos + 1, end, push, v);
          if (after < 0) {
            Cell fn = *val, name = *v;
            after = eval_call(&fn, code, pos + 1, end, push, nullptr, 0, &name, nullptr, CALL_NORMAL, false);
          }
          pos = after;
          if (throwing()) return pos;
          break;
        }
        case T_OP:
          fire(Err::no_op_arg, v);
        default:
          put(val, push, start);
          produced();
          pos++;
      }
      break;
    }

    case T_PATH: case T_GET_PATH: {
      Cell p = *v;
      pos = eval_path(&p, code, pos + 1, end, false, type_of(v) == T_GET_PATH, push, false);
      if (throwing()) return pos;
      produced();
      break;
    }

    case T_LIT_PATH:
      put(v, push, start);
      set_type(stack::top() - 1, T_PATH);
      series::set_extra(stack::top() - 1, 0);
      produced();
      pos++;
      break;

    case T_OP:
      fire(Err::not_done);

    case T_NATIVE: case T_ACTION: case T_FUNCTION: case T_ROUTINE:
      if (quote) {
        put(v, push, start);
        produced();
        pos++;
      } else {
        Cell fn = *v;
        pos = eval_call(&fn, code, pos + 1, end, push, nullptr, 0, nullptr, nullptr, CALL_NORMAL, false);
        if (throwing()) return pos;
      }
      break;

    case T_ISSUE:
      if (pos + 1 < end && is_type(v + 1, T_BLOCK) &&
          (words::is(word_symbol(v), words::W::system) || words::is(word_symbol(v), words::W::system_global)))
        fire(Err::xeb_system);
      put(v, push, start);
      produced();
      pos++;
      break;

    default:
      put(v, push, start);
      produced();
      pos++;
  }
  if (no_infix) return pos;
  return infix_after(code, pos, end, push, start);
}

int32_t eval_infix(Cell* code, int32_t pos, int32_t end, bool push, Cell* start) {
  int32_t tail = static_cast<int32_t>(series::buf(code)->cell_count());
  if (end > tail) end = tail;
  if (pos >= end) return pos;
  Cell* w = cell_at(code, pos);
  if (!is_type(w, T_WORD)) return pos;
  const Cell* op = bound_value(w);
  if (!op || !is_type(op, T_OP)) return pos;
  return eval_infix_at(code, pos, end, push, start, op);
}

namespace {

// The function an operator wraps, to be called with the operator's name.
inline Cell op_function(const Cell* op) {
  Cell fn = *op;
  set_type(&fn, static_cast<TypeId>(native::wrapped_type(op)));
  fn.header &= HDR_TYPE_MASK;
  return fn;
}

// An inline operator's step once its right operand lies at start + 1:
// computed in place when that is a number it takes, else through the
// operator held meanwhile.
inline void finish_integer_infix(int iop, Cell* start, const HeldOp& held, bool push) {
  if (takes_inline(iop, start, start + 1)) {
    scalar_infix(iop, start, start + 1);
    stack::set_top(start + 1);
  } else {
    Cell fn = op_function(&held.rec.op), nm = held.rec.name;
    call_evaluated(&fn, &nm, start, 2, true);
  }
  if (!push && !throwing()) stack::set_result_trim(start);
}

}  // namespace

int32_t infix_paren(Cell* code, int32_t pos, bool push, Cell* start, const Cell* op, int iop) {
  const Cell* w = cell_at(code, pos);
  // The operator and its word wait in a root while the paren runs (see
  // eval_infix_at).
  HeldOp held(*op, *w);
  stack::set_top(start + 1);
  paren_value(w + 1);  // pushed at start + 1
  if (throwing()) return pos + 2;
  finish_integer_infix(iop, start, held, push);
  return pos + 2;
}

int32_t eval_infix_at(Cell* code, int32_t pos, int32_t end, bool push, Cell* start, const Cell* op) {
  // Each operator takes the value produced so far as its left operand, so
  // operators chain to the left with equal precedence.
  int32_t tail = static_cast<int32_t>(series::buf(code)->cell_count());
  if (end > tail) end = tail;
  for (;;) {
    // The operator is the one met here: evaluating its right operand may
    // rebind its word or move the store its value lies in.
    Cell* w = cell_at(code, pos);
    Cell name = *w, taken = *op;
    stack::set_top(start + 1);  // the value just made is the left operand
    if (trace::tracing) [[unlikely]] {
      // Every step of the operator is reported: no short path.
      trace::fire(trace::fetch, code, pos, nullptr, w);
      Cell fn = op_function(&taken);
      pos = eval_call(&fn, code, pos + 1, end, push, nullptr, 0, &name, nullptr, CALL_NORMAL, true);
    } else if (int iop = integer_op(op); iop && inline_number(start) && pos + 1 < end) {
      // Arithmetic and comparison of numbers need no frame: they cannot
      // fail. Any other right operand goes through the operator as usual.
      const Cell* r = w + 1;
      const Cell* rv = inline_operand(r);
      if (rv && takes_inline(iop, start, rv)) {
        scalar_infix(iop, start, rv);
        pos += 2;
      } else {
        // The right operand runs code, which may collect and move the nodes
        // the operator and its word hold: they wait in a root the collector
        // corrects (not on the data stack, whose cells bound the recursion).
        HeldOp held(taken, name);
        if (is_type(r, T_PAREN)) {
          eval_paren(r);  // pushed at start + 1
          pos += 2;
        } else {
          pos = eval_value(code, pos + 1, end, true, true, false);
        }
        if (throwing()) return pos;
        finish_integer_infix(iop, start, held, push);
      }
    } else {
      Cell fn = op_function(&taken);
      pos = eval_call(&fn, code, pos + 1, end, push, nullptr, 0, &name, nullptr, CALL_NORMAL, true);
    }
    if (throwing()) return pos;
    // The next operator, if any: the code may have changed.
    tail = static_cast<int32_t>(series::buf(code)->cell_count());
    if (end > tail) end = tail;
    if (pos >= end) return pos;
    w = cell_at(code, pos);
    if (!is_type(w, T_WORD)) return pos;
    op = bound_value(w);
    if (!op || !is_type(op, T_OP)) return pos;
  }
}

}  // namespace xeb::interpreter
