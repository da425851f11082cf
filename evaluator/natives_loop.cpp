// Loop natives: while, until, loop, repeat, forever, foreach, forall and
// remove-each, with the series steps they share.
//
// Each loop pushes a loop frame named <body> (the target of break and
// continue) over its state cells, and runs its body under a catching point of
// the loop level. break and continue come back as pending codes that the
// catching point lands here; anything else (return, exit, throw) passes on
// with the stacks as its throw set them, and errors pass as C++ exceptions.
// The data stack never moves, so pointers to argument and state cells hold;
// buffer addresses are re-read after every body.
#include "datatypes/block.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "runtime/interrupt.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::natives {

// --- Shared helpers (declared in natives_support.h) --------------------------------

void refuse_arg(int32_t param, const Cell* value) {
  Cell caller, type = datatype::make_cell(type_of(value)), w;
  stack::caller_word(&caller);
  error::get_call_argument(param, &w);
  fire(Err::expect_arg, &caller, &type, &w);
}

double number_arg(int32_t param, const Cell* v) {
  switch (type_of(v)) {
    case T_INTEGER: return get_int(v);
    case T_FLOAT: case T_PERCENT: case T_TIME: return get_double(v);
    default: refuse_arg(param, v);
  }
}

namespace {

enum class Step { next, stop };

// The loop frame and its catching point; the frame's base is the result slot.
class LoopFrame {
 public:
  LoopFrame() : cp_((push(), CatchLevel::loop)) {}
  // A code that is not ours on its way out: only break and continue land
  // here; return, exit and throw pass on (the level alone would stop them).
  bool passing() const {
    return throwing() && pending_throw != ThrowCode::break_loop && pending_throw != ThrowCode::continue_loop;
  }
  // After a body: whether the loop goes on (next) or ends (stop).
  Step settle() {
    if (!throwing()) return Step::next;
    return cp_.land() == ThrowCode::break_loop ? Step::stop : Step::next;
  }
  bool broke(Step s) const { return s == Step::stop; }

 private:
  static void push() {
    Cell name = words::word(words::W::body_frame);
    stack::mark_loop(&name);
    set_unset(stack::base());
  }
  CatchPoint cp_;
};

// A Ctrl-C waiting to halt the console's command: the round becomes what
// `halt` does, a throw of halt-request named console.
[[gnu::noinline]] void halt_round() {
  interrupt::clear();
  Cell* b = stack::base();
  stack::set_top(b);
  *stack::push_new() = *word::load("halt-request");
  *stack::push_new() = *word::load("console");
  stack::throw_value(ThrowCode::throw_value);
}

// Runs the body into the loop frame's result slot. Every loop of the
// language passes here once a round, so this is where a pending Ctrl-C is
// looked at: one load of the flag.
inline void run(const Cell* body) {
  stack::reset();
  if (interrupt::is_pending()) [[unlikely]] {
    halt_round();
    return;
  }
  interpreter::eval_block(body, true);
}

// Pops the loop frame keeping its result as the native's.
inline void finish() {
  stack::unwind_last();
  stack::set_top(stack::base() + 1);
}

// The rounds of loop, repeat, forever and foreach: before each, next() sets
// up the round and answers whether there is one. The result is the last
// body's, or what break left; a code not ours returns with the stacks as its
// throw set them.
template <class Next>
void rounds(const Cell* body, Next next) {
  LoopFrame lf;
  while (next()) {
    run(body);
    if (throwing()) {
      if (lf.passing()) return;
      if (lf.broke(lf.settle())) break;
    }
  }
  finish();
}

// Truth of a condition or body value; unset! has no truth.
bool strict_true(const Cell* v) {
  if (is_type(v, T_UNSET)) fire(Err::no_return);
  return !is_false(v);
}

// Sets a word to a value in the word's own context; object words fire their
// change hooks, so both go on the stack first.
void assign(const Cell* word, const Cell* value) {
  Cell* w = stack::push(word);
  Cell* v = stack::push(value);
  interpreter::set_word(w, v);
  stack::pop(2);
}

bool word_type(TypeId t) { return t == T_WORD || t == T_SET_WORD || t == T_GET_WORD || t == T_LIT_WORD; }

inline int32_t tail_of(const Cell* s) {
  return is_type(s, T_IMAGE) ? static_cast<int32_t>(image::area(s)) : series::buffer_length(s);
}
inline bool has_value(const Cell* s) { return series::head(s) < tail_of(s); }

// The element at the series' head + i (none! past the tail), for any series.
Cell element(const Cell* s, int32_t i) {
  if (series::head(s) + i >= tail_of(s)) return fixed_none;
  if (series::block_like(type_of(s))) return *interpreter::cell_at(s, series::head(s) + i);
  Cell* tmp = stack::push(s);
  series::set_head(tmp, series::head(s) + i);
  Cell v = *actions::direct::pick(tmp, 1, tmp);
  stack::pop(1);
  return v;
}

}  // namespace

