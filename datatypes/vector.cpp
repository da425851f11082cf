// vector!: construction from specs, element access, insertion and change,
// element-wise arithmetic with a scalar or another vector, comparison and
// the text forms.
#include "datatypes/vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/math_slots.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/counts.h"
#include "runtime/exit.h"
#include "runtime/floattext.h"
#include "runtime/sort.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::vector {

namespace {

bool float_kind(TypeId t) { return t == T_FLOAT || t == T_PERCENT; }
int default_width(TypeId t) { return float_kind(t) ? 8 : 4; }

Cell* set_cell(Cell* c, Node n, int32_t h, TypeId t) { return make_series(c, T_VECTOR, n, h, t); }

// Elements from the head (a head past the tail counts none).
int32_t length_from_head(const Cell* v) { return std::max(count(v) - head(v), 0); }

[[noreturn]] void bad_make(const Cell* spec) {
  Cell t = datatype::make_cell(T_VECTOR), s = *spec;
  fire(Err::bad_make_arg, &t, &s);
}

void check_item(const Cell* item, TypeId t) {
  if (type_of(item) != t) {
    Cell c = *item;
    fire(Err::invalid_arg, &c);
  }
}

// Makes room for n more elements at pos (opening a gap); answers the
// buffer. The vector cell must be rooted.
SeriesBuf* open_gap(Cell* v, int32_t pos, int64_t n) {
  int w = width(v);
  int64_t len = count(v);
  if (n > INT32_MAX || (len + n) * w > INT32_MAX - 64) raise_internal(InternalError::no_memory);
  SeriesBuf* b = buf_of(node_of(v));
  int64_t need = (len + n) * w;
  if (need > int64_t{b->used()}) b = memory::reserve_tail(b, need - int64_t{b->used()});
  std::byte* p = b->head_ptr() + int64_t{pos} * w;
  std::memmove(p + n * w, p, static_cast<size_t>((len - pos) * w));
  b->tail = b->head + static_cast<Off>(need);
  return b;
}

void close_gap(Cell* v, int32_t pos, int64_t n) {
  int w = width(v);
  SeriesBuf* b = buf_of(node_of(v));
  int64_t len = count(v);
  std::byte* p = b->head_ptr() + int64_t{pos} * w;
  std::memmove(p, p + n * w, static_cast<size_t>((len - pos - n) * w));
  b->tail -= static_cast<Off>(n * w);
}

// The items a value supplies: a block's cells from its head (limit >= 0
// cuts them), or the value itself. Items are numbers: copies hold no nodes.
std::vector<Cell> items_of(const Cell* value, int32_t limit, bool only, bool vectors) {
  std::vector<Cell> out;
  int t = type_of(value);
  if (!only && (t == T_BLOCK || t == T_PAREN || t == T_HASH)) {
    int32_t n = std::max(series::get_length(const_cast<Cell*>(value), false), 0);
    if (limit >= 0) n = std::min(n, limit);
    for (int32_t i = 0; i < n; i++) out.push_back(block::buf(value)->cells()[block::head_of(value) + i]);
  } else if (vectors && t == T_VECTOR) {
    int32_t n = length_from_head(value);
    if (limit >= 0) n = std::min(n, limit);
    for (int32_t i = 0; i < n; i++) out.push_back(get_value(at(value, head(value) + i), width(value), elem_type(value)));
  } else {
    out.push_back(*value);
  }
  return out;
}

// Writes items (checked against the element type first) into a gap of
// items × dup elements at pos.
void fill_gap(Cell* v, int32_t pos, const std::vector<Cell>& items, int32_t dup) {
  int w = width(v);
  for (int32_t d = 0; d < dup; d++)
    for (size_t i = 0; i < items.size(); i++) set_value(at(v, pos + d * static_cast<int32_t>(items.size()) + static_cast<int32_t>(i)), &items[i], w, elem_type(v));
}

int64_t product(int64_t a, int64_t b) {
  int64_t n = a * b;
  if (n > INT32_MAX) raise_internal(InternalError::no_memory);
  return n;
}

Cell* make(Cell*, Cell* spec_in, int) {
  Cell* spec = stack::push(spec_in);
  TypeId t = T_INTEGER;
  int w = 4;
  int64_t size = 0;
  Cell values = fixed_none;  // a block of values, or none
  switch (type_of(spec)) {
    case T_INTEGER: case T_FLOAT: {
      double d = is_type(spec, T_INTEGER) ? get_int(spec) : std::trunc(get_double(spec));
      if (!(d >= 0 && d <= INT32_MAX)) {
        Cell c = *spec_in;
        fire(Err::out_of_range, &c);
      }
      size = static_cast<int64_t>(d);
      break;
    }
    case T_BLOCK: {
      int32_t n = series::get_length(spec, false);
      if (n == 0) break;
      auto cell = [&](int32_t i) { return block::buf(spec)->cells()[block::head_of(spec) + i]; };
      Cell first = cell(0);
      if (!is_type(&first, T_WORD)) {
        t = type_of(&first);
        if (t != T_CHAR && t != T_INTEGER && !float_kind(t)) {
          Cell d = datatype::make_cell(t);
          fire(Err::invalid_type, &d);
        }
        w = default_width(t);
        values = *spec;
        break;
      }
      if (n < 2) bad_make(spec_in);
      int32_t sym = word_symbol(&first);
      if (words::is(sym, words::W::integer_t)) t = T_INTEGER;
      else if (words::is(sym, words::W::char_t)) t = T_CHAR;
      else if (words::is(sym, words::W::float_t)) t = T_FLOAT;
      else if (words::is(sym, words::W::percent_t)) t = T_PERCENT;
      else bad_make(spec_in);
      int32_t i = 1;
      Cell bits = cell(1);
      if (is_type(&bits, T_INTEGER)) {
        int32_t b = get_int(&bits);
        if (t == T_PERCENT) w = 8;
        else if (t == T_FLOAT && (b == 32 || b == 64)) w = b / 8;
        else if (t != T_FLOAT && (b == 8 || b == 16 || b == 32)) w = b / 8;
        else bad_make(spec_in);
        i = 2;
      } else if (t == T_PERCENT) {
        w = 8;
      } else {
        Cell c = *spec_in;
        fire(Err::invalid_spec_field, &c);
      }
      if (i < n) {
        Cell c = cell(i);
        if (is_type(&c, T_INTEGER)) {
          size = std::max(get_int(&c), 0);
          if (i + 1 < n) {
            Cell v = cell(i + 1);
            if (!is_type(&v, T_BLOCK)) {
              Cell s = *spec_in;
              fire(Err::invalid_spec_field, &s);
            }
            values = v;
          }
        } else if (is_type(&c, T_BLOCK)) {
          values = c;
        } else {
          Cell s = *spec_in;
          fire(Err::invalid_spec_field, &s);
        }
      }
      break;
    }
    default:
      fire(Err::not_done);
  }
  std::vector<Cell> items;
  if (!is_type(&values, T_NONE)) items = items_of(&values, -1, false, false);
  for (const Cell& c : items) check_item(&c, t);
  int64_t n = std::max<int64_t>(size, static_cast<int64_t>(items.size()));
  product(n, w);
  Cell* v = make_at(stack::push_new(), std::max<int64_t>(n, 1), t, w);
  open_gap(v, 0, n);
  std::memset(at(v, 0), 0, static_cast<size_t>(n * w));
  fill_gap(v, 0, items, 1);
  return v;
}

// --- Text --------------------------------------------------------------------------

void element_text(Cell* out, const Cell* e, int w, bool mold) {
  char text[dtoa::text_max];
  switch (type_of(e)) {
    case T_INTEGER: string::append_int(out, get_int(e)); break;
    case T_CHAR:
      if (mold) string::append_ascii(out, "#\"");
      string::mold_char(out, get_int(e), false);
      if (mold) string::append_ascii(out, "\"");
      break;
    case T_FLOAT: {
      size_t n = float_::form_float(get_double(e), w == 4 ? dtoa::FormKind::float32 : dtoa::FormKind::float64, text);
      string::append_ascii(out, std::string_view(text, n));
      break;
    }
    default: {
      size_t n = float_::form_float(get_double(e) * 100, dtoa::FormKind::percent, text);
      string::append_ascii(out, std::string_view(text, n));
      break;
    }
  }
}

// The elements from the head, one space apart; a part budget stops before
// an element once spent.
int form_elements(Cell* v, Cell* out, Cell* arg, int part, bool mold) {
  int32_t n = length_from_head(v);
  for (int32_t i = 0; i < n; i++) {
    if (arg && part <= 0) break;
    int32_t before = actions::length_of(out);
    if (i > 0) string::append_ascii(out, " ");
    Cell e = get_value(at(v, head(v) + i), width(v), elem_type(v));
    element_text(out, &e, width(v), mold);
    part -= actions::length_of(out) - before;
  }
  return part;
}

int form(Cell* v, Cell* out, Cell* arg, int part) { return form_elements(v, out, arg, part, false); }

int mold(Cell* v, Cell* out, int only, int, int, Cell* arg, int part, int) {
  if (!only) part = actions::emit(out, "make vector! [", part);
  TypeId t = elem_type(v);
  if (width(v) == default_width(t) && length_from_head(v) > 0) {
    part = form_elements(v, out, arg, part, true);
  } else {
    part = actions::emit(out, datatype::entries[t].name, part);
    part = actions::emit(out, " ", part);
    string::append_int(out, width(v) * 8);
    part -= width(v) == 1 ? 1 : 2;
    part = actions::emit(out, " [", part);
    part = form_elements(v, out, arg, part, true);
    part = actions::emit(out, "]", part);
  }
  if (!only) part = actions::emit(out, "]", part);
  return part;
}

// --- Comparison ------------------------------------------------------------------------

int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_VECTOR)) return COMPARE_INVALID;
  if (elem_type(a) != elem_type(b)) fire(Err::not_same_type);
  bool eq_op = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
  if (node_of(a) == node_of(b) && head(a) == head(b)) return 0;
  if (op == COMP_SAME) return -1;
  int32_t la = length_from_head(a), lb = length_from_head(b);
  if (la == 0 && lb == 0) return 0;
  if (la != lb && eq_op) return 1;
  bool fl = float_kind(elem_type(a));
  for (int32_t i = 0; i < std::min(la, lb); i++) {
    Cell x = get_value(at(a, head(a) + i), width(a), elem_type(a));
    Cell y = get_value(at(b, head(b) + i), width(b), elem_type(b));
    if (fl) {
      double p = get_double(&x), q = get_double(&y);
      if (p != p || q != q) return 0;
      if (p != q) return p < q ? -1 : 1;
    } else if (get_int(&x) != get_int(&y)) {
      return get_int(&x) < get_int(&y) ? -1 : 1;
    }
  }
  return la < lb ? -1 : la > lb ? 1 : 0;
}

