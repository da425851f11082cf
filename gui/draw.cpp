// The draw dialect's interpreter and the rich-text style list.
#include "gui/draw.h"

#include <algorithm>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "gui/call.h"
#include "gui/event_loop.h"
#include "gui/kinds.h"
#include "gui/widget.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"

namespace xeb::gui::draw {

namespace {

using platform::tui::approximate_256;

// Every word the dialect reads, interned once.
enum class K : uint8_t {
  // commands
  pen, fill_pen, box, line, triangle, polygon, circle, ellipse, text, font, anti_alias, line_width, line_join,
  line_cap, line_pattern, arc, curve, spline, image, shadow, clip, shape, rotate, scale, translate, skew,
  transform, push, matrix, reset_matrix, invert_matrix,
  // arguments
  off, linear, radial, diamond, pad, repeat, reflect, pattern, bitmap, tile, flip_x, flip_y, flip_xy, clamp,
  closed, border, crop, inset, replace, intersect, union_, xor_, exclude,
  // shape list
  move, hline, vline, sweep, large, curv, qcurve, qcurv, close,
  // rich-text styles
  backdrop, bold, italic, underline, strike,
  count_
};
constexpr int kCommands = static_cast<int>(K::invert_matrix) + 1;
constexpr const char* kNames[] = {
    "pen", "fill-pen", "box", "line", "triangle", "polygon", "circle", "ellipse", "text", "font", "anti-alias",
    "line-width", "line-join", "line-cap", "line-pattern", "arc", "curve", "spline", "image", "shadow", "clip",
    "shape", "rotate", "scale", "translate", "skew", "transform", "push", "matrix", "reset-matrix",
    "invert-matrix", "off", "linear", "radial", "diamond", "pad", "repeat", "reflect", "pattern", "bitmap", "tile",
    "flip-x", "flip-y", "flip-xy", "clamp", "closed", "border", "crop", "inset", "replace", "intersect", "union",
    "xor", "exclude", "move", "hline", "vline", "sweep", "large", "curv", "qcurve", "qcurv", "close", "backdrop",
    "bold", "italic", "underline", "strike"};
static_assert(std::size(kNames) == static_cast<size_t>(K::count_));

int32_t id_of(K k) {
  static int32_t ids[static_cast<int>(K::count_)] = {};
  static bool ready = false;
  if (!ready) {
    for (size_t i = 0; i < std::size(kNames); i++) ids[i] = symbol::resolve(symbol::make(kNames[i]));
    ready = true;
  }
  return ids[static_cast<int>(k)];
}

bool is_any_word(const Value& v) { return is_type(&v, T_WORD) || is_type(&v, T_LIT_WORD); }
bool word_is(const Value& v, K k) { return is_type(&v, T_WORD) && symbol::resolve(word_symbol(&v)) == id_of(k); }
bool lit_word_is(const Value& v, K k) {
  return is_type(&v, T_LIT_WORD) && symbol::resolve(word_symbol(&v)) == id_of(k);
}

// The value a word holds; false when it is bound to nothing readable.
bool value_of(const Value& w, Value& out) {
  if (!is_any_word(w) || word_index(&w) < 0 || !word_context(&w)) return false;
  const Value* vals = context::values(word_context(&w));
  if (!vals) return false;
  out = vals[word_index(&w)];
  return true;
}

// Coordinates far outside any grid are held where arithmetic cannot overflow.
constexpr double kFar = 1 << 30;
int coord(double d) { return static_cast<int>(std::clamp(std::trunc(d), -kFar, kFar)); }

// The RGBA word of a colour tuple, or of a word holding one.
bool colour_of(const Value& v, uint32_t& out) {
  Value c = v;
  if (is_type(&c, T_WORD) && !value_of(v, c)) return false;
  if (!is_type(&c, T_TUPLE) || tuple::count(&c) < 3 || tuple::count(&c) > 4) return false;
  const uint32_t a = tuple::count(&c) > 3 ? tuple::byte(&c, 3) : 0;
  out = tuple::byte(&c, 0) | tuple::byte(&c, 1) << 8 | tuple::byte(&c, 2) << 16 | a << 24;
  return true;
}

// One block being walked: rooted on the data stack (popped by its owner),
// read through its node at each step, since a set-word's change hooks may
// move buffers or change the block.
struct Reader {
  Value* blk;
  int32_t pos;
  explicit Reader(const Value& b) : blk(stack::push(&b)), pos(block::head_of(blk)) {}
  int32_t tail() const { return static_cast<int32_t>(block::buf(blk)->cell_count()); }
  bool more() const { return pos < tail(); }
  Value peek(int ahead = 0) const {
    const int32_t i = pos + ahead;
    return i >= 0 && i < tail() ? block::buf(blk)->cells()[i] : fixed_none;
  }
  Value take() {
    Value v = peek();
    pos++;
    return v;
  }
  Value at_pos(int32_t i) const {  // the block positioned at i
    Value v = *blk;
    block::set_head(&v, i);
    return v;
  }
  bool point(int& x, int& y) {
    Value v = peek();
    if (is_type(&v, T_PAIR)) x = pair::x(&v), y = pair::y(&v);
    else if (is_type(&v, T_POINT2D) && !std::isnan(point::x(&v)) && !std::isnan(point::y(&v)))
      x = coord(point::x(&v)), y = coord(point::y(&v));
    else return false;
    pos++;
    return true;
  }
  bool is_point() const {
    Value v = peek();
    return is_type(&v, T_PAIR) || is_type(&v, T_POINT2D);
  }
  bool number(double& d) {
    Value v = peek();
    if (is_type(&v, T_INTEGER)) d = integer::get(&v);
    else if (is_type(&v, T_FLOAT)) d = float_::get(&v);
    else return false;
    pos++;
    return true;
  }
  bool number_or_percent() {
    Value v = peek();
    double d;
    if (is_type(&v, T_PERCENT)) return pos++, true;
    return number(d);
  }
  bool word(K k) { return word_is(peek(), k) && (pos++, true); }
  bool of_type(TypeId t) {
    Value v = peek();
    return is_type(&v, t) && (pos++, true);
  }
  bool colour(uint32_t& c) { return colour_of(peek(), c) && (pos++, true); }
  bool is_block() const {
    Value v = peek();
    return is_type(&v, T_BLOCK);
  }
};

bool bound(const Value& w) {
  return word_index(&w) >= 0 && word_context(&w) && context::values(word_context(&w));
}

class Run {
 public:
  Run(Surface s, State& st, bool raise) : g_(s), st_(st), raise_(raise) {}

