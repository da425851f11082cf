// checksums.h: CRC-32 (the polynomial of zlib, gzip and PNG) and Adler-32.
// Both have a running form: pass the value of the data so far as the seed and
// get the value of the data so far plus `data` back. The seed of empty data is
// kCrc32Init (0) and kAdler32Init (1).
#pragma once

#include <cstdint>
#include <span>

namespace xeb::codec {

inline constexpr uint32_t kCrc32Init = 0;
inline constexpr uint32_t kAdler32Init = 1;

uint32_t crc32(std::span<const uint8_t> data, uint32_t seed = kCrc32Init);
uint32_t adler32(std::span<const uint8_t> data, uint32_t seed = kAdler32Init);

}  // namespace xeb::codec
