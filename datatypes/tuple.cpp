// tuple!: constructors, the arithmetic core and the action slots.
#include "datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace xeb::tuple {

Cell make_cell(int n, const uint8_t* b) {
  Cell c{T_TUPLE, 0, 0, 0};
  set_count(&c, n);
  for (int i = 0; i < n; i++) set_byte_at(&c, i, b[i]);
  return c;
}

Cell* push(int n, uint32_t w1, uint32_t w2, uint32_t w3) {
  Cell c{T_TUPLE, w1, w2, w3};
  set_count(&c, n);
  return place::pushed(c);
}

Cell* make_from_ints(int n, const int32_t* values) {
  uint8_t b[MAX_BYTES] = {};
  n = std::min(n, MAX_BYTES);
  for (int i = 0; i < n; i++) b[i] = static_cast<uint8_t>(values[i]);
  return place::pushed(make_cell(std::max(n, 3), b));
}

Cell* make_rgba(Cell* c, int r, int g, int b, int a) {
  uint8_t v[4] = {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
  *c = make_cell(a == -1 ? 3 : 4, v);
  return c;
}

bool all_zero_q(const Cell* c) {
  for (int i = 0; i < count(c); i++)
    if (byte(c, i)) return false;
  return true;
}

namespace {

uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

uint8_t clamp_float(double d) {
  if (std::isnan(d)) return 0;
  d = std::trunc(d);
  return d < 0 ? 0 : d > 255 ? 255 : static_cast<uint8_t>(d);
}

}  // namespace

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  if (!is_type(left, T_TUPLE)) {
    if (op == OP_SUB || op == OP_DIV) {
      Cell fn = words::word(op == OP_SUB ? words::W::subtract : words::W::divide);
      Cell t = datatype::make_cell(type_of(left));
      fire(Err::not_related, &fn, &t);
    }
    std::swap(*left, *right);
  }
  const int n = count(left);
  switch (type_of(right)) {
    case T_FLOAT:
    case T_PERCENT: {
      double f = get_double(right);
      for (int i = 0; i < n; i++) set_byte_at(left, i, clamp_float(float_::do_math_op(byte(left, i), f, op)));
      return;
    }
    case T_INTEGER:
    case T_TUPLE:
      break;
    default: scalar::fire_type(Err::invalid_type, right);
  }
  const bool tuple = is_type(right, T_TUPLE);
  const int m = tuple ? count(right) : 0;
  if (m > n) {
    set_count(left, m);
    clear_new_line(left);
  }
  const int64_t k = tuple ? 0 : get_int(right);
  for (int i = 0; i < std::max(n, m); i++) {
    int64_t a = i < n ? byte(left, i) : 0;
    int64_t b = tuple ? (i < m ? byte(right, i) : 0) : k;
    int64_t r;
    switch (op) {
      case OP_ADD: r = a + b; break;
      case OP_SUB: r = a - b; break;
      case OP_MUL: r = a * b; break;
      case OP_DIV:
      case OP_REM:
        if (b == 0) fire(Err::zero_divide);
        r = op == OP_DIV ? a / b : a % b;
        break;
      case OP_OR: r = a | b; break;
      case OP_AND: r = a & b; break;
      default: r = a ^ b; break;
    }
    set_byte_at(left, i, clamp_byte(r));
  }
}

// --- Conversion ----------------------------------------------------------------

namespace {

// Hexadecimal colour text: 3 digits (each d gives d * 17), 6 or 8 (pairs).
// Only ASCII hex digits count: a wider character is never a digit.
Cell from_issue(const Cell* issue) {
  std::string_view name = symbol::name(word_symbol(issue));
  if (name.size() != 3 && name.size() != 6 && name.size() != 8) fire(Err::invalid_data, issue);
  uint8_t d[8];
  for (std::size_t i = 0; i < name.size(); i++) {
    unsigned char ch = static_cast<unsigned char>(name[i]);
    d[i] = ch < 32 || ch >= 0x80 ? 0xFF : binary::hex_digit(ch);
    if (d[i] == 0xFF) fire(Err::invalid_data, issue);
  }
  uint8_t b[4] = {};
  int n = name.size() == 8 ? 4 : 3;
  for (int i = 0; i < n; i++) b[i] = name.size() == 3 ? uint8_t(d[i] * 17) : uint8_t(d[2 * i] * 16 + d[2 * i + 1]);
  return make_cell(n, b);
}

Cell from_binary(const Cell* bin) {
  int32_t n = std::min(binary::xs_length_q(bin), MAX_BYTES);
  uint8_t b[MAX_BYTES] = {};
  for (int32_t i = 0; i < n; i++) b[i] = binary::byte_at(bin, i);
  return make_cell(std::max(n, 3), b);
}

Cell from_block(Cell* spec) {
  int32_t n = block::xs_length_q(spec);
  if (n > MAX_BYTES) scalar::bad_to_arg(T_TUPLE, spec);
  const Cell* h = block::xs_head(spec);
  uint8_t b[MAX_BYTES] = {};
  for (int32_t i = 0; i < n; i++) {
    double v;
    switch (type_of(h + i)) {
      case T_INTEGER: case T_CHAR: v = get_int(h + i); break;
      case T_FLOAT: v = std::trunc(get_double(h + i)); break;
      default: scalar::bad_to_arg(T_TUPLE, spec);
    }
    if (!(v >= 0 && v <= 255)) scalar::bad_to_arg(T_TUPLE, spec);
    b[i] = static_cast<uint8_t>(v);
  }
  return make_cell(std::max(n, 3), b);
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_TUPLE: return spec;
    case T_BLOCK: case T_PAREN: case T_HASH: *proto = from_block(spec); return proto;
    case T_ISSUE: *proto = from_issue(spec); return proto;
    case T_BINARY: *proto = from_binary(spec); return proto;
    default:
      if (scalar::text_type(type_of(spec))) {
        *proto = scalar::load_as(T_TUPLE, spec, false);
        return proto;
      }
      scalar::bad_to_arg(T_TUPLE, spec);
  }
}

