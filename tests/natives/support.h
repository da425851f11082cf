// Running source text for the natives' tests: the text goes through the
// lexer, the block through the interpreter, and the result comes back molded
// (or as the id of the error raised).
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/boot.h"
#include "evaluator/interpreter.h"
#include "lexer/load.h"
#include "runtime/stack.h"
#include "tests/support/evaluator_init.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {

class Natives : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    init_evaluator();
    define("true", fixed_true);
    define("false", fixed_false);
    define("none", fixed_none);
    for (int id = 1; id <= datatype::highest; id++)
      if (datatype::entries[id].name) define(datatype::entries[id].name, datatype::make_cell(id));
  }

  void SetUp() override {
    Runtime::SetUp();
#ifdef XEB_GC_STRESS
    collector::stress_every = 3;  // natives must survive a move at nearly every allocation
#endif
  }

  static void define(std::string_view name, const Cell& value) {
    Cell* saved = stack::top();
    Cell* v = stack::push(&value);
    Cell* w = stack::push(word::load(name));
    context::set(w, v);
    stack::set_top(saved);
  }

  // The molded result, "error: <id>" for an error, "pending exit" for a
  // break or throw nothing caught.
  static std::string run(std::string_view src) {
    std::string out;
    Cell err;
    int32_t code = error_code_of(
        [&] {
          Cell* text = string::load(reinterpret_cast<const uint8_t*>(src.data()),
                                    static_cast<int32_t>(src.size()), nullptr, string::ENC_UTF8);
          lexer::transcode(text, text);
          interpreter::eval_block(text, false);
          if (throwing()) {
            out = "pending exit";
            return;
          }
          out = actions::mold_text(stack::top() - 1);
        },
        &err);
    if (code != -1) return "error: " + std::string(symbol::name(error::get_id(&err)));
    return out;
  }

  struct Case {
    const char* src;
    const char* expected;
  };
  static void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
      if (getenv("XEB_TRACE_CASES")) fprintf(stderr, "case: %s\n", c.src);
      EXPECT_EQ(run(c.src), c.expected) << c.src;
    }
  }
};

}  // namespace xeb::test
