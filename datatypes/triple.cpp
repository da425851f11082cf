// triple!: its text, a make spec no make accepts (the type has no make).
#include "datatypes/triple.h"

#include <string>

#include "datatypes/integer.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"

namespace xeb::triple {

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string text = "make triple! [";
  for (int i = 0; i < 3; i++) {
    if (i) text += ' ';
    text += integer::to_c_string(get(value, i));
  }
  text += ']';
  return scalar::emit(buffer, text, part);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

void init() {
  datatype::Registration r{T_TRIPLE, 0, "triple!"};
  r.hashes(&hashtable::by_words<1, 3>);
  r.set(A_FORM, &form).set(A_MOLD, &mold);
  datatype::register_type(r);
}

}  // namespace xeb::triple
