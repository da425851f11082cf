// The event loop, the pointer and key paths, face timers, event records and
// the facets of the events the loop sends.
#include "gui/event_loop.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/error.h"
#include "datatypes/event.h"
#include "datatypes/float.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/time.h"
#include "datatypes/word.h"
#include "gui/call.h"
#include "gui/keys.h"
#include "gui/kinds.h"
#include "platform/key_decoder.h"
#include "platform/terminal_mode.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::gui {

namespace {

Terminal term;
bool term_set = false;
std::optional<platform::tui::Session> the_session;
Grid the_grid;

int depth = 0;
bool exit_pending = false;  // an exit was stopped at a dispatch: ends the loop
Widget* hover = nullptr;
Widget* capture = nullptr;
std::vector<Widget*> pressed;
int click_state = 0, click_counter = 0;
float last_x = 0, last_y = 0;

struct Timer {
  Widget* owner;
  bool stopped;
  int elapsed, interval;
};
std::vector<Timer> timers;

platform::KeyDecoder decoder;
MouseState mouse;
bool input_closed = false;
bool outermost_running = false;

// Event records: a ring whose slots carry a generation, so that a kept
// event whose slot was reused reads as an empty event.
struct EventRecord {
  uint32_t widget_ref = 0;  // handle reference of the widget, 0 none
  int32_t widget_entry = -1;
  float x = 0, y = 0;
  int32_t i = 0;
  float delta = 0;
  bool special = false;
  uint32_t generation = 0;
};
constexpr uint32_t RING = 256;
EventRecord ring[RING];
uint32_t ring_next = 0;

void ensure_terminal() {
  if (term_set) return;
  term.io = platform::posix_term_io(STDIN_FILENO, STDOUT_FILENO);
  term.is_terminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) &&
                     platform::terminal_mode::open(STDIN_FILENO, STDOUT_FILENO);
  term.owner = platform::tui::terminal_owner();
  term_set = true;
  the_session.emplace(term.io, term.owner);
}

Widget* root() {
  WindowState* ws = current_window();
  return ws ? ws->window : nullptr;
}

bool in_pressed(const Widget* w) { return std::find(pressed.begin(), pressed.end(), w) != pressed.end(); }

void abs_pos(const Widget* w, float& x, float& y) {
  x = y = 0;
  for (const Widget* p = w; p && !p->window; p = p->parent) x += p->x, y += p->y;
}

bool is_ancestor(const Widget* a, const Widget* w) {
  for (const Widget* p = w ? w->parent : nullptr; p; p = p->parent)
    if (p == a) return true;
  return false;
}

// The child under (x, y) (relative to w), tested last to first.
Widget* hit_child(Widget* w, float x, float y) {
  std::vector<Widget*> kids;
  children(w, kids);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    Widget* c = *it;
    if (c->flags & wflag::hidden) continue;
    if (c->x <= x && x < c->right && c->y <= y && y < c->bottom) return c;
  }
  return nullptr;
}

struct PathResult {
  int sent = 0;
  bool click_handled = false, handled = false;
};

PathResult button_path(int t, Widget* w, float x, float y, uint32_t flags) {
  PathResult r;
  Widget* child = hit_child(w, x, y);
  PathResult c;
  if (child) c = button_path(t, child, x - child->x, y - child->y, flags);
  r.sent = t;
  r.handled = c.handled;
  if (w->dead) return r;
  if (!r.handled) r.handled = send_pointer(t, w, x, y, flags);
  if (w->dead) return r;
  if (t > ev::up) return r;
  if (t == ev::down) pressed.push_back(w);
  if (t == ev::up && !c.click_handled && in_pressed(w)) {
    const bool dbl = (child && c.sent == ev::dbl_click) || (click_state == 2 && click_counter < 500);
    r.click_handled = send_pointer(ev::click, w, x, y, flags);
    r.sent = ev::click;
    if (dbl && !w->dead) {
      r.click_handled = send_pointer(ev::dbl_click, w, x, y, flags) || r.click_handled;
      r.sent = ev::dbl_click;
      click_state = 10;
    }
    if (!w->dead && !child && (w->flags & wflag::focusable) && !(w->flags & wflag::focused)) set_focus(w);
  } else if (c.click_handled) {
    r.click_handled = true;
    r.sent = c.sent;
  } else if (child && (c.sent == ev::click || c.sent == ev::dbl_click)) {
    r.sent = c.sent;
  }
  return r;
}

