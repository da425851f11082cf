// The seam between terminal code (the line editor, the key reader, a text
// GUI) and the terminal itself: read, write, wait, size and a clock. The
// real one sits on two file descriptors; tests hand in a fake terminal that
// replays scripted input and records what is written.
#pragma once
#include <cstddef>
#include <cstdint>

namespace xeb::platform {

enum class Ready { input, resize, timeout, failed };

struct TermIO {
  void* self = nullptr;
  // Bytes read, 0 at the end of input, -1 when the read failed.
  long (*read)(void* self, void* buf, size_t room) = nullptr;
  bool (*write)(void* self, const void* data, size_t bytes) = nullptr;
  // Waits until input is there, the terminal was resized, or timeout_ms
  // passed (-1: no limit). A resize is reported once.
  Ready (*wait)(void* self, int timeout_ms) = nullptr;
  // Columns and rows; false when the terminal cannot tell.
  bool (*size)(void* self, int& cols, int& rows) = nullptr;
  int64_t (*clock_ms)(void* self) = nullptr;  // monotonic
};

// The terminal on in_fd and out_fd. Resizes come from the terminal owner's
// SIGWINCH notice (terminal_mode.h), whichever thread took the signal.
TermIO posix_term_io(int in_fd, int out_fd);

}  // namespace xeb::platform
