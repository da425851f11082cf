// A console that keeps its screen in memory and records every write call, so
// that tests can check what the escape interpreter and the console writer
// did: cell contents, attributes, cursor, and how text was batched.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/console_ops.h"

namespace xeb::platform {

struct RecordingConsole {
  int width, height;
  int col = 0, row = 0;
  uint16_t attr;
  std::vector<char16_t> chars;   // width * height, row after row
  std::vector<uint16_t> attrs;
  std::vector<size_t> writes;    // units in each write call, in order
  std::u16string text;           // every unit written, in order
  int info_calls = 0;

  explicit RecordingConsole(int w = 80, int h = 25, uint16_t a = attr::PLAIN);
  ConsoleOps ops();

  char16_t char_at(int c, int r) const { return chars[static_cast<size_t>(r * width + c)]; }
  uint16_t attr_at(int c, int r) const { return attrs[static_cast<size_t>(r * width + c)]; }
  std::string row_text(int r) const;  // the row as ASCII, '?' for anything else
};

}  // namespace xeb::platform
