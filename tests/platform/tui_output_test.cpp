// The text GUI's terminal output through a fake terminal: colour words and
// their approximation, the mode strings, printing while the GUI is shown,
// and a late cursor report kept from the next reader.
#include <gtest/gtest.h>

#include "platform/terminal_mode.h"
#include "platform/tui_output.h"
#include "tests/support/fake_terminal.h"

namespace xeb {
namespace {

using namespace platform::tui;

uint32_t rgba(unsigned r, unsigned g, unsigned b, unsigned a = 0) {
  return r | (g << 8) | (b << 16) | (a << 24);
}

TEST(TuiColour, Approximation) {
  struct Case { uint32_t in, want; };
  const Case table[] = {
      {rgba(255, 0, 0), colour::palette(196)},
      {rgba(128, 128, 128), colour::palette(244)},
      {rgba(0, 0, 0), colour::palette(16)},
      {rgba(255, 255, 255), colour::palette(231)},
      {rgba(238, 238, 238), colour::palette(255)},
      {rgba(0, 95, 135), colour::palette(24)},
      {rgba(1, 2, 3, 255), colour::none},
  };
  for (const Case& c : table) EXPECT_EQ(approximate_256(c.in), c.want) << std::hex << c.in;
}

TEST(TuiColour, Parameters) {
  struct Case { uint32_t word; const char* fg; const char* bg; };
  const Case table[] = {
      {colour::none, "39", "49"},
      {colour::basic(0), "30", "40"},
      {colour::basic(8), "0", "0"},
      {colour::basic(9), "39", "49"},
      {colour::basic(16), "96", "106"},
      {colour::basic(17), "97", "107"},
      {colour::basic(18), "0", "0"},
      {colour::palette(196), "38;5;196", "48;5;196"},
      {colour::rgb(1, 2, 3), "38;2;1;2;3", "48;2;1;2;3"},
      {7u << 24, "0", "0"},
  };
  for (const Case& c : table) {
    std::string f, b;
    append_colour_param(f, c.word, true);
    append_colour_param(b, c.word, false);
    EXPECT_EQ(f, c.fg);
    EXPECT_EQ(b, c.bg);
  }
}

TEST(TuiColour, SgrChangeKeepsBoldWhenDimGoes) {
  std::string out;
  append_sgr_change(out, {0, 0, attr::bold | attr::dim}, {0, 0, attr::bold});
  EXPECT_EQ(out, "\x1b[22m\x1b[1m");
  out.clear();
  append_sgr_change(out, {}, {colour::basic(1), colour::palette(9), attr::reverse | attr::underline});
  EXPECT_EQ(out, "\x1b[7m\x1b[4m\x1b[38;5;9m\x1b[41m");
  out.clear();
  append_sgr_change(out, {1, 2, 3}, {1, 2, 3});
  EXPECT_EQ(out, "");
}

TEST(TuiColour, Level) {
  struct Case { const char* colorterm; const char* term; ColourLevel want; };
  const Case table[] = {
      {nullptr, nullptr, ColourLevel::c256},
      {nullptr, "xterm-256color", ColourLevel::c256},
      {"truecolor", "xterm-256color", ColourLevel::true_colour},
      {"24bit", nullptr, ColourLevel::true_colour},
      {nullptr, "xterm-direct", ColourLevel::true_colour},
      {"truecolor", "linux", ColourLevel::c256},
      {"truecolor", "dumb", ColourLevel::c256},
  };
  for (const Case& c : table) EXPECT_EQ(colour_level(c.colorterm, c.term), c.want);
}

uint32_t modes_seen = 0;
int raw_entered = 0;
platform::tui::Owner fake_owner() {
  return {[] { return ++raw_entered > 0; }, [] { --raw_entered; }, [](uint32_t m) { modes_seen = m; }};
}

TEST(TuiSession, ModeStrings) {
  test::FakeTerminal f;
  f.cols = 100;
  Session s(f.io(), fake_owner());
  EXPECT_FALSE(s.enter(false, false));
  EXPECT_EQ(f.written, "");
  ASSERT_TRUE(s.enter(true, false));
  EXPECT_EQ(raw_entered, 1);
  EXPECT_EQ(s.cols, 100);
  EXPECT_EQ(f.written, "\x1b[6n");
  f.written.clear();
  s.mouse(true);
  EXPECT_EQ(f.written, "\x1b[?1000h\x1b[?1003h\x1b[?1015h\x1b[?1006h");
  s.mouse(true);  // already on: nothing
  EXPECT_EQ(f.written, "\x1b[?1000h\x1b[?1003h\x1b[?1015h\x1b[?1006h");
  f.written.clear();
  s.alternate_screen(true);
  EXPECT_EQ(f.written, "\x1b[?1049h\x1b[2J");
  f.written.clear();
  s.show_cursor(false);
  s.show_cursor(false);
  EXPECT_EQ(f.written, "\x1b[?25l");
  EXPECT_NE(modes_seen & platform::terminal_mode::mouse_reporting, 0u);
  EXPECT_NE(modes_seen & platform::terminal_mode::alternate_screen, 0u);
  f.written.clear();
  s.cursor_report(3, 1);  // the reply to the first request
  EXPECT_EQ(s.top_row, 2);
  EXPECT_EQ(s.leave(), "");
  EXPECT_EQ(f.written,
            "\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l\x1b[?25h\x1b[?1049l\x1b[0m");
  EXPECT_EQ(modes_seen, 0u);
  EXPECT_EQ(raw_entered, 0);
}

TEST(TuiSession, PrintWhileShownErasesAndAsksAgain) {
  test::FakeTerminal f;
  Session s(f.io(), fake_owner());
  s.suspend();  // not shown: nothing
  EXPECT_EQ(f.written, "");
  s.enter(true, true);  // fullscreen: no position request
  EXPECT_EQ(f.written, "");
  s.suspend();  // nothing drawn yet, still erased
  EXPECT_EQ(f.written, "\r\x1b[0J\x1b[0m");
  f.written.clear();
  s.lines_below_top = 4;
  s.drawn = true;
  static int flushed = 0;
  s.suspend([] { flushed++; });
  s.resume();
  EXPECT_EQ(f.written, "\r\x1b[4A\x1b[0J\x1b[0m\x1b[6n");
  EXPECT_EQ(flushed, 1);
  EXPECT_TRUE(s.redraw_pending);
  EXPECT_FALSE(s.drawn);
  s.leave(0);
}

TEST(TuiSession, LateCursorReportNeverReachesTheNextReader) {
  test::FakeTerminal f;
  f.chunks = {"a\x1b[12", ";40Rb"};
  Session s(f.io(), fake_owner());
  s.enter(true, false);
  EXPECT_EQ(s.reports_owed(), 1);
  EXPECT_EQ(s.leave(), "ab");
  EXPECT_EQ(s.reports_owed(), 0);
  // No reply at all: waited for a while, then given up.
  test::FakeTerminal g;
  Session t(g.io(), fake_owner());
  t.enter(true, false);
  EXPECT_EQ(t.leave(150), "");
  EXPECT_GE(g.now, 150);
}

TEST(TuiSession, StripReports) {
  std::string s = "x\x1b[1;2Ry\x1b[Az\x1b[;R\x1b[3;4";
  EXPECT_EQ(strip_cursor_reports(s), 1);
  EXPECT_EQ(s, "xy\x1b[Az\x1b[;R\x1b[3;4");
}

}  // namespace
}  // namespace xeb
