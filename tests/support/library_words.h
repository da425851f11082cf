// The words of the boot library that tests without the library lean on:
// true, false, none and the datatype names.
#pragma once
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/word.h"
#include "runtime/stack.h"

namespace xeb::test {

inline void define_library_words() {
  auto define = [](std::string_view name, const Cell& value) {
    Cell* saved = stack::top();
    Cell* v = stack::push(&value);
    Cell* w = stack::push(word::load(name));
    context::set(w, v);
    stack::set_top(saved);
  };
  define("true", fixed_true);
  define("false", fixed_false);
  define("none", fixed_none);
  for (int id = 1; id <= datatype::highest; id++)
    if (datatype::entries[id].name) define(datatype::entries[id].name, datatype::make_cell(id));
}

}  // namespace xeb::test
