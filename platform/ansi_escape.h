// The escape interpreter: turns CSI sequences found in console text into
// console operations (attributes, cursor moves, erasing, cursor save and
// restore). Only console text goes through it; redirected output keeps its
// escapes as plain text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/console_ops.h"

namespace xeb::platform {

struct EscapeEnv {
  ConsoleOps ops;
  uint16_t default_attr = attr::PLAIN;  // SGR 0 restores it, erasing fills with it
  int saved_col = 0, saved_row = 0;     // written by CSI s, read by CSI u
  void (*message)(std::string_view text) = nullptr;  // prints the CSI ? report
};

// text points at an ESC; bytes is what remains of the text from there; unit
// is 1 (Latin-1) or 2 (UTF-16). Answers the bytes consumed, the whole
// sequence with its final character, or 0 when the ESC starts no sequence
// and is to be printed. Never reads past bytes: a sequence cut short by the
// end consumes the rest without effect.
size_t interpret_escape(EscapeEnv& env, const std::byte* text, size_t bytes, int unit);

// The attribute that SGR code leaves on attribute a.
uint16_t sgr_attribute(uint16_t a, unsigned code, uint16_t default_attr);

// Erase kinds 0-5: 0 CSI J, 1 CSI 1 J, 2 CSI 2 J, 3 CSI 2 K, 4 CSI K, 5 CSI 1 K.
void erase(EscapeEnv& env, int kind);

}  // namespace xeb::platform
