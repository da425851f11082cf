// bitset!: construction from specs, the spec walker behind make, pick, find,
// poke, append and remove, the set operations and the text form.
//
// Every change goes through set_member/set_range, which keep the membership
// rule of the header: a bit beyond the array already answers the complement
// flag, so the array grows only when a number beyond it must change state,
// and the new bytes take the flag's value.
#include "datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/ownership.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/stack.h"

namespace xeb::bitset {

namespace {

// What process() does with the numbers a spec names.
enum class Mode { measure, set, test, clear };
// Who asked: it chooses the error for a spec of the wrong type.
enum class Origin { make, to, action };

inline uint8_t fill_of(bool comp) { return comp ? 0xFF : 0x00; }

Cell* set_cell(Cell* c, Node n) {
  begin_cell(c);
  c->w1 = 0;
  c->w2 = n;
  c->w3 = 0;
  c->header = T_BITSET;
  return c;
}

// The most bytes an array holds: its count of bits (length?) must stay an
// integer!.
constexpr int64_t kMaxBytes = INT32_MAX / 8;

// Makes the array at least n bytes long, new bytes taking the flag's value.
void ensure_bytes(Cell* b, int64_t n) {
  SeriesBuf* s = buf(b);
  if (n <= static_cast<int64_t>(s->used())) return;
  if (n > kMaxBytes) raise_internal(InternalError::no_memory);
  uint8_t fill = fill_of(s->flags & SER_COMPLEMENT);
  s = memory::reserve_tail(s, n - static_cast<int64_t>(s->used()));
  std::memset(s->tail_ptr(), fill, static_cast<size_t>(s->head + n - s->tail));
  s->tail = s->head + static_cast<Off>(n);
}

// Sets the membership of every number in [lo, hi] (lo >= 0).
void set_range(Cell* b, int64_t lo, int64_t hi, bool on) {
  if (on != complemented(b)) ensure_bytes(b, (hi >> 3) + 1);
  int64_t bits = int64_t{byte_count(b)} * 8;
  if (lo >= bits) return;
  if (hi >= bits) hi = bits - 1;
  uint8_t* p = bytes(b);
  auto put = [&](int64_t byte, uint8_t mask) { p[byte] = on ? p[byte] | mask : p[byte] & ~mask; };
  int64_t lb = lo >> 3, hb = hi >> 3;
  uint8_t first = static_cast<uint8_t>(0xFF >> (lo & 7));
  uint8_t last = static_cast<uint8_t>(0xFF << (7 - (hi & 7)));
  if (lb == hb) {
    put(lb, first & last);
    return;
  }
  put(lb, first);
  if (hb > lb + 1) std::memset(p + lb + 1, on ? 0xFF : 0, static_cast<size_t>(hb - lb - 1));
  put(hb, last);
}

inline void set_member(Cell* b, int64_t n, bool on) { set_range(b, n, n, on); }

[[noreturn]] void wrong_spec(const Cell* v, Origin who) {
  Cell t = datatype::make_cell(T_BITSET), s = *v;
  switch (who) {
    case Origin::make: fire(Err::bad_make_arg, &t, &s);
    case Origin::to: fire(Err::bad_to_arg, &t, &s);
    case Origin::action: break;
  }
  fire(Err::invalid_arg, &s);
}

bool is_minus(const Cell* c) { return is_type(c, T_WORD) && words::is(word_symbol(c), words::W::minus); }

// The number a char!, integer! or float! names (floats toward zero). A
// float too large for any array is out of range.
int64_t number_of(const Cell* v) {
  if (!is_type(v, T_FLOAT)) return get_int(v);
  double d = std::trunc(get_double(v));
  if (!(d > -1e15 && d < 1e15)) {
    Cell c = *v;
    fire(Err::out_of_range, &c);
  }
  // A fraction below zero is a negative number, not bit 0.
  if (d == 0 && get_double(v) < 0) return -1;
  return static_cast<int64_t>(d);
}

// One number or a range [lo, hi]; answers as process() does.
int64_t apply(Cell* b, int64_t lo, int64_t hi, Mode mode, const Cell* v) {
  if (lo < 0) {
    if (mode == Mode::test) return 0;
    Cell c = *v;
    fire(Err::out_of_range, &c);
  }
  switch (mode) {
    case Mode::measure: return hi;
    case Mode::test:
      for (int64_t n = lo; n <= hi; n++)
        if (!has(b, n)) return 0;
      return 1;
    case Mode::set: case Mode::clear: set_range(b, lo, hi, mode == Mode::set); return 1;
  }
  return 0;
}

// Walks a spec. measure answers the largest number named (-1 for none);
// test answers 1 when every number named is a member; set and clear
// answer 1. b is a rooted bitset cell (unused when measuring).
int64_t process(const Cell* spec, Cell* b, Mode mode, Origin who) {
  switch (type_of(spec)) {
    case T_CHAR: case T_INTEGER: case T_FLOAT: {
      int64_t n = number_of(spec);
      return apply(b, n, n, mode, spec);
    }
    case T_STRING: {
      int64_t best = -1;
      for (int32_t i = 0, len = string::xs_length_q(spec); i < len; i++) {
        int32_t cp = string::char_at(spec, i);
        switch (mode) {
          case Mode::measure: best = std::max<int64_t>(best, cp); break;
          case Mode::test: if (!has(b, cp)) return 0; break;
          default: set_member(b, cp, mode == Mode::set); break;
        }
      }
      return mode == Mode::measure ? best : 1;
    }
    case T_BLOCK: {
      // A block already being walked (one that contains itself) names
      // nothing new: it is not entered again. The cycle stack also bounds
      // the nesting.
      if (cycles::find(series::node_of(spec))) return mode == Mode::measure ? -1 : 1;
      cycles::push(series::node_of(spec));
      Cell* blk = stack::push(spec);  // the walk re-reads cells: the block may move
      int64_t best = -1;
      int32_t len = series::get_length(blk, false);
      for (int32_t i = 0; i < len; i++) {
        Cell item = block::buf(blk)->cells()[block::head_of(blk) + i];
        int64_t r;
        int it = type_of(&item);
        if ((it == T_CHAR || it == T_INTEGER) && i + 1 < len &&
            is_minus(&block::buf(blk)->cells()[block::head_of(blk) + i + 1])) {
          if (i + 2 >= len) fire(Err::past_end);
          Cell upper = block::buf(blk)->cells()[block::head_of(blk) + i + 2];
          if (type_of(&upper) != it) fire(Err::invalid_arg, &upper);
          int64_t lo = get_int(&item), hi = get_int(&upper);
          if (hi < lo) fire(Err::past_end);
          r = apply(b, lo, hi, mode, &item);
          i += 2;
        } else {
          // On the data stack: growing the set may collect and move nodes,
          // and a string item is read after each bit it sets.
          r = process(stack::push(&item), b, mode, who);
          stack::pop(1);
        }
        if (mode == Mode::measure) best = std::max(best, r);
        else if (mode == Mode::test && r == 0) {
          stack::pop(1);
          cycles::pop();
          return 0;
        }
      }
      stack::pop(1);
      cycles::pop();
      return mode == Mode::measure ? best : 1;
    }
    case T_BINARY: fire(Err::not_done);
    default: wrong_spec(spec, who);
  }
}

Cell* push_new(int64_t n, bool comp) { return make_at(stack::push_new(), n, comp); }

// make and to. The result is pushed on the data stack.
Cell* build(const Cell* spec_in, Origin who) {
  Cell* spec = stack::push(spec_in);
  bool comp = false;
  if (is_type(spec, T_BLOCK) && series::get_length(spec, false) > 0) {
    const Cell* first = block::buf(spec)->cells() + block::head_of(spec);
    if (is_type(first, T_WORD) && words::is(word_symbol(first), words::W::not_)) {
      comp = true;
      series::set_head(spec, series::head(spec) + 1);
      if (series::get_length(spec, false) > 0 && is_type(first + 1, T_BINARY)) *spec = first[1];
    }
  }
  switch (type_of(spec)) {
    case T_INTEGER: case T_FLOAT: {
      if (who == Origin::to) wrong_spec(spec_in, who);
      int64_t n = number_of(spec);
      if (n < 0) {
        Cell c = *spec_in;
        fire(Err::out_of_range, &c);
      }
      return push_new((n + 7) >> 3, false);
    }
    case T_BITSET: {
      Node n = memory::copy_series(buf(spec));
      buf_of(n)->flags &= ~ownership::SER_OWNED;
      return set_cell(stack::push_new(), n);
    }
    case T_BINARY: {
      SeriesBuf* sb = series::buf(spec);
      int64_t len = std::max<int64_t>(0, int64_t{sb->used()} - series::head(spec));
      Cell* r = push_new(len, false);
      uint8_t* dst = bytes(r);
      const uint8_t* src = reinterpret_cast<const uint8_t*>(series::buf(spec)->head_ptr()) + series::head(spec);
      for (int64_t i = 0; i < len; i++) dst[i] = comp ? static_cast<uint8_t>(~src[i]) : src[i];
      if (comp) buf(r)->flags |= SER_COMPLEMENT;
      return r;
    }
    default: {
      int64_t largest = process(spec, nullptr, Mode::measure, who);
      Cell* r = push_new(largest < 0 ? 1 : (largest >> 3) + 1, comp);
      process(spec, r, comp ? Mode::clear : Mode::set, who);
      return r;
    }
  }
}

Cell* make(Cell*, Cell* spec, int) { return build(spec, Origin::make); }
Cell* to(Cell*, Cell* spec, int) { return build(spec, Origin::to); }

// "make bitset! #{..}", the bytes of a complemented set inverted inside
// "[not ...]", so that making the text back restores the set.
int mold(Cell* b, Cell* out, int, int, int, Cell* arg, int part, int) {
  bool comp = complemented(b);
  part = actions::emit(out, comp ? "make bitset! [not #{" : "make bitset! #{", part);
  Cell* bs = stack::push(b);
  for (uint32_t i = 0; i < byte_count(bs); i++) {
    uint8_t v = bytes(bs)[i];
    char hex[2];
    string::byte_to_hex(comp ? static_cast<uint8_t>(~v) : v, hex);
    part = actions::emit(out, std::string_view(hex, 2), part);
    if (arg && part < 0) {
      stack::pop(1);
      return part;
    }
  }
  stack::pop(1);
  return actions::emit(out, comp ? "}]" : "}", part);
}

int form(Cell* b, Cell* out, Cell* arg, int part) { return mold(b, out, 0, 0, 0, arg, part, 0); }

int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_BITSET)) return COMPARE_INVALID;
  if (op == COMP_SAME) return node_of(a) == node_of(b) ? 0 : 1;
  uint32_t la = byte_count(a), lb = byte_count(b);
  if (la != lb) return la < lb ? -1 : 1;
  // Two empty arrays still differ when one set is complemented.
  bool ca = complemented(a), cb = complemented(b);
  if (ca != cb) return ca ? 1 : -1;
  const uint8_t* pa = bytes(a);
  const uint8_t* pb = bytes(b);
  for (uint32_t i = la; i-- > 0;)
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  return 0;
}

