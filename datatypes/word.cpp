// The word family: runtime access to words and their values, and the action
// slots of word!, set-word!, lit-word!, get-word! and refinement!.
#include "datatypes/logic.h"
#include "datatypes/word.h"

#include <string>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/hashtable.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace xeb {

namespace word {

void (*load_value_hook)(const Cell* str, Cell* out) = nullptr;
int (*scan_type_hook)(std::string_view utf8) = nullptr;

namespace {

int emit_name(Cell* buffer, int32_t sym, int part) {
  std::string name(symbol::name(sym));  // the name may move while appending
  return actions::emit(buffer, name, part);
}

int mold_prefixed(Cell* value, Cell* buffer, int part, const char* mark, bool after) {
  if (!after) part = actions::emit(buffer, mark, part);
  part = emit_name(buffer, word_symbol(value), part);
  if (after) part = actions::emit(buffer, mark, part);
  return part;
}

int lit_mold(Cell* v, Cell* b, int, int, int, Cell*, int part, int) { return mold_prefixed(v, b, part, "'", false); }
int get_mold(Cell* v, Cell* b, int, int, int, Cell*, int part, int) { return mold_prefixed(v, b, part, ":", false); }
int ref_mold(Cell* v, Cell* b, int, int, int, Cell*, int part, int) { return mold_prefixed(v, b, part, "/", false); }
int set_mold(Cell* v, Cell* b, int, int, int, Cell*, int part, int) { return mold_prefixed(v, b, part, ":", true); }

void index_q() {
  Cell* v = stack::base();
  int32_t i = word_index(v);
  if (i < 0) *v = Cell{T_NONE, 0, 0, 0};
  else *v = Cell{T_INTEGER, 0, static_cast<uint32_t>(i + 1), 0};
}

[[noreturn]] void bad_to(Cell* spec, int type) {
  Cell* t = datatype::push(type);
  Cell* s = stack::push(spec);
  fire(Err::bad_to_arg, t, s);
}

// Loads one value from the string on the data stack into result.
void load_word(Cell* result, Cell* str) {
  Cell loaded{T_UNSET, 0, 0, 0};
  if (load_value_hook) load_value_hook(str, &loaded);
  if (!any_word_or_issue(type_of(&loaded))) fire(Err::invalid_chars);
  *result = loaded;
}

// Word 1 is the context the word is bound to, or 0.
constexpr collector::Layout layout{collector::Holds::cells, collector::Holds::nothing, collector::Holds::nothing};

void register_child(TypeId id, const char* name, act::Mold mold_slot, bool with_index) {
  datatype::Registration r{id, T_WORD, name};
  r.hashes(&hash);
  r.marks(layout);
  r.inherit({A_MAKE, A_TO, A_FORM, A_COMPARE});
  r.set(A_MOLD, mold_slot);
  if (with_index) r.inherit({A_INDEX_Q});
  datatype::register_type(r);
}

}  // namespace

uint32_t hash(const Cell* w, bool) {
  return hashtable::hash_pointer(static_cast<uint32_t>(hashtable::resolve_symbol(word_symbol(w))));
}

void init() {
  datatype::Registration r{T_WORD, T_SYMBOL, "word!"};
  r.hashes(&hash);
  r.marks(layout);
  r.set(A_MAKE, &make).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare)
      .set(A_INDEX_Q, &index_q);
  datatype::register_type(r);
  register_child(T_LIT_WORD, "lit-word!", &lit_mold, true);
  register_child(T_SET_WORD, "set-word!", &set_mold, true);
  register_child(T_GET_WORD, "get-word!", &get_mold, true);
  register_child(T_REFINEMENT, "refinement!", &ref_mold, false);
}

Cell* load(std::string_view name) {
  int32_t sym = symbol::make(name);
  Cell* w = context::add_global(sym, true, true);
  if (datatypes::load_copy) {
    Cell copy = *w;
    if (word_symbol(w) != sym) copy.w2 = static_cast<uint32_t>(sym);
    return datatypes::root_append(copy);
  }
  return w;
}

Cell* make_at(int32_t sym, Cell* cell) {
  Cell w{T_WORD, context::global(), static_cast<uint32_t>(sym), static_cast<uint32_t>(-1)};
  int32_t index = context::add_word(context::global(), &w);
  begin_cell(cell);
  cell->w1 = context::global();
  cell->w2 = static_cast<uint32_t>(sym);
  cell->w3 = static_cast<uint32_t>(index);
  cell->header = T_WORD;
  return cell;
}

Cell* push_symbol(int32_t sym) {
  Cell* c = stack::push_new();
  set_unset(c);
  return make_at(sym, c);
}

Cell* push(const Cell* w) { return stack::push(w); }

Cell* at(Node ctx, int32_t index) { return context::word_at(ctx, index); }
Cell* push_in(Node ctx, int32_t index) { return stack::push(at(ctx, index)); }

Cell* find_or_global(Node ctx, int32_t sym) {
  int32_t i = context::find_word(ctx, sym, false);
  if (i >= 0) return at(ctx, i);
  return context::add_global_word(sym);
}

