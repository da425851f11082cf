// typeset!: a 96-bit set of type ids inside the cell. Bit order: type id i is
// byte i / 8 of words 1-3 in memory order, mask 0x80 >> i % 8.
#include "datatypes/typeset.h"

#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/word.h"
#include "datatypes/series.h"
#include "runtime/exit.h"
#include "runtime/stack.h"

namespace xeb::typeset {

namespace {

uint8_t* bytes(Cell* ts) { return reinterpret_cast<uint8_t*>(ts->w); }
const uint8_t* bytes(const Cell* ts) { return reinterpret_cast<const uint8_t*>(ts->w); }

Cell empty() { return Cell{T_TYPESET, 0, 0, 0}; }

Cell* make(Cell*, Cell* spec, int) {
  if (is_type(spec, T_TYPESET)) return spec;
  Cell* ts = stack::push_new();
  *ts = empty();
  if (!is_type(spec, T_BLOCK)) {
    Cell* t = datatype::push(T_TYPESET);
    fire(Err::bad_to_arg, t, spec);
  }
  Cell* s = stack::push(spec);
  for (int32_t i = series::head(s); i < static_cast<int32_t>(series::buf(s)->cell_count()); i++) {
    Cell item = series::buf(s)->cells()[i];
    add_type(ts, &item);
  }
  stack::set_top(ts + 1);
  return ts;
}

// Writes the set; form (only) leaves out the "make typeset! [" wrapper.
int mold(Cell* ts, Cell* buf, int only, int, int, Cell* arg, int part, int) {
  if (!only) part = actions::emit(buf, "make typeset! [", part);
  bool wrote = false;
  for (int i = 1; i <= datatype::highest; i++) {
    if (!has(ts, i) || !datatype::entries[i].name) continue;
    if (arg && part < 0) return part;
    part = actions::emit(buf, datatype::entries[i].name, part);
    part = actions::emit(buf, " ", part);
    wrote = true;
  }
  if (wrote) {
    actions::truncate(buf, actions::length_of(buf) - 1);  // the trailing space
    part++;
  }
  if (!only) part = actions::emit(buf, "]", part);
  return part;
}

int form(Cell* ts, Cell* buf, Cell* arg, int part) { return mold(ts, buf, 1, 0, 0, arg, part, 0); }

int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_TYPESET)) return COMPARE_INVALID;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
      return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3 ? 0 : 1;
    case COMP_SORT: case COMP_CASE_SORT: {
      int32_t ca = count(a), cb = count(b);
      return ca < cb ? -1 : ca > cb ? 1 : 0;
    }
    default:
      return COMPARE_INVALID;
  }
}

// Only the registered ids are flipped, so that complements of sets with the
// same members stay equal whatever lies in the unused bits.
Cell* complement(Cell* v) {
  Cell r = *v;
  for (int i = 1; i <= datatype::highest; i++) {
    if (!datatype::entries[i].name) continue;
    bytes(&r)[i >> 3] ^= static_cast<uint8_t>(0x80 >> (i & 7));
  }
  return stack::push(&r);
}

Cell* find(Cell* ts, Cell* value, Cell*, int, int, int, int, Cell*, Cell*, int, int, int, int) {
  if (!is_type(value, T_DATATYPE)) fire(Err::invalid_arg, value);
  return has(ts, datatype::id_of(value)) ? &fixed_true : &fixed_false;
}

void and_t() { do_bitwise(OP_AND); }
void or_t() { do_bitwise(OP_OR); }
void xor_t() { do_bitwise(OP_XOR); }

}  // namespace

void init() {
  datatype::Registration r{T_TYPESET, 0, "typeset!"};
  r.hashes(&hashtable::by_words<1, 3>);
  r.set(A_MAKE, &make).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare)
      .set(A_AND_T, &and_t).set(A_COMPLEMENT, &complement).set(A_OR_T, &or_t).set(A_XOR_T, &xor_t)
      .set(A_FIND, &find);
  datatype::register_type(r);
}

void clear(Cell* ts) { ts->w1 = ts->w2 = ts->w3 = 0; }

