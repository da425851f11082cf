// The parse engine and the native `parse`.
//
// One loop over the states of a rule walk. A block entered pushes a block
// frame (the enclosing block and rule position, the input position for
// backtracking); a composite rule (any, copy, to, collect...) pushes a rule
// frame and waits for the result of its sub-rule, then finishes. Frames live
// in a fixed array whose cells the collector marks; the engine's own cells
// (input, rule block, rule value) live on the data stack. A parse call owns
// the frames above the level it found and gives them back on every way out,
// so a parse running inside a paren of another one sees only its own.
//
// Invariants: every read of a rule block or input is checked against the
// buffer's current tail (parens and the trace callback may change both);
// no buffer pointer is kept across a call that can allocate.
#include "evaluator/parse.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/triple.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/actions.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "evaluator/parse_input.h"
#include "lexer/load.h"
#include "runtime/collector.h"
#include "evaluator/trace.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::parse {

namespace {

using words::W;

constexpr int32_t STACK_LIMIT = 10000;  // cells per work stack
constexpr int32_t FRAME_CELLS = 3;
constexpr int32_t MAX_FRAMES = STACK_LIMIT / FRAME_CELLS;

// Frame kinds: a block frame, or the kind of a pending composite rule.
enum Kind : int32_t {
  K_BLOCK = 0, K_REPEAT = -1, K_TO = -2, K_THRU = -3, K_COPY = -4, K_SET = -5, K_NOT = -6, K_INTO = -7,
  K_REMOVE = -9, K_WHILE = -11, K_COLLECT = -12, K_KEEP = -13, K_KEEP_VALUE = -14, K_AHEAD = -16,
  K_CHANGE = -17, K_CHANGE_ONLY = -18, K_CASE = -19,
};

// Collect targets.
enum Mode : int32_t { C_PLAIN = 0, C_SET, C_INTO, C_AFTER };

struct Frame {
  int32_t kind;
  int32_t flag;    // keep pick
  int32_t a, b, c; // repetition: min, max (-1 none), round | collect: mode, saved head | case: -, saved op
  int32_t offset;  // block frame: the enclosing rule position; rule frame: the sub-rule's position
  int32_t index;   // input position at the start of the frame, round or attempt
  int32_t len;     // input length remaining then
  int32_t start;   // input position when the frame was pushed
  Cell ref;        // block frame: the enclosing block; copy/set: the word; collect: the target; keep: the value
  Cell extra;      // collect set: the word
};

Frame frames[MAX_FRAMES + 1];
int32_t frame_top = 0;
Cell inputs[STACK_LIMIT + 1];  // outer inputs of into, innermost last
int32_t input_top = 0;

void mark_stacks() {
  for (int32_t i = 0; i < frame_top; i++) {
    collector::mark_cell(&frames[i].ref);
    collector::mark_cell(&frames[i].extra);
  }
  collector::mark_cells(inputs, inputs + input_top);
}

// A path that names a place (a lit-path! is a value like any other).
inline bool place_path(TypeId t) { return t == T_PATH || t == T_SET_PATH || t == T_GET_PATH; }

// --- Keywords --------------------------------------------------------------------

enum class Kw : uint8_t {
  no, bar, end, any, some, opt, to, thru, skip, copy, set, remove, break_, keep, pick, fail, ahead, while_,
  into, insert, only, if_, not_, quote, collect, after, case_, reject, none, change,
};

struct KwName {
  W w;
  Kw k;
};
constexpr KwName kKeywords[] = {
    {W::bar, Kw::bar},       {W::end, Kw::end},         {W::any, Kw::any},       {W::some, Kw::some},
    {W::opt, Kw::opt},       {W::to, Kw::to},           {W::thru, Kw::thru},     {W::skip, Kw::skip},
    {W::copy, Kw::copy},     {W::set, Kw::set},         {W::remove, Kw::remove}, {W::break_, Kw::break_},
    {W::keep, Kw::keep},     {W::pick, Kw::pick},       {W::fail, Kw::fail},     {W::ahead, Kw::ahead},
    {W::while_, Kw::while_}, {W::into, Kw::into},       {W::insert, Kw::insert}, {W::only, Kw::only},
    {W::if_, Kw::if_},       {W::not_, Kw::not_},       {W::quote, Kw::quote},   {W::collect, Kw::collect},
    {W::after, Kw::after},   {W::case_, Kw::case_},     {W::reject, Kw::reject}, {W::none, Kw::none},
    {W::change, Kw::change},
};

// Keyword of each resolved symbol id in [lo, hi], and a cache by raw id
// (0: not looked at yet, else the keyword + 1); both rebuilt when the
// symbols were made anew (a fresh runtime in tests).
struct KwTable {
  int32_t lo = 0, hi = -1, key = -1;
  std::vector<Kw> map;
  std::vector<uint8_t> cache;
} kw;

void build_keywords() {
  int32_t key = words::sym(W::any);
  if (kw.key == key) return;
  kw.key = key;
  kw.lo = INT32_MAX;
  kw.hi = -1;
  for (const KwName& k : kKeywords) {
    int32_t s = symbol::resolve(words::sym(k.w));
    kw.lo = std::min(kw.lo, s);
    kw.hi = std::max(kw.hi, s);
  }
  kw.map.assign(static_cast<size_t>(kw.hi - kw.lo + 1), Kw::no);
  for (const KwName& k : kKeywords) kw.map[symbol::resolve(words::sym(k.w)) - kw.lo] = k.k;
  kw.cache.clear();
}

Kw keyword_of_symbol(int32_t sym) {
  int32_t r = symbol::resolve(sym);
  Kw k = r >= kw.lo && r <= kw.hi ? kw.map[r - kw.lo] : Kw::no;
  constexpr int32_t kMaxCached = 1 << 20;
  if (sym >= 0 && sym < kMaxCached) {
    if (static_cast<size_t>(sym) >= kw.cache.size()) kw.cache.resize(static_cast<size_t>(sym) + 256, 0);
    kw.cache[static_cast<size_t>(sym)] = static_cast<uint8_t>(static_cast<uint8_t>(k) + 1);
  }
  return k;
}

// The keyword a word! names (any letter case), or Kw::no.
inline Kw keyword_of(const Cell* w) {
  if (!is_type(w, T_WORD)) return Kw::no;
  uint32_t s = static_cast<uint32_t>(word_symbol(w));
  if (s < kw.cache.size() && kw.cache[s]) return static_cast<Kw>(kw.cache[s] - 1);
  return keyword_of_symbol(static_cast<int32_t>(s));
}

W word_of_kind(int32_t kind) {
  switch (kind) {
    case K_TO: return W::to;
    case K_THRU: return W::thru;
    case K_NOT: return W::not_;
    case K_REMOVE: return W::remove;
    case K_WHILE: return W::while_;
    case K_COLLECT: return W::collect;
    case K_KEEP: case K_KEEP_VALUE: return W::keep;
    case K_AHEAD: return W::ahead;
    default: return W::any;
  }
}

// Rules a prefix keyword takes before its sub-rule, for skipping a rule
// whole (a zero count): -1 for a rule that is one value.
int32_t prefix_length(const Cell* c, const Cell* next) {
  switch (keyword_of(c)) {
    case Kw::any: case Kw::some: case Kw::opt: case Kw::while_: case Kw::not_: case Kw::ahead: case Kw::to:
    case Kw::thru: case Kw::remove: case Kw::into:
      return 1;
    case Kw::copy: case Kw::set: case Kw::case_:
      return 2;
    case Kw::keep:
      return next && keyword_of(next) == Kw::pick ? 2 : 1;
    case Kw::collect: {
      Kw k = next ? keyword_of(next) : Kw::no;
      return k == Kw::set || k == Kw::into || k == Kw::after ? 3 : 1;
    }
    default:
      return -1;
  }
}

// Long rule work that runs no code still honours a closed call stack, as
// every call does: a watchdog that closes it stops runaway work that way.
inline void check_closed() {
  if (stack::cs.top >= stack::cs.end) stack::call_overflow();
}

// --- The engine ---------------------------------------------------------------------

enum class St : uint8_t {
  enter, leave, after_push, sub_value, finish, check, match, next, literal, alt, keyword, end,
};

class Engine {
 public:
  // Cells of the call: rooted on the data stack by the native.
  Engine(Cell* in, Cell* rules, Cell* val, Cell* tmp, Cell* result, Cell* cb, int op, int32_t limit)
      : in_(in), rules_(rules), val_(val), tmp_(tmp), result_(result), cb_(cb), op_(op), limit_(limit),
        fbase_(frame_top), ibase_(input_top) {}
  // Gives back the frames on every way out (errors and pending exits too).
  ~Engine() {
    frame_top = fbase_;
    input_top = ibase_;
  }
  void run();

