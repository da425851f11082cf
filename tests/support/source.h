// Tests written in source text: the lexer loads it, the interpreter runs it,
// and the result comes back molded (or as the id of the error it raised).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "lexer/load.h"
#include "tests/support/evaluator_init.h"
#include "tests/support/library_words.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {

class Source : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    init_evaluator();
    define_library_words();  // what the boot library would define and the cases lean on
  }

  // The loaded block, pushed on the data stack.
  static Cell* load(std::string_view src) {
    Cell* out = stack::push_new();
    set_unset(out);
    lexer::transcode_bytes({reinterpret_cast<const uint8_t*>(src.data()), src.size()}, out);
    return out;
  }

  // The molded last value, or "error: <id>" for an error raised. err, when
  // given, receives the error.
  static std::string run(std::string_view src, Cell* err = nullptr) {
    std::string out;
    Cell e;
    int32_t code = error_code_of(
        [&] {
          Cell* b = load(src);
          interpreter::eval_block(b, false);
          out = throwing() ? "pending exit" : actions::mold_text(stack::top() - 1);
        },
        &e);
    if (code == -1) return out;
    if (err) *err = e;
    return "error: " + std::string(symbol::name(error::get_id(&e)));
  }
};

}  // namespace xeb::test
