// The action entries: slot lookup, the 62 generic entries and the direct
// entries they call.
#include "evaluator/natives.h"
#include "evaluator/actions.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "runtime/counts.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::actions {

using natives::ref;

Entry entries[ACTION_COUNT] = {};

namespace {

// --- Argument conventions -------------------------------------------------------

inline Cell* arg(int i) { return stack::base() + i; }
// A refinement's argument cell: present only above the arguments base.
inline Cell* opt(int32_t r) { return r > 0 ? stack::base() + r : nullptr; }
inline int flag(int32_t r) { return r != -1; }
// A pending exit (from a port actor or a callback) has set the stacks for
// its target: the result slot is no longer this action's to write.
inline void result(const Cell* c) {
  if (c && c != stack::base() && !throwing()) stack::set_result(c);
}

// The index argument of pick and poke as an integer.
int32_t index_int(const Cell* c) {
  switch (type_of(c)) {
    case T_INTEGER: case T_CHAR: return get_int(c);
    case T_LOGIC: return logic::get(c) == 1 ? 1 : 2;
    default: return 0;
  }
}

bool part_series(int t) {
  return series::any_series(t) || t == T_VECTOR || t == T_IMAGE || t == T_MAP;
}

// The /part count for s from its head (a head past the tail is set to the
// tail first): an integer!, or a series in s's buffer; a negative count moves
// the head back over the elements it covers, not below the first.
int32_t part_from_head(Cell* s, Cell* part) {
  int32_t tail = series::buffer_length(s);
  if (series::head(s) > tail) series::set_head(s, tail);
  int32_t n;
  if (is_type(part, T_INTEGER)) {
    n = get_int(part);
  } else {
    if (type_of(part) != type_of(s) || series::node_of(part) != series::node_of(s)) {
      Cell w = words::word(words::W::part);
      fire(Err::invalid_refine_arg, &w, part);
    }
    n = series::head(part) - series::head(s);
  }
  if (n < 0) {
    int32_t h = series::head(s);
    int32_t back = counts::back(n, h);
    series::set_head(s, h - back);
    n = back;
  }
  return n;
}

// The count of /part of append and insert, which applies to the value.
int32_t insert_part(Cell* value, Cell* part) {
  if (!part) return -1;
  // An empty image has no buffer to count in.
  if (!part_series(type_of(value)) || series::node_of(value) == 0) fire(Err::invalid_part, part);
  return part_from_head(value, part);
}

// The count of /part of change, which applies to the series changed.
int32_t change_part(Cell* s, Cell* part) {
  if (!part) return -1;
  int t = type_of(s);
  if (t == T_PORT || t == T_IMAGE) {
    int32_t n = is_type(part, T_INTEGER) ? get_int(part) : 0;
    return n < 0 ? 0 : n;
  }
  if (!part_series(t)) return -1;  // the action itself refuses the value
  return part_from_head(s, part);
}

int32_t dup_count(int32_t r) {
  if (r == -1) return 1;
  Cell* c = opt(r);
  return c && is_type(c, T_INTEGER) ? get_int(c) : 1;
}

// --- Generic entries ---------------------------------------------------------------

void stack_only(Action a) { reinterpret_cast<act::StackOnly>(get_action_arg(a))(); }

template <Action A>
void g_stack(const int32_t*) {
  stack_only(A);
}

int made_type(const Cell* c) { return is_type(c, T_DATATYPE) ? datatype::id_of(c) : type_of(c); }

void g_make(const int32_t*) {
  result(direct::make(arg(0), arg(1)));
}
void g_random(const int32_t* r) { result(direct::random(arg(0), flag(r[ref(A_RANDOM, "seed")]), flag(r[ref(A_RANDOM, "secure")]), flag(r[ref(A_RANDOM, "only")]))); }
void g_reflect(const int32_t*) { result(direct::reflect(arg(0), arg(1))); }
void g_to(const int32_t*) { result(direct::to(arg(0), arg(1))); }

void form_or_mold(bool mold, int32_t part_ref, int only, int all, int flat) {
  Cell* limit = opt(part_ref);
  int32_t lim = -1;
  if (limit) {
    lim = is_type(limit, T_INTEGER) ? get_int(limit) : 0;
    if (lim <= 0) {
      Cell* s = string::push_new(1);
      stack::set_result_trim(s);
      return;
    }
  }
  Cell* buffer = string::push_new(16);
  int budget = lim > 0 ? lim : NO_LIMIT;
  if (mold) direct::mold(arg(0), buffer, only, all, flat, limit, budget, 0);
  else direct::form(arg(0), buffer, limit, budget);
  if (lim > 0 && length_of(buffer) > lim) truncate(buffer, lim);
  stack::set_result_trim(buffer);
}
void g_form(const int32_t* r) { form_or_mold(false, r[ref(A_FORM, "part")], 0, 0, 0); }
void g_mold(const int32_t* r) { form_or_mold(true, r[ref(A_MOLD, "part")], flag(r[ref(A_MOLD, "only")]), flag(r[ref(A_MOLD, "all")]), flag(r[ref(A_MOLD, "flat")])); }
void g_negate(const int32_t*) { result(direct::negate(arg(0))); }
void g_round(const int32_t* r) {
  result(direct::round(arg(0), opt(r[ref(A_ROUND, "to")]), flag(r[ref(A_ROUND, "even")]), flag(r[ref(A_ROUND, "down")]), flag(r[ref(A_ROUND, "half-down")]), flag(r[ref(A_ROUND, "floor")]), flag(r[ref(A_ROUND, "ceiling")]), flag(r[ref(A_ROUND, "half-ceiling")])));
}
void g_even_q(const int32_t*) { logic::box(direct::even_q(arg(0))); }
void g_odd_q(const int32_t*) { logic::box(direct::odd_q(arg(0))); }
void g_complement(const int32_t*) { result(direct::complement(arg(0))); }

void insert_entry(const int32_t* r, int last) {
  int32_t dup = dup_count(r[ref(A_INSERT, "dup")]);
  if (dup <= 0) return;  // the series, unchanged, is already the result
  int32_t part = insert_part(arg(1), opt(r[ref(A_INSERT, "part")]));
  if (part == 0) return;
  result(direct::insert(arg(0), arg(1), part, flag(r[ref(A_INSERT, "only")]), dup, last));
}
void g_append(const int32_t* r) {
  // The commonest append, one value onto a block, skips the dispatch.
  if (r[ref(A_INSERT, "dup")] == -1 && r[ref(A_INSERT, "part")] == -1 && is_type(arg(0), T_BLOCK) &&
      block::append_plain(arg(0), arg(1), flag(r[ref(A_INSERT, "only")])))
    return;
  insert_entry(r, 1);
}
void g_insert(const int32_t* r) { insert_entry(r, 0); }
void g_change(const int32_t* r) {
  int32_t dup = dup_count(r[ref(A_CHANGE, "dup")]);
  if (dup <= 0) return;
  int32_t part = change_part(arg(0), opt(r[ref(A_CHANGE, "part")]));
  result(direct::change(arg(0), arg(1), part, flag(r[ref(A_CHANGE, "only")]), dup));
}
void g_clear(const int32_t*) { result(direct::clear(arg(0))); }
void g_copy(const int32_t* r) {
  Cell* kind = opt(r[ref(A_COPY, "types")]);
  if (kind && !is_type(kind, T_DATATYPE) && !is_type(kind, T_TYPESET)) {
    Cell caller, type = datatype::make_cell(type_of(kind)), w = *word::load("kind");
    stack::caller_word(&caller);
    fire(Err::expect_arg, &caller, &type, &w);
  }
  Cell* out = stack::push_new();
  set_unset(out);
  result(direct::copy(arg(0), out, opt(r[ref(A_COPY, "part")]), flag(r[ref(A_COPY, "deep")]), kind));
}
void g_find(const int32_t* r) {
  result(direct::find(arg(0), arg(1), opt(r[ref(A_FIND, "part")]), flag(r[ref(A_FIND, "only")]), flag(r[ref(A_FIND, "case")]), flag(r[ref(A_FIND, "same")]), flag(r[ref(A_FIND, "any")]), opt(r[ref(A_FIND, "with")]),
                      opt(r[ref(A_FIND, "skip")]), flag(r[ref(A_FIND, "last")]), flag(r[ref(A_FIND, "reverse")]), flag(r[ref(A_FIND, "tail")]), flag(r[ref(A_FIND, "match")])));
}
void g_length_q(const int32_t*) {
  int n = direct::length_q(arg(0));
  if (throwing()) return;
  if (n < 0) none::push_last();
  else integer::box(n);
}
void g_move(const int32_t* r) {
  Cell* part = opt(r[ref(A_MOVE, "part")]);
  result(direct::move(arg(0), arg(1), part && is_type(part, T_INTEGER) ? get_int(part) : -1));
}
void g_pick(const int32_t*) { result(direct::pick(arg(0), index_int(arg(1)), arg(1))); }
void g_poke(const int32_t*) {
  direct::poke(arg(0), index_int(arg(1)), arg(2), arg(1));
  if (!throwing()) stack::set_result(arg(2));
}
void g_put(const int32_t* r) { result(direct::put(arg(0), arg(1), arg(2), flag(r[ref(A_PUT, "case")]))); }
void g_remove(const int32_t* r) { result(direct::remove(arg(0), opt(r[ref(A_REMOVE, "part")]), opt(r[ref(A_REMOVE, "key")]))); }
void g_reverse(const int32_t* r) { result(direct::reverse(arg(0), opt(r[ref(A_REVERSE, "part")]), opt(r[ref(A_REVERSE, "skip")]))); }
void g_select(const int32_t* r) {
  result(direct::select(arg(0), arg(1), opt(r[ref(A_SELECT, "part")]), flag(r[ref(A_SELECT, "only")]), flag(r[ref(A_SELECT, "case")]), flag(r[ref(A_SELECT, "same")]), flag(r[ref(A_SELECT, "any")]), opt(r[ref(A_SELECT, "with")]),
                        opt(r[ref(A_SELECT, "skip")]), flag(r[ref(A_SELECT, "last")]), flag(r[ref(A_SELECT, "reverse")])));
}
void g_sort(const int32_t* r) {
  Cell* s = direct::sort(arg(0), flag(r[ref(A_SORT, "case")]), opt(r[ref(A_SORT, "skip")]), opt(r[ref(A_SORT, "compare")]), opt(r[ref(A_SORT, "part")]), flag(r[ref(A_SORT, "all")]), flag(r[ref(A_SORT, "reverse")]), flag(r[ref(A_SORT, "stable")]));
  result(s);
}
void g_swap(const int32_t*) { result(direct::swap(arg(0), arg(1))); }
void g_take(const int32_t* r) { result(direct::take(arg(0), opt(r[ref(A_TAKE, "part")]), flag(r[ref(A_TAKE, "deep")]), flag(r[ref(A_TAKE, "last")]))); }
void g_trim(const int32_t* r) {
  result(direct::trim(arg(0), flag(r[ref(A_TRIM, "head")]), flag(r[ref(A_TRIM, "tail")]), flag(r[ref(A_TRIM, "auto")]), flag(r[ref(A_TRIM, "lines")]), flag(r[ref(A_TRIM, "all")]), opt(r[ref(A_TRIM, "with")])));
}
void g_create(const int32_t*) { result(direct::create(arg(0))); }
void g_close(const int32_t*) { result(direct::close(arg(0))); }
void g_delete(const int32_t*) { result(direct::delete_(arg(0))); }
void g_modify(const int32_t* r) { result(direct::modify(arg(0), arg(1), arg(2), flag(r[ref(A_MODIFY, "case")]))); }
void g_open(const int32_t* r) {
  result(direct::open(arg(0), flag(r[ref(A_OPEN, "new")]), flag(r[ref(A_OPEN, "read")]), flag(r[ref(A_OPEN, "write")]), flag(r[ref(A_OPEN, "seek")]), opt(r[ref(A_OPEN, "allow")])));
}
void g_open_q(const int32_t*) { result(direct::open_q(arg(0))); }
void g_query(const int32_t*) { result(direct::query(arg(0))); }
void g_read(const int32_t* r) {
  result(direct::read(arg(0), opt(r[ref(A_READ, "part")]), opt(r[ref(A_READ, "seek")]), flag(r[ref(A_READ, "binary")]), flag(r[ref(A_READ, "lines")]), flag(r[ref(A_READ, "info")]), opt(r[ref(A_READ, "as")])));
}
void g_rename(const int32_t*) { result(direct::rename(arg(0), arg(1))); }
void g_update(const int32_t*) { result(direct::update(arg(0))); }
void g_write(const int32_t* r) {
  result(direct::write(arg(0), arg(1), flag(r[ref(A_WRITE, "binary")]), flag(r[ref(A_WRITE, "lines")]), flag(r[ref(A_WRITE, "info")]), flag(r[ref(A_WRITE, "append")]), opt(r[ref(A_WRITE, "part")]), opt(r[ref(A_WRITE, "seek")]),
                       opt(r[ref(A_WRITE, "allow")]), opt(r[ref(A_WRITE, "as")])));
}

}  // namespace

