// The draw dialect on the character grid, with the library booted: shapes
// put their characters and colours in the cells, a block of every command
// renders as a golden grid, invalid input is reported where it is, and the
// rich-text style list lands on the characters it names. Errors through
// draw are cases of tests/language/gui_draw.txt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/word.h"
#include "gui/draw.h"
#include "gui/event_loop.h"
#include "gui/kinds.h"
#include "gui/widget.h"
#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "runtime/stack.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "start/start.h"
#include "tests/language/booted_cases.h"

namespace xeb::test {
namespace {

using gui::Grid;
using Value = ::xeb::Cell;
namespace draw = gui::draw;
namespace attr = gui::attr;

class Draw : public BootedCases {
 protected:
  static draw::Value global(const char* name) { return *context::get(word::load(name)); }

  // The block in cmds drawn on a w x h grid (origin ox, oy; area the grid).
  Grid drawn(const std::string& cmds, int w, int h, int ox = 0, int oy = 0) {
    run("cmds: [" + cmds + "]");
    Grid g;
    g.resize(w, h);
    draw::State st = draw::begin(ox, oy, g.bounds());
    draw::run(g, st, global("cmds"), draw::OnError::raise);
    return g;
  }
  // make-view as show does it: the handle in a new state block.
  static gui::Widget* show(const char* name, gui::Widget* parent) {
    gui::Widget* w = gui::make_view(global(name), parent);
    Value h = gui::handle_of(w);
    Value* b = block::push_only(4);
    block::xs_append(b, &h);
    Value zero = integer::make_cell(0);
    block::xs_append(b, &zero);
    gui::set_quiet(global(name), gui::F::state, *b);
    stack::pop(1);
    return w;
  }
  // Each row as text, an empty cell as ".".
  static std::vector<std::u32string> rows(const Grid& g) {
    std::vector<std::u32string> out;
    for (int y = 0; y < g.height(); y++) {
      std::u32string row;
      for (int x = 0; x < g.width(); x++) row += g.at(x, y).ch ? g.at(x, y).ch : U'.';
      out.push_back(row);
    }
    return out;
  }
};

constexpr uint32_t kRed = 0x020000C4;   // 255.0.0 in the 256-colour palette
constexpr uint32_t kBlue = 0x02000015;  // 0.0.255

TEST_F(Draw, BoxCornersEdgesAndFill) {
  // Reversed corners and truncated points draw the same box.
  for (const char* cmds : {"box 2x1 6x3", "box 6x3 2x1", "box 2.9x1.2 6x3"}) {
    Grid g = drawn(cmds, 8, 5);
    EXPECT_EQ(rows(g), (std::vector<std::u32string>{U"........", U"..┌───┐.", U"..│...│.", U"..└───┘.", U"........"}))
        << cmds;
  }
  Grid g = drawn("pen 255.0.0 fill-pen 0.0.255 box 1x1 3x3 pen off fill-pen 255.0.0 box 5x0 6x1", 8, 4);
  EXPECT_EQ(rows(g), (std::vector<std::u32string>{U".....  .", U".┌─┐.  .", U".│ │....", U".└─┘...."}));
  EXPECT_EQ(g.at(1, 1).fg, kRed);
  EXPECT_EQ(g.at(1, 1).bg, kBlue);
  EXPECT_EQ(g.at(2, 2).bg, kBlue);
  EXPECT_EQ(g.at(5, 1).bg, kRed);
  // Relative to the origin, cut at the grid's edge.
  EXPECT_EQ(rows(drawn("box 0x0 9x1", 6, 3, 2, 1)),
            (std::vector<std::u32string>{U"......", U"..┌───", U"..└───"}));
}

TEST_F(Draw, LinesTrianglesCirclesEllipses) {
  EXPECT_EQ(rows(drawn("line 0x0 3x0", 5, 1))[0], U"████.");
  // A line toward a point beyond the grid stops at the edge; one point draws nothing.
  EXPECT_EQ(rows(drawn("line 0x1 9x1 line 2x0", 4, 2)), (std::vector<std::u32string>{U"....", U"████"}));
  // The pen off still draws lines; the origin moves them.
  EXPECT_EQ(rows(drawn("pen off line 0x0 1x1", 4, 3, 1, 1)),
            (std::vector<std::u32string>{U"....", U".█..", U"..█."}));
  EXPECT_EQ(rows(drawn("circle 5x2 2", 11, 5)),
            (std::vector<std::u32string>{U"...█████...", U"..█.....█..", U".█.......█.", U"..█.....█..",
                                         U"...█████..."}));
  // Radius 2.7 acts as 2; 0 or less draws nothing; a flat ellipse draws nothing.
  EXPECT_EQ(rows(drawn("circle 5x2 2.7", 11, 5)), rows(drawn("circle 5x2 2", 11, 5)));
  EXPECT_EQ(rows(drawn("circle 5x2 0 circle 5x2 -1 ellipse 1x1 0x3", 11, 5)), rows(drawn("", 11, 5)));
  EXPECT_EQ(rows(drawn("fill-pen 0.0.255 pen off ellipse 0x0 6x2", 8, 3)),
            (std::vector<std::u32string>{U"..   ...", U".     ..", U"..   ..."}));
  EXPECT_EQ(rows(drawn("fill-pen 0.0.255 triangle 0x0 6x3 0x3", 8, 4)),
            (std::vector<std::u32string>{U"█.......", U"███.....", U"█  ██...", U"███████."}));
}

TEST_F(Draw, EveryCommandRendersTheGoldenGrid) {
  run("img: make image! 2x2 fnt: make object! [color: 0.255.255]");
  Grid g = drawn(
      "pen 255.0.0 box 0x0 7x3 "
      "fill-pen 0.0.255 box 9x0 13x3 fill-pen off "
      "pen 0.255.0 line 0x5 3x5 line 5x5 7x7 9x5 "
      "triangle 11x5 15x8 19x5 "
      "circle 25x5 2 ellipse 30x0 8x4 "
      "text 1x1 \"draw\" font fnt text 1x9 \"font\" "
      "polygon 1x1 2x2 3x3 arc 1x1 2x2 0 90 closed curve 1x1 2x2 3x3 spline 1x1 2x2 closed "
      "image img 1x1 2x2 0.0.0 border crop 0x0 1x1 shadow 1x1 2 3 0.0.0 inset shadow off "
      "clip 0x0 9x9 [pen 255.255.0] clip [move 1x1 'line 2x2 hline 3 vline 4 arc 5x5 1 1 0 sweep large "
      "curve 1x1 2x2 3x3 qcurv 1x1 close] intersect "
      "shape [move 0x0 [line 1x1 2x2] close] "
      "rotate 'pen 30 1x1 [line 20x9 22x9] scale 2 50% [] translate 1x1 [] skew 1 2 [] "
      "transform 1x1 30 1 1 2x2 [] push [fill-pen 0.0.255] box 24x8 26x9 "
      "matrix [1 0 0 1 0 0] reset-matrix invert-matrix 'pen anti-alias off line-width 2 line-join round "
      "line-cap flat line-pattern 1 2 line-pattern "
      "pen linear 255.0.0 0.0.255 0.5 0x0 10x10 pad fill-pen radial 255.0.0 0.0 0.0.255 1.0 5x5 3 "
      "pen diamond 255.0.0 0.0.255 0x0 1x1 pen linear 0x0 0 10 255.0.0 0.0.255 "
      "pen pattern 2x2 tile [box 0x0 1x1] pen bitmap img 0x0 1x1 tile fill-pen off",
      40, 10);
  EXPECT_EQ(rows(g), (std::vector<std::u32string>{
                         U"┌──────┐.┌───┐..................█████...",
                         U"│draw..│.│   │.................█.....█..",
                         U"│......│.│   │................█.......█.",
                         U"└──────┘.└───┘.........█████...█.....█..",
                         U"......................█.....█...█████...",
                         U"████.█...█.█████████.█.......█..........",
                         U"......█.█...██....█...█.....█...........",
                         U".......█......█.██.....█████............",
                         U"...............█........┌─┐.............",
                         U".font...............███.└─┘.............",
                     }));
  EXPECT_EQ(g.at(1, 9).fg, 0x02000033u);  // the font's colour, 0.255.255
  EXPECT_EQ(g.at(25, 9).bg, kBlue);       // a fill set inside push stays
}

TEST_F(Draw, SilentStopsWhereInputFails) {
  run("system/view/silent?: true");
  Grid g = drawn("line 0x0 1x0 frob line 0x1 1x1", 3, 2);
  run("system/view/silent?: false");
  EXPECT_EQ(rows(g), (std::vector<std::u32string>{U"██.", U"..."}));
}

TEST_F(Draw, RichTextStylesCountCharacters) {
  std::vector<gui::Cell> cells(6);
  run("st: [1x2 bold 255.0.0 3x2 italic backdrop 0.0.255 4x9 underline 0.0.0 'dashed strike \"Mono\" 12 12.5]");
  ASSERT_TRUE(draw::apply_styles(cells, global("st"), draw::OnError::raise));
  const uint32_t want[] = {attr::bold, attr::bold, attr::italic, attr::italic | attr::underline | attr::strike,
                           attr::underline | attr::strike, attr::underline | attr::strike};
  for (int i = 0; i < 6; i++) EXPECT_EQ(cells[i].attrs, want[i]) << i;
  EXPECT_EQ(cells[1].fg, kRed);
  EXPECT_EQ(cells[2].fg, 0u);
  EXPECT_EQ(cells[3].bg, kBlue);
  // After a character beyond the basic plane the run still starts where it
  // says: one cell a character.
  run("st: second rtd-layout/only [\"\U0001F600a\" b \"bc\" /b]");
  EXPECT_EQ(run("st"), "[\n    3x2 bold\n]");
  std::vector<gui::Cell> four(4);
  ASSERT_TRUE(draw::apply_styles(four, global("st"), draw::OnError::raise));
  EXPECT_EQ(four[1].attrs, 0u);
  EXPECT_EQ(four[2].attrs, attr::bold);
  EXPECT_EQ(four[3].attrs, attr::bold);
  run("st: [1x2 bold frob]");
  EXPECT_EQ(error_code_of([&] { draw::apply_styles(four, global("st"), draw::OnError::raise); }),
            static_cast<int32_t>(Err::draw_invalid));
  EXPECT_FALSE(draw::apply_styles(four, global("st"), draw::OnError::stop));
}

// Shown faces: a draw block inside its face (its coordinates from the
// face's corner, cut at its edges) and rich text whose runs count
// characters, a wide one before them included.
TEST_F(Draw, FacesDrawTheirBlocksAndRichText) {
  run("mk: func [t o s] [make object! [type: t offset: o size: s text: none image: color: menu: data: none"
      " enabled?: true visible?: true selected: flags: options: parent: pane: state: rate: edge: para: font:"
      " actors: extra: draw: none]]"
      " win: mk 'window 0x0 12x5 b: mk 'base 2x1 5x3 b/draw: [line 0x0 9x0 box 0x1 4x2]"
      " r: mk 'rich-text 0x4 6x1 r/text: \"\U0001F600abcd\" r/data: [2x2 bold] win/pane: reduce [b r]");
  gui::Widget* win = show("win", nullptr);
  gui::Widget* b = show("b", win);
  gui::Widget* r = show("r", win);
  gui::grid().resize(12, 5);
  gui::on_draw(b, 2, 1);
  gui::on_draw(r, 0, 4);
  EXPECT_EQ(rows(gui::grid()), (std::vector<std::u32string>{U"............", U"..█████.....", U"..┌───┐.....",
                                                           U"..└───┘.....", U"\U0001F600.abcd......"}));
  const Grid& g = gui::grid();
  EXPECT_EQ(g.at(2, 4).attrs & attr::bold, attr::bold);
  EXPECT_EQ(g.at(3, 4).attrs & attr::bold, attr::bold);
  EXPECT_EQ(g.at(4, 4).attrs & attr::bold, 0u);
  gui::destroy_view(global("win"), false);
}

}  // namespace
}  // namespace xeb::test
