// The widget kinds: window, base, field, button, progress, group box, check,
// radio, text list and rich text; every other type draws its face as text.
#include "gui/kinds.h"

#include <algorithm>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "gui/call.h"
#include "gui/draw.h"
#include "gui/event_loop.h"
#include "gui/keys.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::gui {

int caret_col = -1, caret_row = -1;
int colour_mode = 2;

namespace {

using platform::tui::approximate_256;

struct KindName {
  const char* name;
  Kind kind;
};
constexpr KindName kKinds[] = {{"window", Kind::window},     {"base", Kind::base},         {"field", Kind::field},
                               {"button", Kind::button},     {"progress", Kind::progress}, {"group-box", Kind::group_box},
                               {"check", Kind::check},       {"radio", Kind::radio},       {"text-list", Kind::text_list},
                               {"rich-text", Kind::rich_text}};

// RGBA word (alpha on top, 255 transparent) of a colour tuple.
std::optional<uint32_t> rgba_of(const Value& v) {
  if (!is_type(&v, T_TUPLE) || tuple::count(&v) < 3) return std::nullopt;
  const uint32_t a = tuple::count(&v) > 3 ? tuple::byte(&v, 3) : 0;
  return tuple::byte(&v, 0) | tuple::byte(&v, 1) << 8 | tuple::byte(&v, 2) << 16 | a << 24;
}

bool word_is(const Value& v, const char* name) {
  return (is_type(&v, T_WORD) || is_type(&v, T_LIT_WORD)) &&
         symbol::resolve(word_symbol(&v)) == symbol::resolve(sym(name));
}

uint32_t para_flags(const Value& face) {
  Value p = get(face, F::para);
  if (!is_type(&p, T_OBJECT)) return 0;
  uint32_t r = 0;
  Value a = get(p, F::align), v = get(p, F::v_align), wrap = get(p, F::wrap_q);
  if (word_is(a, "right")) r |= para::right;
  else if (word_is(a, "center")) r |= para::center;
  if (word_is(v, "middle")) r |= para::middle;
  else if (word_is(v, "bottom")) r |= para::bottom;
  if (is_type(&wrap, T_LOGIC) && logic::get(&wrap) == 1) r |= para::wrap;
  return r;
}

// The value after key in an options block (none when absent).
Value option(const Value& face, const char* key) {
  Value opts = get(face, F::options);
  if (!is_type(&opts, T_BLOCK)) return fixed_none;
  SeriesBuf* b = block::buf(&opts);
  for (uint32_t i = static_cast<uint32_t>(block::head_of(&opts)); i + 1 < b->cell_count(); i += 2) {
    const Value& k = b->cells()[i];
    if ((is_type(&k, T_WORD) || is_type(&k, T_SET_WORD) || is_type(&k, T_LIT_WORD)) &&
        symbol::resolve(word_symbol(&k)) == symbol::resolve(sym(key)))
      return b->cells()[i + 1];
  }
  return fixed_none;
}

Rect abs_rect(const Widget* w) {
  float x = 0, y = 0;
  for (const Widget* p = w; p && !p->window; p = p->parent) x += p->x, y += p->y;
  const int ix = static_cast<int>(x), iy = static_cast<int>(y);
  return {ix, iy, ix + static_cast<int>(w->width()), iy + static_cast<int>(w->height())};
}

void render(Widget* w, int x, int y, uint32_t style) {
  Face f;
  f.x = x, f.y = y;
  f.width = static_cast<int>(w->width()), f.height = static_cast<int>(w->height());
  if (w->parent && !w->parent->window) f.parent = abs_rect(w->parent);
  f.colour = rgba_of(get(w->face, F::color));
  Value font = get(w->face, F::font);
  if (is_type(&font, T_OBJECT)) f.font_colour = rgba_of(get(font, F::color_font));
  f.para = para_flags(w->face);
  Value text = get(w->face, F::text);
  if (is_type(&text, T_STRING)) f.text = text_of(text);
  if (w->kind == Kind::rich_text && !w->rich.empty() && is_type(&text, T_STRING)) f.rich = w->rich;
  if (f.text.empty()) {
    Value hint = option(w->face, "hint");
    if (is_type(&hint, T_STRING)) f.hint = text_of(hint);
  }
  f.image = w->image;
  render_face(grid(), f, style);
  Rect clip{x, y, x + f.width, y + f.height};
  if (f.parent) {
    clip.left = std::max(clip.left, f.parent->left), clip.top = std::max(clip.top, f.parent->top);
    clip.right = std::min(clip.right, f.parent->right), clip.bottom = std::min(clip.bottom, f.parent->bottom);
  }
  if (is_type(&w->ui_text, T_STRING)) {
    const uint32_t fg = f.font_colour ? approximate_256(*f.font_colour) : 0;
    draw_text(grid(), text_of(w->ui_text), x, y, clip, {style & ~style::no_text, f.para, fg});
  }
  draw::face_block(grid(), get(w->face, F::draw), x, y, clip);
}

// Calls a TUI-helpers builder with the face; answers its result (on the
// data stack top, popped by the caller) or null when there is no builder.
Value* build(Widget* w, const char* name) {
  Value fn = tui_helper(name);
  if (!is_type(&fn, T_FUNCTION)) return nullptr;
  Value face = w->face;
  return call_function(&fn, name, {&face, 1}).value;
}

// The ui-text from a builder's answer (a string), else unchanged.
void ui_from(Widget* w, const char* name) {
  Value* r = build(w, name);
  if (!r) return;
  if (!w->dead && is_type(r, T_STRING)) w->ui_text = *r;
  stack::pop(1);
}

void set_text(Widget* w, std::u32string_view s) {
  Value* str = string::push_new(static_cast<int32_t>(s.size()));
  for (char32_t c : s) string::append_char(str, static_cast<int32_t>(c));
  set_quiet(w->face, F::text, *str);
  stack::pop(1);
}

// The progress bar when no builder is there: brackets round the filled part.
void progress_text(Widget* w) {
  Value d = get(w->face, F::data);
  double v = is_type(&d, T_FLOAT) || is_type(&d, T_PERCENT) ? get_double(&d) : is_type(&d, T_INTEGER) ? integer::get(&d) : 0;
  v = std::clamp(v, 0.0, 1.0);
  const int inner = std::max(static_cast<int>(w->width()) - 2, 0);
  const int filled = static_cast<int>(std::lround(inner * v));
  std::u32string s = U"[";
  s.append(static_cast<size_t>(filled), U'#');
  s.append(static_cast<size_t>(inner - filled), U' ');
  s += U']';
  set_text(w, s);
}

int32_t text_length(const Value& s) { return is_type(&s, T_STRING) ? string::xs_length_q(&s) : 0; }

// Field: a text that is not a string becomes an empty one.
Value field_text(Widget* w) {
  Value t = get(w->face, F::text);
  if (is_type(&t, T_STRING)) return t;
  Value* s = string::push_new(8);
  set_quiet(w->face, F::text, *s);
  Value r = *s;
  stack::pop(1);
  return r;
}

void field_setup(Widget* w) {
  w->flags |= wflag::caret;
  Value t = get(w->face, F::text);
  if (!is_type(&t, T_STRING)) return;
  const int width = static_cast<int>(w->width());
  const int32_t n = string::xs_length_q(&t);
  int cols = 0, i = 0;
  for (; i < n; i++) {
    const int cw = char_width(static_cast<char32_t>(string::char_at(&t, i)));
    if (cols + cw > width) break;
    cols += cw;
  }
  w->edit = {i, cols, cols};
}

bool field_event(Widget* w, int type, float x, int32_t key) {
  EditState& e = w->edit;
  if (type == ev::click) {
    Value t = get(w->face, F::text);
    const int32_t n = text_length(t);
    int cols = 0, i = 0;
    for (; i < n; i++) {
      const int cw = char_width(static_cast<char32_t>(string::char_at(&t, i)));
      if (cols + cw > static_cast<int>(x)) break;
      cols += cw;
    }
    e.index = i, e.column = cols;
    mark_redraw(w);
    return false;
  }
  if (type != ev::key) return false;
  if (key == 0 || key == 9 || key == 13) return false;
  Value t = field_text(w);
  Value* s = stack::push(&t);
  const int32_t n = string::xs_length_q(s);
  e.index = std::clamp(e.index, 0, n);
  if (key == 2 || key == keycode::left) {
    if (e.index > 0) e.column -= char_width(static_cast<char32_t>(string::char_at(s, --e.index)));
  } else if (key == 6 || key == keycode::right) {
    if (e.index < n) e.column += char_width(static_cast<char32_t>(string::char_at(s, e.index++)));
  } else if (key == 8 || key == 127) {
    if (e.index > 0) {
      const int cw = char_width(static_cast<char32_t>(string::char_at(s, e.index - 1)));
      e.index--, e.column -= cw, e.used -= cw;
      string::remove_char(series::buf(s), series::head(s) + e.index);
    }
  } else if (key >= 32) {
    const int cw = char_width(static_cast<char32_t>(key));
    if (static_cast<int>(w->width()) - cw >= e.used) {
      string::insert_char(series::buf(s), series::head(s) + e.index, key);
      e.index++, e.column += cw, e.used += cw;
    }
  }
  stack::pop(1);
  mark_redraw(w);
  return true;
}

bool check_event(Widget* w, int type, int32_t key) {
  if (type == ev::focus) {
    mark_redraw(w);
    return false;
  }
  if (!((type == ev::key && key == 32) || type == ev::click)) return false;
  Value d = get(w->face, F::data);
  Value nv = fixed_false;
  if (w->kind == Kind::radio || is_type(&d, T_NONE)) nv = fixed_true;
  else if (is_type(&d, T_LOGIC)) nv = logic::get(&d) == 1 ? fixed_false : fixed_true;
  set_quiet(w->face, F::data, nv);
  on_update(w);
  if (w->dead) return true;
  mark_redraw(w);
  send_picked(ev::change, w, 0);
  return true;
}

int32_t list_length(const Value& face) {
  Value d = get(face, F::data);
  if (is_type(&d, T_BLOCK) || is_type(&d, T_HASH)) return block::xs_length_q(&d);
  if (is_type(&d, T_MAP)) return block::xs_length_q(&d) / 2;
  return 0;
}

bool list_event(Widget* w, int type, float y, int32_t key) {
  const int32_t n = list_length(w->face);
  Value sel = get(w->face, F::selected);
  const int32_t old = is_type(&sel, T_INTEGER) ? integer::get(&sel) : 0;
  int32_t s = old, f = w->first_row;
  const int h = static_cast<int>(w->height());
  if (type == ev::key) {
    if (key == keycode::up) {
      if (s > 1) s--;
      if (s - 1 < f && f > 0) f--;
    } else if (key == keycode::down) {
      if (s < n) s++;
      if (f < s - h) f++;
    } else {
      return false;
    }
  } else if (type == ev::focus) {
    on_update(w);
    if (!w->dead) mark_redraw(w);
    return false;
  } else if (type == ev::click) {
    // A click on a row without an item (an empty list, below the last
    // item) selects nothing: no index past the data, no events.
    const int32_t row = f + static_cast<int32_t>(y);
    if (y < 0 || row >= n) return true;
    s = row + 1;
    if (!is_type(&sel, T_INTEGER)) set_quiet(w->face, F::selected, integer::make_cell(old));
  } else {
    return false;
  }
  w->first_row = f;
  if (s != old) {
    const bool done = send_picked(ev::select, w, s);
    if (w->dead) return true;
    Value st = get(w->face, F::state);
    Value now = get(w->face, F::selected);
    const int32_t cur = is_type(&now, T_INTEGER) ? integer::get(&now) : 0;
    if (is_type(&st, T_BLOCK) && cur == old) {
      set_quiet(w->face, F::selected, integer::make_cell(s));
      on_update(w);
      if (w->dead) return true;
      mark_redraw(w);
      if (!done) send_picked(ev::change, w, s);
    }
  } else {
    mark_redraw(w);
  }
  return true;
}

// The list text when no builder is there: the rows from the first shown on,
// the selected one in reverse video.
void list_text(Widget* w) {
  Value d = get(w->face, F::data);
  if (!is_type(&d, T_BLOCK)) return;
  Value sel = get(w->face, F::selected);
  const int32_t s = is_type(&sel, T_INTEGER) ? integer::get(&sel) : 0;
  std::u32string out;
  const int32_t n = block::xs_length_q(&d);
  for (int32_t i = w->first_row; i < n; i++) {
    const Value& item = *block::xs_abs_at(&d, block::head_of(&d) + i);
    if (!out.empty()) out += U'\n';
    if (i + 1 == s) out += U"\x1b[7m";
    if (is_type(&item, T_STRING)) out += text_of(item);
    if (i + 1 == s) out += U"\x1b[27m";
  }
  set_text(w, out);
}

void group_border(Widget* w, int x, int y) {
  Grid& g = grid();
  const int W = static_cast<int>(w->width()), H = static_cast<int>(w->height());
  if (W < 1 || H < 1) return;
  const bool round = word_is(option(w->face, "border-corners"), "round");
  Value bc = option(w->face, "border-color");
  std::optional<uint32_t> fg;
  if (auto c = rgba_of(bc)) fg = approximate_256(*c);
  const char32_t tl = round ? U'\u256D' : U'\u250C', tr = round ? U'\u256E' : U'\u2510',
                 bl = round ? U'\u2570' : U'\u2514', br = round ? U'\u256F' : U'\u2518';
  Rect clip{x, y, x + W, y + H};
  if (w->parent && !w->parent->window) {
    Rect p = abs_rect(w->parent);
    clip = {std::max(clip.left, p.left), std::max(clip.top, p.top), std::min(clip.right, p.right),
            std::min(clip.bottom, p.bottom)};
  }
  clip = {std::max(clip.left, 0), std::max(clip.top, 0), std::min(clip.right, g.width()), std::min(clip.bottom, g.height())};
  auto put = [&](int cx, int cy, char32_t ch) {
    if (cx < clip.left || cx >= clip.right || cy < clip.top || cy >= clip.bottom) return;
    Cell& c = g.at(cx, cy);
    c.ch = ch;
    c.mark = 0;
    if (fg) c.fg = *fg;
  };
  const int r = x + W - 1, b = y + H - 1;
  for (int cx = x + 1; cx < r; cx++) put(cx, y, U'\u2500'), put(cx, b, U'\u2500');
  for (int cy = y + 1; cy < b; cy++) put(x, cy, U'\u2502'), put(r, cy, U'\u2502');
  put(x, y, tl), put(r, y, tr), put(x, b, bl), put(r, b, br);
  Value text = get(w->face, F::text);
  if (is_type(&text, T_STRING)) {
    Value font = get(w->face, F::font);
    auto fc = is_type(&font, T_OBJECT) ? rgba_of(get(font, F::color_font)) : std::nullopt;
    draw_text(g, text_of(text), x + 1, y, clip, {style::escapes, 0, fc ? approximate_256(*fc) : 0});
  }
}

void rich_cells(Widget* w) {
  Value text = get(w->face, F::text), data = get(w->face, F::data);
  if (!is_type(&text, T_STRING) || string::xs_length_q(&text) == 0 || !is_type(&data, T_BLOCK)) return;
  const std::u32string s = text_of(text);
  auto bg = rgba_of(get(w->face, F::color));
  w->rich.assign(s.size(), Cell{});
  for (size_t i = 0; i < s.size(); i++) {
    w->rich[i].ch = s[i];
    if (bg && (*bg >> 24) == 0) w->rich[i].bg = approximate_256(*bg);
  }
  draw::apply_styles(w->rich, data, draw::OnError::stop);
}

// Caret scan of a base: a `caret` key in its options names a face whose
// widget shows the caret at the base's drawing position.
void caret_scan(Widget* w, int x, int y) {
  Value opts = get(w->face, F::options);
  if (!is_type(&opts, T_BLOCK) || block::xs_length_q(&opts) % 2) return;
  SeriesBuf* b = block::buf(&opts);
  for (uint32_t i = static_cast<uint32_t>(block::head_of(&opts)); i + 1 < b->cell_count(); i += 2) {
    const Value& k = b->cells()[i];
    if (!word_is(k, "caret") && !(is_type(&k, T_SET_WORD) && symbol::resolve(word_symbol(&k)) == symbol::resolve(sym("caret"))))
      continue;
    w->flags |= wflag::caret_base;
    Widget* c = widget_of_face(b->cells()[i + 1]);
    if (!c) continue;
    c->flags |= wflag::caret;
    if (c->flags & wflag::focused) caret_col = x, caret_row = y;
  }
}

}  // namespace

