// function!: spec rules, word collection of the native function, locals,
// bodies that belong to the function, comparison and text.
#include <gtest/gtest.h>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "tests/support/source.h"

namespace xeb::test {
namespace {

using Functions = Source;

TEST_F(Functions, SpecRules) {
  struct Case {
    const char* spec;
    const char* result;  // the header's attribute flags, or the error
  } cases[] = {
      {"[a [integer!] \"doc\"]", "0"},
      {"[a \"doc\" [integer!]]", "error: bad-func-def"},
      {"[return: integer!]", "error: bad-func-def"},
      {"[a return: [integer!] /local b]", "0"},
      {"[return: [integer!] a]", "error: bad-func-def"},
      {"[return: [integer!] return: [integer!]]", "error: bad-func-def"},
      {"[a b a]", "error: dup-vars"},
      {"[a /A]", "error: dup-vars"},
      {"[[trace] a]", "1024"},
      {"[[no-trace] a]", "512"},
      {"[[foo] a]", "0"},
      {"[[1] a]", "error: bad-func-def"},
      {"[a [undefined-type-word!]]", "error: no-value"},
      {"[a [1]]", "error: invalid-type-spec"},
      {"[/local b /x]", "error: bad-func-def"},
      {"[/x [integer!]]", "error: bad-func-def"},
      {"[/local :b]", "error: bad-func-def"},
      {"[a 1]", "error: bad-func-def"},
  };
  for (const Case& c : cases) {
    std::string got;
    Cell err;
    int32_t code = error_code_of(
        [&] {
          Cell* spec = load(c.spec);
          *spec = buf_of(spec->w2)->cells()[0];
          got = std::to_string(function::validate(spec));
        },
        &err);
    if (code != -1) got = "error: " + std::string(symbol::name(error::get_id(&err)));
    EXPECT_EQ(got, c.result) << c.spec;
  }
}

TEST_F(Functions, CountLocals) {
  struct Case {
    const char* spec;
    bool strict;
    int32_t count;
  } cases[] = {{"a /local b", false, 2}, {"a /local b /x c", false, 3}, {"a b", false, 0}, {"a b", true, -1},
               {"/local", true, 1}};
  for (const Case& c : cases) {
    Cell* spec = load(c.spec);
    EXPECT_EQ(function::count_locals(spec->w2, 0, c.strict), c.count) << c.spec;
  }
}

TEST_F(Functions, WordCollection) {
  struct Case {
    const char *spec, *body, *new_spec, *collected;
  } cases[] = {
      {"x", "a: 1 foreach [k v] [] [b: 2] repeat i 3 [] x: 5", "[x /local a k v b i]", "[a k v b i]"},
      {"x /extern y", "y: 1 z: 2", "[x /local z]", "[z]"},
      {"x /extern y /local t", "z: 1", "[x /local t z]", "[t z]"},
      {"x /local t", "(u: 1) [T: 2]", "[x /local t u]", "[u]"},
      {"x", "print x", "[x]", "[]"},
      {"x", "local: 1 remove-each w [] [] foreach :q [] []", "[x /local w]", "[local w]"},
      {"'x :y /z", "X: Y: Z: 1", "['x :y /z]", "[]"},
  };
  for (const Case& c : cases) {
    Cell* spec = load(c.spec);
    Cell* body = load(c.body);
    Cell* list = function::collect_words(spec, body);  // a stack cell: stays rooted
    EXPECT_EQ(actions::mold_text(spec), c.new_spec) << c.spec << " | " << c.body;
    EXPECT_EQ(actions::mold_text(list), c.collected) << c.spec << " | " << c.body;
  }
  // Only word-like values and blocks and strings may stand beside /extern.
  Cell* spec = load("x 1 /extern y");
  Cell* body = load("y: 1");
  EXPECT_EQ(error_code_of([&] { function::collect_words(spec, body); }),
            static_cast<int32_t>(Err::bad_func_extern));
}

TEST_F(Functions, TextOfFunctionsWithoutBody) {
  Cell* spec = load("a /local b");
  function::push(spec, nullptr, 0, 0, 0, 0);
  Cell* fn = stack::top() - 1;
  EXPECT_EQ(actions::mold_text(fn), "func [a /local b] none");
  EXPECT_EQ(actions::form_text(fn), "?function?");
  EXPECT_TRUE(is_type(function::more(fn), T_NONE));
  // The spec is shared, not copied, when its head is 0.
  EXPECT_EQ(fn->w2, spec->w2);
}

}  // namespace
}  // namespace xeb::test
