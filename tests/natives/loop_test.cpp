// Loop natives through source text: results, break and continue, the words
// they set, and their errors.
#include "tests/natives/support.h"

namespace xeb::test {
namespace {

TEST_F(Natives, CountingLoops) {
  check({
      {"n: 0 loop 3 [n: n + 1] n", "3"},
      {"loop 3 [break/return 5]", "5"},
      {"loop 3 [break]", "unset"},
      {"n: 0 loop 2.9 [n: n + 1] n", "2"},
      {"loop 0 [1]", "none"},
      {"loop -1 [1]", "none"},
      {"loop 2 [7]", "7"},
      {"n: 0 loop 5 [n: n + 1 if n > 2 [continue] n: n + 10] n", "15"},
      {"repeat i 3 [i]", "3"},
      {"repeat i 3 [i: 10] i", "10"},
      {"s: 0 repeat i 3 [s: s + i i: 10] s", "6"},
      {"repeat i 0 [1]", "none"},
      {"f: func [] [loop 3 [return 9] 1] f", "9"},
      {"catch [loop 3 [throw 4]]", "4"},
      {"f: does [loop 2 [exit] 5] f", "unset"},
      {"e: try [loop 3 [1 / 0]] n: 0 loop 2 [n: n + 1] reduce [type? :e n]", "[error! 2]"},
      {"loop 2 [loop 2 [break] 8]", "8"},
      {"n: 0 forever [n: n + 1 if n = 4 [break/return n]]", "4"},
  });
}

TEST_F(Natives, ConditionLoops) {
  check({
      {"n: 0 while [n < 5] [n: n + 1] n", "5"},
      {"while [true] [break/return 5]", "unset"},
      {"while [1 = 2] [3]", "unset"},
      {"while [break] [1]", "error: while-cond"},
      {"while [] [1]", "error: no-return"},
      {"n: 0 until [n: n + 1 n = 3]", "true"},
      {"n: 0 until [n: n + 1 if n < 3 [continue] break/return n]", "3"},
      {"until [unset 'x]", "error: no-return"},
  });
}

TEST_F(Natives, SeriesLoops) {
  check({
      {"s: 0 foreach x [1 2 3] [s: s + x] s", "6"},
      {"g: func [] [foreach x [1 2 3] [if x = 2 [return x * 10]] 0] g", "20"},
      {"f: func [x] [if x = 2 [break] x] r: 0 foreach x [1 2 3] [r: f x] r", "1"},
      {"foreach x [] [1]", "unset"},
      {"r: copy [] foreach [a b] [1 2 3] [append r b] r", "[2 none]"},
      {"r: copy [] foreach c \"ab\" [append r c] r", "[#\"a\" #\"b\"]"},
      {"foreach [] [1 2] [1]", "error: invalid-arg"},
      {"foreach [a 1] [1 2] [1]", "error: invalid-arg"},
      {"r: copy [] s: [1 2 3] forall s [append r s/1] reduce [r s]", "[[1 2 3] [1 2 3]]"},
      {"s: [1 2 3] forall s [if s/1 = 2 [break]] s", "[2 3]"},
      {"s: [1 2] forall s [s: \"other\"]", "error: bad-loop-series"},
      {"s: 5 forall s [1]", "error: expect-arg"},
      {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
      {"remove-each x [1 2 3 4] [if x = 2 [continue] even? x]", "[1 2 3]"},
      {"remove-each x [1 2 3] [none]", "[1 2 3]"},
      {"remove-each [a b] [1 2 3 4 5] [a = 3]", "[1 2 5]"},
      {"remove-each c \"a1b2\" [c < #\"a\"]", "\"ab\""},
      {"b: next [1 2 3 4] remove-each x b [x = 3] head b", "[1 2 4]"},
  });
}

}  // namespace
}  // namespace xeb::test
