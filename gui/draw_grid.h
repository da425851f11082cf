// The shapes the draw dialect puts on a surface: boxes of box-drawing
// characters, lines, triangles and ellipses of full blocks, and fills of
// spaces in a background colour. Coordinates are cells relative to the
// pen's origin; nothing is written outside the area or the surface.
#pragma once
#include <cstdint>

#include "gui/cell_grid.h"

namespace xeb::gui::draw {

// Where shapes land: the cells of a grid (colours are colour words), or the
// pixels of an image, one pixel per cell (colours are RGBA words as tuples
// give them, R in the low byte and transparency on top): a pen cell takes
// its colour, a filled cell the fill colour. With neither, nothing is
// written: a run only checks its block.
struct Surface {
  Grid* grid = nullptr;
  uint32_t* pixels = nullptr;  // w × h, rows top to bottom

  Surface(Grid& g) : grid(&g) {}  // NOLINT: a grid is a surface
  Surface(uint32_t* px, int w, int h) : pixels(px), w_(w), h_(h) {}

  // A grid's size is read at each use: code run by a set-word may resize it.
  int width() const { return grid ? grid->width() : w_; }
  int height() const { return grid ? grid->height() : h_; }

  void pen(int x, int y, char32_t ch, uint32_t colour);
  void fill(int x, int y, uint32_t colour);

 private:
  int w_ = 0, h_ = 0;
};

// The pixel word (alpha on top, opaque 255) of an RGBA word.
constexpr uint32_t pixel_of(uint32_t rgba) {
  return (255 - (rgba >> 24)) << 24 | (rgba & 0xFF) << 16 | (rgba & 0xFF00) | ((rgba >> 16) & 0xFF);
}

struct Pen {
  int origin_x = 0, origin_y = 0;
  Rect area;  // absolute cells, right and bottom exclusive
  bool pen_on = true, fill_on = false;
  uint32_t pen = 0, fill = 0;  // colour words
};

// Cells in reach: inside both the area and the surface.
Rect reach(const Surface& s, const Pen& p);

void box(Surface& s, const Pen& p, int ax, int ay, int bx, int by);
// Full blocks from one point to the other, in the pen colour even while the
// pen is off; the walk stops where it leaves the reach.
void segment(Surface& s, const Pen& p, int x0, int y0, int x1, int y1);
void triangle(Surface& s, const Pen& p, const int (&xs)[3], const int (&ys)[3]);
// Horizontal radius a, vertical radius b, round (cx, cy).
void ellipse(Surface& s, const Pen& p, int cx, int cy, int a, int b);

}  // namespace xeb::gui::draw
