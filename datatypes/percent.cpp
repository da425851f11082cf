// percent!: its constructors and its text.
#include "datatypes/percent.h"

#include "datatypes/float.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"

namespace xeb::percent {

Cell* make_at(Cell* c, uint32_t high, uint32_t low) {
  *c = Cell{T_PERCENT, 0, low, high};
  return c;
}

Cell* make_in(const Cell* block, uint32_t high, uint32_t low) {
  return place::at_tail(block, Cell{T_PERCENT, 0, low, high});
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  char text[dtoa::text_max];
  std::size_t n = float_::form_float(get(value) * 100.0, dtoa::FormKind::percent, text);
  string::append_ascii(buffer, std::string_view(text, n));
  return part - static_cast<int>(n);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

void init() {
  datatype::Registration r{T_PERCENT, T_FLOAT, "percent!"};
  r.hashes(&float_::hash);
  r.set(A_FORM, &form).set(A_MOLD, &mold);
  r.inherit({A_MAKE, A_RANDOM, A_TO, A_COMPARE, A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER,
             A_REMAINDER, A_ROUND, A_SUBTRACT, A_EVEN_Q, A_ODD_Q});
  datatype::register_type(r);
}

}  // namespace xeb::percent