  // Walks a block (a shape list when shape is set) with the same state;
  // false once stopped. A stopped walk leaves its block on the cycle stack
  // for the caller to cut.
  bool walk(const Value& b, bool shape) {
    Reader r(b);
    cycles::push(series::node_of(&b));
    bool ok = true;
    while (ok && r.more()) ok = shape ? shape_step(r) : step(r);
    stack::pop(1);
    if (ok) cycles::pop();
    return ok;
  }

 private:
  // Stops at the value at i: raises, or answers false.
  bool invalid(const Reader& r, int32_t i, Err id = Err::draw_invalid) {
    if (raise_) {
      Value at = r.at_pos(i);
      fire(id, &at);
    }
    return false;
  }

  // A nested block, walked in place unless it is already being walked.
  bool nested(Reader& r, bool shape = false) {
    const int32_t at = r.pos;
    Value b = r.take();
    if (cycles::find(series::node_of(&b))) return invalid(r, at, Err::draw_infinite);
    if (cycles::depth() + 1 >= static_cast<uint32_t>(cycles::SIZE)) return invalid(r, at);
    return walk(b, shape);
  }
  // The block after clip or a transform, drawn in place.
  bool after(Reader& r) { return !r.is_block() || nested(r); }

  bool step(Reader& r) {
    const int32_t at = r.pos;
    Value v = r.peek();
    if (is_type(&v, T_BLOCK)) return nested(r);
    r.pos++;
    if (is_type(&v, T_SET_WORD)) {
      if (!bound(v)) return invalid(r, at);
      Value* w = stack::push(&v);
      Value next = r.at_pos(at + 1);
      Value* p = stack::push(&next);
      context::set(w, p);
      stack::pop(2);
      return true;
    }
    if (!is_type(&v, T_WORD)) return invalid(r, at);
    const int32_t id = symbol::resolve(word_symbol(&v));
    int k = 0;
    while (k < kCommands && id_of(static_cast<K>(k)) != id) k++;
    if (k == kCommands) return invalid(r, at);
    stopped_ = false;
    if (command(static_cast<K>(k), r)) return true;
    return !stopped_ && invalid(r, r.pos);
  }

