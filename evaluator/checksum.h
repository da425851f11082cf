// Checksums and digests behind the native checksum: the Internet (TCP)
// checksum computed here, CRC-32 and Adler-32 from the codec layer, and the
// cryptographic digests and HMAC from the platform's digest layer.
#pragma once
#include <cstdint>
#include <span>

namespace xeb::checksum {

// The 16-bit ones'-complement sum of RFC 1071 over big-endian words, a
// trailing odd byte taken as the high byte of a last word; 0..65535.
uint32_t tcp(std::span<const uint8_t> data);

}  // namespace xeb::checksum
