// Whole writes to file descriptors.
#include "platform/fd_io.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace xeb::platform {

bool write_all(int fd, const void* data, size_t bytes) {
  const char* p = static_cast<const char*>(data);
  while (bytes > 0) {
    ssize_t n = ::write(fd, p, bytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    bytes -= static_cast<size_t>(n);
  }
  return true;
}

void ignore_sigpipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace xeb::platform