// Motion: answers whether the path reported anything.
bool motion_path(Widget* w, float x, float y, uint32_t flags) {
  if (!hover) {
    hover = w;
    send_pointer(ev::over, w, x, y, flags);
    if (w->dead) return true;
  }
  bool reported = false;
  if (Widget* child = hit_child(w, x, y)) {
    reported = motion_path(child, x - child->x, y - child->y, flags);
  } else if (w != hover) {
    Widget* h = hover;
    if (h && (is_ancestor(w, h) || h->parent == w->parent)) {
      if (h == capture) h->flags |= wflag::capture;
      send_pointer(ev::over, h, last_x, last_y, flags | evflag::away);
    }
    if (!w->dead && (!h || is_ancestor(h, w) || h->parent == w->parent)) {
      w->flags &= ~wflag::capture;
      send_pointer(ev::over, w, x, y, flags);
    }
    hover = w->dead ? nullptr : w;
    reported = true;
  }
  last_x = x, last_y = y;
  if (!reported && !w->dead && (w->flags & wflag::all_over)) {
    send_pointer(ev::over, w, x, y, flags);
    reported = true;
  }
  return reported;
}

void fire_timers(int elapsed) {
  for (size_t i = 0; i < timers.size(); i++) {
    if (timers[i].stopped) continue;
    timers[i].elapsed += elapsed;
    if (timers[i].elapsed < timers[i].interval) continue;
    timers[i].elapsed = 0;
    Widget* w = timers[i].owner;
    send_pointer(ev::time, w, 0, 0, 0);
  }
  timers.erase(std::remove_if(timers.begin(), timers.end(), [](const Timer& t) { return t.stopped; }), timers.end());
}

void send_resize() {
  int cols = 80, rows = 24;
  if (!term.io.size || !term.io.size(term.io.self, cols, rows)) cols = 80, rows = 24;
  session().cols = cols, session().rows = rows;
  Value screens = system_field({"view", "screens"});
  if (is_type(&screens, T_BLOCK) && block::xs_length_q(&screens) > 0) {
    Value screen = *block::xs_abs_at(&screens, block::head_of(&screens));
    set_quiet(screen, F::size, pair::make_cell(cols, rows));
  }
  if (!session().on()) return;
  std::vector<WindowState*> ws = windows;
  for (WindowState* s : ws)
    if (std::find(windows.begin(), windows.end(), s) != windows.end()) {
      Widget* w = s->window;
      on_event(w, ev::resize, static_cast<float>(cols), static_cast<float>(rows), 0, 0);
      if (!w->dead) face_dispatch(ev::resize, w, static_cast<float>(cols), static_cast<float>(rows), 0, 0, 0);
    }
  session().redraw_pending = true;
  if (session().in_alternate) render_frame();
}

// Reads what waits on the input; answers whether anything came.
bool pump() {
  if (input_closed || !term.io.read) return false;
  bool got = false;
  uint8_t buf[4096];
  while (term.io.wait(term.io.self, 0) == platform::Ready::input) {
    const long n = term.io.read(term.io.self, buf, sizeof buf);
    if (n <= 0) {
      if (n == 0) input_closed = true;  // end of input: stop polling it
      break;
    }
    decoder.feed({buf, static_cast<size_t>(n)});
    got = true;
    if (static_cast<size_t>(n) < sizeof buf) break;
  }
  return got;
}

void decode(bool fresh) {
  Widget* r = root();
  for (;;) {
    // A frame without new input completes a held ESC; a character cut
    // short waits for its rest.
    std::optional<platform::Key> k = decoder.next(!fresh && decoder.holding_escape(), input_closed);
    if (!k) break;
    if (k->kind == platform::KeyKind::cursor_report) {
      session().cursor_report(k->b, k->c);
      continue;
    }
    if (k->kind == platform::KeyKind::mouse) {
      auto p = mouse.event(*k, session().top_row);
      if (!p || !r) continue;
      switch (p->type) {
        case Pointer::motion: pointer_motion(p->x, p->y, p->flags); break;
        case Pointer::wheel: pointer_wheel(p->x, p->y, p->delta, p->flags); break;
        default: pointer_button(static_cast<int>(p->type) + 1, p->x, p->y, p->flags); break;
      }
      continue;
    }
    if (auto g = gui_key(*k)) send_key(nullptr, g->code, g->flags);
  }
}

