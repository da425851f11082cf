// Output hooks: list order, growth and removal, and the default printer on
// strings of each unit width.
#include <cstring>
#include <vector>

#include "runtime/memory.h"
#include "datatypes/print_hooks.h"
#include "tests/platform/console_fixture.h"

namespace xeb::test {
namespace {

std::vector<int> calls;
template <int N>
void print_cb(const Cell*, bool nl) { calls.push_back(nl ? N : -N); }
template <int N>
void output_cb(const void*, size_t len, int) { calls.push_back(N * 100 + static_cast<int>(len)); }

class Hooks : public ::testing::Test {
 protected:
  void SetUp() override {
    print_hooks::init();
    print_hooks::remove(print_hooks::default_printer, nullptr);
    calls.clear();
  }
};

TEST_F(Hooks, CallbacksRunInOrderPastTheFirstGrowth) {
  print_hooks::add(print_cb<1>, output_cb<1>);
  print_hooks::add(print_cb<2>, nullptr);
  print_hooks::add(print_cb<3>, output_cb<3>);
  print_hooks::add(print_cb<4>, nullptr);
  print_hooks::add(print_cb<5>, nullptr);
  print_hooks::add(print_cb<6>, output_cb<6>);
  print_hooks::call_print(nullptr, true);
  print_hooks::call_output("", 7, 0);
  EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 4, 5, 6, 107, 307, 607}));
}

TEST_F(Hooks, RemoveTakesOnlyTheFirstOccurrence) {
  print_hooks::add(print_cb<1>, nullptr);
  print_hooks::add(print_cb<2>, nullptr);
  print_hooks::add(print_cb<1>, nullptr);
  print_hooks::remove(print_cb<1>, nullptr);
  print_hooks::remove(print_cb<3>, output_cb<3>);  // absent: nothing
  print_hooks::call_print(nullptr, false);
  EXPECT_EQ(calls, (std::vector<int>{-2, -1}));
}

// A string cell over a real buffer of the given unit.
class DefaultPrinter : public OnConsole {
 protected:
  void SetUp() override {
    OnConsole::SetUp();
    memory::reset_for_tests();
    memory::new_node_frame(memory::NODES_PER_FRAME);
    memory::new_series_frame();
    print_hooks::init();
  }
  static Cell string_cell(const void* data, size_t chars, int unit, int32_t head) {
    Node n = memory::alloc_string(static_cast<int64_t>(chars), unit);
    SeriesBuf* b = buf_of(n);
    std::memcpy(b->head_ptr(), data, chars * static_cast<size_t>(unit));
    b->tail = b->head + static_cast<Off>(chars * static_cast<size_t>(unit));
    return Cell{T_STRING, static_cast<uint32_t>(head), n, 0};
  }
};

TEST_F(DefaultPrinter, PrintsFromTheHeadInEachUnit) {
  Cell s1 = string_cell("Hello", 5, 1, 2);
  print_hooks::call_print(&s1, false);
  Cell s2 = string_cell(u"\u20ACuro", 4, 2, 0);
  print_hooks::call_print(&s2, true);
  Cell s4 = string_cell(U"x\U0001F600", 2, 4, 1);
  print_hooks::call_print(&s4, true);
  Cell past = string_cell("ab", 2, 1, 5);
  print_hooks::call_print(&past, false);
  EXPECT_EQ(con.text, u"llo\u20ACuro\n\U0001F600\n");
}

TEST_F(DefaultPrinter, UnknownUnitPrintsAnError) {
  Cell s = string_cell("abc", 3, 1, 0);
  buf_of(static_cast<Node>(s.w2))->flags = (buf_of(static_cast<Node>(s.w2))->flags & ~SER_UNIT_MASK) | 3;
  print_hooks::call_print(&s, true);
  EXPECT_EQ(con.text, u"Error: unknown string encoding: 3\n");
}

std::vector<char> ui_steps;
TEST_F(DefaultPrinter, TextUiIsSuspendedAroundEachPrint) {
  print_hooks::set_text_ui({[] { ui_steps.push_back('s'); }, [] { ui_steps.push_back('r'); }});
  Cell s = string_cell("z", 1, 1, 0);
  print_hooks::call_print(&s, false);
  print_hooks::set_text_ui({});
  EXPECT_EQ(ui_steps, (std::vector<char>{'s', 'r'}));
  EXPECT_EQ(con.text, u"z");
}

}  // namespace
}  // namespace xeb::test
