// The terminal seam over POSIX descriptors.
#include "platform/term_io.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fd_io.h"
#include "platform/terminal_mode.h"

namespace xeb::platform {

namespace {

struct Fds {
  int in, out;
};
Fds fds_of_posix{0, 1};

Fds& fds(void* self) { return *static_cast<Fds*>(self); }

long posix_read(void* self, void* buf, size_t room) {
  for (;;) {
    ssize_t n = ::read(fds(self).in, buf, room);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    return -1;
  }
}

bool posix_write(void* self, const void* data, size_t bytes) { return write_all(fds(self).out, data, bytes); }

int64_t posix_clock(void*) {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

Ready posix_wait(void* self, int timeout_ms) {
  const int64_t until = timeout_ms < 0 ? -1 : posix_clock(self) + timeout_ms;
  for (;;) {
    if (terminal_mode::take_resize()) return Ready::resize;
    pollfd p[2] = {{fds(self).in, POLLIN, 0}, {terminal_mode::resize_fd(), POLLIN, 0}};
    const nfds_t n = p[1].fd >= 0 ? 2 : 1;
    int left = -1;
    if (until >= 0) {
      const int64_t now = posix_clock(self);
      left = now >= until ? 0 : static_cast<int>(until - now);
    }
    const int r = ::poll(p, n, left);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Ready::failed;
    }
    if (r == 0) return Ready::timeout;
    if (n == 2 && (p[1].revents & POLLIN)) {
      if (terminal_mode::take_resize()) return Ready::resize;
      continue;
    }
    // A hung-up or broken input also counts as ready: the read then tells.
    if (p[0].revents) return Ready::input;
  }
}

bool posix_size(void* self, int& cols, int& rows) {
  winsize ws{};
  if (ioctl(fds(self).out, TIOCGWINSZ, &ws) != 0 && ioctl(fds(self).in, TIOCGWINSZ, &ws) != 0) return false;
  if (ws.ws_col == 0 || ws.ws_row == 0) return false;
  cols = ws.ws_col;
  rows = ws.ws_row;
  return true;
}

}  // namespace

TermIO posix_term_io(int in_fd, int out_fd) {
  fds_of_posix = Fds{in_fd, out_fd};
  return TermIO{&fds_of_posix, posix_read, posix_write, posix_wait, posix_size, posix_clock};
}

}  // namespace xeb::platform
