// The terminal owner. State read by restore() is plain memory updated only
// by the interpreter thread; a signal handler that runs restore() sees it
// whole because every update finishes before the flag that makes it count
// (raw_active, modes_now) is set.
#include "platform/terminal_mode.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace xeb::platform::terminal_mode {

namespace {

int tty_in = -1, tty_out = -1;
bool opened = false, terminal = false;
termios saved{};
int depth = 0;
volatile sig_atomic_t raw_active = 0;   // the terminal is not in its saved settings
volatile sig_atomic_t modes_now = 0;
int winch_pipe[2] = {-1, -1};

// The restore bytes for the modes in force, rebuilt on every set_modes.
char restore_bytes[96];
volatile sig_atomic_t restore_len = 0;

void append(size_t& n, const char* s) {
  size_t k = std::strlen(s);
  if (n + k <= sizeof restore_bytes) {
    std::memcpy(restore_bytes + n, s, k);
    n += k;
  }
}

void rebuild_restore_bytes(uint32_t m) {
  restore_len = 0;  // a handler running now writes nothing half-built
  size_t n = 0;
  if (m & mouse_reporting) append(n, "\x1b[?1000l\x1b[?1003l\x1b[?1006l\x1b[?1015l");
  if (m & attributes_set) append(n, "\x1b[0m");
  if (m & alternate_screen) append(n, "\x1b[?1049l");
  if (m & cursor_hidden) append(n, "\x1b[?25h");
  restore_len = static_cast<sig_atomic_t>(n);
}

void on_winch(int) {
  const int saved_errno = errno;
  const char b = 1;
  ssize_t w = ::write(winch_pipe[1], &b, 1);  // a full pipe already holds a notice
  (void)w;
  errno = saved_errno;
}

void set_cloexec_nonblock(int fd) {
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

bool open(int in_fd, int out_fd) {
  if (opened) return terminal;
  opened = true;
  if (!isatty(in_fd) || tcgetattr(in_fd, &saved) != 0) return false;
  terminal = true;
  tty_in = in_fd;
  tty_out = out_fd;
  if (pipe(winch_pipe) == 0) {
    set_cloexec_nonblock(winch_pipe[0]);
    set_cloexec_nonblock(winch_pipe[1]);
    struct sigaction sa{};
    sa.sa_handler = on_winch;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGWINCH, &sa, nullptr);
  }
  return true;
}

bool is_terminal() { return terminal; }

bool enter_raw() {
  if (!terminal) return false;
  if (depth++ > 0) return true;
  termios raw = saved;
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  raw_active = 1;  // before the change: a signal in between restores anyway
  while (tcsetattr(tty_in, TCSANOW, &raw) != 0 && errno == EINTR) {
  }
  return true;
}

void leave_raw() {
  if (!terminal || depth == 0) return;
  if (--depth > 0) return;
  while (tcsetattr(tty_in, TCSANOW, &saved) != 0 && errno == EINTR) {
  }
  raw_active = 0;
}

int raw_depth() { return depth; }

void set_modes(uint32_t m) {
  rebuild_restore_bytes(m);
  modes_now = static_cast<sig_atomic_t>(m);
}

uint32_t modes() { return static_cast<uint32_t>(modes_now); }

void restore() {
  if (!terminal) return;
  if (modes_now != 0) {
    const size_t n = static_cast<size_t>(restore_len);
    size_t done = 0;
    while (done < n) {
      ssize_t w = ::write(tty_out, restore_bytes + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    modes_now = 0;
  }
  if (raw_active) {
    while (tcsetattr(tty_in, TCSANOW, &saved) != 0 && errno == EINTR) {
    }
    raw_active = 0;
  }
  depth = 0;
}

int resize_fd() { return winch_pipe[0]; }

void wake() { on_winch(0); }

bool take_resize() {
  if (winch_pipe[0] < 0) return false;
  char buf[64];
  bool any = false;
  while (::read(winch_pipe[0], buf, sizeof buf) > 0) any = true;
  return any;
}

}  // namespace xeb::platform::terminal_mode