void draw_face_object(const Value& face, int x, int y) {
  if (Widget* w = widget_of_face(face)) return on_draw(w, x, y);
  // A face that is not shown: a record for the call, drawn as a plain face.
  Widget tmp;
  tmp.face = face;
  Value size = get(face, F::size);
  if (is_type(&size, T_PAIR)) tmp.right = static_cast<float>(pair::x(&size)), tmp.bottom = static_cast<float>(pair::y(&size));
  else if (is_type(&size, T_POINT2D)) tmp.right = point::x(&size), tmp.bottom = point::y(&size);
  render(&tmp, x, y, style::escapes);
}

std::u32string text_of(const Value& s) {
  std::u32string r;
  if (!is_type(&s, T_STRING) && !is_type(&s, T_FILE) && !is_type(&s, T_URL) && !is_type(&s, T_TAG)) return r;
  const int32_t n = string::xs_length_q(&s);
  r.reserve(static_cast<size_t>(std::max(n, 0)));
  for (int32_t i = 0; i < n; i++) r += static_cast<char32_t>(string::char_at(&s, i));
  return r;
}

int char_width(char32_t c) { return c < 0x20 ? 1 : std::max(char_display_width(c), 0); }

Kind kind_of_type(int32_t type_sym) {
  for (const KindName& k : kKinds)
    if (symbol::resolve(sym(k.name)) == type_sym) return k.kind;
  return Kind::other;
}

