// Widget records: the back-end's record of each shown face (geometry in
// cells, flag bits, per-kind handlers and state), the windows they belong
// to, and the reference a face holds in its state block.
//
// A face reaches its record only through a handle! whose value is an entry
// of the external-handle table with that entry's generation: once the record
// is destroyed the entry is freed and every copy of the handle resolves to
// nothing. Records themselves are freed at a safe point (no dispatch in
// progress), so C++ code holding a record across a call into the language
// checks `dead` afterwards instead of reading freed memory.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "gui/cell_grid.h"
#include "runtime/cell.h"

namespace xeb::gui {

using Value = ::xeb::Cell;  // a language value (gui::Cell is a grid cell)

namespace wflag {
constexpr uint32_t pair_size = 0x10000, hidden = 0x20000, disabled = 0x40000, all_over = 0x100000,
                   caret = 0x200000, focusable = 0x400000, capture = 0x1000000, focused = 0x2000000,
                   password = 0x10000000, fullscreen = 0x40000000, caret_base = 0x80000000;
}

enum class Kind : uint8_t { other, window, base, field, button, progress, group_box, check, radio, text_list, rich_text };

struct Widget;

struct WindowState {
  float left = 0, top = 0, right = 0, bottom = 0;  // content extent
  Widget* window = nullptr;
  Widget* focused = nullptr;
  int carets = 0;
};

// Caret index (characters before it), caret column and used width (display
// columns) of a field.
struct EditState {
  int index = 0, column = 0, used = 0;
};

struct Widget {
  int32_t type_sym = 0;
  uint32_t flags = 0;
  float x = 0, y = 0, right = 0, bottom = 0;
  Widget* parent = nullptr;
  Kind kind = Kind::other;
  bool dead = false;
  int32_t entry = -1;            // external-handle table entry
  std::vector<Cell> image;       // image cells, empty when none
  Value ui_text{};               // string! set by set-face-ui, or none
  Value face{};                  // the face object
  // Per-kind state.
  std::unique_ptr<WindowState> window;  // window
  EditState edit;                       // field
  int first_row = 0;                    // text-list
  std::vector<Cell> rich;               // rich-text
  // The face's timer, when its rate is set.
  bool has_timer = false;
  float width() const { return right - x; }
  float height() const { return bottom - y; }
};

// --- Face fields --------------------------------------------------------------

enum class F : uint8_t {
  type, offset, size, text, image, color, menu, data, enabled_q, visible_q, selected, flags, options, parent,
  pane, state, rate, edge, para, font, actors, extra, draw, on_change, on_deep_change,
  // sub-object fields
  color_font, name, align, v_align, wrap_q, count_
};
// The field's value (none when the object lacks it), copied out.
Value get(const Value& obj, F f);
// Sets an existing field without its change hooks; false when the object
// lacks the field.
bool set_quiet(const Value& obj, F f, const Value& v);
// The word cell of a field name.
const Value& word_of(F f);
int32_t sym_of(F f);
// Symbol of a spelling (interned once).
int32_t sym(std::string_view name);

// --- Records ------------------------------------------------------------------

// The widget a face's state/1 handle names; null when the face is not shown
// or its widget was destroyed.
Widget* widget_of_face(const Value& face);
// The widget a handle names (its generation checked); null when stale.
Widget* widget_of_handle(const Value& h);
// A handle! naming the widget (class window), pushed.
Value handle_of(const Widget* w);

Widget* make_view(const Value& face, Widget* parent);
void update_view(const Value& face);
void update_facet(const Value& owner, const Value& word, const Value& action, const Value& new_value, int32_t index,
                  int32_t part);
void destroy_view(const Value& face, bool empty);
void show_window(Widget* window);

// Face flag word from face/flags; raises invalid-arg for an unknown word.
uint32_t face_flags(const Value& flags);
uint32_t pack_flags(uint32_t face_flags);

// The window state of the widget's window (walking up the parents).
WindowState* window_of(const Widget* w);
WindowState* current_window();
extern std::vector<WindowState*> windows;

// Sets the redraw-pending flag when the widget belongs to the current window.
void mark_redraw(const Widget* w);
void mark_redraw_all();

// Records stay readable until this runs: from the event loop at the end of
// each frame, or at once when nothing dispatches.
void release_dead();
// Live (not destroyed) records.
int live_widgets();
// The children of a widget: the widgets of the faces in its face/pane.
void children(const Widget* w, std::vector<Widget*>& out);

// Dispatch in progress: records destroyed meanwhile wait for release_dead.
extern int dispatching;

// Resets everything (end of the outermost loop): every window destroyed.
void reset_all();

void init_backend();

}  // namespace xeb::gui
