// The routines behind `system/view/platform`, the three widget bridges of
// `TUI-helpers` and the back-end's start-up: each unpacks its arguments
// from the data stack and calls one back-end operation.
#include "gui/routines.h"

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/handle.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/pair.h"
#include "datatypes/print_hooks.h"
#include "datatypes/point.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/datatype.h"
#include "datatypes/word.h"
#include "evaluator/natives.h"
#include "gui/call.h"
#include "gui/draw.h"
#include "gui/event_loop.h"
#include "gui/kinds.h"
#include "gui/widget.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

using gui::F;
using gui::Value;

Value* arg(int i) { return stack::base() + i; }
void result(const Value& v) {
  *stack::base() = v;
  stack::set_top(stack::base() + 1);
}
void result_none() { result(fixed_none); }

bool is_word(const Value* v, const char* name) {
  return is_type(v, T_WORD) && symbol::resolve(word_symbol(v)) == symbol::resolve(gui::sym(name));
}

[[noreturn]] void bad_type(const Value* v) {
  Value t = datatype::make_cell(type_of(v));
  fire(Err::invalid_type, &t);
}

void make_null_handle() { result(*handle::push(0, handle::Class::null)); }

void fetch_all_screens() { result_none(); }

void get_screen_size() {
  platform::tui::Session& s = gui::session();
  platform::TermIO io = platform::posix_term_io(0, 1);
  int c = 80, r = 24;
  if (!io.size(io.self, c, r) || c <= 0 || r <= 0) c = 80, r = 24;
  s.cols = c, s.rows = r;
  result(pair::make_cell(c, r));
}

// size-text [face value]: widest line and line count of the text.
void size_text() {
  Value face = *arg(0), v = *arg(1);
  Value text;
  if (is_type(&v, T_STRING)) text = v;
  else if (is_type(&v, T_NONE)) text = gui::get(face, F::text);
  else bad_type(&v);
  if (!is_type(&text, T_STRING)) return result_none();
  const std::u32string s = gui::text_of(text);
  int widest = 0, line = 0, lines = 1;
  for (char32_t c : s) {
    if (c == U'\n') {
      lines++;
      line = 0;
      continue;
    }
    line += gui::char_width(c);
    widest = std::max(widest, line);
  }
  result(point::make_cell2(static_cast<float>(widest), static_cast<float>(lines)));
}

void on_change_facet() {
  Value owner = *arg(0), word = *arg(1), value = *arg(2), action = *arg(3);
  const int32_t index = is_type(arg(5), T_INTEGER) ? integer::get(arg(5)) : 0;
  const int32_t part = is_type(arg(6), T_INTEGER) ? integer::get(arg(6)) : 0;
  gui::update_facet(owner, word, action, value, index, part);
  result_none();
}

void update_text() { result_none(); }

// update-font [font flags]: a changed name, size, style, angle or
// anti-alias? drops the font's realised state.
void update_font() {
  const int32_t i = is_type(arg(1), T_INTEGER) ? integer::get(arg(1)) : -1;
  if ((i >= 0 && i <= 3) || i == 5) {
    Value font = *arg(0);
    Value w;
    word::make_at(symbol::make("state"), &w);
    if (is_type(&font, T_OBJECT)) {
      const int32_t k = object::find_field(&font, &w);
      if (k >= 0) context::values(object::context_of(&font))[k] = fixed_none;
    }
  }
  result_none();
}

void update_para() {
  Value face = *arg(0);
  Value type = gui::get(face, F::type), st = gui::get(face, F::state);
  if (is_type(&type, T_WORD) && is_type(&st, T_BLOCK) && block::xs_length_q(&st) >= 2) {
    Value* d = block::xs_abs_at(&st, block::head_of(&st) + 1);
    if (is_type(d, T_INTEGER)) *d = integer::make_cell(integer::get(d) | 0x40000);
  }
  result_none();
}

void destroy_view() {
  Value face = *arg(0);
  gui::destroy_view(face, !is_false(arg(1)));
  result_none();
}

void detach_image() {
  if (is_type(arg(0), T_IMAGE)) ownership::unbind(arg(0));
  result_none();
}