// The generic entries by action number; 7, 8 and 9 have no word.
constexpr Entry kEntries[ACTION_COUNT] = {
#define XEB_X(id, entry, name) entry,
    XEB_ACTIONS(XEB_X)
#undef XEB_X
};

void init() {
  for (int i = 0; i < ACTION_COUNT; i++) entries[i] = kEntries[i];
}


act::AnyFn get_action_by_type(int type, const Cell* value, Action a) {
  act::AnyFn f = datatype::slot_of(type, a);
  if (f) return f;
  Cell caller, dt = datatype::make_cell(type), w;
  stack::caller_word(&caller);
  error::get_call_argument(0, &w);
  fire(Err::expect_arg, &caller, &dt, &w);
}

act::AnyFn get_action_arg(Action a) { return get_action(stack::base(), a); }

act::EvalPath get_path_action(const Cell* value, const Cell* path, const Cell* element, int32_t index) {
  act::EvalPath f = datatype::slot<act::EvalPath>(type_of(value), A_EVAL_PATH);
  if (f) return f;
  Cell el = *element, dt = datatype::make_cell(type_of(value));
  if (!path) fire(Err::bad_path_type2, &el, &dt);
  // The path up to the element that yielded the value, for the message.
  Cell p = *path;
  Cell* copy = stack::push(&p);
  Cell* part = stack::push(&p);
  series::set_head(part, series::head(&p) + index + 1);
  Cell* out = stack::push_new();
  set_unset(out);
  Cell* cut = datatype::slot<act::Copy>(type_of(copy), A_COPY)(copy, out, part, 0, nullptr);
  Cell c = *cut;
  fire(Err::bad_path_type, copy, &dt, &c);
}