// A copy whose membership is inverted everywhere.
Cell* complement(Cell* b) {
  Node n = memory::copy_series(buf(b));
  Cell* r = set_cell(stack::push_new(), n);
  SeriesBuf* s = buf(r);
  s->flags = (s->flags & ~ownership::SER_OWNED) ^ SER_COMPLEMENT;
  uint8_t* p = bytes(r);
  for (uint32_t i = 0; i < s->used(); i++) p[i] = static_cast<uint8_t>(~p[i]);
  return r;
}

Cell* pick(Cell* b, int, Cell* index) { return process(index, b, Mode::test, Origin::action) ? &fixed_true : &fixed_false; }

Cell* find(Cell* b, Cell* value, Cell*, int, int, int, int, Cell*, Cell*, int, int, int, int) {
  return process(value, b, Mode::test, Origin::action) ? &fixed_true : &fixed_none;
}

// A change the owner hears about before and after.
template <class F>
void owned_change(Cell* b, series::Notice n, const Cell* arg, F change) {
  bool owned = series::notify_before(b, n, arg, 0, 0);
  change();
  if (owned) series::notify_after(b, n, arg, 0, 0);
}

bool clears(const Cell* v) {
  switch (type_of(v)) {
    case T_NONE: return true;
    case T_LOGIC: return logic::get(v) == 0;
    case T_INTEGER: return get_int(v) == 0;
    case T_FLOAT: return get_double(v) == 0.0;
    default: return false;
  }
}