void update_view() {
  Value v = *arg(0);
  if (is_type(&v, T_BLOCK)) {
    const int32_t n = block::xs_length_q(&v);
    for (int32_t i = 0; i < n; i++)
      if (!is_type(block::xs_abs_at(&v, block::head_of(&v) + i), T_OBJECT)) bad_type(block::xs_abs_at(&v, block::head_of(&v) + i));
    for (int32_t i = 0; i < n && i < block::xs_length_q(arg(0)); i++) {
      Value f = *block::xs_abs_at(arg(0), block::head_of(arg(0)) + i);
      Value st = gui::get(f, F::state);
      if (is_type(&st, T_BLOCK)) gui::update_view(f);
    }
  } else if (is_type(&v, T_OBJECT)) {
    Value t = gui::get(v, F::type);
    if (!is_word(&t, "screen")) gui::update_view(v);
  } else {
    bad_type(&v);
  }
  result_none();
}

void refresh_window() {
  if (gui::Widget* w = gui::widget_of_handle(*arg(0))) gui::mark_redraw(w);
  result_none();
}

void redraw() {
  if (gui::Widget* w = gui::widget_of_face(*arg(0))) gui::mark_redraw(w);
  result_none();
}

void show_window() {
  gui::show_window(gui::widget_of_handle(*arg(0)));
  result_none();
}

void make_view() {
  Value face = *arg(0);
  gui::Widget* parent = gui::widget_of_handle(*arg(1));
  gui::Widget* w = gui::make_view(face, parent);
  result(gui::handle_of(w));
}

// draw-image [image cmds]: the block drawn into the image's pixels.
void draw_image() {
  Value* img = arg(0);
  if (is_type(img, T_IMAGE) && image::width(img) > 0 && image::height(img) > 0) gui::draw::image_block(img, *arg(1));
  result(*arg(0));
}
void draw_face() {
  (void)gui::face_flags(gui::get(*arg(0), F::flags));
  result_none();
}

void do_event_loop() { result(gui::do_events(!is_false(arg(0))) ? fixed_true : fixed_false); }

void exit_event_loop() {
  gui::post_quit();
  result_none();
}

void request_font() { result(*arg(0)); }

// The requesters hand their title and filter on to the dialog.
void requester(const char* name) {
  Value fn = gui::tui_helper(name);
  Value args[5] = {*arg(0), *arg(1), *arg(2), *arg(3), *arg(4)};
  if (!is_type(&fn, T_FUNCTION)) return result_none();
  gui::CallResult r = gui::call_function(&fn, name, args);
  Value v = *r.value;
  stack::pop(1);
  result(v);
}
void request_file() { requester("request-file"); }
void request_dir() { requester("request-dir"); }

// text-box-metrics [box arg0 type]: one cell per character, lines of one.
void text_box_metrics() {
  Value box = *arg(0), a0 = *arg(1);
  const int32_t type = integer::get(arg(2));
  Value t = gui::get(box, F::type);
  if (!is_word(&t, "rich-text")) fire(Err::face_type, &t);
  Value text = gui::get(box, F::text);
  if (!is_type(&text, T_STRING)) return result_none();
  Value size = gui::get(box, F::size);
  int width = 0;
  if (is_type(&size, T_PAIR)) width = pair::x(&size);
  else if (is_type(&size, T_POINT2D)) width = static_cast<int>(point::x(&size));
  const std::u32string s = gui::text_of(text);
  auto coord = [&](int axis) -> int {
    if (is_type(&a0, T_PAIR)) return axis ? pair::y(&a0) : pair::x(&a0);
    if (is_type(&a0, T_POINT2D)) return static_cast<int>(axis ? point::y(&a0) : point::x(&a0));
    return 0;
  };
  switch (type) {
    case 0: case 6: {
      const int n = is_type(&a0, T_INTEGER) ? integer::get(&a0) : 0;
      gui::CaretPoint p = gui::caret_point(s, width, n, type == 6);
      return result(point::make_cell2(static_cast<float>(p.x), static_cast<float>(p.y)));
    }
    case 1: case 5:
      return result(integer::make_cell(gui::index_at(s, width, coord(0), coord(1), type == 5)));
    case 2:
      return result(float_::make_cell(1.0));
    case 3: case 4: {
      gui::Extent e = gui::measure_text(s, width);
      if (type == 4) return result(integer::make_cell(e.lines));
      return result(point::make_cell2(static_cast<float>(e.cols), static_cast<float>(e.lines)));
    }
    default:
      return result_none();
  }
}

