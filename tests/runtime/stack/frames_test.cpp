// Call frames: the frame limit, compiled-call contexts across recursion,
// popping and the caller's name.
#include "tests/runtime/stack/stack_fixture.h"

namespace xeb::test {
namespace {

using Frames = Stacks;

TEST_F(Frames, Accepts12000FramesAndRefusesTheNext) {
  Cell w = word(20);
  for (int i = 0; i < stack::MAX_FRAMES; i++) stack::mark_native(&w);
  EXPECT_EQ(stack::depth(), 12000u);
  for (int i = 0; i < 8; i++) {
    Cell v = integer(i);
    stack::push(&v);
  }
  Cell* top = stack::top();
  cycles::push(1);
  try {
    stack::mark_native(&w);
    FAIL() << "no overflow";
  } catch (const LangError& e) {
    EXPECT_EQ(e.error.w2, static_cast<uint32_t>(InternalError::stack_overflow));
  }
  EXPECT_EQ(stack::depth(), 12000u);
  EXPECT_EQ(stack::top(), top);  // cells of the surviving frames stay
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Frames, OverflowNeverLowersTheDataStackBelowItsBottom) {
  Cell w = word(20);
  for (int i = 0; i < stack::MAX_FRAMES; i++) stack::mark_native(&w);
  EXPECT_THROW(stack::mark_native(&w), LangError);
  EXPECT_EQ(stack::top(), stack::bottom());
}

// A compiled function of one argument n calling itself down to 0; at every
// depth it reads n through its context before and after the inner call.
int32_t countdown(Node ctx, int32_t n, int* mismatches) {
  Cell f = word(30, ctx);
  Cell* call_base = stack::mark_func(&f, ctx);
  Cell arg = integer(n);
  stack::push(&arg);
  // The callee's side.
  stack::enter_body(ctx);
  auto own = [&] { return get_int(at<Cell>(stack::values_of(ctx))); };
  if (own() != n) ++*mismatches;
  int32_t r = n;
  if (n > 0) {
    r += countdown(ctx, n - 1, mismatches);
    if (own() != n) ++*mismatches;
  }
  Cell result = integer(r);
  stack::set_result(&result);
  // The caller's side: the result stays in the call's base, just above.
  stack::unwind_func();
  EXPECT_EQ(stack::top(), call_base + 1);
  int32_t got = get_int(call_base);
  stack::set_top(call_base);
  return got;
}

TEST_F(Frames, RecursiveCompiledCallsKeepTheirOwnArguments) {
  Node ctx = stack_context();
  stack::values_of(ctx) = 0;
  Cell slot = integer(0);
  stack::push(&slot);  // the outermost result slot
  int mismatches = 0;
  EXPECT_EQ(countdown(ctx, 50, &mismatches), 50 * 51 / 2);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(stack::values_of(ctx), 0u);  // no call active: no values
  EXPECT_EQ(stack::depth(), 0u);
  EXPECT_EQ(stack::base(), stack::bottom());
  EXPECT_EQ(stack::top(), stack::bottom() + 1);
}

TEST_F(Frames, UnwindToBaseThatEmptiesTheStackResetsTheDataStack) {
  Cell w = word(20), v = integer(1);
  stack::push(&v);
  stack::mark_native(&w);
  stack::push(&v);
  stack::push(&v);
  stack::unwind_to_base();
  EXPECT_EQ(stack::depth(), 0u);
  EXPECT_EQ(stack::base(), stack::bottom());
  EXPECT_EQ(stack::top(), stack::bottom());
}

TEST_F(Frames, UnwindKeepsTheResultAboveTheCallersCells) {
  Cell w = word(20), v = integer(5);
  stack::push(&v);
  stack::mark_native(&w);  // base = bottom + 1
  stack::push(&v);
  stack::push(&v);
  stack::unwind();
  EXPECT_EQ(stack::base(), stack::bottom());
  EXPECT_EQ(stack::top() - stack::bottom(), 2);
}

TEST_F(Frames, CallerWordSkipsBodiesAndAnonymousFrames) {
  Cell w;
  stack::caller_word(&w);
  EXPECT_EQ(w.w2, SYM_NOT_FOUND);

  Cell f = word(30, 77), body = word(SYM_BODY), anon = word(SYM_ANON);
  stack::mark_interp_func(&f);
  stack::mark_native(&body);
  stack::mark_native(&anon);
  stack::caller_word(&w);
  EXPECT_EQ(type_of(&w), T_WORD);
  EXPECT_EQ(w.w2, 30u);
  EXPECT_EQ(w.w1, 77u);  // bound to the frame's context
}

TEST_F(Frames, BodyAndInterpretedMarks) {
  Cell a = word(30), b = word(31);
  stack::mark_interp_func(&a);
  stack::mark_native(&b);
  EXPECT_TRUE(stack::interpreted(nullptr, false));   // found below
  EXPECT_FALSE(stack::interpreted(nullptr, true));   // the top frame only
  CallFrame* below = stack::set_body_flag_below();
  ASSERT_NE(below, nullptr);
  EXPECT_TRUE(below->body());
  EXPECT_EQ(stack::set_body_flag_below(), nullptr);  // already marked
  stack::clear_frame_body_flag(below);
  EXPECT_FALSE(below->body());
  stack::set_body_flag(true);
  EXPECT_TRUE(stack::top_frame()->body());
  stack::set_interp_flag();
  EXPECT_TRUE(stack::interpreted(nullptr, true));
}

TEST_F(Frames, SymbolIdsKeep32Bits) {
  Cell w = word(0x12345678);
  stack::mark_native(&w);
  EXPECT_EQ(stack::top_frame()->sym, 0x12345678u);
  EXPECT_EQ(stack::top_frame()->type(), FrameType::native);
}

TEST_F(Frames, CollectionKeepsFrameContextsAndTheirValues) {
  Node ctx = stack_context();
  Cell f = word(30, ctx);
  stack::mark_func(&f, ctx);
  Cell arg = integer(42);
  stack::push(&arg);
  stack::enter_body(ctx);
  for (int i = 0; i < 200; i++) memory::alloc_cells(64);  // garbage, collected under stress
  collector::collect();
  Node now = stack::frames()[0].fctx;  // repointed if the node moved
  EXPECT_EQ(type_of(buf_of(now)->cells()), T_CONTEXT);
  EXPECT_EQ(get_int(at<Cell>(stack::values_of(now))), 42);
}

}  // namespace
}  // namespace xeb::test
