// Base 2, 16, 58 and 64 text of bytes. Decoders are strict: a character
// they cannot place (a stray character, a dangling digit, a partial group)
// makes the whole text invalid rather than being dropped.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/string.h"

namespace xeb::binary {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kB58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t SKIP = 0x40, BAD = 0x80;

// Skip class shared by base 58 and 64: BS, TAB, LF, FF, CR, space, apostrophe.
constexpr bool is_skip(int32_t c) { return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32 || c == 39; }

constexpr std::array<uint8_t, 128> make_table(const char* alphabet, int n, bool pad) {
  std::array<uint8_t, 128> t{};
  for (auto& v : t) v = BAD;
  for (int i = 0; i < n; i++) t[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
  for (int c = 0; c < 128; c++)
    if (is_skip(c)) t[c] = SKIP;
  if (pad) t['='] = 0;
  return t;
}
constexpr auto kB58Decode = make_table(kB58, 58, false);
constexpr auto kB64Decode = make_table(kB64, 64, true);

// Reads the characters of a text at its unit, passing over ";" comments.
struct Reader {
  const std::byte* p;
  int32_t len;
  int unit;
  int32_t i = 0;
  // The next character, or -1 at the end.
  int32_t next() {
    while (i < len) {
      int32_t c = string::get_char(p + int64_t{i} * unit, unit);
      i++;
      if (c != ';') return c;
      while (i < len && string::get_char(p + int64_t{i} * unit, unit) != '\n') i++;
    }
    return -1;
  }
};

Node make_bytes(const std::vector<uint8_t>& out) {
  Node n = memory::alloc_bytes(static_cast<int64_t>(out.size()));
  SeriesBuf* b = buf_of(n);
  if (!out.empty()) std::memcpy(b->head_ptr(), out.data(), out.size());
  b->tail = b->head + static_cast<Off>(out.size());
  return n;
}

}  // namespace

// --- Encoders -------------------------------------------------------------------------

char* encode_2(char* out, const uint8_t* bytes, int32_t len) {
  for (int32_t i = 0; i < len; i++)
    for (int k = 7; k >= 0; k--) *out++ = (bytes[i] >> k) & 1 ? '1' : '0';
  return out;
}

char* encode_16(char* out, const uint8_t* bytes, int32_t len) {
  for (int32_t i = 0; i < len; i++) *out++ = kHex[bytes[i] >> 4], *out++ = kHex[bytes[i] & 15];
  return out;
}

char* encode_58(char* out, const uint8_t* bytes, int32_t len) {
  int32_t zeros = 0;
  while (zeros < len && bytes[zeros] == 0) zeros++;
  std::vector<uint8_t> num(bytes + zeros, bytes + len);  // big-endian work copy
  std::vector<char> digits;
  size_t start = 0;
  while (start < num.size()) {
    uint32_t rem = 0;
    for (size_t i = start; i < num.size(); i++) {
      uint32_t v = (rem << 8) | num[i];
      num[i] = static_cast<uint8_t>(v / 58);
      rem = v % 58;
    }
    digits.push_back(kB58[rem]);
    while (start < num.size() && num[start] == 0) start++;
  }
  for (int32_t i = 0; i < zeros; i++) *out++ = '1';
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) *out++ = *it;
  return out;
}

char* encode_64(char* out, const uint8_t* bytes, int32_t len) {
  int32_t i = 0;
  for (; i + 3 <= len; i += 3) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    *out++ = kB64[v >> 18], *out++ = kB64[(v >> 12) & 63], *out++ = kB64[(v >> 6) & 63], *out++ = kB64[v & 63];
  }
  if (len - i == 1) {
    uint32_t v = bytes[i] << 16;
    *out++ = kB64[v >> 18], *out++ = kB64[(v >> 12) & 63], *out++ = '=', *out++ = '=';
  } else if (len - i == 2) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    *out++ = kB64[v >> 18], *out++ = kB64[(v >> 12) & 63], *out++ = kB64[(v >> 6) & 63], *out++ = '=';
  }
  return out;
}

