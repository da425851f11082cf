// The evaluator through source text: each case evaluates a block and checks
// the molded result, or the id of the error it raised.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/symbol.h"
#include "evaluator/boot.h"
#include "evaluator/interpreter.h"
#include "runtime/output_hooks.h"
#include "tests/evaluator/reader.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

std::string printed;

void capture(const Cell* str, bool new_line) {
  printed += string::utf8_of(str);
  if (new_line) printed += "\n";
}

class Eval : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    evaluator::init();
    define_library_words();
  }
  void SetUp() override {
    Runtime::SetUp();
#ifdef XEB_GC_STRESS
    collector::stress_every = 2;  // the evaluator must survive a move at every allocation
#endif
  }

  // The molded result, or "error: <id>" for an error raised.
  static std::string run(const char* src) {
    std::string out;
    Cell err;
    int32_t code = error_code_of(
        [&] {
          Cell* b = Reader(src).read_block();
          interpreter::eval_block(b, false);
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
};

struct Case {
  const char* src;
  const char* expected;
};

void check(std::initializer_list<Case> cases, std::string (*run)(const char*)) {
  for (const Case& c : cases) EXPECT_EQ(run(c.src), c.expected) << c.src;
}

TEST_F(Eval, ExpressionsAndWords) {
  check({
            {"", "unset"},
            {"1 + 2 * 3", "9"},
            {"add 1 2 * 3", "7"},
            {"a: b: 4 a + b", "8"},
            {"a:", "error: need-value"},
            {"a: ()", "error: need-value"},
            {"+ 1 2", "error: no-op-arg"},
            {"undefined-word-xyz", "error: no-value"},
            {"type? :add", "action!"},
            {"type? :if", "native!"},
            {"'abc", "abc"},
            {"type? 'abc", "word!"},
            {"(1 + 1) * 3", "6"},
            {"#system [1]", "error: xeb-system"},
            {"1 = 1", "true"},
            {"1 = \"a\"", "false"},
            {"1 <> \"a\"", "true"},
            {"1 < \"a\"", "error: invalid-compare"},
            {"type?/word 1", "integer!"},
        },
        run);
}

TEST_F(Eval, Paths) {
  check({
            {"x: [1 2 3] x/2", "2"},
            {"x: [1 2 3] x/2: 9 x", "[1 9 3]"},
            {"x: [1 [5 6] 3] i: 2 x/:i/1", "5"},
            {"x: [1 2] x/1/foo", "error: bad-path-type"},
            {"x: [1 2] unset 'i x/:i", "error: invalid-path"},
            {"undefined-word-xyz/1", "error: unset-path"},
            {"add/1 1 2", "error: bad-refine"},
            {"add/1", "error: no-arg"},
            {":add/x", "error: invalid-path-get"},
            {"o: make object! [a: 1 f: func [x /dbl] [either dbl [x * 2] [x]]] o/f/dbl 4", "8"},
            {"o: make object! [a: 1] o/a: 5 o/a", "5"},
            {"f: func [/r] [r] r: false f/:r", "false"},
            {"f: func [/r] [r] r: 1 f/:r", "true"},
        },
        run);
}

TEST_F(Eval, Functions) {
  check({
            {"f: func [a b] [a + b] f 1 2", "3"},
            {"f: func [a /ref b] [either ref [a + b] [a]] f/ref 1 2", "3"},
            {"f: func [a /ref b] [either ref [a + b] [a]] f 5", "5"},
            {"f: func [a] [return a * 2 99] f 4", "8"},
            {"f: func [n] [either n < 2 [n] [(f n - 1) + (f n - 2)]] f 12", "144"},
            {"f: does [exit 1] f", "unset"},
            {"f: func [a] [a] f", "error: no-arg"},
            {"f: func [a [integer!]] [a] f \"x\"", "error: expect-arg"},
            {"f: func [a] [a] f ()", "error: expect-arg"},
            {"f: func [/a /b] [reduce [a b]] f/b", "[false true]"},
            {"f: func [/a /b] [reduce [a b]] f/a/a", "error: dup-refine"},
            {"f: func [/a] [a] f/c", "error: no-refine"},
            {"f: func [a /local b] [b: a + 1 b] f 1", "2"},
            {"x: 10 f: func [y] [x + y] f 5", "15"},
            {"f: has [b] [b: 3] f", "3"},
            {"f: func [a] [g: func [b] [a + b] g 1] f 1", "2"},
            {"return 1", "error: return"},
            {"f: func ['w] [w] f foo", "foo"},
            {"f: func [:w] [w] f (1 + 1)", "(1 + 1)"},
            {"f: func ['w [unset! word!]] [value? 'w] f", "false"},
            {"f: func ['w] [w] f", "error: no-arg"},
            {"f: func ['w] [w] f (1 + 2)", "3"},
        },
        run);
}

TEST_F(Eval, Conditionals) {
  check({
            {"if true [1]", "1"},
            {"if false [1]", "none"},
            {"if () [1]", "1"},
            {"unless false [2]", "2"},
            {"either 1 > 2 [1] [2]", "2"},
            {"either () [1] [2]", "error: no-return"},
            {"any [none false 3 4]", "3"},
            {"any []", "none"},
            {"all []", "none"},
            {"all [1 none 2]", "none"},
            {"all [1 2]", "2"},
            {"case [false [1] true [2]]", "2"},
            {"case [false [1]]", "none"},
            {"case [true]", "error: need-value"},
            {"case [true 42]", "42"},
            {"case/all [true [1] false [2]]", "none"},
            {"case/all [true [1] true [2]]", "2"},
            {"switch 2 [1 [\"a\"] 2 3 [\"b\"]]", "\"b\""},
            {"switch/default 9 [1 [1]] [2]", "2"},
            {"switch 1 [1]", "none"},
            {"switch/default 1 [1] [7]", "7"},
            {"switch [a] [[a] [1]]", "none"},
            {"switch 'x [x: [1]]", "none"},
        },
        run);
}

TEST_F(Eval, EvaluationNatives) {
  check({
            {"do [1 + 2]", "3"},
            {"do []", "unset"},
            {"x: 5 do 'x", "5"},
            {"do/next [1 + 2 10] 'p p", "[10]"},
            {"do/next [1 + 2 10] 'p", "3"},
            {"reduce [1 + 1 \"a\"]", "[2 \"a\"]"},
            {"type? reduce :print", "native!"},
            {"x: [0] reduce/into [1 2] x x", "[1 2 0]"},
            {"compose [(1 + 1) () ([]) ([a b]) [(c)]]", "[2 a b [(c)]]"},
            {"compose/only [([a b])]", "[[a b]]"},
            {"compose/deep [[(1 + 1)]]", "[[2]]"},
            {"compose 1", "error: expect-val"},
            {"apply :add [1 2]", "3"},
            {"apply 'add [1 2]", "3"},
            {"f: func [a /r b] [either r [a + b] [a]] apply :f [1 /r true 5]", "6"},
            {"f: func [a /r b] [either r [a + b] [a]] apply/all :f [1 true 5]", "6"},
            {"apply 'undefined-word-xyz [1]", "error: invalid-arg"},
        },
        run);
}

TEST_F(Eval, Exits) {
  check({
            {"catch [throw 1]", "1"},
            {"catch [1 + 1]", "2"},
            {"catch [catch/name [throw 1] 'a]", "1"},
            {"catch/name [throw/name 1 'A] 'a", "1"},
            {"catch/name [throw/name 1 'b] [a b]", "1"},
            {"catch/name [throw/name 1 'a] [a \"b\"]", "error: invalid-refine-arg"},
            {"catch/name [catch/name [throw/name 7 'b] 'a] 'b", "7"},
            {"throw 1", "error: throw"},
            {"type? try [1 / 0]", "error!"},
            {"try [1 + 1]", "2"},
            {"catch [try [throw 5]]", "5"},
            {"break", "error: break"},
            {"continue", "error: continue"},
            {"f: func [] [try/all [return 1]] type? f", "error!"},
            {"f: func [] [catch [return 3] 4] f", "3"},
            {"f: func [] [try [return 3] 4] f", "3"},
        },
        run);
}

TEST_F(Eval, WordsAndContexts) {
  check({
            {"get 'undefined-word-xyz", "error: no-value"},
            {"type? get/any 'undefined-word-xyz", "unset!"},
            {"set [a b c] [1 2] c", "none"},
            {"a: 5 set/some [a b] reduce [none 2] a", "5"},
            {"set/only [a b] [1 2] a", "[1 2]"},
            {"a: 1 set [a b] reduce [7 ()]", "error: need-value"},
            {"x: 1 value? 'x", "true"},
            {"unset 'x value? 'x", "false"},
            {"set 'x 3 x", "3"},
            {"x: [1 2] set 'x/1 9 x", "[9 2]"},
            {"x: [1 2] get 'x/2", "2"},
            {"f: func [a] [context? 'a] type? f 1", "function!"},
            {"b: [1 2 3 4 5] new-line/skip b true 2 reduce [new-line? b new-line? next b new-line? at b 3]",
             "[true false true]"},
            {"b: [1 2] new-line/skip b true 0", "error: out-of-range"},
        },
        run);
}

TEST_F(Eval, PrintAndPrin) {
  print_hooks::add(&capture, nullptr);
  printed.clear();
  EXPECT_EQ(run("print [1 + 1 \"a\"] prin \"a\" prin \"b\" print [] print \"c\""), "unset");
  EXPECT_EQ(printed, "2 a\nab\nc\n");
  printed.clear();
  EXPECT_EQ(run("catch [print [1 throw 2]]"), "2");
  EXPECT_EQ(printed, "");
  print_hooks::remove(&capture, nullptr);
}

}  // namespace
}  // namespace xeb::test
