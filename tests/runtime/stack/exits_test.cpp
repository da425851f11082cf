// Non-local exits: each pending exit reaching its catching point across
// frames, the try/all barrier, missing targets, errors reaching try, the
// throw origin and what a landing restores.
#include "tests/runtime/stack/stack_fixture.h"

namespace xeb::test {
namespace {

using Exits = Stacks;

// An interpreted call of a word with its arguments pushed.
void call(uint32_t sym, std::initializer_list<int32_t> args, uint32_t flags = frame_flags(FrameType::native)) {
  Cell w = word(sym);
  stack::push_frame(&w, flags | FRAME_INTERP);
  for (int32_t a : args) {
    Cell v = integer(a);
    stack::push(&v);
  }
}

void three_calls() {
  for (uint32_t s : {50u, 51u, 52u}) call(s, {static_cast<int32_t>(s)}, frame_flags(FrameType::function));
}

struct PendingCase {
  const char* name;
  FrameType target;
  uint32_t target_flags;
  void (*raise)();
  ThrowCode code;
  bool keeps_value;  // 123 lands in the result slot, else unset
};

const PendingCase kPending[] = {
  {"break", FrameType::loop, 0, [] { stack::throw_break(false, false); }, ThrowCode::break_loop, false},
  {"break_return", FrameType::loop, 0, [] { stack::throw_break(true, false); }, ThrowCode::break_loop, true},
  {"continue", FrameType::loop, 0, [] { stack::throw_break(false, true); }, ThrowCode::continue_loop, false},
  {"return", FrameType::native, FRAME_BODY, [] { stack::throw_exit(true, false); }, ThrowCode::return_value, true},
  {"exit", FrameType::native, FRAME_BODY, [] { stack::throw_exit(false, false); }, ThrowCode::exit, false},
};

class PendingExits : public Stacks, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingExits, LandOnTheirTargetAcrossFrames) {
  const PendingCase& c = GetParam();
  Cell outer = integer(1);
  stack::push(&outer);
  Cell tw = word(40);
  stack::push_frame(&tw, frame_flags(c.target) | c.target_flags);
  CallFrame* target = stack::top_frame();
  Cell* target_base = stack::base();
  CatchPoint point(c.target == FrameType::loop ? CatchLevel::loop : CatchLevel::all);
  // A frame of another kind between, which the exit passes.
  Cell ew = word(41);
  stack::mark_eval(&ew);
  cycles::push(5);  // a walk the exit interrupts
  three_calls();
  call(60, {123});  // the exit's own call
  c.raise();
  EXPECT_EQ(pending_throw, c.code);
  ASSERT_TRUE(point.takes_pending());
  EXPECT_EQ(stack::top_frame(), target);
  EXPECT_EQ(stack::base(), target_base);
  EXPECT_EQ(stack::top(), target_base);
  if (c.keeps_value) {
    EXPECT_EQ(get_int(target_base), 123);
  } else {
    EXPECT_EQ(type_of(target_base), T_UNSET);
  }
  EXPECT_EQ(point.land(), c.code);
  EXPECT_FALSE(throwing());
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_EQ(get_int(stack::bottom()), 1);
}

INSTANTIATE_TEST_SUITE_P(Exits, PendingExits, ::testing::ValuesIn(kPending),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exits, CatchLevelsStopTheirCodesOnly) {
  EXPECT_TRUE(stops(CatchLevel::catch_, ThrowCode::throw_value));
  EXPECT_FALSE(stops(CatchLevel::catch_, ThrowCode::exit));
  EXPECT_TRUE(stops(CatchLevel::loop, ThrowCode::break_loop));
  EXPECT_FALSE(stops(CatchLevel::loop, ThrowCode::error));
  EXPECT_TRUE(stops(CatchLevel::all, ThrowCode::error));
  EXPECT_FALSE(stops(CatchLevel::all, ThrowCode::none));
}

TEST_F(Exits, DirectExitFromCompiledCodeFindsItsOwnBody) {
  Cell f = word(30);
  stack::push_frame(&f, frame_flags(FrameType::native) | FRAME_BODY);
  Cell v = integer(8);
  stack::push(&v);
  Cell* body_base = stack::base();
  stack::throw_exit(true, true);
  EXPECT_EQ(pending_throw, ThrowCode::return_value);
  EXPECT_EQ(stack::depth(), 1u);
  EXPECT_EQ(get_int(body_base), 8);
  CatchPoint(CatchLevel::all).land();
}

TEST_F(Exits, ThrowLandsOnCatchWithValueAndName) {
  Cell cw = word(SYM_BODY);
  stack::mark_catch(&cw);
  CallFrame* catch_frame = stack::top_frame();
  Cell* base = stack::base();
  CatchPoint point(CatchLevel::catch_);
  three_calls();
  call(61, {7, 70});  // throw 7 with the name 70
  stack::throw_value(ThrowCode::throw_value);
  EXPECT_EQ(pending_throw, ThrowCode::throw_value);
  EXPECT_EQ(stack::top_frame(), catch_frame);
  EXPECT_EQ(get_int(base), 7);
  EXPECT_EQ(get_int(base + 1), 70);
  EXPECT_EQ(stack::top(), base + 2);
  EXPECT_NE(stack::cs.throw_origin, nullptr);
  point.land();
  EXPECT_EQ(stack::cs.throw_origin, nullptr);
}

// Every exit met by a try/all frame before its target turns into its
// throw-category error there, raised with the stacks as they were.
struct BarrierCase {
  const char* name;
  void (*raise)();
  ThrowError id;
};

const BarrierCase kBarrier[] = {
  {"break", [] { stack::throw_break(false, false); }, ThrowError::break_loop},
  {"continue", [] { stack::throw_break(false, true); }, ThrowError::continue_loop},
  {"return", [] { stack::throw_exit(true, false); }, ThrowError::return_value},
  {"throw", [] { stack::throw_value(ThrowCode::throw_value); }, ThrowError::throw_value},
};

class Barrier : public Stacks, public ::testing::WithParamInterface<BarrierCase> {};

TEST_P(Barrier, TryAllStopsTheExitWithAnError) {
  const BarrierCase& c = GetParam();
  Cell lw = word(40), bw = word(41), cw = word(42), tw = word(43);
  stack::mark_loop(&lw);
  stack::push_frame(&bw, frame_flags(FrameType::native) | FRAME_BODY);
  stack::mark_catch(&cw);
  Cell* try_args_base = stack::base();
  stack::mark_try_all(&tw);
  CatchPoint point(CatchLevel::all);
  three_calls();
  call(60, {9, 0});
  uint32_t depth_at_exit = stack::depth();
  try {
    c.raise();
    FAIL() << "the exit passed the try/all frame";
  } catch (const LangError&) {
    EXPECT_EQ(g_annotated_depth, depth_at_exit);  // raised where the exit was called
    // A throw is reported from its origin: the function that threw.
    EXPECT_EQ(g_where, c.id == ThrowError::throw_value ? 52u : 60u);
    EXPECT_EQ(point.land(), ThrowCode::error);
  }
  EXPECT_EQ(stack::depth(), 3u);  // the try/all frame is gone
  EXPECT_EQ(stack::base(), try_args_base);
  EXPECT_EQ(stack::top_type(), T_ERROR);
  EXPECT_EQ(stack::top_cell()->w2, static_cast<uint32_t>(c.id));
}

INSTANTIATE_TEST_SUITE_P(Exits, Barrier, ::testing::ValuesIn(kBarrier),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exits, MissingTargetsRaiseTheirErrors) {
  const BarrierCase cases[] = {
    {"return", [] { stack::throw_exit(false, false); }, ThrowError::return_value},
    {"break", [] { stack::throw_break(false, false); }, ThrowError::break_loop},
    {"throw", [] { stack::throw_value(ThrowCode::throw_value); }, ThrowError::throw_value},
  };
  for (const BarrierCase& c : cases) {
    stack::init();
    Cell tw = word(43);
    stack::mark_try(&tw);
    call(60, {9, 0});
    try {
      c.raise();
      FAIL() << c.name;
    } catch (const LangError& e) {
      CatchPoint(CatchLevel::all).land();
      EXPECT_EQ(e.error.w2, static_cast<uint32_t>(c.id)) << c.name;
      if (c.id == ThrowError::throw_value) {
        EXPECT_EQ(e.error.w3, 9u);  // the thrown value
      }
    }
    EXPECT_EQ(stack::depth(), 0u);
  }
}

TEST_F(Exits, ErrorReachesTryAcrossCompiledCalls) {
  Node ctx = stack_context();
  stack::values_of(ctx) = 0;
  Cell result = integer(0);
  stack::push(&result);
  Cell tw = word(43);
  stack::mark_native(&tw);  // the try call
  Cell* try_base = stack::base();
  stack::mark_try(&tw);
  CatchPoint point(CatchLevel::all);
  for (int i = 0; i < 3; i++) {
    Cell f = word(30, ctx);
    stack::mark_func(&f, ctx);
    Cell arg = integer(i);
    stack::push(&arg);
    stack::enter_body(ctx);
  }
  call(62, {1, 2});
  try {
    Cell e{T_ERROR, 0, 999, 0};
    stack::throw_error(&e);
  } catch (const LangError& e) {
    EXPECT_EQ(point.land(), ThrowCode::error);
  }
  EXPECT_EQ(g_where, 62u);
  EXPECT_EQ(stack::values_of(ctx), 0u);  // every compiled context got its values back
  EXPECT_EQ(stack::depth(), 1u);
  EXPECT_EQ(stack::base(), try_base);
  EXPECT_EQ(stack::top_cell()->w2, 999u);
  stack::keep_error_result();
  EXPECT_EQ(type_of(try_base), T_ERROR);
  EXPECT_EQ(stack::top(), try_base + 1);
}

TEST_F(Exits, UncaughtThrowReportsTheFunctionThatThrew) {
  Cell tw = word(43), f = word(30), body = word(SYM_BODY);
  stack::mark_try(&tw);
  stack::mark_interp_func(&f);
  stack::mark_native(&body);
  call(61, {9, 0});  // throw
  EXPECT_THROW(stack::throw_value(ThrowCode::throw_value), LangError);
  EXPECT_EQ(g_where, 30u);
  EXPECT_EQ(stack::cs.throw_origin, nullptr);
}

TEST_F(Exits, LandingClearsTheThrowOriginForLaterErrors) {
  Cell tw = word(43), cw = word(SYM_BODY);
  stack::mark_try(&tw);
  CatchPoint outer(CatchLevel::all);
  stack::mark_catch(&cw);
  {
    CatchPoint point(CatchLevel::catch_);
    three_calls();
    call(61, {7, 0});
    stack::throw_value(ThrowCode::throw_value);
    point.land();
  }
  stack::unwind();  // the catch native returns
  call(31, {}, frame_flags(FrameType::function));
  call(62, {});
  Cell e{T_ERROR, 0, 999, 0};
  EXPECT_THROW(stack::throw_error(&e), LangError);
  EXPECT_EQ(g_where, 62u);
  outer.land();
}

TEST_F(Exits, LandingCutsFramesAndRestoresContextsAndWalks) {
  Node ctx = stack_context();
  stack::values_of(ctx) = 0;
  Cell lw = word(40);
  stack::mark_loop(&lw);
  cycles::push(1);
  CatchPoint point(CatchLevel::all);
  Cell f = word(30, ctx);
  stack::mark_func(&f, ctx);
  Cell arg = integer(1);
  stack::push(&arg);
  stack::enter_body(ctx);
  cycles::push(2);
  cycles::push(3);
  try {
    throw LangError{};  // raised without unwinding anything
  } catch (const LangError&) {
    point.land();
  }
  EXPECT_EQ(stack::depth(), 1u);
  EXPECT_EQ(stack::values_of(ctx), 0u);
  EXPECT_EQ(cycles::depth(), 1u);
}

using ExitsDeath = Stacks;

TEST_F(ExitsDeath, AnErrorNoTryCatchesIsPrintedAndEndsWithMinus2) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  error_hooks.print_uncaught = [](Cell* e) { fprintf(stderr, "uncaught %u at bottom %d\n", e->w2, e == stack::bottom()); };
  auto raise = [] {
    call(30, {1}, frame_flags(FrameType::function));
    call(62, {});
    Cell e{T_ERROR, 0, 999, 0};
    stack::throw_error(&e);
  };
  EXPECT_EXIT(raise(), ::testing::ExitedWithCode(254), "uncaught 999 at bottom 1");
}

TEST_F(ExitsDeath, AnErrorWithAnEmptyCallStackIsUncaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  error_hooks.print_uncaught = [](Cell* e) { fprintf(stderr, "uncaught %u\n", e->w2); };
  auto raise = [] {
    Cell tw = word(43);
    stack::mark_try(&tw);
    stack::unwind();  // the try returned: the call stack is empty again
    Cell e{T_ERROR, 0, 999, 0};
    stack::throw_error(&e);
  };
  EXPECT_EXIT(raise(), ::testing::ExitedWithCode(254), "uncaught 999");
}

}  // namespace
}  // namespace xeb::test