// --- Direct entries ---------------------------------------------------------------------

namespace direct {

Cell* make(Cell* type, Cell* spec) {
  int t = made_type(type);
  return reinterpret_cast<act::Make>(get_action_by_type(t, type, A_MAKE))(type, spec, t);
}
Cell* random(Cell* v, int seed, int secure, int only) {
  return reinterpret_cast<act::Random>(get_action(v, A_RANDOM))(v, seed, secure, only);
}
Cell* reflect(Cell* v, Cell* field) {
  return reinterpret_cast<act::Reflect>(get_action(v, A_REFLECT))(v, word_symbol(field));
}
Cell* to(Cell* type, Cell* spec) {
  int t = made_type(type);
  return reinterpret_cast<act::To>(get_action_by_type(t, type, A_TO))(type, spec, t);
}
int form(Cell* v, Cell* buffer, Cell* a, int part) {
  return reinterpret_cast<act::Form>(get_action(v, A_FORM))(v, buffer, a, part);
}
int mold(Cell* v, Cell* buffer, int only, int all, int flat, Cell* a, int part, int indent) {
  return reinterpret_cast<act::Mold>(get_action(v, A_MOLD))(v, buffer, only, all, flat, a, part, indent);
}
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  return get_path_action(parent, step.path, element, step.index)(parent, element, value, step);
}
Cell* negate(Cell* n) { return reinterpret_cast<act::Negate>(get_action(n, A_NEGATE))(n); }
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling) {
  return reinterpret_cast<act::Round>(get_action(n, A_ROUND))(n, scale, even, down, half_down, floor, ceiling,
                                                              half_ceiling);
}
int even_q(Cell* n) { return reinterpret_cast<act::EvenOdd>(get_action(n, A_EVEN_Q))(n); }
int odd_q(Cell* n) { return reinterpret_cast<act::EvenOdd>(get_action(n, A_ODD_Q))(n); }
Cell* complement(Cell* v) { return reinterpret_cast<act::Complement>(get_action(v, A_COMPLEMENT))(v); }
Cell* insert(Cell* s, Cell* v, int part, int only, int dup, int last) {
  return reinterpret_cast<act::Insert>(get_action(s, last ? A_APPEND : A_INSERT))(s, v, part, only, dup, last);
}
Cell* change(Cell* s, Cell* v, int part, int only, int dup) {
  return reinterpret_cast<act::Change>(get_action(s, A_CHANGE))(s, v, part, only, dup);
}
Cell* clear(Cell* s) { return reinterpret_cast<act::Clear>(get_action(s, A_CLEAR))(s); }
Cell* copy(Cell* v, Cell* out, Cell* part, int deep, Cell* types) {
  return reinterpret_cast<act::Copy>(get_action(v, A_COPY))(v, out, part, deep, types);
}
Cell* find(Cell* s, Cell* v, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip, int last,
           int reverse, int tail, int match) {
  return reinterpret_cast<act::Find>(get_action(s, A_FIND))(s, v, part, only, case_, same, any, with, skip, last,
                                                            reverse, tail, match);
}
int length_q(Cell* s) { return reinterpret_cast<act::LengthQ>(get_action(s, A_LENGTH_Q))(s); }
Cell* move(Cell* origin, Cell* target, int part) {
  return reinterpret_cast<act::Move>(get_action(origin, A_MOVE))(origin, target, part);
}
Cell* pick(Cell* s, int index, Cell* boxed) {
  return reinterpret_cast<act::Pick>(get_action(s, A_PICK))(s, index, boxed);
}
Cell* poke(Cell* s, int index, Cell* data, Cell* boxed) {
  return reinterpret_cast<act::Poke>(get_action(s, A_POKE))(s, index, data, boxed);
}
Cell* put(Cell* s, Cell* key, Cell* v, int case_) {
  return reinterpret_cast<act::Put>(get_action(s, A_PUT))(s, key, v, case_);
}
Cell* remove(Cell* s, Cell* part, Cell* key) {
  return reinterpret_cast<act::Remove>(get_action(s, A_REMOVE))(s, part, key);
}
Cell* reverse(Cell* s, Cell* part, Cell* skip) {
  return reinterpret_cast<act::Reverse>(get_action(s, A_REVERSE))(s, part, skip);
}
Cell* select(Cell* s, Cell* v, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip, int last,
             int reverse) {
  return reinterpret_cast<act::Select>(get_action(s, A_SELECT))(s, v, part, only, case_, same, any, with, skip,
                                                                last, reverse);
}
Cell* sort(Cell* s, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable) {
  return reinterpret_cast<act::Sort>(get_action(s, A_SORT))(s, case_, skip, compare, part, all, reverse, stable);
}
Cell* swap(Cell* s1, Cell* s2) { return reinterpret_cast<act::Swap>(get_action(s1, A_SWAP))(s1, s2); }
Cell* take(Cell* s, Cell* part, int deep, int last) {
  return reinterpret_cast<act::Take>(get_action(s, A_TAKE))(s, part, deep, last);
}
Cell* trim(Cell* s, int head, int tail, int auto_, int lines, int all, Cell* with) {
  return reinterpret_cast<act::Trim>(get_action(s, A_TRIM))(s, head, tail, auto_, lines, all, with);
}
Cell* create(Cell* p) { return reinterpret_cast<act::Port1>(get_action(p, A_CREATE))(p); }
Cell* close(Cell* p) { return reinterpret_cast<act::Port1>(get_action(p, A_CLOSE))(p); }
Cell* delete_(Cell* f) { return reinterpret_cast<act::Port1>(get_action(f, A_DELETE))(f); }
Cell* modify(Cell* t, Cell* field, Cell* v, int case_) {
  // Every modify slot reads the field as a word's symbol.
  if (!any_word(type_of(field))) {
    Cell f = *field;
    fire(Err::invalid_arg, &f);
  }
  return reinterpret_cast<act::Modify>(get_action(t, A_MODIFY))(t, field, v, case_);
}
Cell* open(Cell* p, int new_, int read, int write, int seek, Cell* allow) {
  return reinterpret_cast<act::Open>(get_action(p, A_OPEN))(p, new_, read, write, seek, allow);
}
Cell* open_q(Cell* p) { return reinterpret_cast<act::Port1>(get_action(p, A_OPEN_Q))(p); }
Cell* query(Cell* t) { return reinterpret_cast<act::Port1>(get_action(t, A_QUERY))(t); }
Cell* read(Cell* src, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as) {
  return reinterpret_cast<act::Read>(get_action(src, A_READ))(src, part, seek, binary, lines, info, as);
}
Cell* rename(Cell* from, Cell* to) { return reinterpret_cast<act::Rename>(get_action(from, A_RENAME))(from, to); }
Cell* update(Cell* p) { return reinterpret_cast<act::Port1>(get_action(p, A_UPDATE))(p); }
Cell* write(Cell* dst, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek, Cell* allow,
            Cell* as) {
  return reinterpret_cast<act::Write>(get_action(dst, A_WRITE))(dst, data, binary, lines, info, append, part, seek,
                                                                allow, as);
}

}  // namespace direct
}  // namespace xeb::actions