// --- Editing --------------------------------------------------------------------------------

Cell* insert(Cell* v, Cell* value, int part, int only, int dup, int last) {
  std::vector<Cell> items = items_of(value, part, only != 0, false);
  if (items.empty() || dup <= 0) return v;
  for (const Cell& c : items) check_item(&c, elem_type(v));
  int64_t n = product(static_cast<int64_t>(items.size()), dup);
  int32_t pos = last ? count(v) : std::min(std::max(head(v), 0), count(v));
  bool owned = series::notify_before(v, last ? series::Notice::append : series::Notice::insert, value, pos,
                                     static_cast<int32_t>(n));
  open_gap(v, pos, n);
  fill_gap(v, pos, items, dup);
  if (owned) series::notify_after(v, last ? series::Notice::append : series::Notice::insert, value, pos,
                                  static_cast<int32_t>(n));
  if (!last) v->w1 = static_cast<uint32_t>(pos + n);
  return v;
}

Cell* change(Cell* v, Cell* value, int part, int only, int dup) {
  std::vector<Cell> items = items_of(value, -1, only != 0, true);
  for (const Cell& c : items) check_item(&c, elem_type(v));
  if (dup < 1) dup = 1;
  int64_t n = product(static_cast<int64_t>(items.size()), dup);
  int32_t pos = std::min(std::max(head(v), 0), count(v));
  int64_t old = part >= 0 ? std::min<int64_t>(part, count(v) - pos) : std::min<int64_t>(n, count(v) - pos);
  bool owned = series::notify_before(v, series::Notice::change, value, pos, static_cast<int32_t>(n));
  if (n > old) open_gap(v, static_cast<int32_t>(pos + old), n - old);
  else if (n < old) close_gap(v, static_cast<int32_t>(pos + n), old - n);
  for (int32_t d = 0; d < dup; d++)
    for (size_t i = 0; i < items.size(); i++)
      set_value(at(v, pos + d * static_cast<int32_t>(items.size()) + static_cast<int32_t>(i)), &items[i], width(v), elem_type(v));
  if (owned) series::notify_after(v, series::Notice::change, value, pos, static_cast<int32_t>(n));
  v->w1 = static_cast<uint32_t>(pos + n);
  return v;
}