// --- Slots -----------------------------------------------------------------------

Cell* random(Cell* value, int seed, int secure, int only) {
  const auto& h = integer::random_hooks;
  if (seed) return integer::seed_random(value, value->w1 ^ value->w2 ^ value->w3);
  if (!h.int_range) fire(Err::not_done);
  for (int i = 0; i < count(value); i++)
    set_byte_at(value, i, static_cast<uint8_t>(h.int_range(secure != 0, byte(value, i) + 1) - 1));
  return value;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string text;
  for (int i = 0; i < count(value); i++) {
    if (i) text += '.';
    text += integer::to_c_string(byte(value, i));
  }
  return scalar::emit(buffer, text, part);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

Cell* pick(Cell* value, int index, Cell* boxed) {
  if (index < 1 || index > count(value) || (boxed && !is_type(boxed, T_INTEGER))) {
    Cell i = boxed ? *boxed : integer::make_cell(index);
    fire(Err::out_of_range, &i);
  }
  return integer::push(byte(value, index - 1));
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  if (!is_type(element, T_INTEGER)) scalar::fire_type(Err::invalid_type, element);
  int32_t i = get_int(element);
  if (!value) return pick(parent, i, element);
  if (!is_type(value, T_INTEGER) && !is_type(value, T_NONE)) scalar::fire_type(Err::invalid_type, value);
  int n = count(parent);
  if (i < 1 || i > n) fire(Err::out_of_range, element);
  if (is_type(value, T_INTEGER)) {
    set_byte_at(parent, i - 1, clamp_byte(get_int(value)));
  } else {
    for (int k = i - 1; k < n; k++) set_byte_at(parent, k, 0);
    set_count(parent, std::max(i - 1, 3));
  }
  return value;
}

int compare(Cell* value1, Cell* value2, int op) {
  if (!is_type(value2, T_TUPLE)) return COMPARE_INVALID;
  // Identity also needs the same length: 1.2.3 equals 1.2.3.0 but is not it.
  if (op == COMP_SAME && count(value1) != count(value2)) return 1;
  int n = std::max(count(value1), count(value2));
  for (int i = 0; i < n; i++) {
    int a = i < count(value1) ? byte(value1, i) : 0;
    int b = i < count(value2) ? byte(value2, i) : 0;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

Cell* complement(Cell* value) {
  for (int i = 0; i < count(value); i++) set_byte_at(value, i, static_cast<uint8_t>(255 - byte(value, i)));
  return value;
}

int length_q(Cell* value) { return count(value); }

Cell* reverse(Cell* value, Cell* part, Cell* skip) {
  const int n = count(value);
  int32_t len = n, size = 1;
  if (part) {
    if (!is_type(part, T_INTEGER)) {
      Cell w = words::word(words::W::part);
      fire(Err::invalid_refine_arg, &w, part);
    }
    len = get_int(part);
    if (len < 0) fire(Err::out_of_range, part);
  }
  if (skip) {
    Cell w = words::word(words::W::skip);
    if (!is_type(skip, T_INTEGER)) fire(Err::invalid_refine_arg, &w, skip);
    size = get_int(skip);
    if (size == len) return value;
    if (size < 1) fire(Err::out_of_range, skip);
    if (size > len || len % size != 0) fire(Err::invalid_refine_arg, &w, skip);
  }
  len = std::min(len, int32_t{n});
  uint8_t* b = bytes(value);
  if (size == 1) {
    std::reverse(b, b + len);
    return value;
  }
  for (int32_t lo = 0, hi = len - size; lo < hi; lo += size, hi -= size)
    std::swap_ranges(b + lo, b + lo + size, b + hi);
  return value;
}

namespace {
// Tuples compare as if padded with zeros (1.2.3 = 1.2.3.0): trailing zeros
// take no part in the hash.
uint32_t hash(const Cell* c, bool) {
  size_t n = static_cast<size_t>(count(c));
  while (n > 0 && bytes(c)[n - 1] == 0) n--;
  return hashtable::murmur3(bytes(c), n);
}
}  // namespace

void init() {
  datatype::Registration r{T_TUPLE, 0, "tuple!"};
  r.hashes(&hash);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_COMPLEMENT, &complement);
  r.set(A_LENGTH_Q, &length_q).set(A_PICK, &pick).set(A_REVERSE, &reverse);
  datatype::set_arithmetic<do_math>(r);
  datatype::set_bitwise<do_math>(r);
  datatype::register_type(r);
}

}  // namespace xeb::tuple
