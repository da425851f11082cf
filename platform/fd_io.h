// Whole writes to file descriptors: the one place that loops on short writes
// and interrupted calls, so callers can treat a write as all-or-nothing.
#pragma once
#include <cstddef>
#include <string_view>

namespace xeb::platform {

// Writes every byte unless the descriptor fails for good (a closed pipe, a
// full disk); answers false then. SIGPIPE is ignored by platform init, so a
// vanished reader shows up here as a failure, not as a signal.
bool write_all(int fd, const void* data, size_t bytes);
inline bool write_all(int fd, std::string_view s) { return write_all(fd, s.data(), s.size()); }

void ignore_sigpipe();

}  // namespace xeb::platform
