// Line input for `ask` when standard input is a pipe or a file: bytes up to
// each newline, decoded from UTF-8, with neither prompt nor echo. Also the
// console's `init` routine (title, terminal state, console size). The line
// editor for a terminal is another module; until it exists a terminal gets
// the prompt written and the same line reading.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/integer.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/init.h"
#include "console/routines.h"
#include "platform/fd_io.h"
#include "runtime/exit.h"
#include "datatypes/print_hooks.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

bool console_q = false;  // standard input is a character device

// The line and history that `_set-buffer-history` hands to `_read-input`,
// kept in two root-block cells so the collector sees them between the calls.
int32_t state_at = -1;
Cell* state() { return buf_of(runtime::root())->cells() + state_at; }

// One byte of standard input, -1 at its end or on a failed read.
int read_byte() {
  unsigned char b;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &b, 1);
    if (n == 1) return b;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

// One code point from UTF-8 input; -1 at the end. A byte that starts no valid
// sequence, or a sequence cut short or malformed, gives U+FFFD for that byte,
// so every call answers one code point or -1.
int32_t read_utf8_char() {
  int b = read_byte();
  if (b < 0x80) return b;  // ASCII, or -1
  int more;
  int32_t cp;
  if (b >= 0xC2 && b <= 0xDF) more = 1, cp = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) more = 2, cp = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) more = 3, cp = b & 0x07;
  else return 0xFFFD;
  for (int i = 0; i < more; i++) {
    int c = read_byte();
    if (c < 0) return -1;
    if ((c & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000))
    return 0xFFFD;
  return cp;
}

// Appends one line to the string at `line` (a rooted cell); the newline is
// not stored, a carriage return before it is. Answers false when the input
// ended before any character of this line.
bool stdin_readline(Cell* line) {
  bool any = false;
  for (;;) {
    int32_t cp = read_utf8_char();
    if (cp < 0) return any;
    if (cp == '\n') return true;
    string::append_char(line, cp);
    any = true;
  }
}

// _set-buffer-history [line [string!] hist [block!]]
void set_buffer_history() {
  if (state_at < 0) {
    Cell* first = runtime::root_append(Cell{T_NONE, 0, 0, 0});
    runtime::root_append(Cell{T_NONE, 0, 0, 0});
    state_at = static_cast<int32_t>(first - buf_of(runtime::root())->cells());
  }
  Cell* s = state();
  s[0] = stack::base()[0];
  s[1] = stack::base()[1];
  set_unset(stack::base());
}

// _read-input [prompt [string!] hidden? [logic!]]: fills the line that
// `_set-buffer-history` gave. When the piped input is exhausted the console
// has nothing more to do: the process ends with status 0, as `quit` would.
void read_input() {
  if (console_q) print_hooks::call_print(stack::base(), false);
  Cell* line = stack::push(&state()[0]);
  if (!stdin_readline(line)) exit_process(0);
  stack::pop(1);
  set_unset(stack::base());
}

// init [str [string!]]: the window title (a terminal's title sequence, only
// when the output is a terminal), the terminal state, and the console size,
// 80x50 when the output reports none.
void console_init() {
  console_q = isatty(STDIN_FILENO);
  if (isatty(STDOUT_FILENO)) {
    std::string title = "\x1b]0;" + string::utf8_of(stack::base()) + "\x07";
    platform::write_all(STDOUT_FILENO, title);
  }
  int32_t cols = 0, rows = 0;
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0) cols = ws.ws_col, rows = ws.ws_row;
  if (cols == 0 || rows == 0) cols = 80, rows = 50;
  // system/console/size: the width first, so `size/1` reads it.
  Cell* size = block::push_only(2);
  Cell n = integer::make_cell(cols);
  block::xs_append(size, &n);
  n = integer::make_cell(rows);
  block::xs_append(size, &n);
  Cell* sys = stack::push(context::get(word::load("system")));
  Cell* con = stack::push(object::get_field(sys, word::load("console")));
  if (is_type(con, T_OBJECT)) {
    Cell* w = stack::push(word::load("size"));
    if (context::bind_word(object::context_of(con), w) >= 0) context::set_in(w, size, object::context_of(con), false);
  }
  stack::set_top(stack::base() + 1);
  set_unset(stack::base());
}

constexpr Def kConsole[] = {
    {"_set-buffer-history", &set_buffer_history},
    {"_read-input", &read_input},
    {"init", &console_init},
};

}  // namespace

std::span<const Def> console_routines() { return kConsole; }

}  // namespace xeb::routines
