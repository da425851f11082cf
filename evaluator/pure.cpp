// Pure bodies: decoding a function's body into operations on its arguments,
// the checks that keep the decoded form right, and running it.
#include "evaluator/pure.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <vector>

#include <cstdlib>

#include "datatypes/native.h"
#include "datatypes/series.h"
#include "datatypes/typeset.h"
#include "evaluator/internal.h"
#include "runtime/collector.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb::interpreter::pure {

namespace {

constexpr int MAX_ARITY = 8;

struct Form;
struct Code;

// One operation of a decoded body; each leaves one value.
struct Op {
  enum Kind : uint8_t { LIT, ARG, CALL, INFIX, COND, RETURN };
  Kind kind = LIT;
  uint8_t iop = 0;   // INFIX: the integer operation
  uint8_t cond = 0;  // COND: 0 either, 1 if, 2 unless
  uint8_t argc = 0;  // CALL
  int32_t index = 0;  // ARG
  Cell lit{};         // LIT
  const Op* a = nullptr;  // INFIX: left operand; COND: condition; RETURN: value
  const Op* b = nullptr;  // INFIX: right operand
  const Code* branch[2] = {nullptr, nullptr};  // COND
  Form* callee = nullptr;                      // CALL
  const Op* const* args = nullptr;             // CALL
};

// A block or paren of the body: its cell, its cells as decoded, and the
// operation of each of its expressions.
struct Code {
  Cell cell{};
  std::vector<Cell> cells;
  std::vector<const Op*> exprs;
};

// A word read in the body and the value it held when decoded.
struct Guard {
  Cell word, value;
};

struct Form {
  Node more = 0;
  int32_t arity = 0;
  // The typesets of the arguments, checked on a call from another form
  // (the interpreter checks its own calls'); none when every argument takes
  // any value but unset!.
  bool typed = false;
  uint8_t types[MAX_ARITY][12] = {};
  // The value of each context slot after the arguments that a call without
  // a path gives: false for a refinement, none for its arguments; the
  // locals (unset) are not here, and a body that reads one is not decoded.
  std::vector<Cell> fixed;
  const Code* top = nullptr;
  std::deque<Op> ops;
  std::deque<Code> codes;
  std::deque<std::vector<const Op*>> arg_lists;
  std::vector<Guard> guards;
  // What the interpreter's run of one call could take of the data stack at
  // most (a few cells per cell of the body, its arguments): a run gives up
  // before the interpreter's would overflow. Its frames (its own, one per
  // conditional's branch) stay under a quarter of that, as a conditional
  // takes four cells or more.
  int32_t cells_per_level = 0;
  bool worth = false;    // holds a call or a return: worth running from the interpreter
  uint64_t checked = 0;  // the run it was last checked in
  bool dead = false;     // gave up or changed: never run again
};

// A function's decoded form, by its more node: the live one (or null), and
// how many have been tried.
struct Entry {
  Form* form = nullptr;
  uint32_t tries = 0, calls = 0;
};

std::unordered_map<Node, Entry> entries;
// The interpreter's way in, in front of the map: a live form by its more
// node.
struct Slot {
  Node more = 0;
  Form* form = nullptr;
};
std::array<Slot, 256> slots;
std::deque<Form> forms;
uint32_t forms_collections = 0;  // entries hold node numbers of this period
uint64_t run_id = 0;
// Where the run's C++ stack began: a run takes at most kStackBytes of it,
// so that one made deep in the interpreter's own recursion cannot exhaust
// what the interpreter's would have had.
const char* stack_start = nullptr;
constexpr ptrdiff_t kStackBytes = 256 * 1024;

// XEB_NO_DECODED (set, not 0) leaves every body to the interpreter, so that
// a program can be run both ways and the outputs compared.
const bool switched_off = [] {
  const char* v = std::getenv("XEB_NO_DECODED");
  return v && *v && std::strcmp(v, "0") != 0;
}();

constexpr uint32_t MAX_TRIES = 4;
constexpr int MAX_NESTED_COMPILES = 8;

// The decoder of one form (and of the callees it decodes on the way).
struct Decoder {
  Form* f;
  Node fctx;
  int depth;
  int32_t cells = 0;

  Op* op(Op::Kind k) {
    f->ops.emplace_back();
    f->ops.back().kind = k;
    return &f->ops.back();
  }