 private:
  Cell *in_, *rules_, *val_, *tmp_, *result_, *cb_;
  int op_;
  int32_t limit_;
  int32_t fbase_, ibase_;
  int32_t rpos_ = -1;
  int32_t tail_ = 0, rtail_ = 0;  // of the input and of the rule block, as last read
  Cell* rcells_ = nullptr;        // the rule block's first cell, as last read
  int32_t depth_ = 0;  // collects open
  int brk_ = 0;        // 1 break, 2 reject: unwinding to the nearest repetition
  bool match_ = true;
  bool indirect_ = false;  // val_ came from a word's value
  bool from_kw_ = false;   // the word under way is a composite rule's sub-rule

  // Input.
  int32_t pos() const { return series::head(in_); }
  void set_pos(int32_t p) { series::set_head(in_, p); }
  int32_t tail() const { return tail_; }
  int32_t end_index() const {
    int32_t t = tail();
    return limit_ >= 0 && input_top == ibase_ && limit_ < t ? limit_ : t;
  }
  bool at_end() const { return pos() >= end_index(); }
  int32_t remaining() const { return tail() - pos(); }
  // The input's tail and the rule block's cells and tail are cached (every
  // step asks for them) and re-read after anything that may have allocated
  // or run code; a position past a tail is put back.
  void reread_rules() {
    SeriesBuf* b = series::buf(rules_);
    rtail_ = static_cast<int32_t>(b->cell_count());
    rcells_ = b->cells();
  }
  void reread() {
    tail_ = tail_index(in_);
    reread_rules();
  }
  void clamp_input() {
    reread();
    int32_t t = tail_;
    if (pos() > t) set_pos(t);
    if (pos() < 0) set_pos(0);
  }

  // Rules.
  int32_t rule_tail() const { return rtail_; }
  Cell* rule_at(int32_t i) const { return rcells_ + i; }
  Cell* rule_or_null(int32_t i) const { return i >= 0 && i < rule_tail() ? rule_at(i) : nullptr; }
  void clamp_rule() {
    reread();
    int32_t t = rtail_;
    if (rpos_ >= t) rpos_ = t - 1;
  }

  // Frames.
  bool pair_on_top() const { return frame_top > fbase_ && frames[frame_top - 1].kind != K_BLOCK; }
  Frame* top() { return &frames[frame_top - 1]; }
  Frame* push_frame(int32_t kind);
  Frame* push_rule(int32_t kind);

