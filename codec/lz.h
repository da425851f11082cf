// The runtime's own LZ77 bit-stream format, used for compressed Xebbin
// payloads: [packed size][unpacked size] then chunks of at most 1 MiB of
// output, each [length][bits read least-significant first]. A literal is a
// 0 flag and 8 bits; a match a 1 flag, a length code (3..566) and a distance
// code (1..262,144) that never reaches before the chunk's first byte.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace xeb::lz {

constexpr int32_t MAX_CHUNK = 0x100000;

// The decoded bytes, or nothing when the data is corrupt: a chunk length
// outside 1..1 MiB, a read past the input, a match before the chunk's start
// or past its end, or a total that differs from the unpacked size. Output
// grows with what the input actually decodes to, never with the sizes the
// header claims.
std::optional<std::vector<uint8_t>> decompress(std::span<const uint8_t> packed);

// Writes the format (greedy matches over a hash chain); for tests and tools.
std::vector<uint8_t> compress(std::span<const uint8_t> data);

}  // namespace xeb::lz
