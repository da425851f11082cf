// The evaluator's C++ entries: fast paths, the comparison entry, services
// for direct callers, and pending exits against frames set up by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/words.h"
#include "evaluator/boot.h"
#include "evaluator/compare.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "tests/support/evaluator_init.h"
#include "tests/evaluator/support.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

class Kernel : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    init_evaluator();
    define_library_words();
  }
  static Cell flt(double d) {
    Cell c{T_FLOAT, 0, 0, 0};
    put_double(&c, d);
    return c;
  }
  static Cell num(int32_t v) { return integer::make_cell(v); }
};

TEST_F(Kernel, IntegerFastPathsOverflowIntoFloat) {
  struct {
    int op;
    int32_t a, b;
    const char* expected;
  } cases[] = {
      {OP_ADD, 2147483647, 1, "2147483648.0"},
      {OP_SUB, -2147483647 - 1, 1, "-2147483649.0"},
      {OP_MUL, 65536, 65536, "4294967296.0"},
      {OP_ADD, 2, 3, "5"},
      {OP_XOR, 6, 3, "5"},
  };
  for (auto& c : cases) {
    Cell a = num(c.a), b = num(c.b);
    EXPECT_EQ(actions::mold_text(actions::math_op(c.op, nullptr, &a, &b)), c.expected) << c.a << " op " << c.op;
    stack::pop(1);
    stack::push(&a);
    EXPECT_EQ(actions::mold_text(actions::math_op_top_int(c.op, nullptr, c.b)), c.expected);
    stack::pop(1);
  }
  Cell x = flt(1.5), y = flt(2.5), one = num(1);
  EXPECT_EQ(actions::mold_text(actions::math_op(OP_ADD, nullptr, &x, &y)), "4.0");
  EXPECT_EQ(actions::mold_text(actions::math_op(OP_ADD, nullptr, &one, &y)), "3.5");  // through add
}

TEST_F(Kernel, ComparisonEntry) {
  Cell one = num(1), two = num(2), str = *load("\"a\"");
  Cell* s = stack::push(&str);
  Cell* a = interpreter::cell_at(s, 0);
  Cell text = *a;
  EXPECT_TRUE(actions::compare_truth(&one, &two, COMP_LESSER));
  EXPECT_FALSE(actions::compare_truth(&one, &text, COMP_EQUAL));
  EXPECT_TRUE(actions::compare_truth(&one, &text, COMP_NOT_EQUAL));
  EXPECT_EQ(error_code_of([&] { actions::compare_truth(&one, &text, COMP_LESSER); }),
            static_cast<int32_t>(Err::invalid_compare));
  EXPECT_EQ(actions::compare_raw(&fixed_true, &fixed_false, COMP_EQUAL), 1);
  EXPECT_TRUE(actions::compare_op_int_test(COMP_GREATER_EQUAL, nullptr, &two, 2, false));
  EXPECT_FALSE(actions::compare_op_test(COMP_LESSER, nullptr, &two, &one, false));
}

TEST_F(Kernel, BlockPickAndNavigation) {
  Cell* b = load("1 2 3");
  Cell blk = *b;
  EXPECT_EQ(actions::mold_text(actions::pick_path(&blk, 2, nullptr)), "2");
  EXPECT_EQ(actions::mold_text(actions::pick_path(&blk, 0, nullptr)), "none");
  EXPECT_EQ(actions::mold_text(actions::pick_path(&blk, 4, nullptr)), "none");
  Cell tail = blk;
  tail.w1 = 3;
  EXPECT_EQ(actions::mold_text(actions::series_nav(&tail, actions::Nav::next, nullptr)), "[]");
  EXPECT_EQ(actions::series_nav(&tail, actions::Nav::next, nullptr)->w1, 3u);
  EXPECT_EQ(actions::series_nav(&blk, actions::Nav::back, nullptr)->w1, 0u);
  EXPECT_EQ(actions::mold_text(actions::series_nav(&blk, actions::Nav::length_q, nullptr)), "3");
  EXPECT_EQ(actions::mold_text(actions::series_nav(&tail, actions::Nav::tail_q, nullptr)), "true");
}

// break and continue land on the nearest loop frame and leave a pending
// code; the loop's catching point takes them.
TEST_F(Kernel, BreakLandsOnALoopFrame) {
  Cell body = words::word(words::W::body_frame);
  Cell* outer = stack::push_frame(&body, frame_flags(FrameType::loop));
  Cell* src = load("f: func [] [break/return 5] f 99");
  CatchPoint cp(CatchLevel::loop);
  interpreter::eval_block(src, false);
  ASSERT_TRUE(throwing());
  EXPECT_EQ(pending_throw, ThrowCode::break_loop);
  EXPECT_EQ(cp.land(), ThrowCode::break_loop);
  EXPECT_EQ(stack::base(), outer);
  EXPECT_EQ(actions::mold_text(stack::base()), "5");
  stack::unwind();
}

// The current-code cell shows the outer expression again once a nested
// evaluation has failed.
TEST_F(Kernel, CurrentCodeRestoredAfterError) {
  Cell* outer = load("1 2");
  int32_t code = error_code_of([] {
    Cell* b = load("do [1 / 0]");
    interpreter::eval_block(b, false);
  });
  EXPECT_EQ(code, static_cast<int32_t>(Err::zero_divide));
  EXPECT_TRUE(is_type(interpreter::current_code(), T_UNSET));
  (void)outer;
}

}  // namespace
}  // namespace xeb::test
