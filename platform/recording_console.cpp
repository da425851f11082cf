// The in-memory console. It behaves like a console with processed output:
// CR returns, LF starts the next row at column 0, text wraps at the width and
// the screen scrolls at the bottom; a cursor outside the buffer is refused.
#include "platform/recording_console.h"

#include <algorithm>

namespace xeb::platform {

namespace {

RecordingConsole& rc(void* self) { return *static_cast<RecordingConsole*>(self); }

void new_row(RecordingConsole& c) {
  c.col = 0;
  if (++c.row < c.height) return;
  c.row = c.height - 1;
  const size_t w = static_cast<size_t>(c.width);
  std::move(c.chars.begin() + w, c.chars.end(), c.chars.begin());
  std::move(c.attrs.begin() + w, c.attrs.end(), c.attrs.begin());
  std::fill(c.chars.end() - w, c.chars.end(), u' ');
  std::fill(c.attrs.end() - w, c.attrs.end(), c.attr);
}

void write(void* self, std::span<const char16_t> units) {
  RecordingConsole& c = rc(self);
  c.writes.push_back(units.size());
  c.text.append(units.begin(), units.end());
  for (char16_t u : units) {
    if (u == u'\r') { c.col = 0; continue; }
    if (u == u'\n') { new_row(c); continue; }
    const size_t i = static_cast<size_t>(c.row * c.width + c.col);
    c.chars[i] = u;
    c.attrs[i] = c.attr;
    if (++c.col == c.width) new_row(c);
  }
}

ScreenInfo info(void* self) {
  RecordingConsole& c = rc(self);
  ++c.info_calls;
  return whole_screen(c.width, c.height, c.col, c.row, c.attr);
}

uint16_t attribute(void* self) { return rc(self).attr; }
void set_attribute(void* self, uint16_t a) { rc(self).attr = a; }

void set_cursor(void* self, int col, int row) {
  RecordingConsole& c = rc(self);
  if (col < 0 || row < 0 || col >= c.width || row >= c.height) return;
  c.col = col;
  c.row = row;
}

void fill(void* self, int col, int row, uint32_t count, uint16_t a) {
  RecordingConsole& c = rc(self);
  if (col < 0 || row < 0 || col >= c.width || row >= c.height) return;
  const size_t start = static_cast<size_t>(row * c.width + col);
  const size_t n = std::min<size_t>(count, c.chars.size() - start);
  std::fill_n(c.chars.begin() + static_cast<ptrdiff_t>(start), n, u' ');
  std::fill_n(c.attrs.begin() + static_cast<ptrdiff_t>(start), n, a);
}

}  // namespace

RecordingConsole::RecordingConsole(int w, int h, uint16_t a)
    : width(w), height(h), attr(a),
      chars(static_cast<size_t>(w * h), u' '), attrs(static_cast<size_t>(w * h), a) {}

ConsoleOps RecordingConsole::ops() {
  return ConsoleOps{this, write, info, attribute, set_attribute, set_cursor, fill};
}

std::string RecordingConsole::row_text(int r) const {
  std::string s;
  for (int c = 0; c < width; ++c) {
    char16_t u = char_at(c, r);
    s.push_back(u < 128 ? static_cast<char>(u) : '?');
  }
  return s;
}

}  // namespace xeb::platform