  [[noreturn]] void fail(Err e, const Cell* arg = nullptr) {
    Cell a = arg ? *arg : fixed_none;
    frame_top = fbase_;
    input_top = ibase_;
    fire(e, arg ? &a : nullptr);
  }
  [[noreturn]] void fail_word(Err e, W w) {
    Cell a = words::word(w);
    fail(e, &a);
  }

  bool trace(W event);
  bool eval_paren(const Cell* paren, Cell* out);
  const Cell* lookup(const Cell* word);
  bool position_word(const Cell* c, int32_t* at);
  bool value_after(int32_t j, bool paren_event, Cell* out);
  bool match_type();
  bool keyword(Kw k);
  bool finish();
  bool keep_range(Frame* f, int32_t from, int32_t to);
  void keep_value(const Cell* v, bool splice);
  Frame* collect_frame();
  void set_target(const Cell* word, const Cell* value);
  void stack_block(Cell* out);

  St st_ = St::enter;
};

// A false answer from the steps below: the callback stopped the parse, or
// an exit is pending; run() returns.
#define XEB_EMIT(ev)                        \
  do {                                      \
    if (cb_ && !trace(W::ev)) return false; \
  } while (0)

Frame* Engine::push_frame(int32_t kind) {
  if ((frame_top + 1) * FRAME_CELLS > STACK_LIMIT) fail(Err::parse_stack);
  Frame* f = &frames[frame_top];
  f->kind = kind;
  f->flag = 0;
  f->a = f->b = f->c = 0;
  f->ref = fixed_none;
  f->extra = fixed_none;
  f->offset = rpos_;
  f->index = f->start = pos();
  f->len = remaining();
  frame_top++;
  return f;
}

// A rule frame whose sub-rule is at the rule position.
Frame* Engine::push_rule(int32_t kind) {
  Frame* f = push_frame(kind);
  st_ = St::after_push;
  return f;
}

const Cell* Engine::lookup(const Cell* word) {
  const Cell* v = interpreter::word_value(const_cast<Cell*>(word));
  return v;
}

// A word or get-word (not a keyword) whose value is the input series: its
// position, clamped to the input.
bool Engine::position_word(const Cell* c, int32_t* at) {
  if (!c || !(is_type(c, T_GET_WORD) || (is_type(c, T_WORD) && keyword_of(c) == Kw::no))) return false;
  const Cell* v = interpreter::bound_value(c);
  if (!v || type_of(v) != type_of(in_) || series::buf(v) != series::buf(in_)) return false;
  *at = std::clamp(series::head(v), 0, tail());
  return true;
}

bool Engine::eval_paren(const Cell* paren, Cell* out) {
  Cell* saved = stack::top();
  Cell* p = stack::push(paren);
  interpreter::eval_block(p, false);
  if (throwing()) return false;
  if (out) *out = *(stack::top() - 1);
  stack::set_top(saved);
  clamp_input();
  clamp_rule();
  return true;
}

// The value of rule j as insert and change take it: a paren's result, a
// word's value, else the value itself; into out (rooted).
bool Engine::value_after(int32_t j, bool paren_event, Cell* out) {
  Cell c = *rule_at(j);
  if (is_type(&c, T_PAREN)) {
    *val_ = c;
    if (!eval_paren(val_, out)) return false;
    if (paren_event) XEB_EMIT(paren);
    return true;
  }
  if (is_type(&c, T_WORD) || is_type(&c, T_GET_WORD)) {
    *val_ = c;
    const Cell* v = lookup(val_);
    if (is_type(v, T_UNSET)) fail(Err::no_value, val_);
    *out = *v;
    return true;
  }
  *out = c;
  return true;
}

// The rule stack as the trace callback sees it: three cells per frame.
void Engine::stack_block(Cell* out) {
  int32_t n = frame_top - fbase_;
  Cell* b = block::push_only(n * FRAME_CELLS);
  for (int32_t i = 0; i < n; i++) {
    const Frame& f = frames[fbase_ + i];
    Cell cells[3];
    Cell where = triple::make_cell(f.offset, f.index, f.len);
    if (f.kind == K_BLOCK) {
      cells[0] = fixed_none;
      cells[1] = where;
      cells[2] = f.ref;
    } else {
      cells[0] = f.kind == K_COPY || f.kind == K_SET ? f.ref : triple::make_cell(f.a, f.b, f.c);
      cells[1] = where;
      cells[2] = pair::make_cell(f.kind, f.flag);
    }
    for (Cell& c : cells) block::xs_append(b, &c);
  }
  *out = *b;
  stack::pop(1);
}

// Calls the callback with (event match? rule input stack); false when it
// stopped the parse or an exit is pending.
bool Engine::trace(W event) {
  Cell* start = stack::top();
  *stack::push_new() = words::word(event);
  *stack::push_new() = match_ ? fixed_true : fixed_false;
  Cell* rule = stack::push(rules_);
  series::set_head(rule, std::clamp(rpos_, 0, rule_tail()));
  stack::push(in_);
  Cell* st = stack::push_new();
  set_unset(st);
  stack_block(st);
  stack::push_new();  // room for the call's shift
  stack::set_top(st + 1);
  Cell name = words::word(W::parse_callback);
  interpreter::trace::RuntimeCallback traced(interpreter::trace::parse_cb, &name, cb_);
  interpreter::call_evaluated(cb_, &name, start, 5, true);
  traced.returned(start);
  if (throwing()) return false;
  bool go = is_type(start, T_LOGIC) && !is_false(start);
  stack::set_top(start);
  clamp_input();
  clamp_rule();
  return go;
}

// --- Collecting ---------------------------------------------------------------------

Frame* Engine::collect_frame() {
  for (int32_t i = frame_top - 1; i >= fbase_; i--)
    if (frames[i].kind == K_COLLECT) return &frames[i];
  return nullptr;
}

// Adds v (rooted) to the innermost collect's target; splice: each value of
// a block on its own.
void Engine::keep_value(const Cell* v, bool splice) {
  Frame* f = collect_frame();
  if (!f) return;
  Cell* target = &f->ref;
  if (f->a == C_PLAIN || f->a == C_SET) {
    if (splice && series::block_like(type_of(v))) {
      block::xs_append_values(target, v);
    } else {
      Cell c = *v;
      clear_new_line(&c);
      block::xs_append(target, &c);
    }
    reread();
    return;
  }
  Cell* value = stack::push(v);
  bool block_target = series::block_like(type_of(target));
  int only = block_target && !splice ? 1 : 0;
  if (!block_target && series::block_like(type_of(value)) && !splice) {
    // A block kept into text or bytes gives its values' contents in turn.
    only = 0;
  }
  actions::direct::insert(target, value, -1, only, 1, f->a == C_AFTER ? 1 : 0);
  if (f->a == C_AFTER) series::set_head(target, f->b);
  stack::pop(1);
  clamp_input();  // the target may be an input further out
}

// Keeps what the input held from `from` to `to`: one element as itself,
// several as one copy, or with pick one by one.
bool Engine::keep_range(Frame* f, int32_t from, int32_t to) {
  int32_t n = to - from;
  if (n <= 0) return true;
  bool pick = f->flag != 0;
  if (n == 1 || pick) {
    for (int32_t i = from; i < to && i < tail(); i++) {
      *tmp_ = element_at(in_, i);
      keep_value(tmp_, false);
    }
    return true;
  }
  Cell* src = stack::push(in_);
  series::set_head(src, from);
  Cell part = Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0};
  Cell* out = begin_cell(stack::push_new());
  actions::direct::copy(src, out, &part, 0, nullptr);
  *tmp_ = *out;
  stack::pop(2);
  keep_value(tmp_, false);
  return true;
}

