// The body of the codec's fuzz targets: any bytes decode to a status,
// inside the bounds (the sanitizers check every read and write) and the
// output limit; whatever decodes is encoded again and must decode back to
// the same bytes.
#pragma once

#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "codec/byte_buffer.h"
#include "codec/containers.h"
#include "codec/deflate.h"

namespace xeb::codec::fuzz {

using Decode = Status (*)(std::span<const uint8_t>, ByteBuffer&, size_t);
using Encode = Status (*)(std::span<const uint8_t>, std::span<uint8_t>, size_t&);

// Small enough that an input which expands to the limit stays quick to
// encode again.
constexpr size_t kLimit = size_t(1) << 20;

inline int one_input(const uint8_t* data, size_t size, Decode decode, Encode encode) {
  ByteBuffer out;
  if (decode(std::span<const uint8_t>(data, size), out, kLimit) != Status::ok) return 0;
  if (out.size() > kLimit) std::abort();
  std::vector<uint8_t> packed(gzip_bound(out.size()));
  size_t n = 0;
  if (encode(std::span<const uint8_t>(out.data(), out.size()), packed, n) != Status::ok) std::abort();
  ByteBuffer again;
  if (decode(std::span<const uint8_t>(packed.data(), n), again, out.size()) != Status::ok) std::abort();
  if (again.size() != out.size() || (out.size() && std::memcmp(again.data(), out.data(), out.size()) != 0)) std::abort();
  return 0;
}

inline Status raw_inflate(std::span<const uint8_t> in, ByteBuffer& out, size_t limit) { return inflate(in, out, limit); }

}  // namespace xeb::codec::fuzz
