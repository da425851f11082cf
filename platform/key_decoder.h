// Keys from the bytes an xterm-compatible terminal sends: UTF-8 text,
// control characters, and the escape sequences of special keys, SGR mouse
// reports and cursor-position reports. Shared by the line editor and a text
// GUI.
//
// ESC followed in time by a printable or control byte that starts no
// sequence is that key with Alt, as terminals send Alt and Option keys; ESC
// before a second ESC, or before a byte past ASCII, is the Escape key, and
// the byte is decoded afresh. A lone ESC is one key once no more bytes
// follow in time. A sequence or character split across reads is held until
// it is complete, so the keys do not depend on where the reads split the
// bytes; only an ESC is completed by time, a character cut short only by the
// end of the input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/term_io.h"

namespace xeb::platform {

enum class KeyKind : uint8_t {
  character,   // ch: a code point, control characters and DEL included
  up, down, right, left, home, end, insert, del, page_up, page_down,
  back_tab,    // shift-Tab
  function,    // F1 to F12: number in a
  mouse,       // SGR report: button bits in a, column b, row c (1-based), release
  cursor_report,  // row in b, column in c (1-based)
  unknown,     // a well-formed sequence this table does not know; consumed whole
  resize,      // the terminal changed size (not from the bytes)
  end_of_input,  // the input is closed or failed
};

namespace key_mod {
constexpr uint8_t shift = 1, alt = 2, control = 4;
}

struct Key {
  KeyKind kind = KeyKind::unknown;
  uint8_t mods = 0;
  bool release = false;
  char32_t ch = 0;
  int32_t a = 0, b = 0, c = 0;
  bool operator==(const Key&) const = default;
};

class KeyDecoder {
 public:
  void feed(std::span<const uint8_t> bytes);
  // The next key, or nothing when the bytes held are empty or the start of
  // an unfinished sequence or character. With flush (the time to wait is
  // over), a held ESC is taken as it is: a lone ESC becomes the Escape key.
  // With at_end (no more input will come), a character cut short also gives
  // its replacement.
  std::optional<Key> next(bool flush = false, bool at_end = false);
  bool holding() const { return pos_ < buf_.size(); }
  // What is held starts with ESC: the one start that time completes.
  bool holding_escape() const { return holding() && static_cast<uint8_t>(buf_[pos_]) == 0x1B; }

 private:
  enum class Step { done, need_more, not_sequence };
  Step escape(Key& k, size_t& used) const;
  Step utf8(Key& k, size_t& used, bool flush) const;
  void compact();

  std::string buf_;
  size_t pos_ = 0;
};

// How long a held ESC waits for the rest of its sequence.
constexpr int ESCAPE_WAIT_MS = 50;

// Reads until a whole key is decoded. A failed or closed input is the end of
// input, never a loop; a resize comes as its own key.
Key read_key(TermIO& io, KeyDecoder& dec);

}  // namespace xeb::platform