// Sets a word (copy, set, collect set, position words) to a value.
void Engine::set_target(const Cell* word, const Cell* value) {
  Cell* w = stack::push(word);
  Cell* v = stack::push(value);
  interpreter::set_word(w, v);
  stack::pop(2);
  clamp_input();  // an owner's change hook may have run
  clamp_rule();
}

// --- Matching by type -------------------------------------------------------------

// A datatype! or typeset! rule value (in val_).
bool Engine::match_type() {
  Input k = input_kind(type_of(in_));
  if (k == Input::text) fail(Err::parse_unsupported);
  auto accepts = [&](int t) {
    return is_type(val_, T_DATATYPE) ? datatype::id_of(val_) == t : interpreter::accepts(val_, t);
  };
  if (at_end()) {
    match_ = false;
  } else if (k == Input::bytes) {
    check_closed();
    Cell* src = stack::push(in_);
    Cell* out = begin_cell(stack::push_new());
    lexer::TranscodeOptions o;
    o.one = true;
    o.quiet = true;
    // The lexer copies what it reads: a window that doubles until the value
    // ends inside it keeps a walk over long input linear.
    int32_t avail = end_index() - pos();
    lexer::Transcoded r;
    for (int32_t window = 64;; window = window > avail / 2 ? avail : window * 2) {
      o.part = std::min(window, avail);
      begin_cell(out);
      r = lexer::transcode(src, out, o);
      if (o.part == avail || (r.ok && r.type != 0 && static_cast<int32_t>(r.consumed) < o.part)) break;
    }
    match_ = r.ok && r.type != 0 && r.consumed > 0 && accepts(type_of(out));
    stack::pop(2);
    reread();
    if (match_) set_pos(pos() + static_cast<int32_t>(r.consumed));
  } else {
    Cell e = element_at(in_, pos());
    match_ = accepts(type_of(&e));
    if (match_) set_pos(pos() + 1);
  }
  XEB_EMIT(match);
  st_ = St::check;
  return true;
}

// --- Keywords -----------------------------------------------------------------------

