// Line input for `ask`: on a terminal, the line editor in raw mode with the
// history block and word completion; from a pipe or a file, bytes up to each
// newline, decoded from UTF-8, with neither prompt nor echo. Also the
// console's `init` routine (title, terminal state, console size) and the
// raw standard-input routines.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/init.h"
#include "console/line_editor.h"
#include "console/routines.h"
#include "library/bridge.h"
#include "datatypes/logic.h"
#include "platform/console_out.h"
#include "platform/fd_io.h"
#include "platform/terminal_console.h"
#include "platform/terminal_mode.h"
#include "runtime/unicode.h"
#include "runtime/exit.h"
#include "runtime/interrupt.h"
#include "datatypes/print_hooks.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

bool console_q = false;  // standard input is a character device
bool input_ended = false;  // the last piped read met the end of the input

// The line and history that `_set-buffer-history` hands to `_read-input`,
// kept in two root-block cells so the collector sees them between the calls.
int32_t state_at = -1;
Cell* state() { return buf_of(datatypes::root())->cells() + state_at; }

// One byte of standard input, -1 at its end or on a failed read.
int read_byte() {
  unsigned char b;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &b, 1);
    if (n == 1) return b;
    if (n < 0 && errno == EINTR && !interrupt::end_signal()) continue;
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
    Cell* first = datatypes::root_append(Cell{T_NONE, 0, 0, 0});
    datatypes::root_append(Cell{T_NONE, 0, 0, 0});
    state_at = static_cast<int32_t>(first - buf_of(datatypes::root())->cells());
  }
  Cell* s = state();
  s[0] = stack::base()[0];
  s[1] = stack::base()[1];
  set_unset(stack::base());
}

// The line editor, when both ends of the console are a terminal.
bool editing = false;
platform::TermIO term_io;
console::LineEditor* editor = nullptr;

std::u32string text_of(const Cell* s) {
  std::u32string t;
  const int32_t n = string::xs_length_q(s);
  t.reserve(static_cast<size_t>(std::max(n, 0)));
  for (int32_t i = 0; i < n; i++) t += static_cast<char32_t>(string::char_at(s, i));
  return t;
}

Cell* push_text(std::u32string_view t) {
  Cell* s = string::push_new(static_cast<int32_t>(t.size()));
  for (char32_t c : t) string::append_char(s, static_cast<int32_t>(c));
  return s;
}

// system/console/size := the pair cols x rows.
void set_console_size(int32_t cols, int32_t rows) {
  Cell* sys = stack::push(context::get(word::load("system")));
  Cell* con = stack::push(object::get_field(sys, word::load("console")));
  if (is_type(con, T_OBJECT)) {
    Cell* w = stack::push(word::load("size"));
    Cell size = pair::make_cell(cols, rows);
    if (context::bind_word(object::context_of(con), w) >= 0) context::set_in(w, &size, object::context_of(con), false);
  }
  stack::set_top(sys);
}

// Word completion in the language: `_complete-line` answers the entries of
// `complete-input`, or an empty block when completing failed.
std::vector<console::Completion> complete(const std::u32string& line, size_t cursor) {
  std::vector<console::Completion> got;
  Cell* saved = stack::top();
  Cell* name = stack::push(word::load("_complete-line"));
  Cell* fn = stack::push(context::get(name));
  if (!is_type(fn, T_FUNCTION)) {
    stack::set_top(saved);
    return got;
  }
  Cell* str = push_text(line);
  series::set_head(str, static_cast<int32_t>(cursor));
  Cell arg = *str;
  Cell* r = library::call(name, fn, std::span<const Cell>(&arg, 1));
  if (r && is_type(r, T_BLOCK)) {
    Cell* blk = stack::push(r);
    const int32_t n = block::xs_length_q(blk);
    for (int32_t i = 0; i < n; i++) {
      const Cell* e = block::xs_head(blk) + i;
      if (!series::string_like(type_of(e))) continue;
      Cell whole = *e;
      const int32_t at = series::head(&whole);
      series::set_head(&whole, 0);
      got.push_back({text_of(&whole), static_cast<size_t>(std::max(at, 0))});
    }
  }
  stack::set_top(saved);
  return got;
}

// One line through the editor, into the string at line (a rooted cell).
void edit_line(const Cell* prompt, bool hidden) {
  std::u32string p = text_of(prompt);
  std::vector<std::u32string> history;
  {
    Cell* hist = &state()[1];
    if (is_type(hist, T_BLOCK)) {
      Cell whole = *hist;
      series::set_head(&whole, 0);
      const int32_t n = block::xs_length_q(&whole);
      for (int32_t i = 0; i < n; i++) {
        const Cell* e = block::xs_head(&whole) + i;
        history.push_back(series::string_like(type_of(e)) ? text_of(e) : std::u32string());
      }
    }
  }
  editor->update_size();
  set_console_size(editor->columns(), editor->rows());
  platform::terminal_mode::enter_raw();
  console::EditResult r = editor->edit(p, hidden, history, platform::terminal_column(), complete);
  platform::terminal_mode::leave_raw();
  // The window may have been resized while the line was typed.
  set_console_size(editor->columns(), editor->rows());
  platform::set_terminal_column(0);
  std::u32string text;
  switch (r.end) {
    case console::EditEnd::quit:
    case console::EditEnd::closed:
      text = U"q";
      break;
    case console::EditEnd::listed:
      break;
    case console::EditEnd::accepted:
    case console::EditEnd::escaped:
      text = r.line;
      break;
  }
  Cell* line = stack::push(&state()[0]);
  for (char32_t c : text) string::append_char(line, static_cast<int32_t>(c));
  stack::pop(1);
  // The history keeps lines ended by Return, newest first, never twice in a
  // row.
  if (r.end != console::EditEnd::accepted || hidden || text.empty()) return;
  Cell* hist = &state()[1];
  if (!is_type(hist, T_BLOCK)) return;
  if (!history.empty() && history.front() == text) return;
  Cell* copy = push_text(text);
  block::insert_value(&state()[1], copy, false, true);
  stack::pop(1);
}

