// The path types and paren!.
#include "blocks_fixture.h"

#include "datatypes/typeset.h"

namespace xeb::test {
namespace {

TEST_F(Blocks, PathText) {
  struct Case {
    const char* text;
    const char* molded;
    const char* formed;
  };
  const Case cases[] = {
      {"a/b", "a/b", "a/b"},
      {"a/b:", "a/b:", "a/b"},
      {":a/b", ":a/b", "a/b"},
      {"'a/b", "'a/b", "a/b"},
      {"a/1", "a/1", "a/1"},
  };
  for (const Case& c : cases) {
    Cell* p = val(c.text);
    EXPECT_EQ(mold(p), c.molded);
    EXPECT_EQ(form(p), c.formed);
  }
}

TEST_F(Blocks, ParenMold) {
  Cell* p = val("(a ~b)");
  EXPECT_EQ(mold(p), "(a\nb)");
  EXPECT_EQ(mold(p, 1), "a\nb");
  EXPECT_EQ(mold(read("(x) [y]")), "[(x) [y]]");
}

TEST_F(Blocks, PathContainingItselfMoldsOnce) {
  Cell* p = val("a/b");
  block::xs_append(p, p);
  EXPECT_EQ(mold(p), "a/b/...");
}

TEST_F(Blocks, PathMakeToCopy) {
  Cell* proto = stack::push(&fixed_none);
  path::make(proto, integer(0), T_PATH);
  EXPECT_TRUE(is_type(proto, T_PATH));
  EXPECT_EQ(length(proto), 0);
  EXPECT_GE(block::buf(proto)->size, 16);
  path::make(proto, push(float_::make_cell(2.9)), T_SET_PATH);
  EXPECT_TRUE(is_type(proto, T_SET_PATH));
  EXPECT_GE(block::buf(proto)->size, 32);
  path::make(proto, val("[x y]"), T_GET_PATH);
  EXPECT_EQ(mold(proto), ":x/y");
  EXPECT_EQ(error_code_of([&] { path::make(proto, val("\"s\""), T_PATH); }), code(Err::bad_make_arg));
  Cell ts{T_TYPESET, 0, 0, 0};
  path::to(proto, push(ts), T_PATH);
  EXPECT_EQ(length(proto), 1);
  EXPECT_TRUE(is_type(block::buf(proto)->cells(), T_TYPESET));
  Cell* sp = val("a/b:");
  Cell* out = stack::push(&fixed_none);
  auto copy = datatype::slot<act::Copy>(T_SET_PATH, A_COPY);
  ASSERT_NE(copy, nullptr);
  copy(sp, out, nullptr, 0, nullptr);
  EXPECT_EQ(mold(out), "a/b:");
}

TEST_F(Blocks, RegisteredSlotsFollowTheirParents) {
  // Paths neither sort nor trim; paren! sorts but does not trim.
  EXPECT_EQ(datatype::slot_of(T_PATH, A_SORT), nullptr);
  EXPECT_EQ(datatype::slot_of(T_SET_PATH, A_TRIM), nullptr);
  EXPECT_EQ(datatype::slot_of(T_GET_PATH, A_RANDOM), nullptr);
  EXPECT_NE(datatype::slot_of(T_PAREN, A_SORT), nullptr);
  EXPECT_EQ(datatype::slot_of(T_PAREN, A_TRIM), nullptr);
  EXPECT_EQ(datatype::slot_of(T_LIT_PATH, A_FIND), datatype::slot_of(T_BLOCK, A_FIND));
  EXPECT_EQ(datatype::slot_of(T_LIT_PATH, A_FORM), datatype::slot_of(T_PATH, A_FORM));
}

}  // namespace
}  // namespace xeb::test
