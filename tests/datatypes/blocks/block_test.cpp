// Block storage, text, comparison and search.
#include "blocks_fixture.h"

#include "runtime/cycle.h"

namespace xeb::test {
namespace {

// --- Storage primitives ------------------------------------------------------

TEST_F(Blocks, HeadPastTailIsClampedOnlyWhereAsked) {
  Cell* b = read("a b c");
  Cell* other = stack::push(b);
  block::set_head(b, 3);
  block::xs_set_tail(other, 1);  // shortened through another reference
  EXPECT_EQ(block::xs_length_q(b), -2);
  EXPECT_FALSE(block::xs_tail_q(b));
  EXPECT_EQ(block::xs_head(b), block::xs_tail(b));
  EXPECT_EQ(block::head_of(b), 1);
  EXPECT_TRUE(block::xs_tail_q(b));
}

TEST_F(Blocks, MakeAtGivesRoomForOneAtLeast) {
  Cell* c = stack::push(&fixed_none);
  block::make_at(c, -5);
  EXPECT_TRUE(is_type(c, T_BLOCK));
  EXPECT_EQ(length(c), 0);
  EXPECT_GE(block::buf(c)->size, 16);
  EXPECT_GE(block::buf(block::push_only(0))->size, 16);
}

TEST_F(Blocks, SelectWordAndValue) {
  Cell* b = read("a 1 B 2 /c 3 c");
  struct Case {
    const char* word;
    bool strict;
    const char* found;
  };
  const Case cases[] = {
      {"a", false, "1"}, {"b", false, "2"}, {"b", true, "none"}, {"c", false, "none"}, {"zz", false, "none"},
  };
  for (const Case& k : cases) {
    Cell* w = val(k.word);
    Cell* r = block::select_word(b, w, k.strict);
    Cell* out = stack::push(r);
    EXPECT_EQ(mold(out), k.found) << k.word;
  }
  Cell* two = integer(2);
  EXPECT_EQ(mold(stack::push(block::select_value(b, two))), "/c");
}

TEST_F(Blocks, InsertAndRemoveValues) {
  Cell* b = read("a");
  Cell* x = read("x y");
  block::insert_block(b, x);
  EXPECT_EQ(block::head_of(b), 2);
  block::set_head(b, 0);
  EXPECT_EQ(mold(b), "[x y a]");
  Cell* z = val("z");
  block::insert_value(b, z, false, true);
  EXPECT_EQ(mold(b), "[z x y a]");
  block::set_head(b, 2);
  EXPECT_EQ(block::remove_value(b, val("a"), false), 0);
  EXPECT_EQ(block::remove_value(b, val("z"), true), 1);
  block::set_head(b, 0);
  EXPECT_EQ(mold(b), "[x y]");
  block::xs_remove_last(b);
  block::xs_append_values(b, b);  // appending a block to itself
  EXPECT_EQ(mold(b), "[x x]");
}

TEST_F(Blocks, CloneDeepCopiesBlocksAndWithAnyParens) {
  Cell* src = read("a [b] (c)");
  Cell* shallow = block::clone(src, true, false);
  Cell* any = block::clone(src, true, true);
  Cell* inner = block::buf(src)->cells() + 1;
  Cell* paren = block::buf(src)->cells() + 2;
  EXPECT_NE(block::buf(shallow)->cells()[1].w2, inner->w2);
  EXPECT_EQ(block::buf(shallow)->cells()[2].w2, paren->w2);
  EXPECT_NE(block::buf(any)->cells()[2].w2, paren->w2);
  EXPECT_EQ(mold(any), "[a [b] (c)]");
}

// --- Text --------------------------------------------------------------------

TEST_F(Blocks, MoldAndForm) {
  struct Case {
    const char* text;
    int only, flat;
    const char* molded;
  };
  const Case cases[] = {
      {"", 0, 0, "[]"},
      {"a b", 1, 0, "a b"},
      {"~a ~b", 0, 0, "[\n    a\n    b\n]"},
      {"~a ~b", 0, 1, "[a b]"},
      {"a ~b", 0, 0, "[a\nb]"},
      {"x [~a ~b]", 0, 0, "[x [\n    a\n    b\n]]"},
      {"~x [~a]", 0, 0, "[\n    x [\n        a\n    ]\n]"},
      {"~a b", 1, 0, "a b"},
      {"a/b c: (d e) 'f :g", 0, 0, "[a/b c: (d e) 'f :g]"},
  };
  for (const Case& c : cases) EXPECT_EQ(mold(read(c.text), c.only, c.flat), c.molded) << c.text;
  EXPECT_EQ(form(read("a [b c] \"d\"")), "a b c d");
  EXPECT_EQ(form(read("\"x\n\" y")), "x\ny");
}

TEST_F(Blocks, MoldAndFormPartBudgetStopsEarly) {
  Cell* b = read("aaa bbb ccc ddd");
  Cell* out = string::push_new(16);
  Cell* arg = integer(5);
  int left = block::mold(b, out, 0, 0, 0, arg, 5, 0);
  EXPECT_LT(left, 1);
  EXPECT_EQ(string::utf8_of(out).substr(0, 5), "[aaa ");
  EXPECT_LT(string::utf8_of(out).size(), 12u);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Blocks, SelfContainingBlockMoldsWithPlaceholder) {
  Cell* b = read("a");
  block::xs_append(b, b);
  EXPECT_EQ(mold(b), "[a [...]]");
  EXPECT_EQ(form(b), "a ...");
  Cell* p = val("(a)");
  block::xs_append(p, p);
  EXPECT_EQ(mold(p), "(a (...))");
}

TEST_F(Blocks, DeepNestingRaisesTooDeepAndRecovers) {
  Cell* outer = block::push_only(1);
  Cell* cur = stack::push(outer);
  for (int i = 0; i < 1000; i++) {
    Cell* inner = block::push_only(1);
    block::xs_append(cur, inner);
    *cur = *inner;
    stack::pop(1);
  }
  EXPECT_EQ(error_code_of([&] { mold(outer); }), code(Err::too_deep));
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_EQ(mold(read("a [b]")), "[a [b]]");
  EXPECT_EQ(error_code_of([&] { block::clone(outer, true, false); }), code(Err::too_deep));
  EXPECT_EQ(mold(read("c")), "[c]");
}

// --- Comparison ----------------------------------------------------------------

TEST_F(Blocks, Compare) {
  struct Case {
    const char* a;
    const char* b;
    int op;
    bool expected;
  };
  const Case cases[] = {
      {"[1 2]", "[1 2.0]", COMP_EQUAL, true},
      {"[1 2]", "[1 2]", COMP_STRICT_EQUAL, true},
      {"[a b]", "[a c]", COMP_EQUAL, false},
      {"[a b]", "[a]", COMP_EQUAL, false},
      {"[1 2]", "[1 \"a\"]", COMP_LESSER, false},  // by type ids: string! before integer!
      {"[1 \"a\"]", "[1 2]", COMP_LESSER, true},
      {"[a b]", "(a b)", COMP_EQUAL, false},
      {"[]", "[a]", COMP_LESSER, true},
      {"[a]", "[]", COMP_GREATER, true},
      {"[]", "[a]", COMP_GREATER, false},
      {"[]", "[]", COMP_EQUAL, true},
      {"[1 2]", "[1 3]", COMP_LESSER, true},
      {"[1 2]", "[1 2 0]", COMP_LESSER, true},
      {"[a B]", "[a b]", COMP_EQUAL, true},
  };
  for (const Case& c : cases) {
    Cell* a = val(c.a);
    Cell* b = val(c.b);
    EXPECT_EQ(holds(a, b, c.op), c.expected) << c.a << " " << c.op << " " << c.b;
  }
  EXPECT_EQ(error_code_of([&] { holds(val("[a]"), val("(a)"), COMP_LESSER); }), code(Err::invalid_compare));
}

TEST_F(Blocks, CompareSelfContainingBlocksTerminates) {
  Cell* a = read("x");
  block::xs_append(a, a);
  Cell* b = read("x");
  block::xs_append(b, b);
  EXPECT_EQ(actions::compare(a, b, COMP_EQUAL), 0);
  EXPECT_EQ(cycles::depth(), 0u);
}

// --- Search ----------------------------------------------------------------------

// find's refinements as a compact spec: the series, the value, then flags.
struct FindCase {
  const char* series;
  const char* value;
  const char* refs;  // letters: t tail, m match, o only, l last, r reverse, c case
  int part, skip;    // 0: absent
  int start;         // the series' head
  const char* expected;
};

TEST_F(Blocks, Find) {
  const FindCase cases[] = {
      {"a b c", "b", "", 0, 0, 0, "[b c]"},
      {"a b c", "b", "t", 0, 0, 0, "[c]"},
      {"a b c", "b", "m", 0, 0, 0, "none"},
      {"a b c", "a", "m", 0, 0, 0, "[a b c]"},
      {"a b c", "[b c]", "", 0, 0, 0, "[b c]"},
      {"a b c", "[b c]", "t", 0, 0, 0, "[]"},
      {"[b c] b c", "[b c]", "o", 0, 0, 0, "[[b c] b c]"},
      {"a 1 b 2", "b", "", 0, 2, 0, "[b 2]"},
      {"a 1 b 2", "1", "", 0, 2, 0, "none"},
      {"a b c", "c", "", 2, 0, 0, "none"},
      {"a b c", "b", "", 2, 0, 0, "[b c]"},
      {"a b a c", "a", "l", 0, 0, 0, "[a c]"},
      {"a b a c", "a", "l", 0, 0, 3, "[a c]"},  // last ignores the head
      {"a b a c", "a", "r", 0, 0, 2, "[a b a c]"},
      {"a b c", "a", "r", 0, 0, 0, "none"},
      {"a B", "b", "c", 0, 0, 0, "none"},
      {"a B", "b", "", 0, 0, 0, "[B]"},
      {"a b c", "x", "", 0, 0, 0, "none"},
      {"", "x", "", 0, 0, 0, "none"},
  };
  for (const FindCase& c : cases) {
    Cell* s = read(c.series);
    block::set_head(s, c.start);
    Cell* v = val(c.value);
    std::string_view r = c.refs;
    auto has = [&](char f) { return r.find(f) != std::string_view::npos ? 1 : 0; };
    Cell* part = c.part ? integer(c.part) : nullptr;
    Cell* skip = c.skip ? integer(c.skip) : nullptr;
    Cell* out = block::find(s, v, part, has('o'), has('c'), 0, 0, nullptr, skip, has('l'), has('r'), has('t'),
                            has('m'));
    EXPECT_EQ(mold(out), c.expected) << c.series << " / " << c.value << " /" << c.refs;
  }
}

TEST_F(Blocks, FindTypesAndErrors) {
  Cell* s = read("a 1 \"x\"");
  Cell dt{T_DATATYPE, T_INTEGER, 0, 0};
  EXPECT_EQ(mold(block::find(s, push(dt), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)), "[1 \"x\"]");
  EXPECT_EQ(error_code_of([&] {
              block::find(read("a"), val("a"), nullptr, 0, 0, 0, 0, nullptr, val("x"), 0, 0, 0, 0);
            }),
            code(Err::invalid_refine_arg));
  EXPECT_EQ(error_code_of([&] {
              block::find(read("a"), val("a"), nullptr, 0, 0, 0, 0, nullptr, integer(0), 0, 0, 0, 0);
            }),
            code(Err::out_of_range));
  EXPECT_EQ(error_code_of([&] {
              block::find(read("a"), val("a"), val("x"), 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
            }),
            code(Err::invalid_refine_arg));
}

TEST_F(Blocks, Select) {
  struct Case {
    const char* series;
    const char* value;
    int only;
    const char* expected;
  };
  const Case cases[] = {
      {"a 1 b 2", "b", 0, "2"},
      {"a 1 b", "b", 0, "none"},
      {"a b c d", "[a b]", 0, "c"},
      {"[a b] x", "[a b]", 1, "x"},
  };
  for (const Case& c : cases) {
    Cell* s = read(c.series);
    Cell* out = block::select(s, val(c.value), nullptr, c.only, 0, 0, 0, nullptr, nullptr, 0, 0);
    EXPECT_EQ(mold(stack::push(out)), c.expected) << c.series;
  }
}

TEST_F(Blocks, Put) {
  Cell* b = read("a 1");
  Cell* r = block::put(b, val("b"), integer(2), 0);
  EXPECT_EQ(mold(r), "2");
  EXPECT_EQ(mold(b), "[a 1 b 2]");
  block::put(b, val("a"), integer(3), 0);
  EXPECT_EQ(mold(b), "[a 3 b 2]");
  Cell* last = read("k");
  block::put(last, val("k"), integer(9), 0);
  EXPECT_EQ(mold(last), "[k 9]");
}

TEST_F(Blocks, PathStep) {
  Cell* b = read("a 1 b [x]");
  PathStep step{};
  EXPECT_EQ(mold(block::eval_path(b, integer(2), nullptr, step)), "1");
  EXPECT_EQ(mold(block::eval_path(b, val("b"), nullptr, step)), "[x]");
  EXPECT_EQ(mold(block::eval_path(b, val("zz"), nullptr, step)), "none");
  block::eval_path(b, val("a"), integer(7), step);
  EXPECT_EQ(mold(b), "[a 7 b [x]]");
  EXPECT_EQ(error_code_of([&] { block::eval_path(b, val("zz"), integer(1), step); }), code(Err::bad_path_set));
}

TEST_F(Blocks, MakeAndTo) {
  Cell* proto = stack::push(&fixed_none);
  block::make(proto, integer(0), T_BLOCK);
  EXPECT_EQ(mold(proto), "[]");
  block::make(proto, val("(a b)"), T_BLOCK);
  EXPECT_EQ(mold(proto), "[a b]");
  block::to(proto, val("a/b"), T_PAREN);
  EXPECT_EQ(mold(proto), "(a b)");
  block::to(proto, integer(5), T_BLOCK);
  EXPECT_EQ(mold(proto), "[5]");
  EXPECT_EQ(error_code_of([&] { block::make(proto, val("x"), T_BLOCK); }), code(Err::bad_make_arg));
}

}  // namespace
}  // namespace xeb::test
