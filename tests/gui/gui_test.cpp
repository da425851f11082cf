// The character grid through a fake terminal: one write per frame, the
// frame's placement and caret, text metrics, and looks from escapes inside
// texts. Cells on screen are checked by grid_test.py.
#include <gtest/gtest.h>

#include "gui/cell_grid.h"
#include "gui/keys.h"
#include "tests/support/fake_terminal.h"

namespace xeb {
namespace {

using namespace gui;

platform::tui::Owner no_owner() { return {}; }

TEST(Grid, OneWritePerFrameAndPlacement) {
  test::FakeTerminal f;
  int writes = 0;
  platform::TermIO io = f.io();
  struct Counter {
    platform::TermIO inner;
    int* writes;
  } counter{io, &writes};
  io.self = &counter;
  io.write = [](void* s, const void* d, size_t n) {
    auto* c = static_cast<Counter*>(s);
    ++*c->writes;
    return c->inner.write(c->inner.self, d, n);
  };
  platform::tui::Session s(io, no_owner());
  Grid g;
  g.resize(3, 2);
  draw_text(g, U"ab\ncd", 0, 0, g.bounds(), {});
  s.lines_below_top = 1;
  flush_frame(s, g, std::nullopt);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(f.written, "\x1b[?25l\r\x1b[1A\x1b[0Jab \x1b[49m\r\ncd ");
  EXPECT_EQ(s.lines_below_top, 1);
  EXPECT_TRUE(s.drawn);
  f.written.clear();
  flush_frame(s, g, std::pair{1, 0});
  EXPECT_EQ(writes, 2);
  EXPECT_TRUE(f.written.ends_with("cd \r\x1b[1A\x1b[1C\x1b[?25h")) << f.written;
  EXPECT_EQ(s.lines_below_top, 0);
}

TEST(Grid, EscapesInsideTexts) {
  Grid g;
  g.resize(8, 1);
  draw_text(g, U"a\x1b[1;31mb\x1b[21;38;5;200mc\x1b[2Kd\x1b[0me\x1b[", 0, 0, g.bounds(),
            {style::escapes, 0, 0});
  EXPECT_EQ(g.at(0, 0), (Cell{U'a', 0, 0, 0}));
  EXPECT_EQ(g.at(1, 0), (Cell{U'b', 0, platform::tui::colour::basic(1), attr::bold}));
  EXPECT_EQ(g.at(2, 0), (Cell{U'c', 0, platform::tui::colour::palette(200), 0}));
  EXPECT_EQ(g.at(3, 0).ch, U'd');
  EXPECT_EQ(g.at(4, 0), (Cell{U'e', 0, 0, 0}));
  EXPECT_EQ(g.at(5, 0).ch, 0u);
  // Without the flag the ESC is a character like any other.
  draw_text(g, U"\x1b[1mx", 0, 0, g.bounds(), {});
  EXPECT_EQ(g.at(1, 0).ch, U'[');
}

TEST(Grid, HintIsDimAndClipStaysInside) {
  Grid g;
  g.resize(6, 2);
  Face f;
  f.x = 4;
  f.y = 1;
  f.width = 5;  // passes the grid's edge
  f.height = 3;
  f.hint = U"hint";
  render_face(g, f, 0);
  EXPECT_EQ(g.at(4, 1), (Cell{U'h', 0, 0, attr::dim}));
  EXPECT_EQ(g.at(5, 1).ch, U'i');
  EXPECT_EQ(g.at(3, 1).ch, 0u);
  EXPECT_EQ(g.at(4, 0).ch, 0u);
  // Smaller again: the memory is kept, the cells cleared.
  g.resize(2, 1);
  EXPECT_EQ(g.at(1, 0).ch, 0u);
}

TEST(Grid, Metrics) {
  const std::u32string_view text = U"abcd\nef";
  struct Case { int index; bool after; int x, y; };
  const Case carets[] = {{1, false, 0, 0}, {3, false, 2, 0}, {3, true, 3, 1},
                         {6, false, 0, 2}, {7, false, 1, 2}, {99, false, 2, 2}};
  for (const Case& c : carets) {
    const CaretPoint p = caret_point(text, 3, c.index, c.after);
    EXPECT_EQ(p.x, c.x) << c.index;
    EXPECT_EQ(p.y, c.y) << c.index;
  }
  // Width 3: "abc" / "d" / "ef".
  EXPECT_EQ(index_at(text, 3, 1, 0, false), 2);
  EXPECT_EQ(index_at(text, 3, 5, 1, false), 5);
  EXPECT_EQ(index_at(text, 3, 9, 2, false), 8);
  EXPECT_EQ(index_at(text, 3, 9, 2, true), 7);
  const Extent e = measure_text(U"ab\u4e2d\nx", 0);
  EXPECT_EQ(e.cols, 4);
  EXPECT_EQ(e.lines, 2);
}

}  // namespace
}  // namespace xeb

