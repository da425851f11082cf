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
#include "evaluator/compiled.h"
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

TEST_F(Kernel, SelectCase) {
  struct {
    const char* value;
    const char* block;
    bool push, switch_;
    const char* expected;
  } cases[] = {
      {"2", "1 2 [a] 3 [b]", true, true, "[a]"},
      {"b", "a 1 b 2", false, false, "2"},
      {"b", "a 1 b", false, false, "b"},
      {"3", "1 [a] 3", true, true, "none"},  // no block after the match
      {"9", "1 [a]", true, true, "none"},
  };
  for (auto& c : cases) {
    stack::reset();
    Cell* v = load(c.value);
    Cell value = *interpreter::cell_at(v, 0);
    Cell* blk = load(c.block);
    Cell b = *blk;
    stack::reset();
    stack::push(&value);
    stack::push(&b);
    runtime::select_case(c.push, c.switch_);
    Cell* answer = c.push ? stack::top() - 1 : stack::base();
    EXPECT_EQ(actions::mold_text(answer), c.expected) << c.value << " in " << c.block;
  }
}

TEST_F(Kernel, FloatToIntAndFill) {
  Cell a = flt(2147483647.9), b = flt(-0.9), c = flt(-2147483648.5), d = flt(std::nan(""));
  EXPECT_EQ(runtime::float_to_int(&a), 2147483647);
  EXPECT_EQ(runtime::float_to_int(&b), 0);
  EXPECT_EQ(error_code_of([&] { runtime::float_to_int(&c); }), static_cast<int32_t>(Err::out_of_range));
  EXPECT_EQ(error_code_of([&] { runtime::float_to_int(&d); }), static_cast<int32_t>(Err::out_of_range));

  char buf[16] = "ab";
  std::byte* end = runtime::fill_repeat(reinterpret_cast<std::byte*>(buf), 2, 5);
  EXPECT_EQ(std::string(buf, 10), "ababababab");
  EXPECT_EQ(reinterpret_cast<char*>(end), buf + 10);
  char one[4] = "xyz";
  runtime::fill_repeat(reinterpret_cast<std::byte*>(one), 1, 1);
  EXPECT_EQ(std::string(one), "xyz");
  EXPECT_EQ(runtime::type_check_at(-1, &fixed_none, 0), -1);
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

TEST_F(Kernel, SetWordLast) {
  Cell w = *word::load("kernel-word");
  Cell* wc = stack::push(&w);
  Cell v = num(42);
  stack::push(&v);
  runtime::set_word_last(wc);
  EXPECT_EQ(get_int(runtime::get_word_value(wc)), 42);
  set_unset(stack::push_new());
  EXPECT_EQ(error_code_of([&] { runtime::set_word_last(wc); }), static_cast<int32_t>(Err::need_value));
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

// A caller that did not fetch the arguments by their declared types asks the
// native to check them.
TEST_F(Kernel, CheckedNativeCallRefusesWrongTypes) {
  auto call_if = [](Cell then) {
    return error_code_of([&] {
      Cell name = *word::load("if");
      stack::mark_native(&name);
      stack::push(&fixed_true);
      stack::push(&then);
      runtime::fill_refinements(1, true, 0, {});
      stack::unwind();
    });
  };
  EXPECT_EQ(call_if(num(3)), static_cast<int32_t>(Err::expect_arg));
  Cell* blk = load("7");
  EXPECT_EQ(call_if(*blk), -1);
}

}  // namespace
}  // namespace xeb::test
