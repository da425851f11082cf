// Shapes on the character grid for the draw dialect.
#include "gui/draw_grid.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace xeb::gui::draw {

namespace {

constexpr char32_t kBlock = U'\u2588', kHorizontal = U'\u2500', kVertical = U'\u2502', kTopLeft = U'\u250C',
                   kTopRight = U'\u2510', kBottomLeft = U'\u2514', kBottomRight = U'\u2518';

// Radii beyond this draw nothing: the walk's steps grow with the radius, and
// no terminal is that large.
constexpr int kMaxRadius = 1 << 16;

bool inside(const Rect& r, int64_t x, int64_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void put_pen(Surface& s, const Pen& p, int x, int y, char32_t ch) { s.pen(x, y, ch, p.pen); }
void put_fill(Surface& s, const Pen& p, int x, int y) { s.fill(x, y, p.fill); }

}  // namespace

void Surface::pen(int x, int y, char32_t ch, uint32_t colour) {
  if (!grid) {
    if (pixels) pixels[static_cast<size_t>(y) * w_ + x] = pixel_of(colour);
    return;
  }
  Cell& c = grid->at(x, y);
  c.ch = ch;
  c.mark = 0;
  c.fg = colour;
}

void Surface::fill(int x, int y, uint32_t colour) {
  if (!grid) {
    if (pixels) pixels[static_cast<size_t>(y) * w_ + x] = pixel_of(colour);
    return;
  }
  Cell& c = grid->at(x, y);
  c.ch = U' ';
  c.mark = 0;
  c.bg = colour;
}

Rect reach(const Surface& s, const Pen& p) {
  return {std::max(p.area.left, 0), std::max(p.area.top, 0), std::min(p.area.right, s.width()),
          std::min(p.area.bottom, s.height())};
}

void box(Surface& g, const Pen& p, int ax, int ay, int bx, int by) {
  if (ax > bx) std::swap(ax, bx);
  if (ay > by) std::swap(ay, by);
  if (ax > p.area.right - p.origin_x || bx <= 0 || ay > p.area.bottom - p.origin_y || by <= 0) return;
  // The edges are those of the whole rectangle; only the cells in reach change.
  const int64_t l = int64_t{ax} + p.origin_x, t = int64_t{ay} + p.origin_y;
  const int64_t r = int64_t{bx} + p.origin_x, b = int64_t{by} + p.origin_y;
  const Rect k = reach(g, p);
  const int64_t x0 = std::max<int64_t>({l, p.origin_x, k.left}), x1 = std::min<int64_t>(r, k.right - 1);
  const int64_t y0 = std::max<int64_t>({t, p.origin_y, k.top}), y1 = std::min<int64_t>(b, k.bottom - 1);
  for (int64_t y = y0; y <= y1; y++) {
    for (int64_t x = x0; x <= x1; x++) {
      const int cx = static_cast<int>(x), cy = static_cast<int>(y);
      if (p.fill_on) put_fill(g, p, cx, cy);
      if (!p.pen_on) continue;
      const bool left = x == l, right = x == r, top = y == t, bottom = y == b;
      if (left && top) put_pen(g, p, cx, cy, kTopLeft);
      else if (right && top) put_pen(g, p, cx, cy, kTopRight);
      else if (left && bottom) put_pen(g, p, cx, cy, kBottomLeft);
      else if (right && bottom) put_pen(g, p, cx, cy, kBottomRight);
      else if (left || right) put_pen(g, p, cx, cy, kVertical);
      else if (top || bottom) put_pen(g, p, cx, cy, kHorizontal);
    }
  }
}

void segment(Surface& g, const Pen& p, int ax, int ay, int bx, int by) {
  const Rect k = reach(g, p);
  int64_t x = int64_t{ax} + p.origin_x, y = int64_t{ay} + p.origin_y;
  const int64_t x1 = int64_t{bx} + p.origin_x, y1 = int64_t{by} + p.origin_y;
  const int64_t dx = x1 > x ? x1 - x : x - x1, dy = -(y1 > y ? y1 - y : y - y1);
  const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
  int64_t err = dx + dy;
  for (;;) {
    if (!inside(k, x, y)) return;
    put_pen(g, p, static_cast<int>(x), static_cast<int>(y), kBlock);
    if (x == x1 && y == y1) return;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      if (x == x1) return;
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      if (y == y1) return;
      err += dx;
      y += sy;
    }
  }
}