Cell* poke(Cell* b, int, Cell* value, Cell* index) {
  Mode m = clears(value) ? Mode::clear : Mode::set;
  owned_change(b, series::Notice::poke, value, [&] { process(index, b, m, Origin::action); });
  return value;
}

Cell* insert(Cell* b, Cell* value, int, int, int, int last) {
  owned_change(b, last ? series::Notice::append : series::Notice::insert, value,
               [&] { process(value, b, Mode::set, Origin::action); });
  return b;
}

Cell* remove(Cell* b, Cell*, Cell* key) {
  if (!key) fire(Err::missing_arg);
  owned_change(b, series::Notice::remove, key, [&] { process(key, b, Mode::clear, Origin::action); });
  return b;
}

// Empties the set; the array keeps its size.
Cell* clear(Cell* b) {
  owned_change(b, series::Notice::clear, nullptr, [&] {
    SeriesBuf* s = buf(b);
    s->flags &= ~SER_COMPLEMENT;
    std::memset(s->head_ptr(), 0, s->used());
  });
  return b;
}

int length_q(Cell* b) { return static_cast<int>(byte_count(b) * 8); }

Cell* copy(Cell* b, Cell*, Cell*, int, Cell*) { return build(b, Origin::make); }

Cell* eval_path(Cell* b, Cell* element, Cell* value, const PathStep&) {
  if (!is_type(element, T_INTEGER) && !is_type(element, T_CHAR)) {
    Cell t = datatype::make_cell(type_of(element));
    fire(Err::invalid_type, &t);
  }
  if (!value) return pick(b, 0, element);
  return poke(b, 0, value, element);
}

