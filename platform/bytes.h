// Fixed-width integers at any byte address of a buffer, in the byte order a
// file format fixes (compressed streams and their containers, image files,
// the LZ format). One memcpy each: the compiler makes it a plain load or
// store.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace xeb::platform {

inline uint16_t swap_bytes(uint16_t v) { return __builtin_bswap16(v); }
inline uint32_t swap_bytes(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t swap_bytes(uint64_t v) { return __builtin_bswap64(v); }

template <class T, std::endian order>
inline T load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native != order) v = swap_bytes(v);
  return v;
}
template <class T, std::endian order>
inline void store(uint8_t* p, T v) {
  if constexpr (std::endian::native != order) v = swap_bytes(v);
  std::memcpy(p, &v, sizeof v);
}

inline uint16_t load_le16(const uint8_t* p) { return load<uint16_t, std::endian::little>(p); }
inline uint32_t load_le32(const uint8_t* p) { return load<uint32_t, std::endian::little>(p); }
inline uint64_t load_le64(const uint8_t* p) { return load<uint64_t, std::endian::little>(p); }
inline uint32_t load_be32(const uint8_t* p) { return load<uint32_t, std::endian::big>(p); }
inline void store_le32(uint8_t* p, uint32_t v) { store<uint32_t, std::endian::little>(p, v); }
inline void store_be32(uint8_t* p, uint32_t v) { store<uint32_t, std::endian::big>(p, v); }

inline void append_le16(std::vector<uint8_t>& o, uint16_t v) {
  uint8_t b[2];
  store<uint16_t, std::endian::little>(b, v);
  o.insert(o.end(), b, b + 2);
}
inline void append_le32(std::vector<uint8_t>& o, uint32_t v) {
  uint8_t b[4];
  store_le32(b, v);
  o.insert(o.end(), b, b + 4);
}

}  // namespace xeb::platform
