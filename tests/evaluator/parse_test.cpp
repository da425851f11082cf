// The parse engine's work stacks are given back on every way out of a
// parse: a normal end, a stop by the trace callback, an error, and a throw,
// break or return out of a paren, also from a parse nested in another.
#include <gtest/gtest.h>

#include <string>

#include "evaluator/parse.h"
#include "tests/evaluator/cases.h"
#include "tests/support/evaluator_init.h"

namespace xeb::test {
namespace {

class ParseStacks : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    init_evaluator();
    define_library_words();
  }
};

TEST_F(ParseStacks, EveryWayOutGivesTheFramesBack) {
  struct Way {
    const char* src;
    const char* result;
  };
  const Way ways[] = {
      {"parse [a [b]] [skip into [skip]]", "true"},
      {"parse/trace \"ab\" [some [skip]] func [e m r i s] [e <> 'match]", "true"},
      {"parse \"ab\" [some [skip (1 / 0)]]", "error: zero-divide"},
      {"catch [parse [[a]] [some [into [(throw 1)]]]]", "1"},
      {"loop 1 [parse \"ab\" [some [skip (break)]]]", "unset"},
      {"f: func [] [parse \"ab\" [some [skip (return 3)]]] f", "3"},
      {"parse \"ab\" [some [skip (parse \"x\" [some [(1 / 0)]])]]", "error: zero-divide"},
      {"parse \"ab\" [some [skip (try [parse \"x\" [some [(1 / 0)]]])]]", "true"},
      {"parse \"a\" [collect [keep skip (parse \"x\" [keep])]]", "error: parse-keep"},
  };
  for (const Way& w : ways) {
    EXPECT_EQ(run(w.src), w.result) << w.src;
    EXPECT_EQ(parse::rule_stack_cells(), 0) << w.src;
    EXPECT_EQ(parse::input_stack_cells(), 0) << w.src;
  }
}

}  // namespace
}  // namespace xeb::test