bool Engine::keyword(Kw k) {
  int32_t rt = rule_tail();
  auto next_is_word = [&](int32_t j) { return j < rt && is_type(rule_at(j), T_WORD); };
  switch (k) {
    case Kw::no:
      break;
    case Kw::bar:
      rpos_ = rt;
      st_ = pair_on_top() ? St::finish : St::leave;
      return true;
    case Kw::end:
      match_ = at_end();
      XEB_EMIT(match);
      break;
    case Kw::skip:
      match_ = !at_end();
      if (match_) set_pos(pos() + 1);
      XEB_EMIT(match);
      break;
    case Kw::none:
      match_ = true;
      XEB_EMIT(match);
      break;
    case Kw::fail:
      match_ = false;
      XEB_EMIT(match);
      break;
    case Kw::break_: case Kw::reject:
      match_ = k == Kw::break_;
      brk_ = match_ ? 1 : 2;
      XEB_EMIT(match);
      break;
    case Kw::any: case Kw::some: case Kw::opt: case Kw::while_: {
      if (k != Kw::while_ && rpos_ + 1 >= rt) fail(Err::parse_end, val_);
      rpos_++;
      Frame* f = push_rule(k == Kw::while_ ? K_WHILE : K_REPEAT);
      f->a = k == Kw::some ? 1 : 0;
      f->b = k == Kw::opt ? 1 : -1;
      f->c = 1;
      XEB_EMIT(push);
      return true;
    }
    case Kw::copy: case Kw::set: {
      if (!next_is_word(rpos_ + 1)) fail(Err::parse_end, val_);
      Cell target = *rule_at(rpos_ + 1);
      rpos_ += 2;
      Frame* f = push_rule(k == Kw::copy ? K_COPY : K_SET);
      f->ref = target;
      XEB_EMIT(push);
      return true;
    }
    case Kw::to: case Kw::thru: {
      Cell* n = rule_or_null(rpos_ + 1);
      rpos_++;
      if (n && keyword_of(n) == Kw::end) {
        set_pos(std::max(end_index(), pos()));
        match_ = true;
        XEB_EMIT(match);
        break;
      }
      push_rule(k == Kw::to ? K_TO : K_THRU);
      XEB_EMIT(push);
      return true;
    }
    case Kw::remove: {
      Cell* n = rule_or_null(rpos_ + 1);
      if (n && place_path(type_of(n))) fail(Err::parse_rule, n);
      int32_t at;
      if (position_word(n, &at)) {
        int32_t from = std::min(at, pos()), count = std::abs(pos() - at);
        rpos_++;
        if (count > 0) {
          Cell* s = stack::push(in_);
          series::set_head(s, from);
          Cell part = Cell{T_INTEGER, 0, static_cast<uint32_t>(count), 0};
          actions::direct::remove(s, &part, nullptr);
          stack::pop(1);
        }
        set_pos(from);
        clamp_input();
        match_ = true;
        break;
      }
      rpos_++;
      push_rule(K_REMOVE);
      XEB_EMIT(push);
      return true;
    }
    case Kw::keep: {
      if (depth_ == 0) fail(Err::parse_keep, val_);
      int32_t j = rpos_ + 1;
      bool pick = j < rt && keyword_of(rule_at(j)) == Kw::pick;
      if (pick) j++;
      bool paren = j < rt && is_type(rule_at(j), T_PAREN);
      rpos_ = j;
      Frame* f = push_rule(paren ? K_KEEP_VALUE : K_KEEP);
      f->flag = pick ? 1 : 0;
      XEB_EMIT(push);
      return true;
    }
    case Kw::ahead: case Kw::not_:
      rpos_++;
      push_rule(k == Kw::ahead ? K_AHEAD : K_NOT);
      XEB_EMIT(push);
      return true;
    case Kw::into: {
      if (input_kind(type_of(in_)) != Input::block) fail(Err::parse_block, in_);
      int32_t j = rpos_ + 1;
      bool ok = j < rt && is_type(rule_at(j), T_BLOCK);
      if (!ok && next_is_word(j)) {
        const Cell* v = interpreter::bound_value(rule_at(j));
        ok = v && is_type(v, T_BLOCK);
      }
      if (!ok) fail(Err::parse_end, val_);
      rpos_ = j;
      Cell e = at_end() ? fixed_none : element_at(in_, pos());
      TypeId et = type_of(&e);
      if (!series::block_like(et) && !series::string_like(et) && et != T_BINARY) {
        match_ = false;
        XEB_EMIT(match);
        break;
      }
      if (input_top >= STACK_LIMIT) fail(Err::parse_stack);
      inputs[input_top++] = *in_;
      *in_ = e;
      clamp_input();
      push_rule(K_INTO);
      XEB_EMIT(push);
      return true;
    }
    case Kw::insert: case Kw::change: {
      int32_t j = rpos_ + 1;
      bool only = j < rt && keyword_of(rule_at(j)) == Kw::only;
      if (only) j++;
      Err missing = k == Kw::insert ? Err::parse_end : Err::parse_rule;
      if (j >= rt) fail(missing, val_);
      Cell kwc = *val_;
      Cell* c = rule_at(j);
      if (place_path(type_of(c))) fail(Err::parse_rule, c);
      int32_t at;
      bool positioned = position_word(c, &at);
      if (k == Kw::change && !positioned) {
        rpos_ = j;
        push_rule(only ? K_CHANGE_ONLY : K_CHANGE);
        XEB_EMIT(push);
        return true;
      }
      if (!positioned) at = pos();
      else if (++j >= rt) fail(missing, &kwc);
      c = rule_at(j);
      if (place_path(type_of(c))) fail(Err::parse_rule, c);
      Cell* value = begin_cell(stack::push_new());
      if (!value_after(j, true, value)) return false;
      rpos_ = j;
      int32_t before = tail_index(in_);
      Cell* s = stack::push(in_);
      if (k == Kw::insert) {
        series::set_head(s, at);
        actions::direct::insert(s, value, -1, only ? 1 : 0, 1, 0);
        int32_t added = tail_index(in_) - before;
        if (at <= pos()) set_pos(pos() + added);
      } else {
        int32_t from = std::min(at, pos());
        series::set_head(s, from);
        actions::direct::change(s, value, std::abs(pos() - at), only ? 1 : 0, 1);
        set_pos(series::head(s));
      }
      stack::pop(2);
      clamp_input();
      match_ = true;
      st_ = k == Kw::insert ? St::next : St::check;
      return true;
    }
    case Kw::if_: {
      int32_t j = rpos_ + 1;
      if (j >= rt || !is_type(rule_at(j), T_PAREN)) fail(Err::parse_end, val_);
      rpos_ = j;
      *val_ = *rule_at(j);
      if (!eval_paren(val_, tmp_)) return false;
      match_ = !is_false(tmp_);
      clamp_rule();
      XEB_EMIT(match);
      break;
    }
    case Kw::quote: {
      if (rpos_ + 1 >= rt) fail(Err::parse_end, val_);
      rpos_++;
      *val_ = *rule_at(rpos_);
      st_ = St::literal;
      return true;
    }
    case Kw::collect: {
      int32_t j = rpos_ + 1;
      Kw m = j < rt ? keyword_of(rule_at(j)) : Kw::no;
      int32_t mode = m == Kw::set ? C_SET : m == Kw::into ? C_INTO : m == Kw::after ? C_AFTER : C_PLAIN;
      Cell word = fixed_none;
      if (mode != C_PLAIN) {
        if (!next_is_word(j + 1)) fail(Err::parse_end, val_);
        word = *rule_at(j + 1);
        j += 2;
      }
      if (mode == C_PLAIN || mode == C_SET) {
        block::make_at(tmp_, 8);
        reread();
        if (mode == C_SET) word = *rule_at(j - 1);  // making the block may have moved the word's context
      } else {
        *val_ = word;
        const Cell* v = lookup(val_);
        TypeId t = type_of(v);
        if (!series::block_like(t) && !series::string_like(t) && t != T_BINARY)
          fail(Err::parse_into_type);
        if (series::buf(v) == series::buf(in_)) fail(Err::parse_into_bad);
        *tmp_ = *v;
      }
      rpos_ = j;
      Frame* f = push_rule(K_COLLECT);
      f->a = mode;
      f->ref = *tmp_;
      f->b = series::head(tmp_);
      f->extra = word;
      depth_++;
      XEB_EMIT(push);
      return true;
    }
    case Kw::case_: {
      int32_t j = rpos_ + 1;
      if (!next_is_word(j)) fail(Err::parse_end, val_);
      *val_ = *rule_at(j);
      const Cell* v = lookup(val_);
      if (is_type(v, T_UNSET)) fail(Err::parse_rule, val_);
      bool strict = !is_false(v);
      rpos_ = j + 1;
      Frame* f = push_rule(K_CASE);
      f->b = op_;
      op_ = strict ? 2 : 0;
      XEB_EMIT(push);
      return true;
    }
    case Kw::pick: case Kw::only: case Kw::after:
      fail(Err::parse_rule, val_);
  }
  st_ = St::check;
  return true;
}

