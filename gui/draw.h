// The draw dialect on the character grid: a block of commands, each a word
// and its arguments, checked in full; box, line, triangle, circle, ellipse
// and text change cells, coloured by pen, fill-pen and font, and every other
// command is checked and draws nothing. Also the rich-text style list: the
// runs of a rich-text face applied to its styled cells.
#pragma once
#include <cstdint>
#include <span>

#include "gui/draw_grid.h"
#include "runtime/cell.h"

namespace xeb::gui::draw {

using Value = ::xeb::Cell;  // a language value (gui::Cell is a grid cell)

struct State : Pen {
  uint32_t text_colour = 0;
  bool font_colour_set = false;
  uint32_t text_style = 0;  // attribute bits of text
};

// Draw begin: the pen on in the default colour, the fill off, no font
// colour; origin and area in absolute cells.
State begin(int origin_x, int origin_y, Rect area);

// How a run meets invalid input: raise draw-invalid or draw-infinite with
// the commands block at the failing value, or stop there (what was drawn
// stays). Raising callers stop instead while system/view/silent? is true.
enum class OnError { raise, stop };

// Runs the commands (anything but a block does nothing); answers false when
// the run stopped at invalid input.
bool run(Surface g, State& st, const Value& cmds, OnError on_error);

// The rich-text style list over cells, one per character of the text:
// ranges count characters (from 1), whatever their plane.
bool apply_styles(std::span<Cell> cells, const Value& styles, OnError on_error);

// The draw block of a face at (x, y), clipped: invalid input stops it.
void face_block(Grid& g, const Value& cmds, int x, int y, Rect clip);
// A draw block run on an image (rooted), one pixel per cell: checked in full
// (errors raised), the cells it changes written into the pixels, and the
// change signalled to the image's owner as a poke of the whole image.
void image_block(Value* img, const Value& cmds);

}  // namespace xeb::gui::draw
