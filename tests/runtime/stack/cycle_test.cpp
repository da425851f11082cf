// The cycle stack: its depth limit and the placeholders of values already
// being walked.
#include "tests/runtime/stack/stack_fixture.h"

namespace xeb::test {
namespace {

using Cycles = Stacks;

TEST_F(Cycles, Holds999EntriesAndRefusesTheNextThenStartsClean) {
  for (Node n = 1; n <= 999; n++) cycles::push(n);
  EXPECT_TRUE(cycles::find(999));
  try {
    cycles::push(1000);
    FAIL() << "no too-deep";
  } catch (const LangError& e) {
    EXPECT_EQ(e.error.w2, static_cast<uint32_t>(InternalError::too_deep));
  }
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_FALSE(cycles::find(1));
  cycles::push(7);
  EXPECT_TRUE(cycles::find(7));
  cycles::pop();
  cycles::pop();  // popping an empty stack is harmless
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Cycles, DropAndCutNeverGoBelowTheBottomOrDeepen) {
  for (Node n = 1; n <= 5; n++) cycles::push(n);
  cycles::drop(2);
  EXPECT_EQ(cycles::depth(), 3u);
  cycles::cut_to(4);
  EXPECT_EQ(cycles::depth(), 3u);
  cycles::drop(10);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Cycles, DetectGivesThePlaceholderOfEachType) {
  struct Case {
    Cell v;
    const char* mold;
  } cases[] = {
    {{T_BLOCK, 0, 11, 0}, "[...]"},  {{T_HASH, 0, 11, 0}, "[...]"},
    {{T_PAREN, 0, 11, 0}, "(...)"},  {{T_MAP, 0, 11, 0}, "#[...]"},
    {{T_PATH, 0, 11, 0}, "..."},     {{T_SET_PATH, 0, 11, 0}, "..."},
    {{T_OBJECT, 11, 0, 0}, "make object! [...]"},  // an object by its context
  };
  for (const Case& c : cases) EXPECT_TRUE(cycles::detect(&c.v, true).empty());
  cycles::push(11);
  for (const Case& c : cases) {
    EXPECT_EQ(cycles::detect(&c.v, true), c.mold) << int(type_of(&c.v));
    EXPECT_EQ(cycles::detect(&c.v, false), "...");
  }
  Cell other{T_BLOCK, 0, 12, 0};
  EXPECT_TRUE(cycles::detect(&other, true).empty());
}

}  // namespace
}  // namespace xeb::test
