// The line editor through a fake terminal: what it answers for each way of
// ending a line, and what it writes for the edits that must stay cheap.
#include <gtest/gtest.h>

#include "console/line_editor.h"
#include "tests/support/fake_terminal.h"

namespace xeb::test {
namespace {

using console::EditEnd;

struct Edited {
  FakeTerminal term;
  console::EditResult result;
};

Edited edit(std::vector<std::string> chunks, std::vector<std::u32string> history = {}, int cols = 80) {
  Edited r;
  r.term.chunks = std::move(chunks);
  r.term.cols = cols;
  console::LineEditor ed(r.term.io());
  r.result = ed.edit(U">> ", false, history, 0, nullptr);
  return r;
}

TEST(LineEditor, EndsOfALine) {
  struct Case {
    std::vector<std::string> keys;
    EditEnd end;
    std::u32string line;
  };
  const Case cases[] = {
      {{"ab", "\r"}, EditEnd::accepted, U"ab"},
      {{"ab", "\x1b"}, EditEnd::escaped, U"ab\x1b"},   // Esc: the line ends in ESC, not kept
      {{"ab", "\x1b", "", "c\r"}, EditEnd::escaped, U"ab\x1b"},  // Esc, a pause, then more keys
      {{"ab", "\x03"}, EditEnd::quit, U""},             // Ctrl-C anywhere
      {{"\x04"}, EditEnd::quit, U""},                   // Ctrl-D on an empty line
      {{"ab", "\x1b[D", "\x04", "\r"}, EditEnd::accepted, U"a"},  // Ctrl-D deletes under the cursor
      {{"ab", "\x04", "\r"}, EditEnd::accepted, U"ab"},  // at the end: nothing
      {{"ab"}, EditEnd::closed, U""},                    // the input closed: no loop
      {{"\xe4\xb8\xad\xe6\x96\x87", "\x1b[D", "x\r"}, EditEnd::accepted, U"\u4e2dx\u6587"},
  };
  for (const Case& c : cases) {
    Edited r = edit(c.keys);
    EXPECT_EQ(r.result.end, c.end);
    EXPECT_EQ(r.result.line, c.line);
  }
}

// Alt keys come as ESC and the key's byte: Alt-b and Alt-f move by word as
// Ctrl-Left and Ctrl-Right do; any other Alt key does nothing, and none of
// them ends the line.
TEST(LineEditor, AltKeys) {
  struct Case {
    std::vector<std::string> keys;
    std::u32string line;
  };
  const Case cases[] = {
      {{"abc def", "\x1b" "b", "X\r"}, U"abc Xdef"},
      {{"abc def", "\x1b" "b", "\x1b" "b", "X\r"}, U"Xabc def"},
      {{"abc def", "\x1b" "bX\r"}, U"abc Xdef"},  // in one read with what follows
      {{"abc def", "\x1b[H", "\x1b" "f", "X\r"}, U"abcX def"},
      {{"abc def", "\x1b[1;5D", "X\r"}, U"abc Xdef"},  // Ctrl-Left, the same move
      {{"abc", "\x1b" "x", "\x1b\x7f", "\x1b.", "d\r"}, U"abcd"},
  };
  for (const Case& c : cases) {
    Edited r = edit(c.keys);
    EXPECT_EQ(r.result.end, EditEnd::accepted);
    EXPECT_EQ(r.result.line, c.line);
  }
}

TEST(LineEditor, HistoryRecall) {
  const std::vector<std::u32string> hist = {U"new", U"old"};
  struct Case {
    std::vector<std::string> keys;
    std::u32string line;
  };
  const Case cases[] = {
      {{"\x1b[A", "\r"}, U"new"},
      {{"\x1b[A", "\x1b[A", "\r"}, U"old"},
      {{"\x1b[A", "\x1b[A", "\x1b[B", "\r"}, U"new"},  // Up, Up, Down: the newest again
      {{"\x1b[A", "\x1b[B", "\r"}, U""},               // Down at the newest empties the line
      {{"\x1b[A", "\x1b[A", "\x1b[A", "\r"}, U""},     // Up past the oldest empties it
      {{"\x10", "\x10", "\x0e", "\r"}, U"new"},         // Ctrl-P, Ctrl-N
  };
  for (const Case& c : cases) EXPECT_EQ(edit(c.keys, hist).result.line, c.line);
}

TEST(LineEditor, CheapEdits) {
  // Typing at the end writes the character alone; Left and Right only move
  // the cursor; typing inside the line redraws it.
  Edited r = edit({"a", "b", "\x1b[D", "\x1b[C", "\x1b[D", "x", "\r"});
  EXPECT_EQ(r.term.written_after(0), "a");
  EXPECT_EQ(r.term.written_after(1), "b");
  EXPECT_EQ(r.term.written_after(2), "\r\x1b[4C");
  EXPECT_EQ(r.term.written_after(3), "\r\x1b[5C");
  EXPECT_NE(r.term.written_after(5).find(">> axb"), std::string::npos) << r.term.written_after(5);
  EXPECT_EQ(r.result.line, U"axb");
}

TEST(LineEditor, WideCharacterAtTheLastColumn) {
  // At 10 columns, ">> " and six letters fill nine cells: a wide character
  // starts the next row, the last cell of this one left blank, and the
  // cursor follows it there.
  Edited r = edit({"abcdef", "\xe4\xb8\xad", "\r"}, {}, 10);
  const std::string drawn = r.term.written_after(1);
  EXPECT_NE(drawn.find(">> abcdef \xe4\xb8\xad"), std::string::npos) << drawn;
  // The cursor sits after the wide character: row 1, column 2.
  EXPECT_TRUE(drawn.ends_with("\x1b[J\r\x1b[2C")) << testing::PrintToString(drawn);
}

}  // namespace
}  // namespace xeb::test
