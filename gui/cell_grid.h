// The character grid the text GUI paints into: cells with colours and
// attributes, text laid out with alignment, wrapping and clipping (escape
// sequences inside texts change the look), the face renderer over a plain
// description of a face, text metrics, and the frame written in one piece.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tui_output.h"

namespace xeb::gui {

namespace attr = platform::tui::attr;

// Style flags beyond the attribute bits.
namespace style {
constexpr uint32_t escapes = 0x1000, no_text = 0x2000;
}
// Paragraph flags.
namespace para {
constexpr uint32_t right = 1, center = 2, middle = 4, bottom = 8, wrap = 0x20;
}

struct Cell {
  char32_t ch = 0;  // 0 shows as a space
  uint32_t bg = 0, fg = 0, attrs = 0;
  char32_t mark = 0;  // one combining mark on ch, 0 when none
  bool operator==(const Cell&) const = default;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool empty() const { return right <= left || bottom <= top; }
};

class Grid {
 public:
  // Memory grows only; a smaller size reuses it. Clears every cell.
  void resize(int width, int height);
  void clear();
  int width() const { return w_; }
  int height() const { return h_; }
  Rect bounds() const { return {0, 0, w_, h_}; }
  Cell& at(int x, int y) { return cells_[static_cast<size_t>(y) * w_ + x]; }
  const Cell& at(int x, int y) const { return cells_[static_cast<size_t>(y) * w_ + x]; }
  // A space with background bg in each cell of r (clipped to the grid);
  // foreground and attributes stay.
  void fill(Rect r, uint32_t bg);

 private:
  std::vector<Cell> cells_;
  int w_ = 0, h_ = 0;
};

struct TextLook {
  uint32_t flags = 0;  // attribute bits and style flags
  uint32_t para = 0;
  uint32_t fg = 0;
};

// Lays text (or styled cells, each keeping its own look plus the flags)
// from (x, y) into the grid inside clip.
void draw_text(Grid& g, std::u32string_view text, int x, int y, Rect clip, const TextLook& look);
void draw_cells(Grid& g, std::span<const Cell> cells, int x, int y, Rect clip, const TextLook& look);

// Lines and widest line of text laid out in width (<= 0: unlimited), a
// line breaking where a character would pass the width.
struct Extent {
  int cols = 0, lines = 0;
};
Extent measure_text(std::u32string_view text, int width);

// A face as the renderer needs it, filled by the layer that owns faces.
struct Face {
  int x = 0, y = 0, width = 0, height = 0;   // absolute cell position and size
  std::optional<Rect> parent;                // clip of a parent that is not the window
  std::optional<uint32_t> colour, font_colour;  // RGBA words
  uint32_t para = 0;
  std::u32string text;
  std::span<const Cell> rich;    // styled cells instead of text, when not empty
  std::u32string hint;           // shown dim when the text is empty
  std::span<const Cell> image;   // image cells, drawn first
};
void render_face(Grid& g, const Face& f, uint32_t style_flags);

// The whole frame: placed at the top in fullscreen, else over the area drawn
// last; the caret (column, row) placed when shown. Answers the bytes and
// sets lines_below_top to where the cursor is left.
struct FramePlace {
  bool fullscreen = false;
  int lines_below_top = 0;
  std::optional<std::pair<int, int>> caret;
};
void append_frame(std::string& out, const Grid& g, FramePlace& place);

// Render into the session: cursor hidden unless a caret shows, the frame,
// one write; the drawn flag set and the redraw-pending flag cleared.
void flush_frame(platform::tui::Session& s, const Grid& g, std::optional<std::pair<int, int>> caret);

// Text metrics with one cell per character and lines of height 1; width <=
// 0 is unlimited.
struct CaretPoint {
  int x = 0, y = 0;
};
CaretPoint caret_point(std::u32string_view text, int width, int index, bool after);
int index_at(std::u32string_view text, int width, int px, int py, bool before_end);

}  // namespace xeb::gui
