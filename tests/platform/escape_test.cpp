// The escape interpreter on a recording console: attributes, cursor moves,
// erasing, the screen-buffer report and malformed sequences.
#include <string>

#include "platform/ansi_escape.h"
#include "tests/platform/console_fixture.h"

namespace xeb::test {
namespace {

using platform::RecordingConsole;

struct AttrCase {
  const char* seq;
  uint16_t before, after;
};

TEST_F(OnConsole, SgrSequencesSetTheAttribute) {
  const AttrCase cases[] = {
      {"\x1b[31m", 0x07, 0x04},        // colour bits reversed: red is 4
      {"\x1b[31m", 0x1F, 0x1C},        // keeps intensity and background
      {"\x1b[31m", 0x8007, 0x04},      // drops the underscore
      {"\x1b[40m", 0xF7, 0x87},        // keeps background intensity
      {"\x1b[1;31;42m", 0x07, 0xAC},   // a longer list, a pair at a time
      {"\x1b[1;31;42m", 0x8F51, 0xAC},
      {"\x1b[0;1;33;44m", 0x4E, 0x9E},
      {"\x1b[7m", 0x8017, 0x71},       // swap drops the underscore
      {"\x1b[0m", 0x4E, 0x07},         // the default attribute
      {"\x1b[1m", 0x07, 0x8F},
      {"\x1b[4m", 0x07, 0x8007},
      {"\x1b[39m", 0x07, 0x0F},
      {"\x1b[49m", 0x07, 0x87},
      {"\x1b[99m", 0x12, 0x12},
      {"\x1b[;31m", 0x07, 0x04},       // empty parameters are skipped
      {"\x1b[1;;31m", 0x07, 0x8C},
      {"\x1b[1;31;m", 0x07, 0x07},     // trailing semicolon: nothing
      {"\x1b[m", 0x12, 0x12},
      {"\x1b[65566m", 0x07, 0x04},     // parameters wrap at 65,535: 31
  };
  for (const AttrCase& c : cases) {
    con.attr = c.before;
    show(c.seq);
    EXPECT_EQ(con.attr, c.after) << c.seq + 1 << " on " << std::hex << c.before;
  }
  EXPECT_TRUE(con.text.empty());  // no sequence printed anything
}

TEST_F(OnConsole, ColourAppliesToFollowingText) {
  show("A\x1b[31mB");
  EXPECT_EQ(con.row_text(0).substr(0, 3), "AB ");
  EXPECT_EQ(con.attr_at(0, 0), 0x07);
  EXPECT_EQ(con.attr_at(1, 0), 0x04);
}

struct MoveCase {
  const char* seq;
  int col, row;  // afterwards, from column 10, row 10
};

TEST_F(OnConsole, CursorSequencesMoveWithinTheBuffer) {
  const MoveCase cases[] = {
      {"\x1b[2;5H", 2, 5},  // column first, from 0
      {"\x1b[1;2f", 1, 2},  {"\x1b[H", 0, 0},     {"\x1b[5H", 10, 10},
      {"\x1b[3A", 10, 7},   {"\x1b[30A", 10, 0},  {"\x1b[A", 10, 10},
      {"\x1b[4B", 10, 14},  {"\x1b[100B", 10, 24},
      {"\x1b[5C", 15, 10},  {"\x1b[200C", 79, 10},
      {"\x1b[3D", 7, 10},   {"\x1b[20D", 0, 10},
      {"\x1b[5;100H", 10, 10},  // outside the buffer: refused
      {"\x1b[65536C", 11, 10},
      {"\x1b[s\x1b[0;0H\x1b[u", 10, 10},
  };
  for (const MoveCase& c : cases) {
    con.col = con.row = 10;
    show(c.seq);
    EXPECT_EQ(con.col, c.col) << c.seq + 1;
    EXPECT_EQ(con.row, c.row) << c.seq + 1;
  }
}

struct EraseCase {
  const char* seq;
  size_t first, count;  // cleared cells, row after row
  int col, row;         // cursor afterwards, from column 5, row 3
};

TEST_F(OnConsole, EraseKindsClearTheirCellsWithTheDefaultAttribute) {
  const EraseCase cases[] = {
      {"\x1b[J", 3 * 80, 22 * 80, 5, 3},  // from the start of the cursor's row
      {"\x1b[0J", 0, 0, 5, 3},
      {"\x1b[1J", 0, 3 * 80, 5, 3},       // rows above the cursor
      {"\x1b[2J", 0, 25 * 80, 0, 0},
      {"\x1b[3J", 0, 0, 5, 3},
      {"\x1b[K", 3 * 80 + 5, 75, 5, 3},
      {"\x1b[2K", 3 * 80, 80, 0, 3},
      {"\x1b[1K", 3 * 80, 5, 0, 3},
  };
  for (const EraseCase& c : cases) {
    std::fill(con.chars.begin(), con.chars.end(), u'x');
    std::fill(con.attrs.begin(), con.attrs.end(), 0x1F);
    con.attr = 0x1F;
    con.col = 5;
    con.row = 3;
    show(c.seq);
    for (size_t i = 0; i < con.chars.size(); ++i) {
      const bool cleared = i >= c.first && i < c.first + c.count;
      ASSERT_EQ(con.chars[i], cleared ? u' ' : u'x') << c.seq + 1 << " cell " << i;
      ASSERT_EQ(con.attrs[i], cleared ? 0x07 : 0x1F) << c.seq + 1 << " cell " << i;
    }
    EXPECT_EQ(con.col, c.col) << c.seq + 1;
    EXPECT_EQ(con.row, c.row) << c.seq + 1;
  }
}

std::string pieces;
void collect(const void* buf, size_t len, int) { pieces.append(static_cast<const char*>(buf), len); }

TEST_F(OnConsole, ReportPrintsSevenLinesThenTheRestAsText) {
  platform::set_output_observer(collect);
  pieces.clear();
  con.col = 4;
  con.row = 2;
  con.attr = 0x1E;
  show("\x1b[?25l");
  platform::set_output_observer(nullptr);
  const std::string report =
      "Screen buffer info:\n"
      "   size______ 80x25\n"
      "   cursor____ 4x2\n"
      "   attribute_ 0000001E 00000007\n"
      "   left______ 0 top: 0\n"
      "   right_____ 79 bottom: 24\n"
      "   max_______ 80x25\n";
  EXPECT_EQ(con.text, std::u16string(report.begin(), report.end()) + u"25l");
  EXPECT_EQ(pieces, report);  // the message printer hands each piece on
}

TEST_F(OnConsole, MalformedSequences) {
  show("ab\x1b[12");  // cut short: the rest is swallowed
  EXPECT_EQ(con.text, u"ab");
  con.text.clear();
  show("a\x1b" "b\x1b");  // no "[" after the ESC: printed
  EXPECT_EQ(con.text, u"a\x1b" u"b\x1b");
  con.text.clear();
  show("\x1b[5;Zq");  // an unlisted final character is consumed, no effect
  EXPECT_EQ(con.text, u"q");
}

TEST_F(OnConsole, WideTextIsInterpretedOnlyInTwoByteUnits) {
  platform::prin_ucs2(std::u16string_view(u"\x1b[31mZ"));
  EXPECT_EQ(con.text, u"Z");
  EXPECT_EQ(con.attr_at(0, 0), 0x04);

  // A wide character whose low byte is "[" does not open a sequence.
  con.text.clear();
  platform::prin_ucs2(std::u16string_view(u"\x1b\u015Bxy"));
  EXPECT_EQ(con.text, u"\x1b\u015Bxy");

  // Four-byte text is never interpreted.
  con.text.clear();
  platform::prin_ucs4(std::u32string_view(U"\x1b[32mQ"));
  EXPECT_EQ(con.text, u"\x1b[32mQ");
  EXPECT_EQ(con.attr, 0x04);
}

}  // namespace
}  // namespace xeb::test