// --- Finishing composite rules --------------------------------------------------------

bool Engine::finish() {
  Frame* f = top();
  switch (f->kind) {
    case K_REPEAT: case K_WHILE: {
      int32_t n = f->c;
      bool another = match_ && (f->b < 0 || n < f->b);
      // A round that matched without moving ends an unbounded loop.
      if (another && f->kind == K_REPEAT && pos() == f->index && remaining() >= f->len) another = false;
      int brk = brk_;
      if (brk) {
        another = false;
        brk_ = 0;
      }
      if (another) {
        check_closed();
        f->index = pos();
        f->len = remaining();
        f->c = n + 1;
        rpos_ = f->offset;
        XEB_EMIT(iterate);
        st_ = St::after_push;
        return true;
      }
      bool ok;
      if (brk == 2) ok = false;
      else if (match_) ok = n >= f->a;
      else ok = n - 1 >= f->a || f->a == 0;
      // A failed last round gives back what it consumed; a failed
      // repetition, everything.
      if (!ok) set_pos(f->start);
      else if (!match_) set_pos(f->index);
      clamp_input();
      match_ = ok;
      break;
    }
    case K_TO: case K_THRU:
      if (!match_ && !brk_) {
        check_closed();
        if (f->index < end_index()) {
          f->index++;
          set_pos(f->index);
          rpos_ = f->offset;
          XEB_EMIT(pop);
          XEB_EMIT(iterate);
          st_ = St::after_push;
          return true;
        }
        set_pos(f->start);
        clamp_input();
      } else if (match_ && f->kind == K_TO) {
        set_pos(f->index);
      }
      break;
    case K_COPY:
      if (match_) {
        Cell* src = stack::push(in_);
        series::set_head(src, f->index);
        Cell part = Cell{T_INTEGER, 0, static_cast<uint32_t>(std::max(pos() - f->index, 0)), 0};
        Cell* out = begin_cell(stack::push_new());
        actions::direct::copy(src, out, &part, 0, nullptr);
        set_target(&top()->ref, out);
        stack::pop(2);
      }
      break;
    case K_SET:
      if (match_) {
        *tmp_ = pos() > f->index && f->index < tail() ? element_at(in_, f->index) : fixed_none;
        set_target(&f->ref, tmp_);
      }
      break;
    case K_NOT:
      match_ = !match_;
      set_pos(f->start);  // looks ahead only: never consumes
      clamp_input();
      break;
    case K_AHEAD:
      set_pos(f->index);
      clamp_input();
      break;
    case K_INTO: {
      bool whole = match_ && pos() >= tail();
      *in_ = inputs[--input_top];
      clamp_input();
      match_ = whole;
      if (match_ && !at_end()) set_pos(pos() + 1);
      break;
    }
    case K_REMOVE:
      if (match_ && pos() > f->index) {
        Cell* s = stack::push(in_);
        series::set_head(s, f->index);
        Cell part = Cell{T_INTEGER, 0, static_cast<uint32_t>(pos() - f->index), 0};
        actions::direct::remove(s, &part, nullptr);
        stack::pop(1);
        set_pos(top()->index);
        clamp_input();
      }
      break;
    case K_CHANGE: case K_CHANGE_ONLY: {
      int32_t j = rpos_ + 1;
      if (j >= rule_tail()) fail_word(Err::parse_rule, W::change);
      rpos_ = j;
      if (!match_) {
        set_pos(f->start);
        clamp_input();
        break;
      }
      Cell* value = begin_cell(stack::push_new());
      if (!value_after(j, true, value)) return false;
      f = top();
      Cell* s = stack::push(in_);
      int32_t from = std::min(f->index, pos());
      series::set_head(s, from);
      actions::direct::change(s, value, std::max(pos() - f->index, 0), f->kind == K_CHANGE_ONLY, 1);
      set_pos(series::head(s));
      stack::pop(2);
      clamp_input();
      break;
    }
    case K_KEEP:
      if (match_) keep_range(f, f->index, pos());
      break;
    case K_KEEP_VALUE: {
      Cell* v = stack::push(&f->ref);
      keep_value(v, f->flag != 0);
      stack::pop(1);
      match_ = true;
      break;
    }
    case K_COLLECT: {
      depth_--;
      Cell* got = stack::push(&f->ref);
      Cell word = f->extra;
      int32_t mode = f->a;
      frame_top--;  // the enclosing collect is now the innermost
      if (mode == C_SET) {
        set_target(&word, got);
      } else if (mode == C_PLAIN) {
        if (depth_ > 0) keep_value(got, false);
        else *result_ = *got;
      }
      stack::pop(1);
      frame_top++;
      break;
    }
    case K_CASE:
      op_ = f->b;
      break;
    default:
      break;
  }
  frame_top--;
  XEB_EMIT(pop);
  st_ = St::check;
  return true;
}

