// datatype!: the values that name a type. Form writes the bare name, mold the
// name with its "!"; only equality-like comparisons are defined.
#include "datatypes/datatype.h"

#include <string>

#include "datatypes/dispatch.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::datatype {

namespace {

// An id no module registered has no name yet: it writes nothing.
const char* name_of(const Entry& e) { return e.name ? e.name : ""; }

int form(Cell* value, Cell* buffer, Cell*, int part) {
  const Entry& e = entries[value->w1];
  if (!e.name) return part;
  return actions::emit(buffer, std::string_view(e.name, e.length), part);
}

int mold(Cell* value, Cell* buffer, int, int all, int, Cell*, int part, int) {
  const Entry& e = entries[value->w1];
  if (!all) return actions::emit(buffer, name_of(e), part);
  part = actions::emit(buffer, "#(", part);
  part = actions::emit(buffer, name_of(e), part);
  return actions::emit(buffer, ")", part);
}

int compare(Cell* value1, Cell* value2, int op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
      return is_type(value2, T_DATATYPE) && value2->w1 == value1->w1 ? 0 : 1;
    default:
      return COMPARE_INVALID;
  }
}

}  // namespace

void init() {
  Registration r{T_DATATYPE, 0, "datatype!"};
  r.hashes(&hashtable::by_word<1>);
  r.set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  register_type(r);
}

Cell* push(int type_id) { return place::pushed(make_cell(type_id)); }
Cell* make_in(const Cell* block, int type_id) { return place::at_tail(block, make_cell(type_id)); }

}  // namespace xeb::datatype