  bool guard(const Cell* w, const Cell* v) {
    if (!is_type(w, T_WORD) || word_context(w) != context::global()) return false;
    f->guards.push_back(Guard{*w, *v});
    return true;
  }

  const Code* code(const Cell* cell) {
    SeriesBuf* b = series::buf(cell);
    int32_t head = series::head(cell), tail = static_cast<int32_t>(b->cell_count());
    if (head >= tail) return nullptr;  // an empty block's value is unset!
    f->codes.emplace_back();
    Code* c = &f->codes.back();
    c->cell = *cell;
    c->cells.assign(b->cells() + head, b->cells() + tail);
    cells += tail - head;
    const Cell* cs = c->cells.data();
    int32_t n = tail - head, pos = 0;
    while (pos < n) {
      const Op* x = expr(cs, pos, n);
      if (!x) return nullptr;
      c->exprs.push_back(x);
    }
    return c;
  }

  // A value and the chain of operators after it.
  const Op* expr(const Cell* cs, int32_t& pos, int32_t n) {
    const Op* left = value(cs, pos, n);
    while (left && pos < n && is_type(cs + pos, T_WORD)) {
      const Cell* w = cs + pos;
      if (word_context(w) == fctx) return nullptr;  // an argument may hold an operator
      const Cell* v = bound_value(w);
      if (!v || !is_type(v, T_OP)) break;  // the next expression's first value
      int iop = integer_op(v);
      if (!iop || !guard(w, v)) return nullptr;
      Op* x = op(Op::INFIX);
      x->iop = static_cast<uint8_t>(iop);
      x->a = left;
      pos++;
      x->b = value(cs, pos, n);
      if (!x->b) return nullptr;
      left = x;
    }
    return left;
  }

  const Op* value(const Cell* cs, int32_t& pos, int32_t n) {
    if (pos >= n) return nullptr;
    const Cell* v = cs + pos++;
    TypeId t = type_of(v);
    if (t == T_PAREN) {
      const Code* c = code(v);
      if (!c || c->exprs.size() != 1) return nullptr;
      return c->exprs[0];
    }
    if (t != T_WORD) {
      if (!plain_literal(t) || t == T_UNSET) return nullptr;
      Op* x = op(Op::LIT);
      x->lit = *v;
      return x;
    }
    if (word_context(v) == fctx) {
      int32_t i = word_index(v);
      if (i >= f->arity && i - f->arity < static_cast<int32_t>(f->fixed.size())) {
        Op* x = op(Op::LIT);  // a refinement (off) or its argument (none)
        x->lit = f->fixed[i - f->arity];
        return x;
      }
      if (i < 0 || i >= f->arity) return nullptr;
      Op* x = op(Op::ARG);
      x->index = i;
      return x;
    }
    const Cell* val = bound_value(v);
    if (!val || !guard(v, val)) return nullptr;
    t = type_of(val);
    if (!in_types(ACTIVE_TYPES, t)) {
      Op* x = op(Op::LIT);  // a word holding a plain value: constant for a run
      x->lit = *val;
      return x;
    }
    if (int iop = prefix_op(val)) {
      // add, lesser? ... called by name: the operator's operation on its two
      // arguments, each an expression.
      Op* x = op(Op::INFIX);
      x->iop = static_cast<uint8_t>(iop);
      if (!(x->a = expr(cs, pos, n)) || !(x->b = expr(cs, pos, n))) return nullptr;
      return x;
    }
    if (t == T_NATIVE) {
      if (native::index(val) == natives::index(natives::Id::return_)) return return_(val, cs, pos, n);
      return conditional(val, cs, pos, n);
    }
    if (t != T_FUNCTION) return nullptr;
    Form* callee = form_of(val, depth + 1);
    if (!callee) return nullptr;
    Op* x = op(Op::CALL);
    f->worth = true;
    x->callee = callee;
    x->argc = static_cast<uint8_t>(callee->arity);
    f->arg_lists.emplace_back();
    std::vector<const Op*>& args = f->arg_lists.back();
    for (int32_t k = 0; k < callee->arity; k++) {
      const Op* a = expr(cs, pos, n);
      if (!a) return nullptr;
      args.push_back(a);
    }
    x->args = args.data();
    return x;
  }

