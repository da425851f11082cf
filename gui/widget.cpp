// Widget records: made from faces, updated from their dirty bits, destroyed
// with their panes; the handle a face keeps; the windows.
#include "gui/widget.h"

#include <algorithm>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "gui/call.h"
#include "gui/event_loop.h"
#include "gui/kinds.h"
#include "runtime/collector.h"
#include "runtime/handles.h"
#include "runtime/stack.h"

namespace xeb::gui {

std::vector<WindowState*> windows;
int dispatching = 0;

namespace {

constexpr const char* kFieldNames[] = {
    "type", "offset", "size", "text", "image", "color", "menu", "data", "enabled?", "visible?", "selected",
    "flags", "options", "parent", "pane", "state", "rate", "edge", "para", "font", "actors", "extra", "draw",
    "on-change*", "on-deep-change*", "color", "name", "align", "v-align", "wrap?"};
static_assert(std::size(kFieldNames) == static_cast<size_t>(F::count_));

int32_t field_syms[static_cast<size_t>(F::count_)];
Value field_words[static_cast<size_t>(F::count_)];
bool names_ready = false;

void ready_names() {
  if (names_ready) return;
  for (size_t i = 0; i < std::size(kFieldNames); i++) {
    field_syms[i] = symbol::make(kFieldNames[i]);
    word::make_at(field_syms[i], &field_words[i]);
  }
  names_ready = true;
}

std::vector<Widget*> live;       // every record not yet released
std::vector<Widget*> graveyard;  // destroyed, released at the next safe point
Widget* last_window = nullptr;
int widget_kind = 0;

void mark_widgets() {
  for (Widget* w : live) {
    collector::mark_cell(&w->face);
    collector::mark_cell(&w->ui_text);
    if (!w->dead && w->entry >= 0) handles::mark(w->entry, w);
  }
}

Value by_name(const Value& obj, std::string_view name) {
  if (!is_type(&obj, T_OBJECT)) return fixed_none;
  Value w;
  word::make_at(symbol::make(name), &w);
  const int32_t i = object::find_field(&obj, &w);
  return i < 0 ? fixed_none : context::values(object::context_of(&obj))[i];
}

void set_by_name(const Value& obj, std::string_view name, const Value& v) {
  if (!is_type(&obj, T_OBJECT)) return;
  Value w;
  word::make_at(symbol::make(name), &w);
  const int32_t i = object::find_field(&obj, &w);
  if (i >= 0) context::values(object::context_of(&obj))[i] = v;
}

float num(const Value& v, int axis) {
  if (is_type(&v, T_PAIR)) return static_cast<float>(axis ? pair::y(&v) : pair::x(&v));
  if (is_type(&v, T_POINT2D) || is_type(&v, T_POINT3D)) return axis ? point::y(&v) : point::x(&v);
  return 0;
}

Value state_block(const Value& face) { return get(face, F::state); }

void widen_extent(WindowState* ws, const Widget* w) {
  ws->left = std::min(ws->left, w->x);
  ws->top = std::min(ws->top, w->y);
  ws->right = std::max(ws->right, w->right);
  ws->bottom = std::max(ws->bottom, w->bottom);
}

// Takes the face out of the user list (the `parent` block) of its font or para.
void leave_users(const Value& face, F sub) {
  Value obj = get(face, sub);
  if (!is_type(&obj, T_OBJECT)) return;
  Value users = get(obj, F::parent);
  if (!is_type(&users, T_BLOCK)) return;
  // No allocation here: the buffer stays where it is.
  SeriesBuf* buf = block::buf(&users);
  Value* cells = buf->cells();
  const uint32_t n = buf->cell_count();
  for (uint32_t i = 0; i < n; i++) {
    if (!is_type(cells + i, T_OBJECT) || object::context_of(cells + i) != object::context_of(&face)) continue;
    for (uint32_t k = i; k + 1 < n; k++) cells[k] = cells[k + 1];
    buf->tail = buf->head + static_cast<Off>(n - 1) * 16;
    break;
  }
}

void free_record(Widget* w) {
  for (Widget* o : live)
    if (o->parent == w) o->parent = nullptr;
  live.erase(std::remove(live.begin(), live.end(), w), live.end());
  delete w;
}

// The record dies now: its handle stops resolving, the loop forgets it, a
// window leaves the window list. The memory waits for a safe point.
void kill(Widget* w) {
  if (w->dead) return;
  stop_timer(w);
  forget(w);
  w->dead = true;
  if (w->entry >= 0) handles::remove(w->entry, false);
  w->entry = -1;
  if (WindowState* ws = window_of(w)) {
    if (ws->focused == w) ws->focused = nullptr;
    if (w->flags & wflag::caret) ws->carets = std::max(ws->carets - 1, 0);
  }
  if (w->window) {
    WindowState* ws = w->window.get();
    windows.erase(std::remove(windows.begin(), windows.end(), ws), windows.end());
    if (last_window == w) last_window = windows.empty() ? nullptr : windows.back()->window;
    if (!windows.empty()) show_window(windows.back()->window);
  }
  graveyard.push_back(w);
  if (!dispatching) release_dead();
}

// The faces being destroyed from the root down to this one: a pane that
// holds its own face or an ancestor's is not walked into again.
std::vector<Node> destroy_path;

void destroy_tree(const Value& face) {
  if (!is_type(&face, T_OBJECT)) return;
  const Node ctx = object::context_of(&face);
  if (std::find(destroy_path.begin(), destroy_path.end(), ctx) != destroy_path.end()) return;
  destroy_path.push_back(ctx);
  struct Leave {
    ~Leave() { destroy_path.pop_back(); }
  } leave;
  Value* f = stack::push(&face);
  Value rate = get(*f, F::rate);
  Widget* w = widget_of_face(*f);
  if (w && !is_type(&rate, T_NONE)) stop_timer(w);
  leave_users(*f, F::font);
  leave_users(*f, F::para);
  Value pane = get(*f, F::pane);
  if (is_type(&pane, T_BLOCK)) {
    Value* p = stack::push(&pane);
    for (int32_t i = block::head_of(p);; i++) {
      SeriesBuf* b = block::buf(p);
      if (i >= static_cast<int32_t>(b->cell_count())) break;
      Value child = b->cells()[i];
      destroy_tree(child);
    }
    stack::pop(1);
  }
  if (w) kill(w);
  set_quiet(*f, F::state, fixed_none);
  stack::pop(1);
}

}  // namespace

// --- Face fields --------------------------------------------------------------

int32_t sym(std::string_view name) { return symbol::make(name); }

const Value& word_of(F f) {
  ready_names();
  return field_words[static_cast<size_t>(f)];
}
int32_t sym_of(F f) {
  ready_names();
  return field_syms[static_cast<size_t>(f)];
}

Value get(const Value& obj, F f) {
  if (!is_type(&obj, T_OBJECT)) return fixed_none;
  ready_names();
  const int32_t i = object::find_field(&obj, &field_words[static_cast<size_t>(f)]);
  if (i < 0) return fixed_none;
  return context::values(object::context_of(&obj))[i];
}

bool set_quiet(const Value& obj, F f, const Value& v) {
  if (!is_type(&obj, T_OBJECT)) return false;
  ready_names();
  const int32_t i = object::find_field(&obj, &field_words[static_cast<size_t>(f)]);
  if (i < 0) return false;
  context::values(object::context_of(&obj))[i] = v;
  return true;
}

// --- Handles ------------------------------------------------------------------

Widget* widget_of_handle(const Value& h) {
  if (!is_type(&h, T_HANDLE)) return nullptr;
  auto* w = static_cast<Widget*>(handle::object_of(&h));
  return w && !w->dead ? w : nullptr;
}

Widget* widget_of_face(const Value& face) {
  Value st = state_block(face);
  if (!is_type(&st, T_BLOCK) || block::xs_length_q(&st) < 1) return nullptr;
  Value h = *block::xs_abs_at(&st, block::head_of(&st));
  return widget_of_handle(h);
}

Value handle_of(const Widget* w) {
  Value h;
  handle::make_at(&h, handles::reference(w->entry), handle::Class::window);
  handle::set_entry(&h, w->entry);
  return h;
}

// --- Flags --------------------------------------------------------------------

uint32_t face_flags(const Value& flags) {
  struct Bit {
    const char* name;
    uint32_t bit;
  };
  static constexpr Bit kBits[] = {
      {"all-over", 1},           {"focusable", 2},         {"resize", 0x4000000},   {"no-title", 0x40000000},
      {"no-border", 0x80000000}, {"no-min", 0x20000000},   {"no-max", 0x10000000},  {"no-buttons", 0x8000000},
      {"modal", 0x2000000},      {"popup", 0x1000000},     {"tri-state", 0x20000},  {"scrollable", 0x40000},
      {"password", 0x80000},     {"no-sync", 0x100000},    {"fullscreen", 0x200000}};
  auto one = [&](const Value* w) -> uint32_t {
    const int32_t s = symbol::resolve(word_symbol(w));
    for (const Bit& b : kBits)
      if (symbol::resolve(symbol::make(b.name)) == s) return b.bit;
    Value c = *w;
    fire(Err::invalid_arg, &c);
  };
  if (is_type(&flags, T_WORD)) return one(&flags);
  if (!is_type(&flags, T_BLOCK)) return 0;
  uint32_t r = 0;
  Value* b = stack::push(&flags);
  for (int32_t i = block::head_of(b);; i++) {
    SeriesBuf* buf = block::buf(b);
    if (i >= static_cast<int32_t>(buf->cell_count())) break;
    Value c = buf->cells()[i];
    if (is_type(&c, T_WORD)) r |= one(&c);
  }
  stack::pop(1);
  return r;
}

uint32_t pack_flags(uint32_t f) {
  uint32_t r = ((f >> 1) << 22) & 0x7FFFFF;
  if (f & 1) r |= wflag::all_over;
  r |= ((f >> 19) << 28) & 0x1FFFFFFF;
  if (f & (1u << 21)) r |= wflag::fullscreen;
  return r;
}

// --- Windows ------------------------------------------------------------------

WindowState* window_of(const Widget* w) {
  for (const Widget* p = w; p; p = p->parent)
    if (p->window) return p->window.get();
  return nullptr;
}

WindowState* current_window() { return windows.empty() ? nullptr : windows.back(); }

void mark_redraw(const Widget* w) {
  WindowState* ws = w ? window_of(w) : nullptr;
  if (ws && ws == current_window()) session().redraw_pending = true;
}
void mark_redraw_all() { session().redraw_pending = true; }

void show_window(Widget* window) {
  if (!window || !window->window) return;
  WindowState* ws = window->window.get();
  auto at = std::find(windows.begin(), windows.end(), ws);
  if (at != windows.end() && at + 1 != windows.end()) {
    windows.erase(at);
    windows.push_back(ws);
  }
  Widget* f = ws->focused ? ws->focused : window;
  if (!(f->flags & wflag::focused)) set_focus(f);
  platform::tui::Session& s = session();
  if (ws->carets == 0 && s.on()) s.show_cursor(false);
  forget(nullptr);
  s.redraw_pending = true;
}

void children(const Widget* w, std::vector<Widget*>& out) {
  out.clear();
  Value pane = get(w->face, F::pane);
  if (!is_type(&pane, T_BLOCK)) return;
  SeriesBuf* b = block::buf(&pane);
  for (uint32_t i = static_cast<uint32_t>(block::head_of(&pane)); i < b->cell_count(); i++) {
    Widget* c = widget_of_face(b->cells()[i]);
    // A pane that holds its own face or an ancestor's would make every walk
    // down the tree endless; such an entry is no child.
    bool cycle = false;
    for (const Widget* p = w; p && !cycle; p = p->parent) cycle = p == c;
    if (c && !cycle) out.push_back(c);
  }
}

// --- Make, update, destroy ----------------------------------------------------

Widget* make_view(const Value& face_in, Widget* parent) {
  if (!widget_kind) {
    widget_kind = handles::register_kind("widget", nullptr);
    collector::add_mark_hook(&mark_widgets);
  }
  Value* face = stack::push(&face_in);
  // Checked before the record exists, so a refused face leaves none behind.
  const uint32_t ff = face_flags(get(*face, F::flags));
  (void)rate_interval(get(*face, F::rate));
  Value offset = get(*face, F::offset);
  if (is_type(&offset, T_PAIR)) {
    offset = point::make_cell2(static_cast<float>(pair::x(&offset)), static_cast<float>(pair::y(&offset)));
    set_quiet(*face, F::offset, offset);
  }
  Value size = get(*face, F::size);
  uint32_t bits = 0;
  float w = 0, h = 0;
  if (is_type(&size, T_PAIR)) {
    w = static_cast<float>(pair::x(&size)), h = static_cast<float>(pair::y(&size));
    bits |= wflag::pair_size;
  } else if (is_type(&size, T_POINT2D)) {
    w = point::x(&size), h = point::y(&size);
  }
  Value vis = get(*face, F::visible_q);
  if (!(is_type(&vis, T_LOGIC) && logic::get(&vis) == 1)) bits |= wflag::hidden;
  Value en = get(*face, F::enabled_q);
  if (!(is_type(&en, T_LOGIC) && logic::get(&en) == 1)) bits |= wflag::disabled;
  Value type = get(*face, F::type);
  const int32_t type_sym = is_type(&type, T_WORD) || is_type(&type, T_LIT_WORD) ? symbol::resolve(word_symbol(&type)) : 0;
  const Kind kind = kind_of_type(type_sym);
  float x = num(offset, 0), y = num(offset, 1);
  if (kind == Kind::window) x = y = 0;

  auto* rec = new Widget;
  rec->type_sym = type_sym;
  rec->kind = kind;
  rec->parent = parent;
  rec->flags = pack_flags(ff) | bits;
  rec->x = x, rec->y = y, rec->right = x + w, rec->bottom = y + h;
  rec->face = *face;
  rec->ui_text = fixed_none;
  live.push_back(rec);
  rec->entry = handles::store(rec, static_cast<uint32_t>(widget_kind));
  if (kind == Kind::window) {
    rec->window = std::make_unique<WindowState>();
    rec->window->window = rec;
    windows.push_back(rec->window.get());
    last_window = rec;
    rec->window->focused = rec;
  }
  ++dispatching;  // set-up may call the language; the record must stay
  setup_kind(rec);
  if (parent && !rec->dead) {
    WindowState* pw = window_of(parent);
    if (parent->window) widen_extent(parent->window.get(), rec);
    if (pw && (rec->flags & wflag::caret)) pw->carets++;
    if ((rec->flags & wflag::focusable) && last_window && last_window->window &&
        (!last_window->window->focused || last_window->window->focused == last_window))
      set_focus(rec);
    Value img = get(*face, F::image);
    if (is_type(&img, T_IMAGE)) build_image_cells(rec);
  }
  Value rate = get(*face, F::rate);
  if (!rec->dead && !is_type(&rate, T_NONE)) start_timer(rec, rate);
  --dispatching;
  stack::pop(1);
  return rec;
}

void update_view(const Value& face_in) {
  Value* face = stack::push(&face_in);
  Widget* w = widget_of_face(*face);
  Value st = state_block(*face);
  if (!w || !is_type(&st, T_BLOCK) || block::xs_length_q(&st) < 2) {
    stack::pop(1);
    return;
  }
  Value* dirty_cell = block::xs_abs_at(&st, block::head_of(&st) + 1);
  const uint32_t dirty = is_type(dirty_cell, T_INTEGER) ? static_cast<uint32_t>(integer::get(dirty_cell)) : 0;
  ++dispatching;
  if (dirty & 0x10000) {
    stop_timer(w);
    Value rate = get(*face, F::rate);
    if (!is_type(&rate, T_NONE)) start_timer(w, rate);
  }
  if (dirty & 2) {
    Value off = get(*face, F::offset);
    const float ww = w->width(), hh = w->height();
    w->x = num(off, 0), w->y = num(off, 1);
    if (w->window) w->x = w->y = 0;
    w->right = w->x + ww, w->bottom = w->y + hh;
  }
  if (dirty & 4) {
    Value size = get(*face, F::size);
    w->right = w->x + num(size, 0);
    w->bottom = w->y + num(size, 1);
    if (w->window) {
      WindowState* ws = w->window.get();
      ws->left = w->x, ws->top = w->y, ws->right = w->right, ws->bottom = w->bottom;
    }
  }
  if ((dirty & 0x400) && w->window) {
    Value sel = get(*face, F::selected);
    Widget* target = is_type(&sel, T_OBJECT) ? widget_of_face(sel) : nullptr;
    if (target || is_type(&sel, T_NONE)) set_focus(target ? target : w);
  }
  if (dirty & 0x100) {
    Value en = get(*face, F::enabled_q);
    if (is_type(&en, T_LOGIC) && logic::get(&en) == 1) w->flags &= ~wflag::disabled;
    else w->flags |= wflag::disabled;
  }
  if (dirty & 0x200) {
    Value v = get(*face, F::visible_q);
    if (is_type(&v, T_LOGIC) && logic::get(&v) == 1) w->flags &= ~wflag::hidden;
    else w->flags |= wflag::hidden;
  }
  if (dirty & 0x800) {
    const uint32_t ff = face_flags(get(*face, F::flags));
    w->flags = (w->flags & ~(wflag::all_over | wflag::password)) | (ff & 1 ? wflag::all_over : 0) |
               (ff & 0x80000 ? wflag::password : 0);
  }
  if (dirty & 0x10) {
    w->image.clear();
    Value img = get(*face, F::image);
    if (is_type(&img, T_IMAGE)) build_image_cells(w);
  }
  // Widget texts are rebuilt with auto-sync off, so that the builders'
  // own facet changes do not come back here.
  Value view = system_field({"view"});
  Value saved = by_name(view, "auto-sync?");
  set_by_name(view, "auto-sync?", fixed_false);
  if (!w->dead) on_update(w);
  view = system_field({"view"});
  set_by_name(view, "auto-sync?", saved);
  if (!w->dead) mark_redraw(w);
  --dispatching;
  st = state_block(*face);
  if (is_type(&st, T_BLOCK) && block::xs_length_q(&st) >= 2) {
    Value* d = block::xs_abs_at(&st, block::head_of(&st) + 1);
    if (is_type(d, T_INTEGER)) *d = integer::make_cell(0);
  }
  if (!dispatching) release_dead();
  stack::pop(1);
}

void update_facet(const Value& owner, const Value& word, const Value& action, const Value& new_value, int32_t index,
                  int32_t part) {
  Value* o = stack::push(&owner);
  Widget* w = widget_of_face(*o);
  const bool data = is_type(&word, T_WORD) && symbol::resolve(word_symbol(&word)) == symbol::resolve(sym_of(F::data));
  if (data) {
    if (!w) {
      stack::pop(1);
      return;
    }
    if (w->kind == Kind::text_list) {
      if (!is_type(&new_value, T_BLOCK)) {
        stack::pop(1);
        return;
      }
      const int32_t act = is_type(&action, T_WORD) ? symbol::resolve(word_symbol(&action)) : 0;
      const bool removes = act && (act == symbol::resolve(sym("remove")) || act == symbol::resolve(sym("clear")) ||
                                   act == symbol::resolve(sym("take")) || act == symbol::resolve(sym("move")));
      if (removes) {
        const int32_t len = block::xs_length_q(&new_value);
        if (index < w->first_row) w->first_row = index;
        else if (index == 0 && part >= len) w->first_row = 0;
        Value sel = get(*o, F::selected);
        if (is_type(&sel, T_INTEGER) && integer::get(&sel) > std::max(len - part, 0))
          set_quiet(*o, F::selected, integer::make_cell(std::max(len - part, 0)));
      }
    } else if ((w->type_sym == symbol::resolve(sym("drop-down")) || w->type_sym == symbol::resolve(sym("drop-list"))) &&
               part == 0) {
      stack::pop(1);
      return;
    }
  }
  update_view(*o);
  stack::pop(1);
}

void destroy_view(const Value& face, bool) {
  Value* f = stack::push(&face);
  ++dispatching;
  destroy_tree(*f);
  --dispatching;
  stack::pop(1);
  release_dead();
  post_quit();
  if (!windows.empty()) mark_redraw_all();
}

void release_dead() {
  if (dispatching) return;
  std::vector<Widget*> dead;
  dead.swap(graveyard);
  for (Widget* w : dead) free_record(w);
}

int live_widgets() {
  int n = 0;
  for (Widget* w : live) n += !w->dead;
  return n;
}

void reset_all() {
  ++dispatching;  // records stay until every window is down
  while (!windows.empty()) {
    Widget* win = windows.back()->window;
    Value face = win->face;
    destroy_tree(face);
    if (!win->dead) kill(win);
  }
  --dispatching;
  last_window = nullptr;
  release_dead();
}

}  // namespace xeb::gui