// _read-input [prompt [string!] hidden? [logic!]]: fills the line that
// `_set-buffer-history` gave. Piped input that is exhausted gives an empty
// line each time and leaves `input_ended` set for the console loop, which
// then ends; a script reading its input sees the end as an empty line.
void read_input() {
  if (editing) {
    edit_line(stack::base(), !is_false(stack::base() + 1));
  } else {
    if (console_q) print_hooks::call_print(stack::base(), false);
    Cell* line = stack::push(&state()[0]);
    input_ended = !stdin_readline(line);
    stack::pop(1);
  }
  // A Ctrl-C that came while waiting for the line halts nothing later.
  interrupt::clear();
  set_unset(stack::base());
}

// _halt-on-interrupt [on [logic!]]: whether Ctrl-C halts the evaluation
// (the console's loop) or ends the process.
void halt_on_interrupt() {
  interrupt::set_halts(!is_false(stack::base()));
  set_unset(stack::base());
}

// _input-ended?: whether the last line read from a pipe met the end of
// the input before any character.
void input_ended_q() { *stack::base() = input_ended ? fixed_true : fixed_false; }

// input-stdin: one piped line, in a new string.
void input_stdin() {
  Cell* s = string::push_new(256);
  stdin_readline(s);
  *stack::base() = *s;
  stack::set_top(stack::base() + 1);
}

// read-stdin [buffer [binary!] buflen [integer!]]: up to buflen bytes of
// standard input written at the binary's head; the binary grows to hold
// them, so a length larger than its room writes nothing past its buffer.
void read_stdin() {
  Cell* bin = stack::base();
  const int32_t want = integer::get(stack::base() + 1);
  set_unset(stack::base() + 1);
  if (want <= 0 || !is_type(bin, T_BINARY)) {
    set_unset(bin);
    return;
  }
  std::vector<uint8_t> got(static_cast<size_t>(std::min(want, 1 << 24)));
  ssize_t n;
  do n = read(STDIN_FILENO, got.data(), got.size());
  while (n < 0 && errno == EINTR);
  if (n > 0) {
    const int32_t have = std::max(binary::xs_length_q(bin), 0);
    const int32_t over = std::min(have, static_cast<int32_t>(n));
    std::copy_n(got.data(), over, reinterpret_cast<uint8_t*>(binary::xs_head(bin)));
    if (n > over) {
      Cell tail = *bin;
      series::set_head(&tail, series::head(bin) + have);
      binary::append_bytes(&tail, got.data() + over, static_cast<int32_t>(n - over));
    }
  }
  set_unset(bin);
}

// _words-with-values: the words of the global context that have a value,
// in the context's order (word completion's candidates).
void words_with_values() {
  const Node g = context::global();
  const int32_t n = context::size(g);
  Cell* out = block::push_only(n);
  for (int32_t i = 0; i < n; i++) {
    const Cell* vals = context::values(g);
    if (!vals || is_type(vals + i, T_UNSET)) continue;
    Cell w = *context::word_at(g, i);
    set_type(&w, T_WORD);
    block::xs_append(out, &w);
  }
  *stack::base() = *out;
  stack::set_top(stack::base() + 1);
}

// _terminate-console: the terminal is put back by the exit path itself.
void terminate_console() { set_unset(stack::base()); }

// init [str [string!]]: the window title (a terminal's title sequence, only
// when the output is a terminal), the terminal state, and the console size,
// 80x50 when the output reports none.
void console_init() {
  console_q = isatty(STDIN_FILENO);
  if (isatty(STDOUT_FILENO)) {
    std::string title = "\x1b]0;" + string::utf8_of(stack::base()) + "\x07";
    platform::write_all(STDOUT_FILENO, title);
  }
  if (console_q && isatty(STDOUT_FILENO) && !editing && platform::terminal_mode::open(STDIN_FILENO, STDOUT_FILENO)) {
    editing = true;
    add_exit_cleanup(platform::terminal_mode::restore);
    interrupt::set_wake(platform::terminal_mode::wake);
    term_io = platform::posix_term_io(STDIN_FILENO, STDOUT_FILENO);
    static console::LineEditor the_editor(term_io);
    editor = &the_editor;
    platform::set_display_width([](uint32_t cp) { return char_display_width(cp); });
  }
  int32_t cols = 0, rows = 0;
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0) cols = ws.ws_col, rows = ws.ws_row;
  if (cols == 0 || rows == 0) cols = 80, rows = 50;
  set_console_size(cols, rows);
  set_unset(stack::base());
}

constexpr Def kConsole[] = {
    {"_set-buffer-history", &set_buffer_history},
    {"_read-input", &read_input},
    {"_input-ended?", &input_ended_q},
    {"_halt-on-interrupt", &halt_on_interrupt},
    {"init", &console_init},
    {"input-stdin", &input_stdin},
    {"read-stdin", &read_stdin},
    {"_terminate-console", &terminate_console},
    {"_words-with-values", &words_with_values},
};

}  // namespace

std::span<const Def> console_routines() { return kConsole; }

}  // namespace xeb::routines