Cell* get(Cell* w) {
  Cell* v = context::get(w);
  if (is_type(v, T_UNSET)) fire(Err::no_value, w);
  return stack::push(v);
}

Cell* get_in(Node ctx, int32_t index) { return context::values(ctx) + index; }

Cell* push_value_in(Node ctx, int32_t index) {
  Cell* vals = context::values(ctx);
  if (!vals) fire(Err::not_defined, at(ctx, index));
  return stack::push(vals + index);
}

void set() {
  Cell* w = stack::base();
  Cell* v = w + 1;
  if (is_type(v, T_UNSET)) fire(Err::need_value, w);
  context::set(w, v);
  copy_cell(w + 1, stack::base());
}

void set_in(Node ctx, int32_t index) {
  if (context::kind_of(ctx) == context::Kind::object) at(ctx, index)->header |= HDR_CHANGED;
  copy_cell(stack::top() - 1, context::values(ctx) + index);
}

void set_in_keep_old(Node ctx, int32_t index) {
  Cell old = context::values(ctx)[index];
  set_in(ctx, index);
  stack::push(&old);
}

Cell* push_string(const Cell* w) {
  int32_t sym = word_symbol(w);
  symbol::cache_string(sym);
  Cell* c = stack::push_new();
  *c = Cell{T_STRING, 0, symbol_string(symbol::record(sym)), 0};
  return c;
}

Cell* get_symbol(const Cell* w) { return symbol::get(word_symbol(w)); }

int scan_type(const Cell* w) {
  if (!scan_type_hook) return T_WORD;
  std::string name(symbol::name(word_symbol(w)));
  return scan_type_hook(name);
}

Cell* make(Cell* result, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD:
      copy_cell(spec, result);
      break;
    case T_ISSUE: case T_REFINEMENT: {
      int t = scan_type(spec);
      if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD) bad_to(spec, type);
      Cell w = *spec;
      context::bind_word(context::global(), &w);
      *result = w;
      break;
    }
    case T_STRING:
      load_word(result, spec);
      break;
    case T_CHAR: {
      Cell* s = string::push_new(1);
      string::append_char(s, get_int(spec));
      load_word(result, s);
      break;
    }
    case T_DATATYPE:
      *result = datatype::entries[datatype::id_of(spec)].word;
      break;
    case T_LOGIC:
      make_at(symbol::make(logic::get(spec) == 1 ? "true" : "false"), result);
      break;
    default:
      bad_to(spec, type);
  }
  set_type(result, static_cast<TypeId>(type));
  return result;
}

int form(Cell* value, Cell* buffer, Cell*, int part) { return emit_name(buffer, word_symbol(value), part); }

int mold(Cell* value, Cell* buffer, int, int, int, Cell*, int part, int) {
  return emit_name(buffer, word_symbol(value), part);
}

int compare(Cell* v1, Cell* v2, int op) {
  TypeId t1 = type_of(v1), t2 = type_of(v2);
  if (!any_word_or_issue(t2) || (t2 == T_ISSUE && t1 != T_ISSUE)) return COMPARE_INVALID;
  int32_t s1 = word_symbol(v1), s2 = word_symbol(v2);
  auto diff = [](bool equal) { return equal ? 0 : 1; };
  auto word_pair = [&] {
    return (t1 == T_WORD && t2 == T_LIT_WORD) || (t1 == T_LIT_WORD && t2 == T_WORD);
  };
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND:
      return diff(symbol::resolve(s1) == symbol::resolve(s2));
    case COMP_STRICT_EQUAL:
      return diff(t1 == t2 && s1 == s2);
    case COMP_SAME:
      return diff(t1 == t2 && s1 == s2 && v1->w1 == v2->w1);
    case COMP_SAME_10:
      return word_pair() ? diff(s1 == s2) : diff(t1 == t2 && s1 == s2);
    case COMP_SAME_11:
      return word_pair() ? diff(symbol::resolve(s1) == symbol::resolve(s2))
                         : diff(t1 == t2 && symbol::resolve(s1) == symbol::resolve(s2));
    default: {
      symbol::cache_string(s1);
      symbol::cache_string(s2);
      Cell r1 = *symbol::record(s1), r2 = *symbol::record(s2);
      return string::compare_strings(&r1, &r2, op, false);
    }
  }
}

}  // namespace word

namespace get_word {
Cell* push(const Cell* w) { return set_type(stack::push(w), T_GET_WORD); }
Cell* push_in(Node ctx, int32_t index) { return set_type(stack::push(word::at(ctx, index)), T_GET_WORD); }
Cell* get(Cell* w) { return stack::push(context::get(w)); }
}  // namespace get_word

namespace refinement {
Cell* push(const Cell* w) { return set_type(stack::push(w), T_REFINEMENT); }
Cell* push_in(Node ctx, int32_t index) { return set_type(stack::push(word::at(ctx, index)), T_REFINEMENT); }
Cell* load(std::string_view name) {
  int32_t sym = symbol::make(name);
  return datatypes::root_append(Cell{T_REFINEMENT, 0, static_cast<uint32_t>(sym), static_cast<uint32_t>(-1)});
}
}  // namespace refinement

}  // namespace xeb
