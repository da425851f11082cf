// Comparison and math natives through source text.
#include "tests/natives/support.h"

namespace xeb::test {
namespace {

TEST_F(Natives, Tests) {
  check({
      {"not none", "true"},
      {"not 0", "false"},
      {"not ()", "false"},
      {"reduce [negative? -1 positive? -1 negative? 0 positive? 0.5]", "[true false false true]"},
      {"reduce [sign? -3 sign? 0 sign? 2.5]", "[-1 0 1]"},
      {"negative? \"a\"", "error: expect-arg"},
      {"reduce [zero? 0 zero? 0.0 zero? #\"^@\" zero? 1]", "[true true true false]"},
      {"reduce [NaN? 1 NaN? 1.0]", "[false false]"},
  });
}

TEST_F(Natives, MinMaxShiftHex) {
  check({
      {"max 2 2.0", "2"},
      {"min 2 2.0", "2.0"},
      {"max 1 3", "3"},
      {"min \"b\" \"a\"", "\"a\""},
      {"max 1 \"a\"", "error: invalid-compare"},
      {"shift -8 1", "-4"},
      {"shift/logical -8 28", "15"},
      {"shift -1 40", "-1"},
      {"shift 1 40", "0"},
      {"shift/left 1 32", "0"},
      {"shift/left 1 4", "16"},
      {"shift 16 -1", "16"},
      {"to-hex -1", "#FFFFFFFF"},
      {"to-hex/size 255 2", "#FF"},
      {"to-hex/size 255 12", "#000000FF"},
      {"to-hex/size 1 0", "error: invalid-arg"},
  });
}

TEST_F(Natives, Floating) {
  check({
      {"sine 180", "0.0"},
      {"cosine 90", "0.0"},
      {"sine 90", "1.0"},
      {"tangent 90", "1.#INF"},
      {"tangent -90", "-1.#INF"},
      {"arcsine 1", "90.0"},
      {"arctangent2 1 0", "90.0"},
      {"arccosine/radians 1", "0.0"},
      {"sine/radians 0", "0.0"},
      {"log-2 8", "3.0"},
      {"log-10 1000", "3.0"},
      {"log-e 1", "0.0"},
      {"exp 0", "1.0"},
      {"square-root 16", "4.0"},
      {"log-e 0", "-1.#INF"},
      {"NaN? square-root -1", "true"},
  });
}

}  // namespace
}  // namespace xeb::test
