// containers.cpp: zlib streams (RFC 1950) and gzip members (RFC 1952). The
// writers produce the plainest header of each; the readers accept every
// header the formats allow except a zlib preset dictionary, and check the
// trailer. Only the first gzip member is read; its trailer is the last eight
// bytes of the input.
#include "codec/containers.h"

#include <algorithm>

#include "codec/checksums.h"
#include "platform/bytes.h"

namespace xeb::codec {
namespace {

// Encodes in after a header of `head` bytes and before a trailer of `tail`
// bytes that the caller writes.
Status wrap(std::span<const uint8_t> in, std::span<uint8_t> out, size_t head, size_t tail, size_t& size) {
  if (out.size() < head + tail) {
    size = deflate_bound(in.size()) + head + tail;
    return Status::too_small;
  }
  size_t n = 0;
  Status st = deflate(in, out.subspan(head, out.size() - head - tail), n);
  size = head + n + tail;
  return st;
}

constexpr uint8_t kGzipId1 = 0x1F, kGzipId2 = 0x8B, kMethodDeflate = 8;
constexpr uint8_t kFhcrc = 0x02, kFextra = 0x04, kFname = 0x08, kFcomment = 0x10;

}  // namespace

Status zlib_compress(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size) {
  Status st = wrap(in, out, 2, 4, size);
  if (st != Status::ok) return st;
  out[0] = 0x78;  // deflate, 32 KiB window
  out[1] = 0x01;  // no dictionary, fastest-level hint; (0x78 * 256 + 1) % 31 == 0
  platform::store_be32(out.data() + size - 4, adler32(in));
  return Status::ok;
}

Status gzip_compress(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size) {
  Status st = wrap(in, out, 10, 8, size);
  if (st != Status::ok) return st;
  const uint8_t header[10] = {kGzipId1, kGzipId2, kMethodDeflate, 0, 0, 0, 0, 0, 4, 4};
  std::copy(header, header + 10, out.data());
  platform::store_le32(out.data() + size - 8, crc32(in));
  platform::store_le32(out.data() + size - 4, uint32_t(in.size()));
  return Status::ok;
}

Status zlib_decompress(std::span<const uint8_t> in, ByteBuffer& out, size_t limit) {
  if (in.size() < kZlibOverhead) return Status::bad_data;
  const uint8_t cmf = in[0], flg = in[1];
  if ((cmf * 256u + flg) % 31 != 0 || (cmf & 0x0F) != kMethodDeflate || (cmf & 0x80) || (flg & 0x20))
    return Status::bad_data;
  const size_t start = out.size();
  Status st = inflate(in.subspan(2, in.size() - kZlibOverhead), out, limit);
  if (st != Status::ok) return st;
  const uint32_t check = adler32(std::span<const uint8_t>(out.data() + start, out.size() - start));
  return check == platform::load_be32(in.data() + in.size() - 4) ? Status::ok : Status::bad_data;
}

Status gzip_decompress(std::span<const uint8_t> in, ByteBuffer& out, size_t limit) {
  const size_t n = in.size();
  if (n < kGzipOverhead || in[0] != kGzipId1 || in[1] != kGzipId2 || in[2] != kMethodDeflate) return Status::bad_data;
  const uint8_t flg = in[3];
  if (flg >= 32) return Status::bad_data;
  const size_t data_end = n - 8;  // the trailer follows
  size_t pos = 10;
  if (flg & kFextra) {
    if (data_end - pos < 2) return Status::bad_data;
    const size_t xlen = in[pos] | size_t(in[pos + 1]) << 8;
    if (data_end - pos - 2 < xlen) return Status::bad_data;
    pos += 2 + xlen;
  }
  for (uint8_t field : {kFname, kFcomment}) {
    if (!(flg & field)) continue;
    while (pos < data_end && in[pos] != 0) ++pos;
    if (pos == data_end) return Status::bad_data;  // no terminating zero
    ++pos;
  }
  if (flg & kFhcrc) {
    if (data_end - pos < 2) return Status::bad_data;
    const uint32_t crc = crc32(in.first(pos)) & 0xFFFF;
    if ((in[pos] | uint32_t(in[pos + 1]) << 8) != crc) return Status::bad_data;
    pos += 2;
  }
  const uint32_t isize = platform::load_le32(in.data() + n - 4);
  const std::span<const uint8_t> data = in.subspan(pos, data_end - pos);
  if (isize > inflate_bound(data.size())) return Status::bad_data;  // no stream that short decodes to that much
  const size_t start = out.size();
  if (isize > limit || limit - isize < start) return Status::too_small;
  if (!out.reserve(start + isize)) return Status::too_small;
  Status st = inflate(data, out, start + isize);
  if (st == Status::too_small) return Status::bad_data;  // more than the size field says
  if (st != Status::ok) return st;
  if (out.size() - start != isize) return Status::bad_data;
  const uint32_t check = crc32(std::span<const uint8_t>(out.data() + start, isize));
  return check == platform::load_le32(in.data() + n - 8) ? Status::ok : Status::bad_data;
}

}  // namespace xeb::codec
