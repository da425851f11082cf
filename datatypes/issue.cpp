// issue!: a word-shaped name that is never resolved; made from words, strings
// and chars, molded with its "#".
#include "datatypes/issue.h"

#include <string>

#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/init.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/stack.h"

namespace xeb::issue {

namespace {

Cell make_cell(int32_t sym, int type) {
  return Cell{static_cast<uint32_t>(type), context::global(), static_cast<uint32_t>(sym), static_cast<uint32_t>(-1)};
}

// An issue made from text must read back as itself: "#" and the name have to
// scan as one issue, as a word's name must scan as one word.
int32_t checked_symbol(int32_t sym) {
  if (word::scan_type_hook && word::scan_type_hook("#" + std::string(symbol::name(sym))) != T_ISSUE)
    fire(Err::invalid_chars);
  return sym;
}

Cell* make(Cell* result, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_ISSUE: case T_REFINEMENT: case T_LIT_WORD: case T_GET_WORD: case T_SET_WORD: case T_WORD:
      copy_cell(spec, result);
      set_type(result, static_cast<TypeId>(type));
      return result;
    case T_CHAR: {
      Cell* saved = stack::top();
      Cell* s = string::push_new(1);
      string::append_char(s, get_int(spec));
      int32_t sym = symbol::make_from_string(s);
      stack::set_top(saved);
      *result = make_cell(checked_symbol(sym), type);
      return result;
    }
    case T_STRING: {
      // The text from the head: utf8_of reads from the head already.
      int32_t sym = symbol::make_from_string(spec);
      *result = make_cell(checked_symbol(sym), type);
      return result;
    }
    default:
      word::make(result, spec, type);
      set_type(result, static_cast<TypeId>(type));
      return result;
  }
}

int mold(Cell* value, Cell* buffer, int, int, int, Cell* arg, int part, int) {
  part = actions::emit(buffer, "#", part);
  return word::form(value, buffer, arg, part);
}

int compare(Cell* v1, Cell* v2, int op) {
  if (!is_type(v2, T_ISSUE)) return COMPARE_INVALID;
  return word::compare(v1, v2, op);
}

}  // namespace

void init() {
  datatype::Registration r{T_ISSUE, T_WORD, "issue!"};
  r.hashes(&word::hash);
  r.set(A_MAKE, &make).set(A_TO, &make).inherit({A_FORM}).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  datatype::register_type(r);
}

Cell* make_at(Cell* cell, std::string_view name) {
  int32_t sym = symbol::make(name);
  *cell = make_cell(sym, T_ISSUE);
  return cell;
}

Cell* load(std::string_view name) {
  if (datatypes::load_copy) {
    Cell c;
    make_at(&c, name);
    return datatypes::root_append(c);
  }
  Cell* c = stack::push_new();
  set_unset(c);
  return make_at(c, name);
}

Cell* load_in(std::string_view name, const Cell* block) {
  Cell c;
  make_at(&c, name);
  Cell* slot = memory::new_tail_cell(block);
  *slot = c;
  return slot;
}

Cell* push(const Cell* w) { return set_type(stack::push(w), T_ISSUE); }

}  // namespace xeb::issue