bool has(const Cell* ts, int id) {
  if (id < 0 || id >= 96) return false;
  return bytes(ts)[id >> 3] & (0x80 >> (id & 7));
}

void set_bit(Cell* ts, int id) {
  if (id >= 0 && id < 96) bytes(ts)[id >> 3] |= static_cast<uint8_t>(0x80 >> (id & 7));
}

int32_t count(const Cell* ts) {
  int32_t n = 0;
  for (int i = 1; i <= datatype::highest; i++) n += has(ts, i);
  return n;
}

Cell* make_in(const Cell* block, uint32_t w1, uint32_t w2, uint32_t w3) {
  Cell* c = memory::new_tail_cell(block);
  *c = Cell{T_TYPESET, w1, w2, w3};
  return c;
}

Cell* make_default(const Cell* block) {
  Cell ts{T_TYPESET, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  bytes(&ts)[0] &= static_cast<uint8_t>(~(0x80 >> T_UNSET));
  Cell* c = memory::new_tail_cell(block);
  *c = ts;
  return c;
}

Cell* make_from_spec(const Cell* block, const Cell* spec) {
  Cell* saved = stack::top();
  Cell* s = stack::push(spec);
  Cell ts = empty();
  for (int32_t i = series::head(s); i < static_cast<int32_t>(series::buf(s)->cell_count()); i++) {
    Cell item = series::buf(s)->cells()[i];
    Cell* v = &item;
    bool was_word = is_type(v, T_WORD);
    if (was_word) v = word::get(v);
    switch (type_of(v)) {
      case T_DATATYPE: set_bit(&ts, datatype::id_of(v)); break;
      case T_TYPESET: ts.w1 |= v->w1; ts.w2 |= v->w2; ts.w3 |= v->w3; break;
      case T_WORD: set_bit(&ts, T_OBJECT); break;
      case T_BLOCK: break;
      default: fire(Err::invalid_type_spec, v);
    }
  }
  stack::set_top(saved);
  Cell* c = memory::new_tail_cell(block);
  *c = ts;
  return c;
}

void add_type(Cell* ts, const Cell* value) {
  Cell* saved = stack::top();
  const Cell* v = value;
  if (is_type(v, T_WORD)) {
    Cell w = *value;
    v = word::get(&w);
  }
  if (is_type(v, T_TYPESET)) {
    ts->w1 |= v->w1;
    ts->w2 |= v->w2;
    ts->w3 |= v->w3;
  } else if (is_type(v, T_DATATYPE)) {
    set_bit(ts, datatype::id_of(v));
  } else {
    fire(Err::invalid_arg, v);
  }
  stack::set_top(saved);
}

void do_bitwise(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  if (op == OP_UNIQUE) return;
  if (!is_type(right, T_TYPESET) && !is_type(right, T_DATATYPE)) fire(Err::invalid_arg, right);
  Cell r = empty();
  if (is_type(right, T_DATATYPE)) set_bit(&r, datatype::id_of(right));
  else r = *right;
  Cell out = empty();
  uint32_t* o = out.w;
  const uint32_t* a = left->w;
  const uint32_t* b = r.w;
  for (int i = 0; i < 3; i++) {
    switch (op) {
      case OP_OR: case OP_UNION: o[i] = a[i] | b[i]; break;
      case OP_AND: case OP_INTERSECT: o[i] = a[i] & b[i]; break;
      case OP_XOR: case OP_DIFFERENCE: o[i] = a[i] ^ b[i]; break;
      case OP_EXCLUDE: o[i] = a[i] & ~b[i]; break;
      default: runtime_error(101);
    }
  }
  stack::set_result(&out);
}

Cell* to_block(Cell* result, const Cell* ts) {
  Cell t = *ts;
  *result = Cell{T_BLOCK, 0, memory::alloc_cells(4), 0};
  for (int i = 1; i <= datatype::highest; i++)
    if (has(&t, i) && datatype::entries[i].name) *memory::new_tail_cell(result) = datatype::entries[i].word;
  return result;
}

}  // namespace xeb::typeset