void nothing() { result_none(); }
void support_dark_mode_q() { result(fixed_false); }

// focused? [face]
void focused_q() {
  gui::Widget* w = gui::widget_of_face(*arg(0));
  result(w && (w->flags & gui::wflag::focused) ? fixed_true : fixed_false);
}

// widget-data [face]: the widget's own integer: a text list's first shown
// row; 0 for every other kind (their state is no integer).
void widget_data() {
  gui::Widget* w = gui::widget_of_face(*arg(0));
  result(integer::make_cell(w && w->kind == gui::Kind::text_list ? w->first_row : 0));
}

void set_face_ui() {
  if (gui::Widget* w = gui::widget_of_face(*arg(0)))
    if (is_type(arg(1), T_STRING)) w->ui_text = *arg(1);
  result_none();
}

// to image! of a face: the terminal keeps no pixels of its faces, so a face
// gives none (a value the caller can test); any other object is no face.
bool face_to_image(const Value* v, Value* out) {
  Value fn = *context::get(word::load("face?"));
  gui::CallResult r = gui::call_function(&fn, "face?", std::span<const Value>(v, 1));
  const bool face = r.ok && is_type(r.value, T_LOGIC) && logic::get(r.value) == 1;
  stack::pop(1);
  if (face) *out = fixed_none;
  return face;
}

// _gui-init [platform [object!]]: version, build and product; the colour
// level; the event facets.
void gui_init() {
  Value p = *arg(0);
  auto set = [&](const char* name, const Value& v) {
    Value w;
    word::make_at(symbol::make(name), &w);
    if (!is_type(&p, T_OBJECT)) return;
    const int32_t k = object::find_field(&p, &w);
    if (k >= 0) context::values(object::context_of(&p))[k] = v;
  };
  const uint8_t ver[3] = {10, 10, 10};
  set("version", tuple::make_cell(3, ver));
  set("build", integer::make_cell(1000));
  set("product", integer::make_cell(0));
  gui::install_event_hooks();
  image::face_capture = &face_to_image;
  natives::wait_poll_hook = &gui::poll_events;
  print_hooks::set_text_ui({&gui::suspend_for_output, &gui::resume_after_output});
  Value check = gui::tui_helper("check-color-support");
  if (is_type(&check, T_FUNCTION)) {
    gui::CallResult r = gui::call_function(&check, "check-color-support", {});
    if (r.ok && is_type(r.value, T_INTEGER)) gui::colour_mode = integer::get(r.value);
    stack::pop(1);
  }
  result_none();
}

constexpr Def kGui[] = {
    {"make-null-handle", &make_null_handle},
    {"fetch-all-screens", &fetch_all_screens},
    {"get-screen-size", &get_screen_size},
    {"size-text", &size_text},
    {"on-change-facet", &on_change_facet},
    {"update-text", &update_text},
    {"update-font", &update_font},
    {"update-para", &update_para},
    {"destroy-view", &destroy_view},
    {"detach-image", &detach_image},
    {"update-view", &update_view},
    {"refresh-window", &refresh_window},
    {"redraw", &redraw},
    {"show-window", &show_window},
    {"make-view", &make_view},
    {"draw-image", &draw_image},
    {"draw-face", &draw_face},
    {"do-event-loop", &do_event_loop},
    {"exit-event-loop", &exit_event_loop},
    {"request-font", &request_font},
    {"request-file", &request_file},
    {"request-dir", &request_dir},
    {"text-box-metrics", &text_box_metrics},
    {"update-scroller", &nothing},
    {"set-dark-mode", &nothing},
    {"support-dark-mode?", &support_dark_mode_q},
    {"toggle-GPU", &nothing},
    {"focused?", &focused_q},
    {"widget-data", &widget_data},
    {"set-face-ui", &set_face_ui},
    {"_gui-init", &gui_init},
};

}  // namespace

std::span<const Def> gui_routines() { return kGui; }

}  // namespace xeb::routines