void triangle(Surface& g, const Pen& p, const int (&xs)[3], const int (&ys)[3]) {
  int64_t vx[3], vy[3];
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3, [&](int a, int b) { return ys[a] < ys[b]; });
  for (int i = 0; i < 3; i++) vx[i] = int64_t{xs[order[i]]} + p.origin_x, vy[i] = int64_t{ys[order[i]]} + p.origin_y;
  const Rect k = reach(g, p);
  if (p.fill_on) {
    const int64_t total = vy[2] - vy[0], upper = vy[1] - vy[0];
    // Only the rows in reach are walked; the last vertex's row stays unfilled.
    const int64_t c0 = std::max<int64_t>(0, k.top - vy[0]), c1 = std::min<int64_t>(total - 1, k.bottom - 1 - vy[0]);
    for (int64_t c = c0; c <= c1; c++) {
      const bool lower = c > upper || vy[1] == vy[0];
      const double alpha = static_cast<double>(c) / static_cast<double>(total);
      const double beta = static_cast<double>(c - (lower ? upper : 0)) /
                          static_cast<double>(lower ? vy[2] - vy[1] : upper);
      const auto a = static_cast<int64_t>(static_cast<double>(vx[0]) + static_cast<double>(vx[2] - vx[0]) * alpha);
      const auto b = static_cast<int64_t>(lower ? static_cast<double>(vx[1]) + static_cast<double>(vx[2] - vx[1]) * beta
                                                : static_cast<double>(vx[0]) + static_cast<double>(vx[1] - vx[0]) * beta);
      const int64_t y = vy[0] + c;
      for (int64_t x = std::max<int64_t>(std::min(a, b), k.left); x <= std::min<int64_t>(std::max(a, b), k.right - 1); x++)
        put_fill(g, p, static_cast<int>(x), static_cast<int>(y));
    }
  }
  if (p.pen_on) {
    const Pen abs{0, 0, p.area, p.pen_on, p.fill_on, p.pen, p.fill};
    for (int i = 0; i < 3; i++) {
      const int j = (i + 1) % 3;
      segment(g, abs, static_cast<int>(vx[i]), static_cast<int>(vy[i]), static_cast<int>(vx[j]), static_cast<int>(vy[j]));
    }
  }
}

void ellipse(Surface& g, const Pen& p, int cx_rel, int cy_rel, int a, int b) {
  if (a < 0 || b < 0 || a > kMaxRadius || b > kMaxRadius) return;
  const Rect k = reach(g, p);
  const int64_t cx = int64_t{cx_rel} + p.origin_x, cy = int64_t{cy_rel} + p.origin_y;
  auto plot = [&](int64_t x, int64_t y) {
    if (p.pen_on && inside(k, x, y)) put_pen(g, p, static_cast<int>(x), static_cast<int>(y), kBlock);
    if (!p.fill_on || x == cx || y < k.top || y >= k.bottom) return;
    const int64_t from = x < cx ? x + 1 : cx, to = x < cx ? cx : x - 1;
    for (int64_t i = std::max<int64_t>(from, k.left); i <= std::min<int64_t>(to, k.right - 1); i++)
      put_fill(g, p, static_cast<int>(i), static_cast<int>(y));
  };
  const int64_t a2 = int64_t{a} * a, b2 = int64_t{b} * b;
  int64_t x = -a, y = 0, dx = b2 * (2 * x + 1), dy = a2, err = dx + a2;
  while (x <= 0) {
    plot(cx - x, cy + y);
    plot(cx + x, cy + y);
    plot(cx + x, cy - y);
    plot(cx - x, cy - y);
    const int64_t e2 = 2 * err;
    if (e2 >= dx) {
      dx += 2 * b2;
      err += dx;
      x++;
    }
    if (e2 <= dy) {
      dy += 2 * a2;
      err += dy;
      y++;
    }
  }
  while (y + 1 < b) {
    y++;
    plot(cx, cy + y);
    plot(cx, cy - y);
  }
}

}  // namespace xeb::gui::draw