namespace xeb {
namespace {

using namespace gui;

std::vector<std::optional<GuiKey>> keys_of(std::string_view bytes) {
  platform::KeyDecoder dec;
  dec.feed({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  std::vector<std::optional<GuiKey>> out;
  while (auto k = dec.next(true)) out.push_back(gui_key(*k));
  return out;
}

TEST(GuiKeys, Table) {
  using K = std::optional<GuiKey>;
  const K sp_home{GuiKey{keycode::home, keyflag::special}}, sp_end{GuiKey{keycode::end, keyflag::special}};
  struct Case { std::string_view in; std::vector<K> want; };
  const Case table[] = {
      {"\x1b", {GuiKey{27, 0}}},
      {"\x1b[A", {GuiKey{keycode::up, keyflag::special}}},
      {"\x1bOD", {GuiKey{keycode::left, keyflag::special}}},
      {"\x08\x0a", {GuiKey{127, 0}, GuiKey{13, 0}}},
      {"\x1b[1~\x1b[H\x1b[4~\x1b[F", {sp_home, sp_home, sp_end, sp_end}},
      {"\x1b[2~", {GuiKey{keycode::insert, keyflag::special}}},
      {"\x1b[3~", {GuiKey{keycode::del, keyflag::special}}},
      {"\x1bOS\x1b[24~", {GuiKey{-34, 1}, GuiKey{-42, 1}}},
      {"\x1b[Z", {GuiKey{9, keyflag::shift}}},
      {"\x1b[1;5A", {std::nullopt}},
      {"\x1bx", {std::nullopt}},  // ESC and a letter: nothing sent
      {"\xe4\xb8\xad", {GuiKey{0x4E2D, 0}}},
  };
  for (const Case& c : table) EXPECT_EQ(keys_of(c.in), c.want) << testing::PrintToString(std::string(c.in));
}

TEST(GuiKeys, MouseReports) {
  auto mouse = [](int b, int x, int y, bool release) {
    platform::Key k;
    k.kind = platform::KeyKind::mouse;
    k.a = b, k.b = x, k.c = y, k.release = release;
    return k;
  };
  MouseState m;
  EXPECT_EQ(m.event(mouse(0, 5, 4, false), 2), (PointerEvent{Pointer::down, 4, 1, 0, 0}));
  EXPECT_EQ(m.event(mouse(32, 6, 4, false), 2), (PointerEvent{Pointer::motion, 5, 1, drag_flag, 0}));
  EXPECT_EQ(m.event(mouse(0, 6, 4, true), 2), (PointerEvent{Pointer::up, 5, 1, 0, 0}));
  // A release after a release: a drag, as no press came between.
  EXPECT_EQ(m.event(mouse(0, 6, 4, true), 2)->flags, drag_flag);
  EXPECT_EQ(m.event(mouse(2 | 4 | 16, 1, 1, false), 0),
            (PointerEvent{Pointer::alt_down, 0, 0, keyflag::shift | keyflag::control, 0}));
  EXPECT_EQ(m.event(mouse(35, 1, 1, false), 0)->type, Pointer::motion);
  EXPECT_EQ(m.event(mouse(64, 1, 1, false), 0)->delta, 1);
  EXPECT_EQ(m.event(mouse(65, 1, 1, false), 0)->delta, -1);
}

}  // namespace
}  // namespace xeb