void sleep_ms(int ms) {
  if (ms <= 0) return;
  if (term.sleep) {
    term.sleep(ms);
    return;
  }
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0) {
  }
}

// The frame's wait: on the input (and resizes) when it is a terminal;
// otherwise a plain sleep, so that a closed or piped input never spins.
void frame_wait(int ms) {
  if (!term.is_terminal || input_closed) {
    sleep_ms(ms);
    return;
  }
  const platform::Ready r = term.io.wait(term.io.self, ms);
  if (r == platform::Ready::resize) send_resize();
}

void stop_exit() {
  if (exit_pending) {
    exit_pending = false;
    post_quit();
  }
}

// Runs one frame step behind a catch-all: an error out of the back-end's own
// code (a bad facet) ends nothing but that step.
template <class Body>
void guarded(Body&& body) {
  Value* saved_top = stack::top();
  Value* saved_base = stack::base();
  const uint32_t d = stack::depth();
  CatchPoint cp(CatchLevel::all);
  try {
    body();
  } catch (const LangError&) {
    cp.land();
  }
  if (throwing()) cp.land();
  if (stack::depth() > d) stack::cs.top = stack::cs.bottom + d;
  stack::set_base(saved_base);
  stack::set_top(saved_top);
}

}  // namespace

void use_terminal(const Terminal& t) {
  term = t;
  term_set = true;
  the_session.emplace(term.io, term.owner);
  input_closed = false;
  decoder = platform::KeyDecoder{};
  mouse = MouseState{};
}

platform::tui::Session& session() {
  ensure_terminal();
  return *the_session;
}

Grid& grid() { return the_grid; }

int loop_depth() { return depth; }
void post_quit() { depth--; }

// --- Senders ------------------------------------------------------------------

bool face_dispatch(int type, Widget* w, float x, float y, int32_t i, float delta, uint32_t flags) {
  if (!w || w->dead) return false;
  EventRecord& rec = ring[ring_next % RING];
  const uint32_t slot = ring_next % RING;
  ring_next++;
  rec.generation++;
  rec.widget_entry = w->entry;
  const Value h = handle_of(w);
  rec.widget_ref = handle::value_of(&h);
  rec.x = x, rec.y = y, rec.i = i, rec.delta = delta;
  rec.special = flags & evflag::special;
  Value e{T_EVENT, static_cast<uint32_t>(type), slot | (rec.generation & 0xFFFFFF) << 8,
          (rec.special || i < 0 ? 0 : static_cast<uint32_t>(i) & event::KEY_MASK) | (flags & ~0xFFFFu)};
  Value awake = system_field({"view", "awake"});
  ++dispatching;
  CallResult r = call_function(&awake, "awake", {&e, 1});
  --dispatching;
  const bool done = r.ok && is_type(r.value, T_WORD) && symbol::resolve(word_symbol(r.value)) == symbol::resolve(sym("done"));
  if (r.exited) exit_pending = true;
  stack::pop(1);
  return done;
}

bool send_pointer(int type, Widget* w, float x, float y, uint32_t flags) {
  if (!w || w->dead || (w->flags & wflag::disabled)) return false;
  ++dispatching;
  on_event(w, type, x, y, 0, flags);
  --dispatching;
  if (w->dead) return false;
  return face_dispatch(type, w, x, y, 0, 0, flags);
}

bool send_picked(int type, Widget* w, int32_t picked) { return face_dispatch(type, w, 0, 0, picked, 0, 0); }

bool send_key(Widget* w, int32_t code, uint32_t flags) {
  if (!w) {
    WindowState* ws = current_window();
    w = ws ? (ws->focused ? ws->focused : ws->window) : nullptr;
  }
  if (!w || w->dead || (w->flags & wflag::disabled)) return false;
  bool done = face_dispatch(ev::key_down, w, 0, 0, code, 0, flags);
  if (!done && !w->dead) done = face_dispatch(ev::key, w, 0, 0, code, 0, flags);
  if (!done && !w->dead) {
    ++dispatching;
    on_event(w, ev::key, 0, 0, code, flags);
    --dispatching;
  }
  return done;
}

