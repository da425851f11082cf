// The data stack: limits, clamping and the result-slot operations.
#include "tests/runtime/stack/stack_fixture.h"

namespace xeb::test {
namespace {

using DataStack = Stacks;

TEST_F(DataStack, HoldsAtMost19999CellsAndRefusesTheNext) {
  cycles::push(1);
  for (int i = 0; i < stack::DATA_CELLS - 1; i++) {
    Cell v = integer(i);
    stack::push(&v);
  }
  EXPECT_EQ(stack::top() - stack::bottom(), 19999);
  EXPECT_EQ(get_int(stack::top_cell()), 19998);
  Cell* failed_at = stack::top();
  try {
    stack::push_new();
    FAIL() << "no overflow";
  } catch (const LangError& e) {
    EXPECT_EQ(e.error.w2, static_cast<uint32_t>(InternalError::stack_overflow));
  }
  EXPECT_EQ(stack::top(), failed_at);  // only the failed push is undone
  EXPECT_EQ(cycles::depth(), 0u);
  Cell v = integer(7);  // the freed cells are usable again
  EXPECT_EQ(get_int(stack::push(&v)), 7);
}

TEST_F(DataStack, PopClampsAndTopCellOfEmptyIsBottom) {
  EXPECT_EQ(stack::top_cell(), stack::bottom());
  Cell v = integer(1);
  stack::push(&v);
  stack::push(&v);
  EXPECT_EQ(stack::pop(5), stack::bottom());
  EXPECT_EQ(stack::top(), stack::bottom());
}

TEST_F(DataStack, PushCopiesACellAlreadyOnTheStack) {
  Cell v = integer(3);
  Cell* a = stack::push(&v);
  Cell* b = stack::push(a);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(get_int(b), 3);
}

// Each operation runs in a frame whose base holds 10 and whose arguments
// 20, 30 follow; the table gives the cell count above base afterwards and
// the result slot's type and value.
struct ResultCase {
  const char* name;
  void (*op)();
  long top_above_base;
  TypeId result_type;
  int32_t result;
};

const ResultCase kResultCases[] = {
  {"reset", [] { stack::reset(); }, 0, T_INTEGER, 10},
  {"reset_keep_result", [] { stack::reset_keep_result(); }, 1, T_INTEGER, 10},
  {"set_result", [] { stack::set_result(stack::top_cell()); }, 3, T_INTEGER, 30},
  {"set_result_trim", [] { stack::set_result_trim(stack::top_cell()); }, 1, T_INTEGER, 30},
  {"keep_error_result_error",
   [] {
     Cell e{T_ERROR, 0, 0, 0};
     stack::push(&e);
     stack::keep_error_result();
   },
   1, T_ERROR, 0},
  {"keep_error_result_other", [] { stack::keep_error_result(); }, 1, T_INTEGER, 10},
};

class ResultOps : public Stacks, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultOps, LeaveTheFrameAsExpected) {
  const ResultCase& c = GetParam();
  Cell w = word(20);
  Cell outer = integer(99);
  stack::push(&outer);
  stack::mark_native(&w);
  for (int v : {10, 20, 30}) {
    Cell i = integer(v);
    stack::push(&i);
  }
  Cell* base = stack::base();
  c.op();
  EXPECT_EQ(stack::base(), base);
  EXPECT_EQ(stack::top() - base, c.top_above_base);
  EXPECT_EQ(type_of(base), c.result_type);
  if (c.result_type == T_INTEGER) {
    EXPECT_EQ(get_int(base), c.result);
  }
  EXPECT_EQ(get_int(stack::bottom()), 99);  // the caller's cells are untouched
}

INSTANTIATE_TEST_SUITE_P(DataStack, ResultOps, ::testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xeb::test