  // The inline operation of a native or action called by name, when its
  // spec is its own: two ordinary arguments that take every number (a
  // native made with another spec would refuse what the form computes).
  static int prefix_op(const Cell* fn) {
    TypeId t = type_of(fn);
    uint32_t i = native::index(fn);
    int iop = t == T_ACTION   ? (i <= ACTION_COUNT ? kActionIntOp[i] : 0)
              : t == T_NATIVE ? (i <= natives::COUNT ? kNativeIntOp[i] : 0)
                              : 0;
    if (!iop) return 0;
    const Cell* cache = more_of(fn) + 1;
    if (!is_type(cache, T_BLOCK) || (series::extra(cache) & (SPEC_FAST | SPEC_PLAIN | 0xFF)) != (SPEC_FAST | SPEC_PLAIN | 2))
      return 0;
    const Cell* ts = series::buf(cache)->cells();
    for (int k = 0; k < 2; k++)
      for (TypeId n : {T_INTEGER, T_FLOAT, T_PERCENT})
        if (!accepts(ts + k, n)) return 0;
    return iop;
  }

  // either, if and unless with their own specs: a condition, then literal
  // blocks.
  const Op* conditional(const Cell* fn, const Cell* cs, int32_t& pos, int32_t n) {
    const Cell* cache = more_of(fn) + 1;
    if (!is_type(cache, T_BLOCK) || !(series::extra(cache) & SPEC_COND)) return nullptr;
    uint32_t index = native::index(fn);
    Op* x = op(Op::COND);
    x->cond = index == natives::index(natives::Id::either) ? 0 : index == natives::index(natives::Id::if_) ? 1 : 2;
    x->a = expr(cs, pos, n);
    if (!x->a) return nullptr;
    int blocks = x->cond ? 1 : 2;
    for (int k = 0; k < blocks; k++) {
      if (pos >= n || !is_type(cs + pos, T_BLOCK) || !(x->branch[k] = code(cs + pos))) return nullptr;
      pos++;
    }
    // An operator after the last block would take the block as its left
    // operand, as the conditional's argument: the interpreter's to run.
    if (pos < n && is_type(cs + pos, T_WORD)) {
      if (word_context(cs + pos) == fctx) return nullptr;
      const Cell* v = bound_value(cs + pos);
      if (v && is_type(v, T_OP)) return nullptr;
    }
    return x;
  }

  // A return, whose value is its argument's: only where that value is the
  // body's anyway (see tail_only), so that it needs no way out of the run.
  const Op* return_(const Cell* fn, const Cell* cs, int32_t& pos, int32_t n) {
    const Cell* cache = more_of(fn) + 1;
    if (!is_type(cache, T_BLOCK) || (series::extra(cache) & (SPEC_FAST | SPEC_PLAIN | 0xFF)) != (SPEC_FAST | SPEC_PLAIN | 1))
      return nullptr;
    Op* x = op(Op::RETURN);
    x->a = expr(cs, pos, n);
    if (!x->a) return nullptr;
    f->worth = true;
    return x;
  }