// The first element from the head equal to the value (same type as the
// elements, compared as numbers), or none.
int32_t find_index(Cell* v, const Cell* value) {
  if (type_of(value) != elem_type(v)) return -1;
  // The value as an element would hold it (narrowed to the width).
  std::byte bytes[8] = {};
  set_value(bytes, value, width(v), elem_type(v));
  Cell probe = get_value(bytes, width(v), elem_type(v));
  for (int32_t i = std::max(head(v), 0); i < count(v); i++) {
    Cell e = get_value(at(v, i), width(v), elem_type(v));
    if (std::memcmp(&e, &probe, sizeof(Cell)) == 0) return i;
  }
  return -1;
}

Cell* find(Cell* v, Cell* value, Cell*, int, int, int, int, Cell*, Cell*, int, int, int tail, int) {
  int32_t i = find_index(v, value);
  if (i < 0) return &fixed_none;
  v->w1 = static_cast<uint32_t>(tail ? i + 1 : i);
  return v;
}

Cell* select(Cell* v, Cell* value, Cell*, int, int, int, int, Cell*, Cell*, int, int) {
  int32_t i = find_index(v, value);
  if (i < 0 || i + 1 >= count(v)) return &fixed_none;
  Cell e = get_value(at(v, i + 1), width(v), elem_type(v));
  return stack::push(&e);
}