// --- Steps -----------------------------------------------------------------------

// Normalises a count in place: a float! truncated toward zero, clamped to the
// 32-bit range (a NaN counts as 0) rather than left to an undefined cast.
void loop_count(Cell* c) {
  if (!is_type(c, T_FLOAT)) return;
  double d = get_double(c);
  int32_t n = d != d ? 0 : d >= 2147483647.0 ? INT32_MAX : d <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(d);
  *c = Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0};
}

// Reads and normalises the count of loop and repeat; with no rounds to run
// the result is none! at once.
static bool count_of(Cell* count, int32_t* n) {
  loop_count(count);
  *n = get_int(count);
  if (*n > 0) return true;
  stack::set_result_trim(&fixed_none);
  return false;
}

// One-word step over a block: its value is read in place and stored
// directly when the word's context takes it so.
static inline bool foreach_next_block(Cell* s, const Cell* word) {
  SeriesBuf* b = series::buf(s);
  int32_t h = series::head(s);
  if (h >= static_cast<int32_t>(b->cell_count())) return false;
  Cell v = b->cells()[h];
  if (!interpreter::set_word_direct(word, &v)) assign(word, &v);
  series::set_head(s, h + 1);
  return true;
}

// One-word step: sets the word to the value at the head and advances.
bool foreach_next(Cell* s, const Cell* word) {
  if (series::block_like(type_of(s))) return foreach_next_block(s, word);
  if (!has_value(s)) return false;
  Cell v = element(s, 0);
  assign(word, &v);
  series::set_head(s, series::head(s) + 1);
  return true;
}

// A map gives each round a key (a set-word key as a word) and its value;
// removed entries are skipped.
bool foreach_next_map(Cell* s, const Cell* words_block, int32_t n) {
  if (n != 2) {
    Cell w = *words_block;
    fire(Err::invalid_arg, &w);
  }
  if (!map::skip_removed(s)) return false;
  for (int32_t i = 0; i < 2; i++) {
    Cell w = *interpreter::cell_at(words_block, series::head(words_block) + i);
    if (!word_type(type_of(&w))) fire(Err::invalid_arg, &w);
    Cell v = *interpreter::cell_at(s, series::head(s) + i);
    if (i == 0) v = map::shown_key(&v);
    assign(&w, &v);
  }
  series::set_head(s, series::head(s) + 2);
  return true;
}

// n-word step: the words get the next n values (none! past the tail).
bool foreach_next_multi(Cell* s, const Cell* words_block, int32_t n) {
  if (is_type(s, T_MAP)) return foreach_next_map(s, words_block, n);
  if (!has_value(s)) return false;
  for (int32_t i = 0; i < n; i++) {
    Cell w = *interpreter::cell_at(words_block, series::head(words_block) + i);
    if (!word_type(type_of(&w))) fire(Err::invalid_arg, &w);
    Cell v = element(s, i);
    assign(&w, &v);
  }
  series::set_head(s, series::head(s) + n);
  return true;
}

// remove-each: takes out the n values just visited; the head comes back to
// where they were.
void remove_each_step(Cell* s, Cell* count, int32_t n) {
  series::set_head(s, series::head(s) - n);
  Cell* r = actions::direct::remove(s, n == 1 ? nullptr : count, nullptr);
  if (r != s) *s = *r;
}

// --- Natives ------------------------------------------------------------------

void while_(bool, const int32_t*) {
  Cell* cond = arg(0);
  Cell* body = arg(1);
  LoopFrame lf;
  for (;;) {
    run(cond);
    if (throwing()) {
      if (lf.passing()) return;
      lf.settle();
      fire(Err::while_cond);
    }
    if (!strict_true(stack::base())) break;
    run(body);
    if (lf.passing()) return;
    if (lf.broke(lf.settle())) break;
  }
  stack::unwind();
  stack::set_result_trim(&fixed_unset);
}

