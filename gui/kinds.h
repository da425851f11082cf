// Per-kind behaviour of widget records: set-up, what a facet change
// rebuilds, how the widget draws, and how it reacts to input.
#pragma once
#include <string>

#include "gui/widget.h"

namespace xeb::gui {

Kind kind_of_type(int32_t type_sym);
void setup_kind(Widget* w);
void on_update(Widget* w);
void on_draw(Widget* w, int x, int y);
// Answers whether the widget handled the event.
bool on_event(Widget* w, int type, float x, float y, int32_t key, uint32_t flags);

// A face given to the draw dialect's text: through its widget, or a
// record made for the call when it is not shown.
void draw_face_object(const Value& face, int x, int y);

// Texts of faces as the grid takes them.
std::u32string text_of(const Value& s);
int char_width(char32_t c);

// The caret position the focused widget set while drawing (column, row).
extern int caret_col, caret_row;

// Image cells of face/image scaled to the widget (two pixels a cell).
void build_image_cells(Widget* w);
// Colour mode from the widget-text helpers (4: true colour for images).
extern int colour_mode;

}  // namespace xeb::gui