void setup_kind(Widget* w) {
  switch (w->kind) {
    case Kind::window:
      if (w->flags & wflag::fullscreen) session().fullscreen = true;
      break;
    case Kind::base:
      caret_scan(w, 0, 0);
      break;
    case Kind::field:
      field_setup(w);
      break;
    case Kind::progress: case Kind::check: case Kind::radio:
      on_update(w);
      break;
    case Kind::text_list:
      w->first_row = 0;
      on_update(w);
      break;
    case Kind::rich_text:
      rich_cells(w);
      break;
    default:
      break;
  }
}

void on_update(Widget* w) {
  switch (w->kind) {
    case Kind::progress:
      if (Value* r = build(w, "make-progress-ui")) stack::pop(1), (void)r;
      else progress_text(w);
      break;
    case Kind::check:
      ui_from(w, "make-checkbox-ui");
      break;
    case Kind::radio:
      ui_from(w, "make-radio-ui");
      break;
    case Kind::text_list:
      if (Value* r = build(w, "make-text-list-ui")) stack::pop(1), (void)r;
      else list_text(w);
      break;
    case Kind::rich_text:
      rich_cells(w);
      break;
    default:
      break;
  }
}

void on_draw(Widget* w, int x, int y) {
  const bool focused = w->flags & wflag::focused;
  switch (w->kind) {
    case Kind::window:
      return;
    case Kind::base:
      if (w->flags & wflag::caret_base) caret_scan(w, x, y);
      else render(w, x, y, style::escapes);
      return;
    case Kind::field:
      w->bottom = w->y + 1;
      render(w, x, y, w->flags & wflag::password ? style::escapes | attr::password : style::escapes);
      if (focused) caret_col = x + w->edit.column, caret_row = y;
      return;
    case Kind::button:
      render(w, x, y, focused ? style::escapes | attr::reverse : style::escapes);
      return;
    case Kind::progress: case Kind::rich_text:
      render(w, x, y, 0);
      return;
    case Kind::group_box:
      render(w, x, y, style::no_text);
      group_border(w, x, y);
      return;
    case Kind::check: case Kind::radio:
      render(w, x, y, (focused ? attr::reverse : 0) | style::escapes | style::no_text);
      return;
    default:
      render(w, x, y, style::escapes);
      return;
  }
}