void set_focus(Widget* w) {
  if (!w || w->dead) return;
  WindowState* ws = window_of(w);
  if (!ws) return;
  Widget* old = ws->focused;
  if (old && !old->dead && old != w) {
    old->flags &= ~wflag::focused;
    ++dispatching;
    on_event(old, ev::unfocus, 0, 0, 0, 0);
    --dispatching;
    face_dispatch(ev::unfocus, old, 0, 0, 0, 0, 0);
  }
  if (w->dead) return;
  ws->focused = w;
  w->flags |= wflag::focused;
  ++dispatching;
  on_event(w, ev::focus, 0, 0, 0, 0);
  --dispatching;
  face_dispatch(ev::focus, w, 0, 0, 0, 0, 0);
  mark_redraw(w);
}

void forget(Widget* w) {
  if (!w) {
    hover = capture = nullptr;
    pressed.clear();
    return;
  }
  if (hover == w) hover = nullptr;
  if (capture == w) capture = nullptr;
  pressed.erase(std::remove(pressed.begin(), pressed.end(), w), pressed.end());
  for (Timer& t : timers)
    if (t.owner == w) t.stopped = true;
}

// --- Timers -------------------------------------------------------------------

void stop_timer(Widget* w) {
  for (Timer& t : timers)
    if (t.owner == w) t.stopped = true;
  w->has_timer = false;
}

int rate_interval(const Value& rate) {
  if (is_type(&rate, T_INTEGER) && integer::get(&rate) > 0) return 1000 / integer::get(&rate);
  if (is_type(&rate, T_TIME) && xeb::time::seconds(&rate) > 0) return static_cast<int>(xeb::time::seconds(&rate) * 1000);
  if (is_type(&rate, T_NONE)) return -1;
  Value v = rate;
  fire(Err::invalid_facet_type, &v);
}

void start_timer(Widget* w, const Value& rate) {
  const int interval = rate_interval(rate);
  if (interval < 0) {
    stop_timer(w);
    return;
  }
  stop_timer(w);
  timers.push_back(Timer{w, false, 0, std::max(interval, 0)});
  w->has_timer = true;
}

// --- Pointer entries ----------------------------------------------------------

void pointer_button(int t, float x, float y, uint32_t flags) {
  Widget* r = root();
  if (!r) return;
  if (t == ev::down) capture = hover;
  button_path(t, r, x, y, flags);
  if (t != ev::up) return;
  if (capture && !capture->dead && (capture->flags & wflag::capture)) {
    float ax, ay;
    abs_pos(capture, ax, ay);
    send_pointer(ev::up, capture, x - ax, y - ay, flags);
  }
  capture = nullptr;
  pressed.clear();
  click_state = click_state == 10 ? 0 : 2;
  click_counter = 0;
}

void pointer_motion(float x, float y, uint32_t flags) {
  Widget* r = root();
  if (!r) return;
  motion_path(r, x, y, flags);
  if (capture && !capture->dead && (capture->flags & wflag::capture) && (capture->flags & wflag::all_over)) {
    float ax, ay;
    abs_pos(capture, ax, ay);
    send_pointer(ev::over, capture, x - ax, y - ay, flags);
  }
}

void pointer_wheel(float x, float y, int delta, uint32_t flags) {
  Widget* w = root();
  if (!w) return;
  std::vector<Widget*> path{w};
  float rx = x, ry = y;
  while (Widget* c = hit_child(path.back(), rx, ry)) {
    rx -= c->x, ry -= c->y;
    path.push_back(c);
  }
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    Widget* p = *it;
    if (p->dead || (p->flags & wflag::disabled)) continue;
    if (face_dispatch(ev::wheel, p, x, y, 0, static_cast<float>(delta), flags)) break;
  }
}

// --- Rendering ----------------------------------------------------------------

