// The shapes the draw dialect puts on the character grid: boxes of
// box-drawing characters, lines, triangles and ellipses of full blocks, and
// fills of spaces in a background colour. Coordinates are cells relative to
// the pen's origin; nothing is written outside the area or the grid.
#pragma once
#include <cstdint>

#include "gui/cell_grid.h"

namespace xeb::gui::draw {

struct Pen {
  int origin_x = 0, origin_y = 0;
  Rect area;  // absolute cells, right and bottom exclusive
  bool pen_on = true, fill_on = false;
  uint32_t pen = 0, fill = 0;  // colour words
};

// Cells in reach: inside both the area and the grid.
Rect reach(const Grid& g, const Pen& p);

void box(Grid& g, const Pen& p, int ax, int ay, int bx, int by);
// Full blocks from one point to the other, in the pen colour even while the
// pen is off; the walk stops where it leaves the reach.
void segment(Grid& g, const Pen& p, int x0, int y0, int x1, int y1);
void triangle(Grid& g, const Pen& p, const int (&xs)[3], const int (&ys)[3]);
// Horizontal radius a, vertical radius b, round (cx, cy).
void ellipse(Grid& g, const Pen& p, int cx, int cy, int a, int b);

}  // namespace xeb::gui::draw