// --- sort ------------------------------------------------------------------------------------

namespace {

// A sort orders record numbers and applies the order once at the end: a
// /compare function runs language code, which may move or shorten the
// vector, so elements are read through the vector's cell at every
// comparison. Sorts can nest (the function may sort), so each keeps its own
// state, reached through a pointer it saves.
struct VecSort {
  Cell* v;     // data-stack copy of the vector
  Cell* func;  // data-stack copy of the /compare function, or null
  int32_t head, record, offset;  // record size and deciding element, in elements
  bool all, reverse;
};
VecSort* vec_sort = nullptr;

Cell element(const VecSort& s, int32_t i) { return get_value(at(s.v, i), width(s.v), elem_type(s.v)); }

int32_t cmp_values(const Cell& x, const Cell& y) {
  if (float_kind(type_of(&x))) {
    double a = get_double(&x), b = get_double(&y);
    // NaNs after every number, as a block sort places them.
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) - std::isnan(b);
    return a < b ? -1 : a > b ? 1 : 0;
  }
  int32_t a = get_int(&x), b = get_int(&y);
  return a < b ? -1 : a > b ? 1 : 0;
}

// The function is asked about (b, a), (a, b) with /reverse, as a string
// sort asks it: the deciding elements, or with /all the records viewed in
// place.
int32_t cmp_call(const VecSort& s, int32_t a0, int32_t b0) {
  Cell* saved = stack::top();
  auto arg = [&](int32_t start) {
    if (s.all) {
      Cell* r = stack::push(s.v);
      r->w1 = static_cast<uint32_t>(start);
      return r;
    }
    Cell e = element(s, start + s.offset);
    return stack::push(&e);
  };
  Cell* x = arg(s.reverse ? a0 : b0);
  Cell* y = arg(s.reverse ? b0 : a0);
  Cell* r = series::compare_call(s.func, x, y);
  if (throwing()) return 0;
  int32_t answer = series::swapped_answer(r);
  stack::set_top(saved);
  return answer;
}