namespace {

void paint(Widget* w, int x, int y) {
  if (w->dead || (w->flags & wflag::hidden)) return;
  on_draw(w, x, y);
  std::vector<Widget*> kids;
  children(w, kids);
  for (Widget* c : kids) {
    const int cx = w->window ? static_cast<int>(c->x) : x + static_cast<int>(c->x);
    const int cy = w->window ? static_cast<int>(c->y) : y + static_cast<int>(c->y);
    paint(c, cx, cy);
  }
}

}  // namespace

void render_frame() {
  platform::tui::Session& s = session();
  WindowState* ws = current_window();
  if (!ws) return;
  const int h = std::min(static_cast<int>(ws->bottom - ws->top), s.rows);
  const int w = std::min(static_cast<int>(ws->right - ws->left), s.cols);
  if (s.fullscreen) s.top_row = 0;
  else if (s.top_row + h > s.rows) s.top_row = s.rows - h;
  if (!s.redraw_pending) return;
  the_grid.resize(std::max(w, 0), std::max(h, 0));
  caret_col = caret_row = -1;
  ++dispatching;
  paint(ws->window, 0, 0);
  --dispatching;
  Widget* f = ws->focused;
  const bool caret = f && !f->dead && (f->flags & wflag::caret) && (caret_col >= 0 || caret_row >= 0);
  if (!s.on()) {
    s.redraw_pending = false;
    return;
  }
  flush_frame(s, the_grid, caret ? std::optional<std::pair<int, int>>({caret_col, caret_row}) : std::nullopt);
}

// --- The loop -----------------------------------------------------------------

bool do_events(bool no_wait) {
  platform::tui::Session& s = session();
  // Nested when the terminal mode is already on, not by the count of
  // windows: a window shown without waiting and then a second one still
  // get the terminal's mode and its clean-up. Without a terminal the mode
  // never comes on, so an outermost loop marks itself.
  const bool nested = no_wait || s.on() || outermost_running;
  if (!nested && !no_wait) outermost_running = true;
  const int entry_depth = depth;
  if (!no_wait) depth++;
  bool entered_alt = false;
  if (!nested) {
    s.enter(term.is_terminal, s.fullscreen);
    if (s.on() && s.fullscreen && !s.in_alternate) {
      s.alternate_screen(true);
      entered_alt = true;
    }
    Value me = system_field({"view", "platform", "mouse-event?"});
    const bool want = is_type(&me, T_LOGIC) && logic::get(&me) == 1;
    if (s.on() && want != s.mouse_on) s.mouse(want);
    s.redraw_pending = true;
  } else if (!no_wait) {
    decoder = platform::KeyDecoder{};
  }
  bool had_input = false;
  int elapsed = 0;
  for (;;) {
    bool stop = false;
    guarded([&] {
      had_input = pump();
      if (no_wait && !had_input) {
        stop = true;
        return;
      }
      if (elapsed <= 33) {
        frame_wait(33 - elapsed);
        elapsed = 33;
      }
      const int64_t start = term.io.clock_ms ? term.io.clock_ms(term.io.self) : 0;
      fire_timers(elapsed);
      render_frame();
      decode(had_input);
      if (click_state == 2 && click_counter < 800) click_counter += 33;
      elapsed = static_cast<int>((term.io.clock_ms ? term.io.clock_ms(term.io.self) : 0) - start);
      stop_exit();
    });
    release_dead();
    if (stop || no_wait || depth <= entry_depth) break;
    // With the input at its end and no timer left to run, nothing can end
    // this loop any more: it ends as if its window were closed.
    if (input_closed && std::none_of(timers.begin(), timers.end(), [](const Timer& t) { return !t.stopped; })) {
      depth = entry_depth;
      break;
    }
  }
  if (nested) {
    if (!no_wait) decoder = platform::KeyDecoder{};
  } else {
    if (s.on()) {
      WindowState* ws = current_window();
      s.place_below(ws ? static_cast<int>(ws->bottom - ws->top) : 0, caret_row);
      if (s.mouse_on) s.mouse(false);
      if (entered_alt) s.alternate_screen(false);
      s.show_cursor(true);
      s.leave();
    }
    depth = entry_depth;
    outermost_running = false;
    reset_all();
    reset_loop_state();
  }
  return had_input;
}

