// Helpers of the evaluator's tests: source text loaded through the lexer,
// and the words of the library that the tests lean on.
#pragma once
#include <string_view>

#include "datatypes/string.h"
#include "lexer/load.h"
#include "tests/support/library_words.h"

namespace xeb::test {

// The text as a block! pushed on the data stack.
inline Cell* load(std::string_view src) {
  Cell* text = string::load(reinterpret_cast<const uint8_t*>(src.data()), static_cast<int32_t>(src.size()), nullptr,
                            string::ENC_UTF8);
  lexer::transcode(text, text);
  return text;
}

}  // namespace xeb::test