  // Reads a command's arguments and draws; false when one is missing or
  // mistyped (at r.pos), or when a nested block stopped (stopped_ set).
  bool command(K k, Reader& r) {
    int x0, y0, x1, y1;
    double n;
    uint32_t c;
    switch (k) {
      case K::pen: case K::fill_pen:
        if (r.word(K::off)) {
          (k == K::pen ? st_.pen_on : st_.fill_on) = false;
          return true;
        }
        if (r.colour(c)) {
          if (k == K::pen) st_.pen = colour_word(c), st_.pen_on = true;
          else st_.fill = colour_word(c), st_.fill_on = true;
          return true;
        }
        return paint(r);
      case K::box:
        if (!r.point(x0, y0) || !r.point(x1, y1)) return false;
        r.number(n);  // a corner radius: no round corners on the grid
        box(g_, st_, x0, y0, x1, y1);
        return true;
      case K::line:
        if (!r.point(x0, y0)) return false;
        while (r.point(x1, y1)) {
          segment(g_, st_, x0, y0, x1, y1);
          x0 = x1, y0 = y1;
        }
        return true;
      case K::triangle: {
        int xs[3], ys[3];
        for (int i = 0; i < 3; i++)
          if (!r.point(xs[i], ys[i])) return false;
        triangle(g_, st_, xs, ys);
        return true;
      }
      case K::polygon: case K::spline:
        if (!points(r, 1)) return false;
        if (k == K::spline) r.word(K::closed);
        return true;
      case K::circle: {
        if (!r.point(x0, y0) || !r.number(n)) return false;
        double second;
        r.number(second);
        // Cells are about twice as tall as wide.
        const double radius = std::trunc(n);
        if (radius > 0 && radius <= kFar) {
          const int ry = static_cast<int>(radius);
          ellipse(g_, st_, x0, y0, 2 * ry, ry);
        }
        return true;
      }
      case K::ellipse:
        if (!r.point(x0, y0) || !r.point(x1, y1)) return false;
        if (x1 >= 1 && y1 >= 1) {
          const int rx = static_cast<int>((x1 + 0.5) / 2), ry = static_cast<int>((y1 + 0.5) / 2);
          ellipse(g_, st_, x0 + rx, y0 + ry, rx, ry);
        }
        return true;
      case K::text:
        return text(r);
      case K::font: {
        Value f = r.peek();
        if (is_type(&f, T_WORD) && !value_of(f, f)) return false;
        if (!is_type(&f, T_OBJECT)) return false;
        r.pos++;
        Value colour = get(f, F::color_font);
        st_.font_colour_set = is_type(&colour, T_TUPLE) && colour_of(colour, c);
        if (st_.font_colour_set) st_.text_colour = colour_word(c);
        return true;
      }
      case K::anti_alias: case K::line_join: case K::line_cap:
        return r.of_type(T_WORD);
      case K::line_width:
        return r.number(n);
      case K::line_pattern:
        while (r.of_type(T_INTEGER)) {}
        return true;
      case K::arc:
        if (!r.point(x0, y0) || !r.point(x1, y1) || !r.number(n) || !r.number(n)) return false;
        r.word(K::closed);
        return true;
      case K::curve:
        if (!points(r, 3, 3)) return false;
        r.point(x0, y0);
        return true;
      case K::image:
        if (!image_value(r)) return false;
        if (r.point(x0, y0)) r.point(x1, y1);
        r.colour(c);
        r.word(K::border);
        return !r.word(K::crop) || (r.point(x0, y0) && r.point(x1, y1));
      case K::shadow:
        if (r.word(K::off)) return true;
        if (!r.point(x0, y0)) return false;
        if (r.number(n)) r.number(n);
        r.colour(c);
        r.word(K::inset);
        return true;
      case K::clip:
        if (r.is_block()) {
          if (!nested(r, true)) return stop();
        } else if (!r.point(x0, y0) || !r.point(x1, y1)) {
          return false;
        }
        r.word(K::replace) || r.word(K::intersect) || r.word(K::union_) || r.word(K::xor_) || r.word(K::exclude);
        return after(r) || stop();
      case K::shape:
        if (!r.is_block()) return false;
        return nested(r, true) || stop();
      case K::rotate:
        pen_target(r);
        if (!r.number(n)) return false;
        r.point(x0, y0);
        return after(r) || stop();
      case K::scale:
        pen_target(r);
        if (!r.number_or_percent() || !r.number_or_percent()) return false;
        return after(r) || stop();
      case K::translate:
        pen_target(r);
        if (!r.point(x0, y0)) return false;
        return after(r) || stop();
      case K::skew:
        pen_target(r);
        if (!r.number(n)) return false;
        r.number(n);
        r.point(x0, y0);
        return after(r) || stop();
      case K::transform:
        pen_target(r);
        r.point(x0, y0);
        if (!r.number(n) || !r.number_or_percent() || !r.number_or_percent() || !r.point(x1, y1)) return false;
        return after(r) || stop();
      case K::push:
        // Not a saved state: changes inside stay after it.
        if (!r.is_block()) return false;
        return nested(r) || stop();
      case K::matrix: {
        pen_target(r);
        if (!r.is_block()) return false;
        Reader m(r.peek());
        int count = 0;
        while (m.number(n)) count++;
        const bool six = count == 6 && !m.more();
        stack::pop(1);
        return six && (r.pos++, true);
      }
      case K::reset_matrix: case K::invert_matrix:
        pen_target(r);
        return true;
      default:
        return false;
    }
  }