  // The live form of a function! value, decoded now if it has none yet.
  static Form* form_of(const Cell* fn, int depth);
};

bool tail_only(const Code* c, bool tail);

// Whether every return in x stands where its value is the body's: as the
// body's last expression, the last of a conditional's branch standing
// there, or the value of such a return.
bool tail_only(const Op* x, bool tail) {
  switch (x->kind) {
    case Op::LIT: case Op::ARG: return true;
    case Op::RETURN: return tail && tail_only(x->a, true);
    case Op::INFIX: return tail_only(x->a, false) && tail_only(x->b, false);
    case Op::COND:
      return tail_only(x->a, false) && tail_only(x->branch[0], tail) && (!x->branch[1] || tail_only(x->branch[1], tail));
    case Op::CALL:
      for (int k = 0; k < x->argc; k++)
        if (!tail_only(x->args[k], false)) return false;
      return true;
  }
  return false;
}

bool tail_only(const Code* c, bool tail) {
  for (size_t i = 0; i < c->exprs.size(); i++)
    if (!tail_only(c->exprs[i], tail && i + 1 == c->exprs.size())) return false;
  return true;
}

void reset() {
  slots = {};
  entries.clear();
  forms.clear();
  forms_collections = collector::collections;
}

Form* Decoder::form_of(const Cell* fn, int depth) {
  Entry& e = entries[callable::more_node(fn)];
  if (e.form && !e.form->dead) return e.form;
  // A function that failed to decode, or whose form gave up, is tried again
  // at its 2nd, 4th, 8th... call, a few times at most.
  e.calls++;
  if (e.tries >= MAX_TRIES || (e.calls & (e.calls - 1)) || depth > MAX_NESTED_COMPILES) return nullptr;
  e.tries++;
  e.form = nullptr;
  if (fn->header & (HDR_TRACE | HDR_NO_TRACE | HDR_LIBRARY)) return nullptr;
  const Cell* more = more_of(fn);
  const Cell* cache = more + 1;
  if (!is_type(more, T_BLOCK) || !is_type(cache, T_BLOCK)) return nullptr;
  uint32_t summary = series::extra(cache);
  int32_t arity = static_cast<int32_t>(summary & 0xFF);
  constexpr uint32_t optional = 0xFFFFu | SPEC_NOT_PURE | SPEC_ANY | SPEC_REFINE;  // arity, locals
  if ((summary & ~optional) != (SPEC_FAST | SPEC_PLAIN) || arity > MAX_ARITY) return nullptr;
  forms.emplace_back();
  Form* f = &forms.back();
  f->more = callable::more_node(fn);
  f->arity = arity;
  // The context's slots: the arguments, then refinements and their
  // arguments, then the locals, which the interpreter's call pushes too.
  int32_t slots = arity;
  {
    SeriesBuf* b = series::buf(cache);
    const Cell* c = b->cells();
    int32_t n = static_cast<int32_t>(b->cell_count());
    if (!(summary & SPEC_ANY)) {
      f->typed = true;
      for (int32_t k = 0; k < arity; k++) std::memcpy(f->types[k], typeset::bits(c + k), 12);
    }
    for (int32_t k = arity; k < n; k++) {
      if (is_type(c + k, T_REFINEMENT)) {
        f->fixed.push_back(fixed_false);
      } else if (is_type(c + k, T_TYPESET)) {
        if (arg_class(c + k) == ArgClass::returns) continue;
        f->fixed.push_back(fixed_none);
      } else if (is_type(c + k, T_INTEGER)) {
        slots += get_int(c + k);
      }
    }
    slots += static_cast<int32_t>(f->fixed.size());
  }
  e.form = f;  // a recursive call finds it (the map keeps its entries in place)
  Decoder d{f, function::context_of(fn), depth};
  f->top = d.code(more);
  if (f->top && !tail_only(f->top, true)) f->top = nullptr;
  if (!f->top) {
    f->dead = true;
    e.form = nullptr;
    return nullptr;
  }
  f->cells_per_level = 4 * d.cells + 8 + slots;
  return f;
}

// Whether the form still says what the body does: its blocks hold the cells
// it was decoded from and its words the values they held.
bool check(const Form* f) {
  const Cell* more = reinterpret_cast<const Cell*>(buf_of(f->more)->data());
  if (std::memcmp(more, &f->top->cell, sizeof(Cell)) != 0) return false;  // the body block
  for (const Code& c : f->codes) {
    SeriesBuf* b = series::buf(&c.cell);
    int32_t head = series::head(&c.cell);
    if (static_cast<int32_t>(b->cell_count()) - head != static_cast<int32_t>(c.cells.size())) return false;
    if (std::memcmp(b->cells() + head, c.cells.data(), c.cells.size() * sizeof(Cell)) != 0) return false;
  }
  for (const Guard& g : f->guards) {
    const Cell* v = bound_value(&g.word);
    if (!v || std::memcmp(v, &g.value, sizeof(Cell)) != 0) return false;
  }
  return true;
}

// room: the data-stack cells the interpreter would have left at this depth
// (a register, not a global: each call would otherwise wait on the last
// one's store of it).
bool call(Form* f, const Cell* args, Cell* out, int64_t room);
bool eval(const Op* x, const Cell* args, Cell* out, int64_t room);

// An operation's value into *out, a literal or an argument taken in place:
// most operands are one of these, and they need no call of eval.
[[gnu::always_inline]] inline bool operand(const Op* x, const Cell* args, Cell* out, int64_t room) {
  if (x->kind == Op::LIT) {
    *out = x->lit;
    return true;
  }
  if (x->kind == Op::ARG) {
    *out = args[x->index];
    // A callable, operator or unset! argument is not its own value.
    return !in_types(ACTIVE_TYPES, type_of(out));
  }
  return eval(x, args, out, room);
}

// One operation's value into *out; false to give the run up.
bool eval(const Op* x, const Cell* args, Cell* out, int64_t room) {
  switch (x->kind) {
    case Op::LIT:
    case Op::ARG:
      return operand(x, args, out, room);
    case Op::INFIX: {
      Cell r;
      if (!operand(x->a, args, out, room) || !operand(x->b, args, &r, room)) return false;
      if (is_type(out, T_INTEGER) && is_type(&r, T_INTEGER) && x->iop != INT_DIV) [[likely]] {
        integer_infix(x->iop, out, get_int(&r));
        return true;
      }
      if (!takes_inline(x->iop, out, &r)) return false;
      number_infix(x->iop, out, &r);
      return true;
    }
    case Op::COND: {
      Cell c;
      if (!operand(x->a, args, &c, room)) return false;
      const Code* branch;
      if (x->cond == 0) branch = x->branch[is_false(&c) ? 1 : 0];
      else if (is_false(&c) == (x->cond == 2)) branch = x->branch[0];
      else branch = nullptr;
      if (!branch) {
        *out = fixed_none;
        return true;
      }
      for (const Op* e : branch->exprs)
        if (!operand(e, args, out, room)) return false;
      return true;
    }
    case Op::RETURN:
      return operand(x->a, args, out, room);
    case Op::CALL: {
      Cell a[MAX_ARITY];
      for (int k = 0; k < x->argc; k++)
        if (!operand(x->args[k], args, &a[k], room)) return false;
      if (x->callee->typed) {
        // A refused argument is the interpreter's error to raise.
        for (int k = 0; k < x->argc; k++) {
          int t = type_of(&a[k]);
          if (!(x->callee->types[k][t >> 3] & (0x80 >> (t & 7)))) return false;
        }
      }
      return call(x->callee, a, out, room);
    }
  }
  return false;
}

bool call(Form* f, const Cell* args, Cell* out, int64_t room) {
  if (f->checked != run_id) [[unlikely]] {
    if (f->dead || !check(f)) {
      f->dead = true;
      return false;
    }
    f->checked = run_id;
  }
  room -= f->cells_per_level;
  if (room < 0 || stack_start - static_cast<const char*>(__builtin_frame_address(0)) >= kStackBytes) {
    f->dead = true;
    return false;
  }
  bool ok = true;
  for (size_t i = 0, n = f->top->exprs.size(); ok && i < n; i++) ok = eval(f->top->exprs[i], args, out, room);
  // A run too deep gives the form up as well: a form run again at each
  // level of a deeper recursion would stack its C++ frames on the
  // interpreter's.
  if (!ok) f->dead = true;
  return ok;
}

}  // namespace