bool poll_events() { return session().on() ? do_events(true) : false; }

void suspend_for_output() {
  if (session().on()) session().suspend();
}

void resume_after_output() { session().resume(); }

void reset_loop_state() {
  hover = capture = nullptr;
  pressed.clear();
  click_state = click_counter = 0;
  timers.clear();
  exit_pending = false;
  the_grid.resize(0, 0);
  session().fullscreen = false;
}

// --- Event facets ---------------------------------------------------------------

namespace {

const EventRecord* record_of(const Value* e) {
  const uint32_t ref = event::record_of(e);
  const EventRecord& r = ring[ref & 0xFF];
  return (r.generation & 0xFFFFFF) == (ref >> 8) ? &r : nullptr;
}

Widget* event_widget(const Value* e) {
  const EventRecord* r = record_of(e);
  if (!r) return nullptr;
  Value h;
  handle::make_at(&h, r->widget_ref, handle::Class::window);
  handle::set_entry(&h, r->widget_entry);
  return widget_of_handle(h);
}

void h_type(const Value* e, Value* out) {
  const uint32_t id = event::type_id(e);
  *out = id >= 1 && id <= 38 ? *word::load(event::kTypeNames[id - 1]) : fixed_none;
}
void h_face(const Value* e, Value* out) {
  Widget* w = event_widget(e);
  *out = w ? w->face : fixed_none;
}
void h_window(const Value*, Value* out) { *out = fixed_none; }
void h_offset(const Value* e, Value* out) {
  const EventRecord* r = record_of(e);
  *out = r ? pair::make_cell(static_cast<int32_t>(r->x), static_cast<int32_t>(r->y)) : pair::make_cell(0, 0);
}
void h_key(const Value* e, Value* out) {
  const EventRecord* r = record_of(e);
  if (!r) {
    const uint32_t k = event::key_and_flags(e) & event::KEY_MASK;
    *out = k ? char_::make_cell(static_cast<int32_t>(k)) : fixed_none;
    return;
  }
  if (!r->special) {
    *out = char_::make_cell(r->i);
    return;
  }
  static constexpr const char* kKeys[] = {"up", "down", "right", "left", "end", "home", "insert", "delete",
                                          "page-up", "page-down"};
  const int32_t c = r->i;
  if (c <= -20 && c >= -29) *out = *word::load(kKeys[-20 - c]);
  else if (c <= -31 && c >= -42) *out = *word::load("F" + std::to_string(-30 - c));
  else *out = fixed_none;
}
void h_picked(const Value* e, Value* out) {
  const EventRecord* r = record_of(e);
  if (!r) {
    *out = integer::make_cell(0);
    return;
  }
  *out = event::type_id(e) == ev::wheel ? float_::make_cell(r->delta) : integer::make_cell(r->i);
}
void h_flags(const Value* e, Value* out) {
  static constexpr std::pair<const char*, uint32_t> kFlags[] = {
      {"away", evflag::away},         {"down", evflag::down},       {"mid-down", 0x1000000},
      {"alt-down", 0x800000},         {"aux-down", 0x400000},       {"control", evflag::control},
      {"shift", evflag::shift},       {"alt", evflag::alt}};
  const uint32_t f = event::key_and_flags(e);
  Value* b = block::push_only(4);
  for (auto& [name, bit] : kFlags)
    if (f & bit) block::xs_append(b, word::load(name));
  *out = *b;
  stack::pop(1);
}
bool h_flag_q(const Value* e, uint32_t mask) { return (event::key_and_flags(e) & mask) != 0; }
void h_orientation(const Value*, Value* out) { *out = fixed_none; }
uint32_t h_type_of_word(const Value* w) {
  const int32_t s = symbol::resolve(word_symbol(w));
  for (uint32_t i = 0; i < 38; i++)
    if (symbol::resolve(sym(event::kTypeNames[i])) == s) return i + 1;
  return 0;
}
void h_post(const Value*, const Value*) {}

}  // namespace

void install_event_hooks() {
  event::gui = {h_type, h_face, h_window, h_offset, h_key, h_picked, h_flags, h_flag_q, h_orientation, h_type_of_word, h_post};
}

}  // namespace xeb::gui
