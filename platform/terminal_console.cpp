// Console operations on an ANSI terminal.
//
// The terminal holds no text attribute we can read back, so the last one set
// is kept here. The cursor is asked for with a cursor-position report over
// the controlling terminal; a terminal that does not answer in time leaves us
// with the position counted from our own output.
#include "platform/terminal_console.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "platform/fd_io.h"
#include "platform/terminal_mode.h"
#include "platform/utf8.h"

namespace xeb::platform {

namespace {

constexpr int kReplyWaitMs = 250;
constexpr int kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};  // console colour bits -> ANSI number

TerminalConsole& tc(void* self) { return *static_cast<TerminalConsole*>(self); }

void size_of(int fd, int& w, int& h) {
  winsize ws{};
  if (ioctl(fd, TIOCGWINSZ, &ws) == 0) {
    w = ws.ws_col;
    h = ws.ws_row;
  } else {
    w = h = 0;
  }
}

// Asks the terminal where its cursor is (CSI 6 n, answered CSI row ; col R).
// Input typed ahead of the answer is lost: the query runs only for the rare
// sequences that need the position.
bool ask_cursor(int& col, int& row) {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  // The terminal's owner switches the mode when it has the terminal, so a
  // signal during the query still finds the settings to put back.
  const bool owned = terminal_mode::enter_raw();
  termios saved{};
  if (!owned) {
    if (tcgetattr(tty, &saved) != 0) {
      close(tty);
      return false;
    }
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(tty, TCSANOW, &raw);
  }
  bool ok = false;
  if (write_all(tty, "\x1b[6n")) {
    char buf[32];
    size_t n = 0;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
      if (spent >= kReplyWaitMs) break;
      pollfd p{tty, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(kReplyWaitMs - spent)) <= 0) break;
      char ch;
      if (read(tty, &ch, 1) != 1) break;
      if (n == 0 && ch != '\x1b') continue;  // not the start of the answer
      if (n < sizeof buf - 1) buf[n++] = ch;
      if (ch == 'R') {
        buf[n] = 0;
        int r = 0, c = 0;
        if (std::sscanf(buf, "\x1b[%d;%dR", &r, &c) == 2 && r > 0 && c > 0) {
          row = r - 1;
          col = c - 1;
          ok = true;
        }
        break;
      }
    }
  }
  if (owned) terminal_mode::leave_raw();
  else tcsetattr(tty, TCSANOW, &saved);
  close(tty);
  return ok;
}

void emit(TerminalConsole& t, std::string_view s) { write_all(t.fd, s); }

void emit_cursor(TerminalConsole& t, int col, int row) {
  char seq[32];
  int n = std::snprintf(seq, sizeof seq, "\x1b[%d;%dH", row + 1, col + 1);
  emit(t, std::string_view(seq, static_cast<size_t>(n)));
}

// Keeps the estimated cursor in step with what a code point does on screen.
int (*cells_of)(uint32_t cp) = nullptr;

void advance(TerminalConsole& t, uint32_t cp, int width, int height) {
  if (cp == '\r') t.col = 0;
  else if (cp == '\n') { t.col = 0; ++t.row; }
  else if (cp == '\b') t.col = std::max(t.col - 1, 0);
  else if (cp >= 0x20) {
    const int w = cells_of ? cells_of(cp) : 1;
    // A wide character with one cell left starts the next row.
    if (w == 2 && width > 0 && t.col == width - 1) { t.col = 0; ++t.row; }
    t.col += w;
  }
  if (width > 0 && t.col >= width) { t.col = 0; ++t.row; }
  if (height > 0 && t.row >= height) t.row = height - 1;
}

