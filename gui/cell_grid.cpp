// The character grid: layout of texts and cells, the face renderer, the
// frame and text metrics.
#include "gui/cell_grid.h"

#include <algorithm>

#include "runtime/unicode.h"

namespace xeb::gui {

using unicode::append_utf8;

using platform::tui::Look;

namespace {

constexpr uint32_t style_bits = style::escapes | style::no_text;

Rect intersect(Rect a, Rect b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

void csi(std::string& out, int n, char final) {
  out += "\x1b[";
  out += std::to_string(n);
  out += final;
}

int width_of(char32_t c) { return c < 0x20 ? 1 : char_display_width(c); }

// The look an escape sequence inside a text leaves: parameters of final
// "m" applied in order; other finals are consumed and change nothing.
struct Pen {
  uint32_t fg, attrs;
  std::optional<uint32_t> bg;
};

constexpr uint32_t sgr_attr[10] = {0, attr::bold, attr::dim, attr::italic, attr::underline,
                                   attr::blink, 0, attr::reverse, attr::conceal, attr::strike};

template <class At>
size_t escape(At at, size_t i, size_t n, Pen& pen, const Pen& base) {
  // at(i) is ESC.
  if (i + 1 >= n || at(i + 1) != U'[') return i + 1;
  size_t j = i + 2;
  std::vector<long> params(1, 0);
  while (j < n) {
    const char32_t c = at(j);
    if (c >= U'0' && c <= U'9') {
      params.back() = std::min<long>(params.back() * 10 + (c - U'0'), 100000);
    } else if (c == U';') {
      if (params.size() < 64) params.push_back(0);
    } else if (c >= 64 && c <= 126) {
      break;
    } else if (c == 27) {
      return j;  // a sequence broken off by another ESC
    }
    j++;
  }
  if (j >= n) return n;  // cut off by the end: the rest is consumed
  if (at(j) != U'm') return j + 1;
  for (size_t k = 0; k < params.size(); k++) {
    const long p = params[k];
    if (p == 0) {
      pen = base;
    } else if (p >= 1 && p <= 9) {
      pen.attrs |= sgr_attr[p];
    } else if (p >= 21 && p <= 29) {
      pen.attrs &= ~sgr_attr[p - 20];
    } else if ((p >= 30 && p <= 37) || p == 39) {
      pen.fg = platform::tui::colour::basic(static_cast<unsigned>(p - 30));
    } else if ((p >= 40 && p <= 47) || p == 49) {
      pen.bg = platform::tui::colour::basic(static_cast<unsigned>(p - 40));
    } else if (p >= 90 && p <= 97) {
      pen.fg = platform::tui::colour::basic(static_cast<unsigned>(p - 80));
    } else if (p >= 100 && p <= 107) {
      pen.bg = platform::tui::colour::basic(static_cast<unsigned>(p - 90));
    } else if ((p == 38 || p == 48) && k + 2 < params.size() && params[k + 1] == 5) {
      const uint32_t c = platform::tui::colour::palette(static_cast<unsigned>(params[k + 2] & 0xFF));
      if (p == 38) pen.fg = c; else pen.bg = c;
      k += 2;
    }
  }
  return j + 1;
}

// The layout shared by texts and styled cells. at(i) is the code point of
// item i; cell(i) is the cell it starts from (its own colours and flags).
template <class At, class CellOf>
void lay(Grid& g, size_t n, At at, CellOf cell_of, int x, int y, Rect clip, const TextLook& look) {
  clip = intersect(clip, g.bounds());
  if (clip.empty()) return;
  const bool wrap = look.para & para::wrap;
  const Pen base{look.fg, look.flags & ~style_bits, std::nullopt};
  Pen pen = base;
  int col = x, row = y;
  bool skipping = false;
  Cell* last = nullptr;
  for (size_t i = 0; i < n;) {
    const char32_t c = at(i);
    if (c == U'\n') {
      row++;
      col = x;
      skipping = false;
      last = nullptr;
      i++;
      continue;
    }
    if (row >= clip.bottom) break;
    if (c == 27 && (look.flags & style::escapes)) {
      i = escape(at, i, n, pen, base);
      continue;
    }
    i++;
    if (skipping) continue;
    const int w = width_of(c);
    if (w == 0) {
      if (last && last->mark == 0) last->mark = c;
      continue;
    }
    if (col + w > clip.right) {
      last = nullptr;
      if (!wrap) {
        skipping = true;
        continue;
      }
      row++;
      col = x;
      if (row >= clip.bottom) break;
    }
    if (row >= clip.top && col >= clip.left && col + w <= clip.right) {
      Cell& d = g.at(col, row);
      const Cell src = cell_of(i - 1);
      d.ch = c;
      d.mark = 0;
      d.fg = src.fg ? src.fg : pen.fg;
      if (src.bg) d.bg = src.bg;
      else if (pen.bg) d.bg = *pen.bg;
      d.attrs = src.attrs | pen.attrs;
      if (w == 2 && col + 1 < g.width()) {
        Cell& t = g.at(col + 1, row);
        t = d;
        t.ch = 0;
        t.attrs |= attr::wide_tail;
      }
      last = &d;
    } else {
      last = nullptr;
    }
    col += w;
  }
}

// Walks text one cell per character (or by display width): calls step for
// each character with its column and line before it.
template <class Step>
void walk(std::u32string_view text, int width, bool display, Step step) {
  int col = 0, line = 0;
  for (size_t i = 0; i < text.size(); i++) {
    const char32_t c = text[i];
    if (c == U'\n') {
      if (!step(i, col, line, 0)) return;
      line++;
      col = 0;
      continue;
    }
    const int w = display ? width_of(c) : 1;
    if (width > 0 && col > 0 && col + w > width) {
      line++;
      col = 0;
    }
    if (!step(i, col, line, w)) return;
    col += w;
  }
}

}  // namespace

void Grid::resize(int width, int height) {
  w_ = std::max(width, 0);
  h_ = std::max(height, 0);
  const size_t need = static_cast<size_t>(w_) * h_;
  if (cells_.size() < need) cells_.resize(need);
  clear();
}

void Grid::clear() { std::fill(cells_.begin(), cells_.end(), Cell{}); }

void Grid::fill(Rect r, uint32_t bg) {
  r = intersect(r, bounds());
  for (int y = r.top; y < r.bottom; y++)
    for (int x = r.left; x < r.right; x++) {
      Cell& c = at(x, y);
      c.ch = U' ';
      c.mark = 0;
      c.bg = bg;
      c.attrs &= ~attr::wide_tail;
    }
}

void draw_text(Grid& g, std::u32string_view text, int x, int y, Rect clip, const TextLook& look) {
  lay(g, text.size(), [&](size_t i) { return text[i]; }, [](size_t) { return Cell{}; }, x, y, clip, look);
}

void draw_cells(Grid& g, std::span<const Cell> cells, int x, int y, Rect clip, const TextLook& look) {
  lay(g, cells.size(), [&](size_t i) { return cells[i].ch ? cells[i].ch : U' '; },
      [&](size_t i) { return cells[i]; }, x, y, clip, look);
}

Extent measure_text(std::u32string_view text, int width) {
  Extent e;
  if (text.empty()) return e;
  e.lines = 1;
  walk(text, width, true, [&](size_t, int col, int line, int w) {
    e.lines = std::max(e.lines, line + 1);
    e.cols = std::max(e.cols, col + w);
    return true;
  });
  if (text.back() == U'\n') e.lines++;
  return e;
}

void render_face(Grid& g, const Face& f, uint32_t style_flags) {
  using platform::tui::approximate_256;
  const uint32_t bg = f.colour ? approximate_256(*f.colour) : 0;
  const uint32_t fg = f.font_colour ? approximate_256(*f.font_colour) : 0;
  Rect clip{f.x, f.y, f.x + f.width, f.y + f.height};
  if (f.parent) clip = intersect(clip, *f.parent);
  clip = intersect(clip, g.bounds());
  if (clip.empty()) return;
  g.fill(clip, bg);
  if (!f.image.empty()) draw_cells(g, f.image, f.x, f.y, clip, {0, para::wrap, 0});
  if (style_flags & style::no_text) return;
  TextLook look{style_flags, f.para, fg};
  std::u32string_view text = f.text;
  if (f.rich.empty() && text.empty() && !f.hint.empty()) {
    text = f.hint;
    look.flags |= attr::dim;
  }
  int dx = 0, dy = 0;
  if (f.para & (para::right | para::center | para::middle | para::bottom)) {
    Extent e;
    if (!f.rich.empty()) {
      std::u32string plain;
      for (const Cell& c : f.rich) plain += c.ch ? c.ch : U' ';
      e = measure_text(plain, f.width);
    } else {
      e = measure_text(text, f.width);
    }
    if (e.cols < f.width) {
      if (f.para & para::center) dx = (f.width - e.cols) / 2;
      else if (f.para & para::right) dx = f.width - e.cols;
    }
    if (e.lines < f.height) {
      if (f.para & para::middle) dy = (f.height - e.lines) / 2;
      else if (f.para & para::bottom) dy = f.height - e.lines;
    }
  }
  if (!f.rich.empty()) draw_cells(g, f.rich, f.x + dx, f.y + dy, clip, look);
  else draw_text(g, text, f.x + dx, f.y + dy, clip, look);
}

void append_frame(std::string& out, const Grid& g, FramePlace& place) {
  using platform::tui::append_sgr_change;
  if (place.fullscreen) {
    out += "\x1b[H";
  } else {
    out += '\r';
    if (place.lines_below_top > 0) csi(out, place.lines_below_top, 'A');
    out += "\x1b[0J";
  }
  Look prev{};
  for (int y = 0; y < g.height(); y++) {
    if (y > 0) {
      out += "\x1b[49m\r\n";
      prev.bg = 0;
    }
    for (int x = 0; x < g.width(); x++) {
      const Cell& c = g.at(x, y);
      if (c.attrs & attr::wide_tail) continue;
      const Look q{c.bg, c.fg, c.attrs};
      append_sgr_change(out, prev, q);
      prev = q;
      if (c.attrs & attr::password) {
        out += '*';
      } else {
        append_utf8(out, c.ch >= 0x20 && c.ch != 0x7F ? c.ch : U' ');
        if (c.mark) append_utf8(out, c.mark);
      }
    }
  }
  append_sgr_change(out, prev, Look{});
  const int h = g.height();
  if (place.caret && (place.caret->first >= 0 || place.caret->second >= 0)) {
    const int col = place.caret->first, row = place.caret->second;
    out += '\r';
    if (h - row - 1 > 0) csi(out, h - row - 1, 'A');
    if (col > 0) csi(out, col, 'C');
    place.lines_below_top = row;
  } else {
    place.lines_below_top = std::max(h - 1, 0);
  }
}

void flush_frame(platform::tui::Session& s, const Grid& g, std::optional<std::pair<int, int>> caret) {
  s.show_cursor(false, false);
  FramePlace place{s.fullscreen, s.lines_below_top, caret};
  append_frame(s.out(), g, place);
  if (caret) s.show_cursor(true, false);
  s.send();
  s.lines_below_top = place.lines_below_top;
  s.drawn = true;
  s.redraw_pending = false;
}

CaretPoint caret_point(std::u32string_view text, int width, int index, bool after) {
  CaretPoint p;
  if (index < 1) return p;
  int seen = 0;
  bool reached = false;
  walk(text, width, false, [&](size_t, int col, int line, int w) {
    if (++seen < index) {
      p = {w == 0 ? 0 : col + w, w == 0 ? line + 1 : line};
      return true;
    }
    p = after ? CaretPoint{col + 1, line + 1} : CaretPoint{col, line};
    reached = true;
    return false;
  });
  if (!reached && after) p.y += 1;
  return p;
}

int index_at(std::u32string_view text, int width, int px, int py, bool before_end) {
  size_t reached = text.size();
  walk(text, width, false, [&](size_t i, int col, int line, int w) {
    if (line < py) return true;
    if (line > py || w == 0 || col >= px) {
      reached = i;
      return false;
    }
    return true;
  });
  int result = static_cast<int>(reached) + 1;
  if (before_end && reached == text.size()) result--;
  return result;
}

}  // namespace xeb::gui
