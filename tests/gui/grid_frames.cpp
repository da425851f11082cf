// Renders a table of faces into frames and prints each as a line:
// name, width, height, the frame's bytes in hex. grid_test.py feeds them to
// a terminal emulator and checks the cells, colours and cursor.
#include <cstdio>
#include <string>

#include "gui/cell_grid.h"

using namespace xeb::gui;

namespace {

void emit(const char* name, const Grid& g, std::optional<std::pair<int, int>> caret = {}) {
  std::string out;
  FramePlace place{true, 0, caret};
  append_frame(out, g, place);
  std::printf("%s %d %d ", name, g.width(), g.height());
  for (unsigned char c : out) std::printf("%02x", c);
  std::printf("\n");
}

Grid face(int w, int h, const Face& f, uint32_t flags = 0) {
  Grid g;
  g.resize(w, h);
  Face copy = f;
  copy.width = w;
  copy.height = h;
  render_face(g, copy, flags);
  return g;
}

}  // namespace

int main() {
  {
    Face f;
    f.text = U"h\u00e9llo";
    emit("plain", face(8, 1, f));
  }
  {
    Face f;
    f.text = U"a\u4e2db\u4e2dc";
    emit("wide_cut", face(5, 2, f));
    f.para = para::wrap;
    emit("wide_wrap", face(5, 2, f));
  }
  {
    Face f;
    f.text = U"e\u0301x";
    emit("combining", face(4, 1, f));
  }
  {
    Face f;
    f.text = U"one\ntwo\nthree";
    emit("clip_rows", face(4, 2, f));
    f.text = U"abcdefgh";
    f.para = para::wrap;
    emit("wrap_clip", face(3, 2, f));
  }
  {
    Face f;
    f.colour = 0x000000FFu;  // red
    f.font_colour = 0x00FFFFFFu;
    f.text = U"a\x1b[7mb\x1b[0mc\x1b[41md";
    emit("colours", face(5, 1, f, style::escapes));
  }
  {
    Face f;
    f.text = U"ab";
    f.para = para::center | para::middle;
    emit("centre", face(6, 3, f));
    f.para = para::right | para::bottom;
    emit("right_bottom", face(6, 3, f));
  }
  {
    Face f;
    f.text = U"pw";
    emit("password_caret", face(4, 2, f, attr::password), std::pair{2, 1});
  }
  {
    Face f;
    f.hint = U"hint";
    emit("hint", face(5, 1, f));
  }
}
