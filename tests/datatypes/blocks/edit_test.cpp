// Block editing, copying, sorting and set operations.
#include "blocks_fixture.h"

#include "runtime/cycle.h"

namespace xeb::test {
namespace {

// The series molded from its head (the result) and from the buffer's start.
std::string whole(Cell* s) {
  Cell* h = stack::push(s);
  block::set_head(h, 0);
  std::string t = actions::mold_text(h);
  stack::pop(1);
  return t;
}

TEST_F(Blocks, AppendAndInsert) {
  struct Case {
    const char* series;
    const char* value;
    int part, only, dup, last;
    const char* result;  // molded from the answer's head
    const char* all;     // the whole block afterwards
  };
  const Case cases[] = {
      {"a", "[b c]", -1, 0, 1, 1, "[a b c]", "[a b c]"},
      {"a", "[b c]", -1, 1, 1, 1, "[a [b c]]", "[a [b c]]"},
      {"a", "x", -1, 0, 3, 1, "[a x x x]", "[a x x x]"},
      {"a b", "[x y]", -1, 0, 1, 0, "[a b]", "[x y a b]"},
      {"a", "[x y z]", 2, 0, 1, 0, "[a]", "[x y a]"},
      {"a", "[x y z]", 0, 0, 1, 0, "[a]", "[a]"},
      {"a", "[]", -1, 0, 1, 0, "[a]", "[a]"},
      {"a", "[x y]", -1, 0, 3, 0, "[a]", "[x y x y x y a]"},
      {"a", "x", -1, 0, 0, 0, "[a]", "[a]"},
  };
  for (const Case& c : cases) {
    Cell* s = read(c.series);
    Cell* r = block::insert(s, val(c.value), c.part, c.only, c.dup, c.last);
    EXPECT_EQ(mold(r), c.result) << c.series << " " << c.value;
    EXPECT_EQ(whole(s), c.all) << c.series << " " << c.value;
  }
}

TEST_F(Blocks, InsertIntoItselfAndGrowsThroughCollections) {
  Cell* s = read("a b");
  Cell* self = stack::push(s);
  block::insert(s, self, -1, 0, 1, 0);
  EXPECT_EQ(whole(s), "[a b a b]");
  Cell* big = block::push_only(1);
  for (int i = 0; i < 3000; i++) block::insert(big, integer(i), -1, 0, 1, 1), stack::pop(1);
  EXPECT_EQ(length(big), 3000);
  EXPECT_EQ(block::buf(big)->cells()[2999].w2, 2999u);
#ifdef XEB_GC_STRESS
  EXPECT_GT(collector::collections, 0u);  // the stress build really slid buffers
#endif
}

TEST_F(Blocks, Change) {
  struct Case {
    const char* series;
    const char* value;
    int part, only, dup;
    const char* result;
    const char* all;
  };
  const Case cases[] = {
      {"a b c", "[x y]", -1, 0, 1, "[c]", "[x y c]"},
      {"a b c", "x", 2, 0, 1, "[c]", "[x c]"},
      {"a b c d", "x", -1, 0, 3, "[d]", "[x x x d]"},
      {"a b", "[x y z]", -1, 0, 1, "[]", "[x y z]"},
      {"a b c", "[x y]", -1, 1, 1, "[b c]", "[[x y] b c]"},
      {"", "x", -1, 0, 1, "[]", "[x]"},
  };
  for (const Case& c : cases) {
    Cell* s = read(c.series);
    Cell* r = block::change(s, val(c.value), c.part, c.only, c.dup);
    EXPECT_EQ(mold(r), c.result) << c.series << " " << c.value;
    EXPECT_EQ(whole(s), c.all) << c.series << " " << c.value;
  }
  Cell* s = read("a b c d");
  Cell* tail = stack::push(s);
  block::set_head(tail, 2);
  block::change(s, tail, -1, 0, 1);  // from its own buffer
  EXPECT_EQ(whole(s), "[c d c d]");
}

TEST_F(Blocks, Take) {
  EXPECT_EQ(mold(block::take(read("a b c"), nullptr, 0, 0)), "a");
  EXPECT_EQ(mold(block::take(read("a b c"), integer(2), 0, 0)), "[a b]");
  EXPECT_EQ(mold(block::take(read("a b c"), nullptr, 0, 1)), "c");
  EXPECT_EQ(mold(block::take(read(""), nullptr, 0, 0)), "none");
  Cell* s = read("a b c d");
  Cell* first = block::take(s, integer(2), 0, 0);
  Cell* second = block::take(s, integer(2), 0, 0);
  EXPECT_EQ(mold(first), "[a b]");  // not overwritten by the second take
  EXPECT_EQ(mold(second), "[c d]");
  Cell* nested = read("[x] y");
  Cell* inner = stack::push(block::buf(nested)->cells());
  Cell* deep = block::take(nested, integer(1), 1, 0);
  EXPECT_NE(block::buf(deep)->cells()[0].w2, inner->w2);
}

TEST_F(Blocks, SwapAndTrim) {
  Cell* a = read("a b");
  Cell* b = read("x y");
  block::swap(a, b);
  EXPECT_EQ(mold(a), "[x b]");
  EXPECT_EQ(mold(b), "[a y]");
  EXPECT_EQ(error_code_of([&] { block::swap(a, val("\"s\"")); }), code(Err::invalid_arg));
  Cell* t = read("a none b none");
  block::trim(t, 0, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(mold(t), "[a b]");
}

TEST_F(Blocks, Copy) {
  Cell* src = read("a [b [c]] \"s\"");
  Cell* out = stack::push(&fixed_none);
  block::copy(src, out, nullptr, 1, nullptr);
  EXPECT_EQ(mold(out), "[a [b [c]] \"s\"]");
  EXPECT_NE(block::buf(out)->cells()[1].w2, block::buf(src)->cells()[1].w2);
  EXPECT_NE(block::buf(out)->cells()[2].w2, block::buf(src)->cells()[2].w2);
  Cell types{T_DATATYPE, T_BLOCK, 0, 0};
  block::copy(src, out, nullptr, 0, push(types));
  EXPECT_NE(block::buf(out)->cells()[1].w2, block::buf(src)->cells()[1].w2);
  EXPECT_EQ(block::buf(out)->cells()[2].w2, block::buf(src)->cells()[2].w2);
  block::copy(src, out, integer(2), 0, nullptr);
  EXPECT_EQ(mold(out), "[a [b [c]]]");
  Cell* self = read("a");
  block::xs_append(self, self);
  EXPECT_EQ(error_code_of([&] { block::copy(self, out, nullptr, 1, nullptr); }), code(Err::no_cycle));
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Blocks, Sort) {
  struct Case {
    const char* series;
    int skip, compare;  // 0: absent
    int all, reverse, stable;
    const char* expected;
  };
  const Case cases[] = {
      {"3 1 2", 0, 0, 0, 0, 0, "[1 2 3]"},
      {"3 1 2", 0, 0, 0, 1, 0, "[3 2 1]"},
      {"3 1.5 2 -7", 0, 0, 0, 0, 1, "[-7 1.5 2 3]"},
      {"b 2 a 1", 2, 0, 0, 0, 0, "[a 1 b 2]"},
      {"b 1 a 2", 2, 2, 0, 0, 0, "[b 1 a 2]"},
      {"b 2 a 1", 2, 2, 0, 0, 1, "[a 1 b 2]"},
      {"a 2 a 1", 2, 0, 1, 0, 1, "[a 1 a 2]"},
      {"c \"b\" a 1", 0, 0, 0, 0, 1, "[\"b\" 1 a c]"},  // mixed types order by type id
      {"b A c", 0, 0, 0, 0, 0, "[A b c]"},
  };
  for (const Case& c : cases) {
    Cell* s = read(c.series);
    Cell* skip = c.skip ? integer(c.skip) : nullptr;
    Cell* cmp = c.compare ? integer(c.compare) : nullptr;
    block::sort(s, 0, skip, cmp, nullptr, c.all, c.reverse, c.stable);
    EXPECT_EQ(mold(s), c.expected) << c.series;
  }
  // Ascending for many numbers, whichever sort runs.
  for (int stable = 0; stable < 2; stable++) {
    Cell* big = block::push_only(500);
    for (int i = 0; i < 500; i++) {
      Cell* n = integer((i * 7919) % 1000 - 500);
      block::xs_append(big, n);
      stack::pop(1);
    }
    block::sort(big, 0, nullptr, nullptr, nullptr, 0, 0, stable);
    Cell* c = block::buf(big)->cells();
    for (int i = 1; i < 500; i++) ASSERT_LE(get_int(c + i - 1), get_int(c + i)) << i;
  }
}

TEST_F(Blocks, SortPartAndErrors) {
  Cell* s = read("d c b a");
  block::sort(s, 0, nullptr, nullptr, integer(2), 0, 0, 0);
  EXPECT_EQ(mold(s), "[c d b a]");
  block::set_head(s, 3);
  block::sort(s, 0, nullptr, nullptr, integer(-2), 0, 0, 0);
  EXPECT_EQ(whole(s), "[c b d a]");
  EXPECT_EQ(block::head_of(s), 1);
  block::sort(s, 0, nullptr, nullptr, integer(-3), 0, 0, 0);  // would pass the start
  EXPECT_EQ(whole(s), "[c b d a]");
  EXPECT_EQ(block::head_of(s), 0);
  struct Case {
    Cell* skip;
    Cell* compare;
    int all;
    Err err;
  };
  Cell* x = val("x");
  const Case cases[] = {
      {nullptr, nullptr, 1, Err::bad_refines},
      {integer(3), nullptr, 0, Err::invalid_refine_arg},
      {integer(0), nullptr, 0, Err::invalid_refine_arg},
      {nullptr, integer(1), 0, Err::bad_refines},
      {integer(2), integer(1), 1, Err::bad_refines},
      {integer(2), integer(3), 0, Err::out_of_range},
      {integer(2), x, 0, Err::invalid_refine_arg},
  };
  for (const Case& c : cases) {
    Cell* t = read("b 2 a 1");
    EXPECT_EQ(error_code_of([&] { block::sort(t, 0, c.skip, c.compare, nullptr, c.all, 0, 0); }), code(c.err));
    EXPECT_EQ(mold(t), "[b 2 a 1]");
  }
}

TEST_F(Blocks, SortWithFunctionGoesThroughTheHook) {
  // The evaluator's part, played here: the "function" answers a < b by
  // integer order of its two arguments.
  series::compare_call = [](Cell*, Cell* a, Cell* b) -> Cell* {
    string::push_new(64);  // the language allocates: the sort must not care
    return get_int(a) < get_int(b) ? &fixed_true : &fixed_false;
  };
  Cell fn{T_FUNCTION, 0, 0, 0};
  Cell* s = block::push_only(200);
  for (int i = 0; i < 200; i++) {
    Cell* n = integer((i * 37) % 200);
    block::xs_append(s, n);
    stack::pop(1);
  }
  block::sort(s, 0, nullptr, push(fn), nullptr, 0, 0, 1);
  for (int i = 0; i < 200; i++) ASSERT_EQ(get_int(block::buf(s)->cells() + i), i);
  block::sort(s, 0, nullptr, push(fn), nullptr, 0, 1, 0);
  EXPECT_EQ(get_int(block::buf(s)->cells()), 199);
  series::compare_call = nullptr;
  EXPECT_EQ(error_code_of([&] { block::sort(s, 0, nullptr, push(fn), nullptr, 0, 0, 0); }), code(Err::not_done));
}

TEST_F(Blocks, SetOperations) {
  struct Case {
    int op;
    const char* a;
    const char* b;
    int skip;
    const char* expected;
  };
  const Case cases[] = {
      {OP_UNIQUE, "a b a c b", "", 0, "[a b c]"},
      {OP_UNION, "a b", "b c", 0, "[a b c]"},
      {OP_INTERSECT, "a b c", "b c d", 0, "[b c]"},
      {OP_EXCLUDE, "a b c", "b", 0, "[a c]"},
      {OP_DIFFERENCE, "a b c", "b c d", 0, "[a d]"},
      {OP_UNIQUE, "a 1 a 2 b 3", "", 2, "[a 1 b 3]"},
      {OP_UNION, "[x] 1 [x]", "2 [y]", 0, "[[x] 1 2 [y]]"},
      {OP_INTERSECT, "a B", "b", 0, "[B]"},
      {OP_EXCLUDE, "1 2 3", "[]", 0, "[1 2 3]"},
  };
  for (const Case& c : cases) {
    Cell* saved = stack::top();
    stack::set_base(saved);
    Cell* a = read(c.a);
    read(c.b);
    block::do_set_op(0, c.skip ? integer(c.skip) : nullptr, c.op);
    EXPECT_EQ(mold(a), c.expected) << c.a << " op " << c.op << " " << c.b;
    stack::set_top(saved);
  }
  stack::set_base(stack::top());
  read("a");
  read("b");
  EXPECT_EQ(error_code_of([&] { block::do_set_op(0, integer(0), OP_UNION); }), code(Err::invalid_refine_arg));
}

}  // namespace
}  // namespace xeb::test
