// deflate.h: raw DEFLATE streams (the compressed-data format of zlib, gzip
// and PNG). The encoder turns a whole input into one stream; the decoder
// bounds every read by its input and every write by the caller's limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/byte_buffer.h"

namespace xeb::codec {

enum class Status : uint8_t {
  ok,
  too_small,     // the output would pass the caller's limit (or memory ran out)
  bad_data,      // a malformed header, code, symbol or check value
  truncated,     // the input ends inside the stream
  bad_block,     // a block of the reserved type 3
  bad_distance,  // a match reaches before the start of the output
};

// The largest stream the encoder writes for n input bytes.
constexpr size_t deflate_bound(size_t n) { return n + n / 2048 + 32; }

// Encodes in as one stream into out. Answers ok with size the bytes written,
// or too_small with size the bytes the stream needs (out then holds a prefix).
Status deflate(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size);

// Decodes one stream from in, appending to out (growing it, never past limit
// bytes in all). Back-references reach only bytes of this stream. consumed,
// when given, gets the input bytes the stream took (its last byte counted
// whole).
Status inflate(std::span<const uint8_t> in, ByteBuffer& out, size_t limit, size_t* consumed = nullptr);

// The most bytes n bytes of DEFLATE data can decode to: a 258-byte match
// costs at least two bits.
constexpr uint64_t inflate_bound(uint64_t n) { return n * 1032 + 1032; }

}  // namespace xeb::codec
