// The console operations on an ANSI terminal: text goes out as UTF-8,
// attributes as SGR sequences, cursor moves as absolute positions and fills
// as erase-character sequences. The size comes from the terminal; the cursor
// position is asked of the terminal when an operation needs it.
#pragma once
#include <cstdint>

#include "platform/console_ops.h"

namespace xeb::platform {

struct TerminalConsole {
  int fd = 1;
  uint16_t attr = attr::PLAIN;          // last attribute set
  uint16_t default_attr = attr::PLAIN;  // shown as the terminal's own colours
  int col = 0, row = 0;   // our own estimate, used when the terminal does not answer
  char16_t high = 0;      // a high surrogate still waiting for its low half
  bool ask_terminal = true;  // query the cursor (only ever done on a tty)
};

ConsoleOps terminal_ops(TerminalConsole& t);

// The cells a code point takes, for the cursor counted from our own output;
// the width table lives above this layer, which registers it at start-up.
// Until then every character counts one cell.
void set_display_width(int (*fn)(uint32_t cp));

// The SGR sequence that shows attribute a; halves equal to those of the
// default attribute use the terminal's default colours.
void sgr_sequence(uint16_t a, uint16_t default_attr, char* out, size_t room);

}  // namespace xeb::platform