uint64_t hits = 0, misses = 0;

bool run(const Cell* fn, const Cell* args, Cell* out) {
  if (switched_off) [[unlikely]] return false;
  if (collector::collections != forms_collections) [[unlikely]] reset();
  Node more = callable::more_node(fn);
  Slot& s = slots[more & (slots.size() - 1)];
  Form* f = s.form;
  if (s.more != more || !f || f->dead) [[unlikely]] {
    f = Decoder::form_of(fn, 0);
    if (!f || !f->worth) {
      // A body without calls runs about as fast in the interpreter, which
      // spares the checks a run makes; one that will not decode is left to
      // it once tried enough. Its call cache tells the interpreter so.
      if (f || entries[more].tries >= MAX_TRIES) {
        Cell* cache = more_of(fn) + 1;
        series::set_extra(cache, series::extra(cache) | SPEC_NOT_PURE);
      }
      misses++;
      return false;
    }
    s = Slot{more, f};
  }
  run_id++;
  // The room the interpreter would have from here: the data stack's cells,
  // and four for each frame left on the call stack.
  stack_start = static_cast<const char*>(__builtin_frame_address(0));
  int64_t cells = stack::ds.end - stack::ds.top - 64, frames = stack::cs.end - stack::cs.top - 8;
  Cell r;
  if (!call(f, args, &r, cells < 4 * frames ? cells : 4 * frames)) {
    misses++;
    return false;
  }
  hits++;
  *out = r;
  return true;
}

}  // namespace xeb::interpreter::pure