  bool stop() {
    stopped_ = true;
    return false;
  }

  // An image keeps the colour as given; the screen takes its nearest.
  uint32_t colour_word(uint32_t rgba) const { return g_.grid ? approximate_256(rgba) : rgba; }

  // At least least points, at most most (0: any number).
  bool points(Reader& r, int least, int most = 0) {
    int x, y, n = 0;
    while ((most == 0 || n < most) && r.point(x, y)) n++;
    return n >= least;
  }

  void pen_target(Reader& r) {
    const Value v = r.peek();
    if (lit_word_is(v, K::pen) || lit_word_is(v, K::fill_pen)) r.pos++;
  }

  bool image_value(Reader& r) {
    Value v = r.peek();
    if (is_type(&v, T_WORD) && !value_of(v, v)) return false;
    return is_type(&v, T_IMAGE) && (r.pos++, true);
  }

  // Colour stops: a colour, optionally followed by its float offset.
  int colour_stops(Reader& r) {
    int n = 0;
    uint32_t c;
    while (r.colour(c)) {
      n++;
      r.of_type(T_FLOAT);
    }
    return n;
  }

  void tile_mode(Reader& r) {
    r.word(K::tile) || r.word(K::flip_x) || r.word(K::flip_y) || r.word(K::flip_xy) || r.word(K::clamp);
  }

  // Gradients, patterns and bitmaps: checked, never drawn.
  bool paint(Reader& r) {
    int x, y;
    double n;
    const Value kind = r.peek();
    if (r.word(K::linear) || r.word(K::radial) || r.word(K::diamond)) {
      if (r.is_point()) {  // the older form: points, numbers, then colours
        while (r.point(x, y)) {}
        while (r.number(n)) {}
        if (colour_stops(r) < 1) return false;
      } else {
        if (colour_stops(r) < 2) return false;
        if (word_is(kind, K::linear)) {
          if (r.point(x, y)) r.point(x, y);
        } else if (word_is(kind, K::radial)) {
          if (!r.point(x, y) || !r.number(n)) return false;
          r.point(x, y);
        } else {
          if (!r.point(x, y) || !r.point(x, y)) return false;
          r.point(x, y);
        }
      }
      r.word(K::pad) || r.word(K::repeat) || r.word(K::reflect);
      return true;
    }
    if (r.word(K::pattern)) {
      if (!r.point(x, y)) return false;
      if (r.point(x, y)) r.point(x, y);
      tile_mode(r);
      return r.of_type(T_BLOCK);
    }
    if (r.word(K::bitmap)) {
      if (!image_value(r)) return false;
      if (r.point(x, y)) r.point(x, y);
      tile_mode(r);
      return true;
    }
    return false;
  }