void and_t() { do_bitwise(OP_AND); }
void or_t() { do_bitwise(OP_OR); }
void xor_t() { do_bitwise(OP_XOR); }

uint8_t combine(int op, uint8_t a, uint8_t b) {
  switch (op) {
    case OP_OR: case OP_UNION: return a | b;
    case OP_AND: case OP_INTERSECT: return a & b;
    case OP_XOR: case OP_DIFFERENCE: return a ^ b;
    default: return static_cast<uint8_t>(a & ~b);  // OP_EXCLUDE
  }
}

}  // namespace

Cell* make_at(Cell* c, int64_t n, bool comp) {
  if (n > kMaxBytes) raise_internal(InternalError::no_memory);
  Node node = memory::alloc_bytes(std::max<int64_t>(n, 1));
  SeriesBuf* s = buf_of(node);
  std::memset(s->head_ptr(), fill_of(comp), static_cast<size_t>(n));
  s->tail = s->head + static_cast<Off>(n);
  if (comp) s->flags |= SER_COMPLEMENT;
  return set_cell(c, node);
}

Cell* push_spec(const Cell* spec) {
  Cell* saved = stack::top();
  Cell r = *build(spec, Origin::make);
  stack::set_top(saved);
  return stack::push(&r);
}

// Both operands are read by the membership rule: past its array, an
// operand's bytes are all its flag, and the result's flag is the operation
// applied to the two flags.
void do_bitwise(int op) {
  if (op == OP_UNIQUE) return;
  Cell* left = stack::base();
  Cell* right = left + 1;
  if (!is_type(right, T_BITSET)) {
    Cell t = datatype::make_cell(type_of(right));
    fire(Err::invalid_type, &t);
  }
  uint32_t la = byte_count(left), lb = byte_count(right);
  uint32_t n = std::max(la, lb);
  Cell* r = push_new(n, false);
  bool ca = complemented(left), cb = complemented(right);
  uint8_t fa = fill_of(ca), fb = fill_of(cb);
  const uint8_t* pa = bytes(left);
  const uint8_t* pb = bytes(right);
  uint8_t* pr = bytes(r);
  for (uint32_t i = 0; i < n; i++) pr[i] = combine(op, i < la ? pa[i] : fa, i < lb ? pb[i] : fb);
  bool flag = combine(op, fa, fb) != 0;
  SeriesBuf* s = buf(r);
  if (flag) s->flags |= SER_COMPLEMENT;
  // and~ ends with the shorter operand when the bytes dropped say nothing
  // the flag does not already say.
  if (op == OP_AND) {
    uint32_t keep = std::min(la, lb);
    uint8_t f = fill_of(flag);
    while (s->used() > keep && pr[s->used() - 1] == f) s->tail--;
  }
  stack::set_result(r);
}

void init() {
  datatype::Registration r{T_BITSET, 0, "bitset!"};
  r.marks({collector::Holds::nothing, collector::Holds::series, collector::Holds::nothing});
  r.set(A_MAKE, &make).set(A_REFLECT, &series::reflect).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_NEGATE, &complement);
  r.set(A_AND_T, &and_t).set(A_COMPLEMENT, &complement).set(A_OR_T, &or_t).set(A_XOR_T, &xor_t);
  r.set(A_APPEND, &insert).set(A_INSERT, &insert).set(A_CLEAR, &clear).set(A_COPY, &copy).set(A_FIND, &find);
  r.set(A_LENGTH_Q, &length_q).set(A_PICK, &pick).set(A_POKE, &poke).set(A_REMOVE, &remove);
  r.set(A_MODIFY, &series::modify);
  datatype::register_type(r);
}

}  // namespace xeb::bitset
