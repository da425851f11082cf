// UTF-8 decoding and the Unicode blanks that separate values although their
// bytes read as word characters.
#include "lexer/internal.h"

namespace xeb::lexer::detail {

int32_t decode_utf8(const uint8_t* p, const uint8_t* e, int& len) {
  uint8_t b = p[0];
  len = 1;
  if (b < 0x80) return b;
  int n;
  int32_t cp;
  if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07;
  else return -1;
  if (e - p < n) return -1;
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not text.
  static constexpr int32_t min_of[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < min_of[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  len = n;
  return cp;
}

bool is_unicode_space(int32_t cp) {
  switch (cp) {
    case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000: case 0x200B:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

int unicode_space_at(const uint8_t* p, const uint8_t* e) {
  if (p >= e || *p < 0xC2) return 0;
  int len;
  int32_t cp = decode_utf8(p, e, len);
  return cp >= 0 && is_unicode_space(cp) ? len : 0;
}

}  // namespace xeb::lexer::detail