  bool text(Reader& r) {
    int x, y;
    if (!r.point(x, y)) return false;
    Value t = r.peek();
    if (!is_type(&t, T_STRING) && !is_type(&t, T_OBJECT)) return false;
    r.pos++;
    const int ax = st_.origin_x + x, ay = st_.origin_y + y;
    const Rect clip = reach(g_, st_);
    if (is_type(&t, T_OBJECT)) {
      // Faces draw on the screen's grid only.
      if (g_.grid == &grid()) draw_face_object(t, ax, ay);
      return true;
    }
    const uint32_t fg = st_.font_colour_set ? st_.text_colour : st_.pen_on ? st_.pen : 0;
    const TextLook look{st_.text_style | style::escapes, para::wrap, fg};
    if (g_.grid) draw_text(*g_.grid, text_of(t), ax, ay, clip, look);
    else text_pixels(text_of(t), ax, ay, clip, look);
    return true;
  }

  // Text on an image: laid out on scratch cells as on the screen, each cell
  // holding a character becoming a pixel of the text colour. The cells
  // cover only what the text can reach, a band of rows at a time, so a
  // large image costs no grid of its size.
  void text_pixels(std::u32string_view text, int ax, int ay, Rect clip, const TextLook& look) {
    if (text.empty() || clip.empty() || ax >= clip.right || ay >= clip.bottom) return;
    const int64_t n = static_cast<int64_t>(text.size());
    // No line is wider than two cells a character, nor are there more lines
    // than characters; wrapping happens only at the clip's right.
    const int tx = std::max(ax, clip.left), ty = std::max(ay, clip.top);
    const int w = static_cast<int>(std::min<int64_t>(clip.right - tx, 2 * n + 2));
    const int rows = static_cast<int>(std::min<int64_t>(clip.bottom - ty, n + 1));
    constexpr int64_t kBandCells = 1 << 18;
    const int band = static_cast<int>(std::clamp<int64_t>(kBandCells / w, 1, rows));
    const int left = clip.left - tx;  // <= 0
    Grid cells;
    for (int top = 0; top < rows; top += band) {
      const int h = std::min(band, rows - top);
      cells.resize(w, h);
      draw_text(cells, text, ax - tx, ay - ty - top, {std::max(left, 0), 0, w, h}, look);
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
          const Cell& c = cells.at(x, y);
          if ((c.ch && c.ch != U' ') || (c.attrs & attr::wide_tail)) g_.pen(tx + x, ty + top + y, c.ch, look.fg);
        }
    }
  }

  // One command of a shape list (a lit-word form is relative): checked,
  // nothing drawn.
  bool shape_step(Reader& s) {
    const int32_t at = s.pos;
    Value v = s.peek();
    if (is_type(&v, T_BLOCK)) return nested(s, true);
    if (!is_type(&v, T_WORD) && !is_type(&v, T_LIT_WORD)) return invalid(s, at);
    s.pos++;
    const int32_t id = symbol::resolve(word_symbol(&v));
    auto is = [&](K k) { return id == id_of(k); };
    int x, y;
    double d;
    bool ok;
    if (is(K::move)) {
      ok = s.point(x, y);
    } else if (is(K::line) || is(K::curve) || is(K::curv) || is(K::qcurve) || is(K::qcurv)) {
      ok = points(s, 1);
    } else if (is(K::hline) || is(K::vline)) {
      ok = s.number(d);
    } else if (is(K::arc)) {
      ok = s.point(x, y) && s.number(d) && s.number(d) && s.number(d);
      if (ok) s.word(K::sweep), s.word(K::large);
    } else if (is(K::close)) {
      ok = true;
    } else {
      return invalid(s, at);
    }
    return ok || invalid(s, s.pos);
  }

  Surface g_;
  State& st_;
  bool raise_;
  bool stopped_ = false;
};

bool silent() {
  Value s = system_field({"view", "silent?"});
  return is_type(&s, T_LOGIC) && logic::get(&s) == 1;
}

}  // namespace