bool on_event(Widget* w, int type, float x, float y, int32_t key, uint32_t) {
  switch (w->kind) {
    case Kind::field:
      return field_event(w, type, x, key);
    case Kind::button:
      if (type != ev::key) return false;
      if (key == 32) send_pointer(ev::click, w, 0, 0, 0);
      if (!w->dead) mark_redraw(w);
      return key == 32;
    case Kind::check: case Kind::radio:
      return check_event(w, type, key);
    case Kind::text_list:
      return list_event(w, type, y, key);
    default:
      return false;
  }
}

// --- Image cells ----------------------------------------------------------------

void build_image_cells(Widget* w) {
  w->image.clear();
  Value img = get(w->face, F::image);
  if (!is_type(&img, T_IMAGE)) return;
  platform::bitmap::Bitmap* bm = image::bitmap(&img);
  const int W = static_cast<int>(w->width()), H = static_cast<int>(w->height());
  if (!bm || !bm->pixels || W <= 0 || H <= 0 || bm->width <= 0 || bm->height <= 0) return;
  // Box filter: each target pixel averages the source pixels its area
  // covers (at least the one under its centre), alpha weighting colour.
  const int TW = W, TH = 2 * H;
  std::vector<uint32_t> px(static_cast<size_t>(TW) * TH);
  for (int ty = 0; ty < TH; ty++) {
    const int y0 = ty * bm->height / TH, y1 = std::max((ty + 1) * bm->height / TH, y0 + 1);
    for (int tx = 0; tx < TW; tx++) {
      const int x0 = tx * bm->width / TW, x1 = std::max((tx + 1) * bm->width / TW, x0 + 1);
      uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
      for (int sy = y0; sy < y1 && sy < bm->height; sy++)
        for (int sx = x0; sx < x1 && sx < bm->width; sx++) {
          const uint32_t p = bm->pixels[static_cast<size_t>(sy) * bm->width + sx];
          const uint32_t pa = p >> 24;
          r += ((p >> 16) & 0xFF) * pa, g += ((p >> 8) & 0xFF) * pa, b += (p & 0xFF) * pa;
          a += pa, n++;
        }
      uint32_t out = 0;
      if (a) out = static_cast<uint32_t>(a / n) << 24 | static_cast<uint32_t>(r / a) << 16 |
                   static_cast<uint32_t>(g / a) << 8 | static_cast<uint32_t>(b / a);
      px[static_cast<size_t>(ty) * TW + tx] = out;
    }
  }
  auto colour = [&](uint32_t p) -> uint32_t {
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (colour_mode == 4) return platform::tui::colour::rgb(r, g, b);
    return approximate_256(r | g << 8 | b << 16 | (255 - (p >> 24)) << 24);
  };
  w->image.assign(static_cast<size_t>(W) * H, Cell{});
  for (int cy = 0; cy < H; cy++)
    for (int cx = 0; cx < W; cx++) {
      const uint32_t up = px[static_cast<size_t>(2 * cy) * TW + cx], lo = px[static_cast<size_t>(2 * cy + 1) * TW + cx];
      Cell& c = w->image[static_cast<size_t>(cy) * W + cx];
      if ((up >> 24) == 0) {
        c.ch = U' ';
        continue;
      }
      c.ch = U'\u2584';
      c.bg = colour(up);
      c.fg = (lo >> 24) == 0 ? 0 : colour(lo);
    }
}

}  // namespace xeb::gui
