// containers.h: the zlib and gzip wrappers around a raw DEFLATE stream:
// headers, trailers and their check values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/byte_buffer.h"
#include "codec/deflate.h"

namespace xeb::codec {

constexpr size_t kZlibOverhead = 6;   // 2 header bytes, Adler-32
constexpr size_t kGzipOverhead = 18;  // 10 header bytes, CRC-32, size

constexpr size_t zlib_bound(size_t n) { return deflate_bound(n) + kZlibOverhead; }
constexpr size_t gzip_bound(size_t n) { return deflate_bound(n) + kGzipOverhead; }

// As deflate(): ok with size the bytes written, or too_small with size the
// bytes needed.
Status zlib_compress(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size);
Status gzip_compress(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size);

// As inflate(): append the decoded bytes to out, never past limit in all.
// The check value must match; a gzip member's size field must be what its
// data decodes to (it is also the size allocated, so it must not pass what
// the data could give).
Status zlib_decompress(std::span<const uint8_t> in, ByteBuffer& out, size_t limit);
Status gzip_decompress(std::span<const uint8_t> in, ByteBuffer& out, size_t limit);

}  // namespace xeb::codec