// --- The loop ------------------------------------------------------------------------

void Engine::run() {
  build_keywords();
  clamp_input();
  clamp_rule();
  *val_ = *rules_;
  // The outermost frame holds the rules block itself at offset -1. Each
  // state jumps straight to the next; the steps done in helpers leave their
  // next state in st_ for the dispatch.
  goto enter;

dispatch:
  switch (st_) {
    case St::enter: goto enter;
    case St::leave: goto leave;
    case St::after_push: goto after_push;
    case St::sub_value: goto sub_value;
    case St::finish: goto finish;
    case St::check: goto check;
    case St::match: goto match;
    case St::next: goto next;
    case St::literal: goto literal;
    case St::alt: goto alt;
    case St::keyword: goto keyword;
    case St::end: goto end;
  }

enter: {
  Frame* f = push_frame(K_BLOCK);
  f->ref = *rules_;
  *rules_ = *val_;
  reread_rules();
  rpos_ = std::min(series::head(rules_), rule_tail()) - 1;
  match_ = true;
  if (cb_ && !trace(W::push)) goto stopped;
  goto next;
}

leave: {
  if (frame_top - fbase_ == 1) {
    if (cb_ && !trace(W::pop)) goto stopped;
    goto end;
  }
  if (cb_ && !trace(W::pop)) goto stopped;
  Frame* f = top();
  *rules_ = f->ref;
  rpos_ = f->offset;
  frame_top--;
  reread_rules();
  if (rpos_ >= rtail_) rpos_ = rtail_ - 1;
  goto check;
}

after_push: {
  if (rpos_ >= rule_tail()) {
    int32_t kind = top()->kind;
    switch (kind) {
      case K_TO: case K_THRU: case K_NOT: case K_REMOVE: case K_WHILE: case K_COLLECT: case K_KEEP:
      case K_KEEP_VALUE: case K_AHEAD:
        fail_word(Err::parse_end, word_of_kind(kind));
      default:
        match_ = true;
        goto check;
    }
  }
  *val_ = *rule_at(rpos_);
  indirect_ = false;
  goto sub_value;
}

sub_value: {
  // The value of a composite rule's sub-rule.
  TypeId t = type_of(val_);
  if (t == T_BLOCK) goto enter;
  if (t == T_WORD) {
    int32_t kind = top()->kind;
    from_kw_ = kind != K_COLLECT && kind != K_KEEP && kind != K_KEEP_VALUE;
    goto keyword;
  }
  if (t == T_INTEGER || t == T_PAREN || t == T_TYPESET || t == T_DATATYPE) goto match;
  Frame* f = top();
  if (f->kind == K_REPEAT || f->kind == K_WHILE) {
    int32_t next;
    int32_t count = repeat_at(in_, pos(), end_index(), val_, op_, f->b, &next);
    match_ = count >= f->a || f->a == 0;
    if (match_) set_pos(next);
  } else if (f->kind == K_TO || f->kind == K_THRU) {
    int32_t after = 0;
    int32_t p = search(in_, pos(), end_index(), val_, op_, &after);
    if (p == -2) fail(Err::parse_rule, val_);
    match_ = p >= 0;
    if (match_) set_pos(f->kind == K_TO ? p : after);
  } else {
    goto match;
  }
  if (cb_ && !trace(W::match)) goto stopped;
  frame_top--;
  if (cb_ && !trace(W::pop)) goto stopped;
  goto check;
}

check:
  if (pair_on_top()) goto finish;
  if (brk_) goto leave;
  if (match_) goto next;
  goto alt;

next:
  rpos_++;
  if (rpos_ >= rule_tail()) {
    if (pair_on_top()) goto finish;
    goto leave;
  }
  if (cb_ && !trace(W::fetch)) goto stopped;
  if (rpos_ >= rule_tail()) goto next;  // the callback shortened the rules
  *val_ = *rule_at(rpos_);
  indirect_ = false;
  from_kw_ = false;
  if (is_type(val_, T_WORD)) goto keyword;
  goto match;

match:
  switch (type_of(val_)) {
    case T_WORD:
      if (indirect_) fail(Err::parse_rule, val_);
      goto keyword;
    case T_BLOCK:
      goto enter;
    case T_DATATYPE: case T_TYPESET:
      if (!match_type()) goto stopped;
      goto check;
    case T_SET_WORD:
      *tmp_ = *in_;
      set_target(val_, tmp_);
      goto next;
    case T_GET_WORD: {
      const Cell* v = lookup(val_);
      if (type_of(v) != type_of(in_) || series::buf(v) != series::buf(in_)) fail(Err::parse_invalid_ref, val_);
      set_pos(std::clamp(series::head(v), 0, tail()));
      match_ = true;
      goto check;
    }
    case T_INTEGER: {
      int32_t min = get_int(val_);
      if (min < 0) fail(Err::out_of_range, val_);
      Cell first = *val_;
      int32_t j = rpos_ + 1, max = min;
      Cell* n = rule_or_null(j);
      if (!n) fail(Err::parse_rule, &first);
      const Cell* m = n;
      if (is_type(n, T_WORD) && keyword_of(n) == Kw::no) {
        const Cell* v = interpreter::bound_value(n);
        if (v && is_type(v, T_INTEGER)) m = v;
      }
      if (is_type(m, T_INTEGER)) {
        max = get_int(m);
        if (max < 0) fail(Err::out_of_range, m);
        if (max < min) fail(Err::parse_rule, &first);
        if (!rule_or_null(++j)) fail(Err::parse_rule, &first);
      }
      if (max == 0) {
        // Zero rounds: the rule after the count is passed over whole.
        for (;;) {
          int32_t p = prefix_length(rule_at(j), rule_or_null(j + 1));
          if (p < 0 || !rule_or_null(j + p)) break;
          j += p;
        }
        rpos_ = j;
        match_ = true;
        goto check;
      }
      rpos_ = j;
      Frame* f = push_rule(K_REPEAT);
      f->a = min;
      f->b = max;
      f->c = 1;
      if (cb_ && !trace(W::push)) goto stopped;
      goto after_push;
    }
    case T_PAREN: {
      Cell* out = pair_on_top() && top()->kind == K_KEEP_VALUE && top()->offset == rpos_ ? &top()->ref : nullptr;
      if (!eval_paren(val_, out)) return;
      clamp_rule();
      if (cb_ && !trace(W::paren)) goto stopped;
      goto check;
    }
    case T_PATH:
      fail(Err::parse_rule, val_);
    default:
      goto literal;
  }

literal: {
  int32_t n = match_at(in_, pos(), end_index(), val_, op_);
  match_ = n >= 0;
  if (match_) set_pos(pos() + n);
  if (cb_ && !trace(W::match)) goto stopped;
  goto check;
}

alt: {
  // Nothing has run since the tails were last read.
  set_pos(std::clamp(top()->index, 0, tail_));
  int32_t t = rule_tail(), bar = words::sym(W::bar), j = rpos_ + 1;
  if (j < 0) j = 0;
  Cell* c = rule_at(0);
  for (; j < t; j++)
    if (is_type(c + j, T_WORD) && word_symbol(c + j) == bar) break;
  if (j >= t) goto leave;
  rpos_ = j;
  match_ = true;
  goto next;
}

keyword: {
  // A word naming a rule (the common case) is looked up here; keywords
  // have their own step.
  Kw k = keyword_of(val_);
  if (k != Kw::no) {
    if (!keyword(k)) goto stopped;
    goto dispatch;
  }
  const Cell* v = interpreter::bound_value(val_);
  if (!v) v = lookup(val_);
  if (is_type(v, T_UNSET)) fail(Err::parse_rule, val_);
  bool from_kw = from_kw_;
  from_kw_ = false;
  Cell value = *v;
  *val_ = value;
  if (from_kw) {
    if (any_word(type_of(val_))) goto literal;
    goto sub_value;
  }
  indirect_ = true;
  goto match;
}

finish:
  if (!finish()) goto stopped;
  goto dispatch;

end: {
  // The outermost input (into frames are all finished by now).
  bool whole = match_ && at_end();
  match_ = whole;
  if (cb_ && !trace(W::end)) goto stopped;
  if (!is_type(result_, T_BLOCK)) *result_ = whole ? fixed_true : fixed_false;
  return;
}

stopped:
  if (throwing()) return;
  *result_ = match_ ? fixed_true : fixed_false;
}

