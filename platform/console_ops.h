// The console-operations interface: the few things the escape interpreter
// and the console writer need of a screen. A terminal, a recording console in
// tests, or anything else that can hold text in cells implements this table.
//
// Coordinates count from 0, column first. Attributes are 16-bit words with
// the bit layout below; the escape interpreter computes them and a back-end
// turns them into whatever its screen understands.
#pragma once
#include <cstdint>
#include <span>

namespace xeb::platform {

namespace attr {
constexpr uint16_t FG_BLUE = 0x0001, FG_GREEN = 0x0002, FG_RED = 0x0004, FG_BRIGHT = 0x0008;
constexpr uint16_t BG_BLUE = 0x0010, BG_GREEN = 0x0020, BG_RED = 0x0040, BG_BRIGHT = 0x0080;
constexpr uint16_t UNDERSCORE = 0x8000;
constexpr uint16_t PLAIN = 0x0007;  // light grey on black: the usual default
}  // namespace attr

struct ScreenInfo {
  int width = 0, height = 0;         // the whole addressable buffer
  int cursor_col = 0, cursor_row = 0;
  uint16_t attribute = attr::PLAIN;  // current text attribute
  int left = 0, top = 0, right = 0, bottom = 0;  // visible window, inclusive
  int max_width = 0, max_height = 0;
};

// The info of a screen that is all window: no scrolled-off buffer, so the
// visible window and the largest size are the whole screen.
inline ScreenInfo whole_screen(int width, int height, int col, int row, uint16_t attribute) {
  ScreenInfo s;
  s.width = width;
  s.height = height;
  s.cursor_col = col;
  s.cursor_row = row;
  s.attribute = attribute;
  s.right = width - 1;
  s.bottom = height - 1;
  s.max_width = width;
  s.max_height = height;
  return s;
}

// Every operation gets `self` first. Failures are not reported: a refused
// cursor position leaves the cursor where it was.
struct ConsoleOps {
  void* self = nullptr;
  void (*write)(void* self, std::span<const char16_t> units);  // at the cursor, CR and LF processed
  ScreenInfo (*info)(void* self);        // may be costly: asks the screen
  uint16_t (*attribute)(void* self);     // current attribute only, cheap
  void (*set_attribute)(void* self, uint16_t a);
  void (*set_cursor)(void* self, int col, int row);
  // Spaces with attribute a over count cells from (col, row), row after row;
  // the cursor does not move.
  void (*fill)(void* self, int col, int row, uint32_t count, uint16_t a);
};

}  // namespace xeb::platform
