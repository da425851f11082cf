// Helpers of the evaluator's tests: source text loaded through the lexer,
// and the words of the library that the tests lean on.
#pragma once
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "lexer/load.h"
#include "runtime/stack.h"

namespace xeb::test {

// The text as a block! pushed on the data stack.
inline Cell* load(std::string_view src) {
  Cell* text = string::load(reinterpret_cast<const uint8_t*>(src.data()), static_cast<int32_t>(src.size()), nullptr,
                            string::ENC_UTF8);
  lexer::transcode(text, text);
  return text;
}

// The words the library defines that tests lean on: true, false, none and
// the datatype names.
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