// --- Decoders -------------------------------------------------------------------------

Node decode_2(const std::byte* text, int32_t len, int unit) {
  Reader r{text, len, unit};
  std::vector<uint8_t> out;
  out.reserve(len / 8);
  uint32_t acc = 0;
  int bits = 0;
  for (int32_t c; (c = r.next()) >= 0;) {
    if (c <= ' ') continue;
    if (c != '0' && c != '1') return 0;
    acc = (acc << 1) | static_cast<uint32_t>(c - '0');
    if (++bits == 8) out.push_back(static_cast<uint8_t>(acc)), acc = 0, bits = 0;
  }
  if (bits) return 0;
  return make_bytes(out);
}

Node decode_16(const std::byte* text, int32_t len, int unit) {
  Reader r{text, len, unit};
  std::vector<uint8_t> out;
  out.reserve(len / 2);
  int high = -1;
  for (int32_t c; (c = r.next()) >= 0;) {
    if (c <= ' ') continue;
    uint8_t d = hex_digit(c);  // 0xFF for anything else, non-ASCII included
    if (d == 0xFF) return 0;
    if (high < 0) high = d;
    else out.push_back(static_cast<uint8_t>(high << 4 | d)), high = -1;
  }
  if (high >= 0) return 0;
  return make_bytes(out);
}

Node decode_58(const std::byte* text, int32_t len, int unit) {
  Reader r{text, len, unit};
  std::vector<uint8_t> digits;
  for (int32_t c; (c = r.next()) >= 0;) {
    if (c > 127) return 0;
    uint8_t v = kB58Decode[c];
    if (v == SKIP) continue;
    if (v == BAD) return 0;
    digits.push_back(v);
  }
  size_t zeros = 0;
  while (zeros < digits.size() && digits[zeros] == 0) zeros++;
  // Base 58 into base 256, little-endian while it grows.
  std::vector<uint8_t> num;
  for (size_t i = zeros; i < digits.size(); i++) {
    uint32_t carry = digits[i];
    for (auto& b : num) {
      carry += static_cast<uint32_t>(b) * 58;
      b = static_cast<uint8_t>(carry);
      carry >>= 8;
    }
    for (; carry; carry >>= 8) num.push_back(static_cast<uint8_t>(carry));
  }
  std::vector<uint8_t> out(zeros, 0);
  out.insert(out.end(), num.rbegin(), num.rend());
  return make_bytes(out);
}

Node decode_64(const std::byte* text, int32_t len, int unit) {
  Reader r{text, len, unit};
  std::vector<uint8_t> out;
  out.reserve((int64_t{len} * 3 + 9) / 4);
  uint32_t acc = 0;
  int n = 0;
  for (int32_t c; (c = r.next()) >= 0;) {
    if (c > 127) return 0;
    uint8_t v = kB64Decode[c];
    if (v == SKIP) continue;
    if (v == BAD) return 0;
    if (c == '=') {
      if (n == 3) {
        out.push_back(static_cast<uint8_t>(acc >> 10)), out.push_back(static_cast<uint8_t>(acc >> 2));
      } else if (n == 2) {
        out.push_back(static_cast<uint8_t>(acc >> 4));
      } else {
        return 0;
      }
      return make_bytes(out);
    }
    acc = (acc << 6) | v;
    if (++n == 4) {
      out.push_back(static_cast<uint8_t>(acc >> 16)), out.push_back(static_cast<uint8_t>(acc >> 8));
      out.push_back(static_cast<uint8_t>(acc));
      acc = 0, n = 0;
    }
  }
  if (n) return 0;  // a partial group without padding
  return make_bytes(out);
}

Node decode(int base, const std::byte* text, int32_t len, int unit) {
  switch (base) {
    case 2: return decode_2(text, len, unit);
    case 16: return decode_16(text, len, unit);
    case 58: return decode_58(text, len, unit);
    case 64: return decode_64(text, len, unit);
  }
  return 0;
}

}  // namespace xeb::binary