State begin(int origin_x, int origin_y, Rect area) {
  State s;
  s.origin_x = origin_x, s.origin_y = origin_y;
  s.area = area;
  return s;
}

bool run(Surface g, State& st, const Value& cmds, OnError on_error) {
  if (!is_type(&cmds, T_BLOCK)) return true;
  const bool raise = on_error == OnError::raise && !silent();
  const uint32_t depth = cycles::depth();
  Run r(g, st, raise);
  const bool ok = r.walk(cmds, false);
  cycles::cut_to(depth);
  return ok;
}

bool apply_styles(std::span<Cell> cells, const Value& styles, OnError on_error) {
  if (!is_type(&styles, T_BLOCK)) return true;
  const bool raise = on_error == OnError::raise && !silent();
  Reader r(styles);
  const int64_t n = static_cast<int64_t>(cells.size());
  int64_t start = 0, end = 0;
  auto each = [&](auto&& fn) {
    for (int64_t i = start; i < end; i++) fn(cells[static_cast<size_t>(i)]);
  };
  bool ok = true;
  while (ok && r.more()) {
    const int32_t at = r.pos;
    Value v = r.take();
    uint32_t c = 0;
    if (is_type(&v, T_PAIR)) {
      // Characters, from 1; the range ends at the text's end.
      start = std::clamp<int64_t>(int64_t{pair::x(&v)} - 1, 0, n);
      end = std::clamp<int64_t>(int64_t{pair::x(&v)} - 1 + pair::y(&v), start, n);
    } else if (is_type(&v, T_TUPLE)) {
      if (!(ok = colour_of(v, c))) r.pos = at;
      else each([c = approximate_256(c)](Cell& x) { x.fg = c; });
    } else if (word_is(v, K::backdrop)) {
      if ((ok = r.colour(c))) each([c = approximate_256(c)](Cell& x) { x.bg = c; });
    } else if (word_is(v, K::bold) || word_is(v, K::italic)) {
      const uint32_t a = word_is(v, K::bold) ? attr::bold : attr::italic;
      each([a](Cell& x) { x.attrs |= a; });
    } else if (word_is(v, K::underline) || word_is(v, K::strike) || word_is(v, K::border)) {
      r.colour(c);
      r.of_type(T_LIT_WORD);
      const uint32_t a = word_is(v, K::underline) ? attr::underline : word_is(v, K::strike) ? attr::strike : 0;
      each([a](Cell& x) { x.attrs |= a; });
    } else if (!is_type(&v, T_STRING) && !is_type(&v, T_INTEGER) && !is_type(&v, T_FLOAT)) {
      ok = false;
      r.pos = at;
    }
  }
  if (!ok && raise) {
    Value pos = r.at_pos(r.pos);
    fire(Err::draw_invalid, &pos);
  }
  stack::pop(1);
  return ok;
}

void face_block(Grid& g, const Value& cmds, int x, int y, Rect clip) {
  if (!is_type(&cmds, T_BLOCK) || block::xs_length_q(&cmds) <= 0) return;
  State st = begin(x, y, clip);
  run(g, st, cmds, OnError::stop);
}

void image_block(Value* img, const Value& cmds) {
  if (!is_type(img, T_IMAGE)) return;
  platform::bitmap::Bitmap* b = image::bitmap(img);
  if (!b || !b->pixels || b->width <= 0 || b->height <= 0) return;
  const int64_t area = int64_t{b->width} * b->height;
  // A fault part way must not leave a half-drawn image: the block is first
  // checked on no surface (set-words are set twice, to the same place).
  if (!silent()) {
    State check = begin(0, 0, {});
    run(Surface(nullptr, 0, 0), check, cmds, OnError::raise);
  }
  const bool owned = series::notify_before(img, series::Notice::poke, img, 0, static_cast<int32_t>(area));
  // The pixels stay put while img holds the record, whatever the hooks do.
  b = image::bitmap(img);
  if (!b || !b->pixels) return;
  State st = begin(0, 0, {0, 0, b->width, b->height});
  run(Surface(b->pixels, b->width, b->height), st, cmds, OnError::raise);
  if (owned) series::notify_after(img, series::Notice::poke, img, 0, static_cast<int32_t>(area));
}

}  // namespace xeb::gui::draw