void write(void* self, std::span<const char16_t> units) {
  TerminalConsole& t = tc(self);
  int w, h;
  size_of(t.fd, w, h);
  char out[1024];
  size_t n = 0;
  for (char16_t u : units) {
    uint32_t cp = u;
    if (t.high) {
      if (u >= 0xDC00 && u <= 0xDFFF) cp = 0x10000 + ((t.high - 0xD800u) << 10) + (u - 0xDC00u);
      else n += put_utf8(reinterpret_cast<uint8_t*>(out + n), 0xFFFD);  // the high half had no partner
      t.high = 0;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) { t.high = static_cast<char16_t>(cp); continue; }
    if (cp >= 0xDC00 && cp <= 0xDFFF) cp = 0xFFFD;
    // A line feed starts the next line at column 0, as on a console, even
    // when the terminal's own output processing is off.
    if (cp == '\n') out[n++] = '\r';
    n += put_utf8(reinterpret_cast<uint8_t*>(out + n), cp);
    advance(t, cp, w, h);
    if (n > sizeof out - 8) {
      write_all(t.fd, out, n);
      n = 0;
    }
  }
  write_all(t.fd, out, n);
}

ScreenInfo info(void* self) {
  TerminalConsole& t = tc(self);
  int width = 0, height = 0;
  size_of(t.fd, width, height);
  int col = t.col, row = t.row;
  if (t.ask_terminal && isatty(t.fd) && ask_cursor(col, row)) {
    t.col = col;
    t.row = row;
  }
  return whole_screen(width, height, t.col, t.row, t.attr);
}

uint16_t attribute(void* self) { return tc(self).attr; }

void set_attribute(void* self, uint16_t a) {
  TerminalConsole& t = tc(self);
  t.attr = a;
  char seq[48];
  sgr_sequence(a, t.default_attr, seq, sizeof seq);
  emit(t, seq);
}

void set_cursor(void* self, int col, int row) {
  TerminalConsole& t = tc(self);
  if (col < 0 || row < 0) return;
  t.col = col;
  t.row = row;
  emit_cursor(t, col, row);
}

// Erase-character (CSI n X) clears cells in the current background colour
// without moving the cursor, so each row of the fill is one position and one
// erase; the attribute and cursor are put back afterwards.
void fill(void* self, int col, int row, uint32_t count, uint16_t a) {
  TerminalConsole& t = tc(self);
  int w, h;
  size_of(t.fd, w, h);
  if (count == 0 || w <= 0 || col < 0 || row < 0) return;
  char seq[64];
  sgr_sequence(a, t.default_attr, seq, sizeof seq);
  emit(t, seq);
  while (count > 0 && (h <= 0 || row < h)) {
    const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(std::max(w - col, 0)));
    if (n > 0) {
      emit_cursor(t, col, row);
      int k = std::snprintf(seq, sizeof seq, "\x1b[%uX", n);
      emit(t, std::string_view(seq, static_cast<size_t>(k)));
    }
    count -= std::min(count, n);
    col = 0;
    ++row;
  }
  emit_cursor(t, t.col, t.row);
  sgr_sequence(t.attr, t.default_attr, seq, sizeof seq);
  emit(t, seq);
}

}  // namespace

void set_display_width(int (*fn)(uint32_t cp)) { cells_of = fn; }

void sgr_sequence(uint16_t a, uint16_t default_attr, char* out, size_t room) {
  size_t n = static_cast<size_t>(std::snprintf(out, room, "\x1b[0"));
  auto add = [&](int code) {
    if (n < room) n += static_cast<size_t>(std::snprintf(out + n, room - n, ";%d", code));
  };
  if ((a & 0x0F) != (default_attr & 0x0F))
    add(((a & attr::FG_BRIGHT) ? 90 : 30) + kAnsiColour[a & 7]);
  if ((a & 0xF0) != (default_attr & 0xF0))
    add(((a & attr::BG_BRIGHT) ? 100 : 40) + kAnsiColour[(a >> 4) & 7]);
  if (a & attr::UNDERSCORE) add(4);
  if (n < room) std::snprintf(out + n, room - n, "m");
}

ConsoleOps terminal_ops(TerminalConsole& t) {
  return ConsoleOps{&t, write, info, attribute, set_attribute, set_cursor, fill};
}

}  // namespace xeb::platform
