// The text GUI's event loop: frames of at least 33 ms that read the
// terminal, fire face timers, render and dispatch; the pointer paths (hover,
// capture, clicks and double clicks), keys (actors first, then the widget),
// focus, and the events handed to the language.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "gui/widget.h"
#include "platform/term_io.h"
#include "platform/tui_output.h"

namespace xeb::gui {

// Event type ids.
namespace ev {
constexpr int down = 1, up = 2, mid_down = 3, mid_up = 4, alt_down = 5, alt_up = 6, click = 9, dbl_click = 10,
              wheel = 11, over = 12, key = 13, key_down = 14, focus = 17, unfocus = 18, select = 25, change = 26,
              resize = 30, time = 33;
}
namespace evflag {
constexpr uint32_t special = 1, away = 0x4000000, down = 0x2000000, control = 0x10000000, shift = 0x20000000,
                   alt = 0x40000000;
}

// The terminal the loop runs on: the real one unless a test hands in its own.
struct Terminal {
  platform::TermIO io{};
  bool is_terminal = false;  // raw mode and drawing only on a terminal
  platform::tui::Owner owner{};
  void (*sleep)(int ms) = nullptr;  // a test's clock; null: the system's
};
void use_terminal(const Terminal& t);
platform::tui::Session& session();
Grid& grid();

// The loop. Answers whether the last frame read any input.
bool do_events(bool no_wait);
void post_quit();
int loop_depth();
// One pass when the terminal mode is on (for `wait`); false otherwise.
bool poll_events();
// Around every print while the GUI is shown: the drawn lines are erased,
// and drawn again below the printed text.
void suspend_for_output();
void resume_after_output();

// Senders: answer true when the face's handler answered `done`.
bool send_pointer(int type, Widget* w, float x, float y, uint32_t flags);
bool send_picked(int type, Widget* w, int32_t picked);
bool send_key(Widget* w, int32_t code, uint32_t flags);
bool face_dispatch(int type, Widget* w, float x, float y, int32_t i, float delta, uint32_t flags);

// Focus change to w.
void set_focus(Widget* w);
// Forget a widget being destroyed (hover, capture, pressed, timers).
void forget(Widget* w);

// Face timers from `rate`.
void start_timer(Widget* w, const Value& rate);
// The interval of a rate in ms (-1 for none); raises invalid-facet-type
// for a rate that is not a positive integer or time.
int rate_interval(const Value& rate);
void stop_timer(Widget* w);

// Pointer input relative to the current window (for tests and the decoder).
void pointer_button(int type, float x, float y, uint32_t flags);
void pointer_motion(float x, float y, uint32_t flags);
void pointer_wheel(float x, float y, int delta, uint32_t flags);

// Render the current window when a redraw is pending.
void render_frame();

// The event! facets read through the records of the events the loop sent.
void install_event_hooks();

// The back-end's state at start-up and after the outermost loop.
void reset_loop_state();

}  // namespace xeb::gui