int32_t cmp_records(const void* pa, const void* pb, int, int) {
  // A pending exit from an earlier call ends the sort: no more calls.
  if (throwing()) return 0;
  const VecSort& s = *vec_sort;
  int32_t ia = *static_cast<const int32_t*>(pa), ib = *static_cast<const int32_t*>(pb);
  // A record the function has cut away compares equal to anything.
  if (s.head + (int64_t{std::max(ia, ib)} + 1) * s.record > count(s.v)) return 0;
  int32_t a0 = s.head + ia * s.record, b0 = s.head + ib * s.record;
  if (s.func) return cmp_call(s, a0, b0);
  int32_t from = s.all ? 0 : s.offset, to = s.all ? s.record : s.offset + 1, r = 0;
  for (int32_t k = from; k < to && r == 0; k++) r = cmp_values(element(s, a0 + k), element(s, b0 + k));
  return s.reverse ? -r : r;
}

}  // namespace

// Numeric order of the elements from the head, with the refinements of a
// string sort: /part, records of /skip elements ordered by their first
// element, by the /compare offset or whole with /all, and a /compare
// function.
Cell* sort(Cell* v, int, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable) {
  int32_t len = length_from_head(v);
  if (part) {
    int32_t c = series::sort_part(v, part);  // moves the head first
    len = std::min(c, length_from_head(v));
  }
  series::SortRefines r = series::sort_refines(len, skip, compare, all != 0, false);
  int32_t size = r.size, offset = r.offset;
  Cell* func = r.func;
  if (len < 2) return v;
  bool owned = series::notify_before(v, series::Notice::sort, nullptr, head(v), len);
  Cell* saved = stack::top();
  Cell* vc = stack::push(v);
  VecSort s{vc, func ? stack::push(func) : nullptr, std::max(head(v), 0), size, offset, all != 0, reverse != 0};
  sort::Current<VecSort> current(vec_sort, &s);
  int32_t records = len / size;
  std::vector<int32_t> order = sort::order(records, stable, 0, cmp_records);
  if (throwing()) return v;  // the vector keeps its order
  // The function may have shortened the vector: the order applies only to
  // records that are still all there.
  int64_t n = int64_t{records} * size;
  if (s.head + n <= count(vc)) {
    std::vector<Cell> sorted;
    sorted.reserve(static_cast<size_t>(n));
    for (int32_t k = 0; k < records; k++)
      for (int32_t j = 0; j < size; j++) sorted.push_back(element(s, s.head + order[static_cast<size_t>(k)] * size + j));
    for (int64_t i = 0; i < n; i++)
      set_value(at(vc, s.head + static_cast<int32_t>(i)), &sorted[static_cast<size_t>(i)], width(vc), elem_type(vc));
  }
  stack::set_top(saved);
  if (owned) series::notify_after(v, series::Notice::sort, nullptr, head(v), len);
  return v;
}

