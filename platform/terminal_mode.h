// The one owner of the terminal's mode, shared by the line editor and a text
// GUI. It saves the terminal's settings once, lets callers nest raw mode,
// and puts everything back on every way out.
//
// Restoring is async-signal-safe: it writes a byte string computed ahead of
// time (mouse reporting off, the alternate screen left if it was entered,
// the cursor shown, attributes reset) with write(2), then sets the saved
// settings with tcsetattr. It does something only when there is something to
// undo, so calling it twice, or from a signal handler after a normal leave,
// is harmless.
#pragma once
#include <cstdint>

namespace xeb::platform::terminal_mode {

// Once: whether in_fd is a terminal; if so its settings are saved and the
// SIGWINCH notice is set up. Later calls answer the first call's result.
bool open(int in_fd, int out_fd);
bool is_terminal();

// Raw mode: no echo, no line buffering, no signals from keys (Ctrl-C
// arrives as byte 3), no flow control, CR not turned into LF. Output
// processing stays on. Calls nest; the outermost leave restores the saved
// settings. enter answers false when there is no terminal.
bool enter_raw();
void leave_raw();
int raw_depth();

// Screen modes the GUI switches; each one set is undone by restore().
enum Mode : uint32_t {
  alternate_screen = 1u << 0,
  mouse_reporting = 1u << 1,  // any of 1000, 1003, 1006, 1015
  cursor_hidden = 1u << 2,
  attributes_set = 1u << 3,
};
void set_modes(uint32_t modes);  // the modes now in force (the caller wrote them)
uint32_t modes();

// Undo everything: the restore bytes, then the saved settings. Idempotent
// and async-signal-safe.
void restore();

// The read end of the resize notice: a byte arrives after each SIGWINCH.
// -1 when there is no terminal.
int resize_fd();
// Drains the notice; answers whether a resize happened since the last call.
bool take_resize();
// Posts the notice, so that a wait for input returns: async-signal-safe.
void wake();

}  // namespace xeb::platform::terminal_mode
