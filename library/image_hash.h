// The hash that keys a heap image to what it was made from. Header-only: the
// boot image tool hashes the sources' image at build time with it, so a
// start does not hash the whole image again.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace xeb::library {

struct ImageHash {
  uint64_t h = 1469598103934665603ull;
  void bytes(const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; i++) h = (h ^ b[i]) * 1099511628211ull;
  }
  void text(std::string_view s) {
    bytes(s.data(), s.size());
    bytes("", 1);
  }
  template <class T>
  void value(const T& v) { bytes(&v, sizeof v); }
  // Eight bytes a step: the sources are the bulk of a key.
  void words(std::span<const uint8_t> s) {
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      h = (h ^ w) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 29;
    }
    bytes(s.data() + i, s.size() - i);
  }
};

}  // namespace xeb::library