// take without /part answers the element itself.
Cell* take(Cell* v, Cell* part, int deep, int last) {
  Cell* r = series::take(v, part, deep, last);
  if (part || !is_type(r, T_VECTOR)) return r;
  *r = get_value(at(r, 0), width(r), elem_type(r));
  return r;
}

// Elements are reached by position only.
Cell* eval_path(Cell* v, Cell* element, Cell* value, const PathStep& step) {
  if (!is_type(element, T_INTEGER)) series::fail_path(Err::invalid_path, step, element);
  return series::path_index(v, element, value);
}

// --- Arithmetic ----------------------------------------------------------------------------

// 32-bit arithmetic of two elements: add, subtract and multiply wrap; the
// other ops are the integer ones (the most negative integer divided by -1
// overflows), with division always truncated.
int32_t int_op(int32_t a, int32_t b, int op) {
  uint32_t x = static_cast<uint32_t>(a), y = static_cast<uint32_t>(b);
  switch (op) {
    case OP_ADD: return static_cast<int32_t>(x + y);
    case OP_SUB: return static_cast<int32_t>(x - y);
    case OP_MUL: return static_cast<int32_t>(x * y);
    default: return integer::do_math_op(a, b, op, nullptr);
  }
}

Cell combine(const Cell& x, const Cell& y, int op, TypeId t) {
  if (float_kind(t)) {
    Cell r = x;
    put_double(&r, float_::do_math_op(get_double(&x), get_double(&y), op));
    return r;
  }
  int32_t v = int_op(get_int(&x), get_int(&y), op);
  return t == T_CHAR ? char_::make_cell(v) : integer::make_cell(v);
}

void do_math_scalar(int op, Cell* v, const Cell* s) {
  TypeId t = elem_type(v);
  Cell k;
  if (float_kind(t)) {
    double d;
    if (is_type(s, T_INTEGER)) d = get_int(s);
    else if (is_type(s, T_FLOAT) || is_type(s, T_PERCENT)) d = get_double(s);
    else fire(Err::not_done);
    if ((d == 0.0 && (op == OP_ADD || op == OP_SUB)) || (d == 1.0 && (op == OP_MUL || op == OP_DIV))) return;
    k = Cell{t, 0, 0, 0};
    put_double(&k, d);
  } else {
    int32_t i;
    if (is_type(s, T_INTEGER)) {
      i = get_int(s);
    } else if (is_type(s, T_FLOAT) || is_type(s, T_PERCENT)) {
      double d = std::trunc(get_double(s));
      i = d != d ? 0 : d >= 2147483647.0 ? INT32_MAX : d <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(d);
    } else {
      fire(Err::not_done);
    }
    if ((i == 0 && (op == OP_ADD || op == OP_SUB)) || (i == 1 && (op == OP_MUL || op == OP_DIV))) return;
    k = t == T_CHAR ? char_::make_cell(i) : integer::make_cell(i);
  }
  for (int32_t i = std::max(head(v), 0); i < count(v); i++) {
    Cell e = combine(get_value(at(v, i), width(v), t), k, op, t);
    set_value(at(v, i), &e, width(v), t);
  }
}

void do_math(int op) {
  Cell* a = stack::base();
  Cell* b = a + 1;
  if (!is_type(b, T_VECTOR)) {
    do_math_scalar(op, a, b);
    return;
  }
  TypeId t = elem_type(a);
  if (elem_type(b) != t) fire(Err::not_same_type);
  int w = std::max(width(a), width(b));
  int32_t n = std::min(length_from_head(a), length_from_head(b));
  Cell* r = make_at(stack::push_new(), std::max(n, 1), t, w);
  open_gap(r, 0, n);
  for (int32_t i = 0; i < n; i++) {
    Cell x = get_value(at(a, head(a) + i), width(a), t);
    Cell y = get_value(at(b, head(b) + i), width(b), t);
    Cell e = combine(x, y, op, t);
    set_value(at(r, i), &e, w, t);
  }
  stack::set_result(r);
}