void until(bool, const int32_t*) {
  Cell* body = arg(0);
  LoopFrame lf;
  for (;;) {
    run(body);
    if (throwing()) {
      if (lf.passing()) return;
      if (lf.broke(lf.settle())) break;
      continue;  // continue skips the test
    }
    if (strict_true(stack::base())) break;
  }
  finish();
}

void loop(bool, const int32_t*) {
  int32_t n;
  if (!count_of(arg(0), &n)) return;
  int32_t i = 0;
  rounds(arg(1), [&] { return i++ < n; });
}

void repeat(bool, const int32_t*) {
  Cell* word = arg(0);
  Cell* count = arg(1);
  int32_t n;
  if (!count_of(count, &n)) return;
  int32_t i = 0;
  const Cell proto = *count;
  rounds(arg(2), [&] {
    if (i == n) return false;
    // The count cell becomes the counter, stored whole: copying a cell just
    // written in part to the word would stall the load.
    *count = integer::with_value(proto, ++i);
    interpreter::set_word(word, count);
    return true;
  });
}

void forever(bool, const int32_t*) {
  rounds(arg(0), [] { return true; });
}

void foreach(bool, const int32_t*) {
  Cell* word = arg(0);
  Cell* body = arg(2);
  Cell* s = stack::push(arg(1));  // the walking copy
  int32_t n = 0;
  if (is_type(word, T_BLOCK)) {
    n = block::xs_length_q(word);
    if (n <= 0) fire(Err::invalid_arg, word);
  } else if (is_type(s, T_MAP)) {
    fire(Err::invalid_arg, word);
  }
  if (!series::any_series(type_of(s)) && !is_type(s, T_MAP)) fire(Err::not_done);
  if (!n && series::block_like(type_of(s))) {
    rounds(body, [&] {
      stack::reset();
      return foreach_next_block(s, word);
    });
    return;
  }
  rounds(body, [&] {
    stack::reset();
    return n ? foreach_next_multi(s, word, n) : foreach_next(s, word);
  });
}

void forall(bool, const int32_t*) {
  Cell* word = arg(0);
  Cell* body = arg(1);
  Cell* start = stack::push(interpreter::word_value(word));
  TypeId t = type_of(start);
  bool ok = series::block_like(t) || series::string_like(t) || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
  if (!ok) refuse_arg(0, start);
  bool at_tail = series::head(start) >= tail_of(start);
  if (t != T_IMAGE) {
    Cell* end_check = stack::push(start);
    series::get_length(end_check, false);  // repairs a head past the tail
    at_tail = series::xs_tail_q(end_check);
  }
  if (at_tail) {
    stack::set_result_trim(&fixed_unset);  // as a body that never ran
    return;
  }
  LoopFrame lf;
  for (;;) {
    run(body);
    if (throwing()) {
      if (lf.passing()) return;
      if (lf.broke(lf.settle())) {
        finish();
        return;  // the word keeps the position the break left
      }
    }
    Cell* v = interpreter::word_value(word);
    if (type_of(v) != t || series::node_of(v) != series::node_of(start)) {
      Cell bad = *v;
      fire(Err::bad_loop_series, &bad);
    }
    series::set_head(v, series::head(v) + 1);
    if (series::head(v) >= tail_of(v)) break;
  }
  Cell r = *stack::base();
  stack::unwind();
  stack::push(&r);
  assign(word, start);
  stack::set_result_trim(&r);
}

void remove_each(bool, const int32_t*) {
  Cell* word = arg(0);
  Cell* data = arg(1);
  Cell* body = arg(2);
  int32_t n = 1;
  if (is_type(word, T_BLOCK)) {
    n = block::xs_length_q(word);
    if (n <= 0) fire(Err::invalid_arg, word);
  }
  if (!series::any_series(type_of(data)) || is_type(data, T_IMAGE)) fire(Err::not_done);
  Cell* count = stack::push_new();
  *count = Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0};
  Cell* s = stack::push(data);
  LoopFrame lf;
  for (;;) {
    stack::reset();
    if (!(is_type(word, T_BLOCK) ? foreach_next_multi(s, word, n) : foreach_next(s, word))) break;
    run(body);
    if (throwing()) {
      if (lf.passing()) return;
      if (lf.broke(lf.settle())) break;
      continue;  // nothing of this round is removed
    }
    if (!is_false(stack::base())) remove_each_step(s, count, n);
  }
  Cell r = *data;
  stack::unwind();
  stack::set_result_trim(&r);
}

}  // namespace xeb::natives
