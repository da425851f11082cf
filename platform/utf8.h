// UTF-8 encoding of one code point, for every layer that writes text bytes.
// Callers decide what a code point past 0x10FFFF becomes (an error, U+FFFD)
// before calling: this step only lays out the bits.
#pragma once
#include <cstdint>

namespace xeb::platform {

// cp at most 0x10FFFF (a lone surrogate takes three bytes like any other
// code point); answers the bytes written, 1 to 4.
inline int put_utf8(uint8_t* out, uint32_t cp) {
  if (cp < 0x80) {
    out[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
  out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace xeb::platform