Cell series_get(const Cell* v, int32_t p) { return get_value(at(v, p), width(v), elem_type(v)); }
void series_set(const Cell* v, int32_t p, const Cell* value) { set_value(at(v, p), value, width(v), elem_type(v)); }

}  // namespace

void do_math_scalar_first(int op) {
  Cell* a = stack::base();
  do_math_scalar(op, a + 1, a);
  stack::set_result(a + 1);
}

Cell get_value(const std::byte* p, int w, TypeId t) {
  Cell c{t, 0, 0, 0};
  if (float_kind(t)) {
    double d;
    if (w == 4) {
      float f;
      std::memcpy(&f, p, 4);
      d = f;
    } else {
      std::memcpy(&d, p, 8);
    }
    put_double(&c, d);
    return c;
  }
  int32_t v;
  switch (w) {
    case 1: v = t == T_CHAR ? static_cast<uint8_t>(*p) : static_cast<int8_t>(*p); break;
    case 2: {
      uint16_t u;
      std::memcpy(&u, p, 2);
      v = t == T_CHAR ? u : static_cast<int16_t>(u);
      break;
    }
    default: std::memcpy(&v, p, 4); break;
  }
  return t == T_CHAR ? char_::make_cell(v) : integer::make_cell(v);
}

// Stores the number as an element of the type: integers and chars keep the
// low bytes of the integer (a float truncated toward zero), floats and
// percents the number as binary64, or binary32 in 4 bytes.
void set_value(std::byte* p, const Cell* value, int w, TypeId elem) {
  TypeId vt = type_of(value);
  if (vt != T_CHAR && vt != T_INTEGER && !float_kind(vt)) {
    Cell d = datatype::make_cell(vt);
    fire(Err::invalid_type, &d);
  }
  if (float_kind(elem)) {
    double d = float_kind(vt) ? get_double(value) : static_cast<double>(get_int(value));
    if (w == 8) {
      std::memcpy(p, &d, 8);
    } else {
      float f = static_cast<float>(d);
      std::memcpy(p, &f, 4);
    }
    return;
  }
  int32_t i;
  if (float_kind(vt)) {
    double t = std::trunc(get_double(value));
    i = t != t ? 0 : t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(t);
  } else {
    i = get_int(value);
  }
  // A 4-byte char element holds the whole number, so one outside the code
  // points would read back as a char! no text can hold.
  if (elem == T_CHAR && w == 4 && (i < 0 || i > char_::MAX_CODE_POINT)) {
    Cell c = vt == T_CHAR ? integer::make_cell(i) : *value;  // a sum may be no char
    fire(Err::out_of_range, &c);
  }
  std::memcpy(p, &i, static_cast<size_t>(std::min(w, 4)));
}

Cell* make_at(Cell* c, int64_t capacity, TypeId t, int w) {
  product(capacity, w);
  Node n = memory::alloc_series(std::max<int64_t>(capacity, 1), w, 0);
  return set_cell(c, n, 0, t);
}

void init() {
  series::vector_get = &series_get;
  series::vector_set = &series_set;
  datatype::Registration r{T_VECTOR, T_STRING, "vector!"};
  r.marks({collector::Holds::nothing, collector::Holds::series, collector::Holds::nothing});
  r.set(A_MAKE, &make).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  r.set(A_APPEND, &insert).set(A_INSERT, &insert).set(A_CHANGE, &change);
  datatype::set_arithmetic<do_math>(r);
  datatype::set_bitwise<do_math>(r);
  r.set(A_FIND, &find).set(A_SELECT, &select).set(A_SORT, &sort).set(A_TAKE, &take).set(A_EVAL_PATH, &eval_path);
  r.inherit({A_RANDOM, A_REFLECT, A_AT, A_BACK, A_CLEAR, A_COPY, A_HEAD, A_HEAD_Q, A_INDEX_Q,
             A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SKIP, A_TAIL, A_TAIL_Q, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::vector