#undef XEB_EMIT

}  // namespace

int32_t rule_stack_cells() { return frame_top * FRAME_CELLS; }
int32_t input_stack_cells() { return input_top; }

}  // namespace xeb::parse

namespace xeb::natives {

void parse(bool, const int32_t* refs) {
  collector::add_root_marker_once<parse::mark_stacks>();
  Cell* input = arg(0);
  if (parse::input_kind(type_of(input)) == parse::Input::other) refuse_arg(0, input);
  if (!is_type(arg(1), T_BLOCK)) refuse_arg(1, arg(1));
  series::get_length(input, false);  // a head past the tail comes back to it
  int op = present(refs[ref(Id::parse, "case")]) ? 2 : 0;
  int32_t limit = -1;
  if (Cell* part = opt(refs[ref(Id::parse, "part")])) {
    int64_t len;
    if (is_type(part, T_INTEGER)) len = get_int(part);
    else if (is_type(part, T_FLOAT)) len = static_cast<int64_t>(std::clamp(get_double(part), -2147483648.0, 2147483647.0));
    else if (type_of(part) == type_of(input) && series::buf(part) == series::buf(input))
      len = int64_t{series::head(part)} - series::head(input);
    else {
      Cell w = words::word(words::W::part), v = *part;  // the message reads "invalid part argument:"
      fire(Err::invalid_refine_arg, &w, &v);
    }
    if (len < 1) {
      stack::set_result_trim(series::xs_tail_q(input) ? &fixed_true : &fixed_false);
      return;
    }
    limit = static_cast<int32_t>(std::min<int64_t>(int64_t{series::head(input)} + len, INT32_MAX));
  }
  Cell* cb = opt(refs[ref(Id::parse, "trace")]);
  if (cb && !interpreter::callable(type_of(cb))) refuse_arg(6, cb);
  Cell* in = stack::push(input);
  Cell* rules = stack::push(arg(1));
  Cell* val = begin_cell(stack::push_new());
  Cell* tmp = begin_cell(stack::push_new());
  Cell* result = stack::push(&fixed_none);
  {
    parse::Engine e(in, rules, val, tmp, result, cb, op, limit);
    e.run();
  }
  if (throwing()) return;
  stack::set_result_trim(result);
}

}  // namespace xeb::natives
