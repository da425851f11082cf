// Case mapping of code points and of char! and string values.
#include <gtest/gtest.h>

#include <vector>

#include "fixture.h"
#include "runtime/casemap.h"

namespace xeb::test {
namespace {

using Cps = std::vector<uint32_t>;

struct Mapping {
  uint32_t from, up, down;
};

TEST(CaseMap, CodePoints) {
  unicode::init_case_tables();
  const Mapping cases[] = {
    {0x0061, 0x0041, 0x0061}, {0x0041, 0x0041, 0x0061}, {'7', '7', '7'},
    {0x00DF, 0x0053, 0x00DF}, {0x0053, 0x0053, 0x0073}, {0x0130, 0x0130, 0x0069},
    {0x0131, 0x0049, 0x0131}, {0x0149, 0x02BC, 0x0149}, {0x01F0, 0x004A, 0x01F0},
    {0x0390, 0x0399, 0x0390}, {0x1F80, 0x1F08, 0x1F80}, {0xFB00, 0x0046, 0xFB00},
    {0x01C5, 0x01C4, 0x01C6}, {0x00FF, 0x0178, 0x00FF}, {0xFF5A, 0xFF3A, 0xFF5A},
    {0x1E922, 0x1E900, 0x1E922}, {0x1E943, 0x1E921, 0x1E943}, {0x1E921, 0x1E921, 0x1E943},
    {0x1E944, 0x1E944, 0x1E944}, {0x10428, 0x10400, 0x10428}, {0x10FFFF, 0x10FFFF, 0x10FFFF},
    {0xA7BA, 0xA7BA, 0xA7BA}, {0x2C2F, 0x2C2F, 0x2C2F},  // assigned after the tables' version
  };
  for (const Mapping& m : cases) {
    EXPECT_EQ(unicode::to_case(m.from, true), m.up) << std::hex << m.from;
    EXPECT_EQ(unicode::to_case(m.from, false), m.down) << std::hex << m.from;
  }
  EXPECT_EQ(unicode::to_case(unicode::to_case(0xDF, true), false), 0x73u);
}

class CaseStrings : public Heap {
 protected:
  void SetUp() override {
    Heap::SetUp();
    unicode::init_case_tables();
  }
};

TEST_F(CaseStrings, CharValue) {
  Cell c{T_CHAR, 0, 0xE9, 0};
  unicode::to_case_string(&c, nullptr, true);
  EXPECT_EQ(c.w2, 0xC9u);
}

TEST_F(CaseStrings, WidensWhenTheMappingDoesNotFit) {
  Cell* s = make_string({'a', 0xFF, 'b'}, 1);
  unicode::to_case_string(s, nullptr, true);
  EXPECT_EQ(chars(s->w2), (Cps{'A', 0x178, 'B'}));
  EXPECT_EQ(unit_of(s->w2), 2);
  Cell* t = make_string({0x1E922, 0xE9}, 4);
  unicode::to_case_string(t, nullptr, true);
  EXPECT_EQ(chars(t->w2), (Cps{0x1E900, 0xC9}));
}

TEST_F(CaseStrings, PartLimitsTheRange) {
  struct Case {
    int32_t part;
    Cps want;
  };
  const Case cases[] = {{2, {'A', 'B', 'c', 'd'}}, {-1, {'a', 'b', 'c', 'd'}}, {0, {'a', 'b', 'c', 'd'}},
                        {99, {'A', 'B', 'C', 'D'}}};
  for (const Case& c : cases) {
    Cell* s = make_string({'a', 'b', 'c', 'd'}, 1);
    Cell part{T_INTEGER, 0, static_cast<uint32_t>(c.part), 0};
    unicode::to_case_string(s, &part, true);
    EXPECT_EQ(chars(s->w2), c.want) << c.part;
  }
}

TEST_F(CaseStrings, PartAsPositionAndFromTheHead) {
  Cell* s = make_string({'a', 'b', 'c', 'd'}, 1);
  s->w1 = 1;
  Cell end = *s;
  end.w1 = 3;
  unicode::to_case_string(s, &end, true);
  EXPECT_EQ(chars(s->w2), (Cps{'a', 'B', 'C', 'd'}));
  end.w1 = 0;  // before the head: nothing
  unicode::to_case_string(s, &end, true);
  EXPECT_EQ(chars(s->w2), (Cps{'a', 'B', 'C', 'd'}));
  Cell other{T_FILE, 3, s->w2, 0};
  EXPECT_EQ(raised([&] { unicode::to_case_string(s, &other, true); }), ERR_PART);
  Cell* elsewhere = make_string({'x'}, 1);
  Cell far = *elsewhere;
  EXPECT_EQ(raised([&] { unicode::to_case_string(s, &far, true); }), ERR_PART);
}

TEST_F(CaseStrings, OwnerHearsOfTheChange) {
  static int32_t seen_index, seen_count;
  unicode::case_change_hook = [](const Cell*, bool, int32_t index, int32_t count) {
    seen_index = index;
    seen_count = count;
  };
  Cell* s = make_string({'a', 'b', 'c'}, 1);
  s->w1 = 1;
  unicode::to_case_string(s, nullptr, false);
  unicode::case_change_hook = nullptr;
  EXPECT_EQ(seen_index, 1);
  EXPECT_EQ(seen_count, 2);
}

}  // namespace
}  // namespace xeb::test
