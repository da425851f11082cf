// The LZ decoder and a greedy writer of the same format.
#include "codec/lz.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/bytes.h"

namespace xeb::lz {

namespace {

// Reads bits least-significant first from [pos, end); a read past the end
// sets `over` and yields zeros, so a truncated stream fails its caller's
// checks instead of reading outside the input.
struct BitReader {
  const uint8_t* pos;
  const uint8_t* end;
  uint64_t buf = 0;
  int count = 0;
  bool over = false;

  uint32_t bits(int n) {
    while (count < n) {
      if (pos >= end) {
        over = true;
        return 0;
      }
      buf |= uint64_t(*pos++) << count;
      count += 8;
    }
    uint32_t v = static_cast<uint32_t>(buf & ((uint64_t{1} << n) - 1));
    buf >>= n;
    count -= n;
    return v;
  }
};

struct LengthCode {
  int prefix_zeros;
  int extra;
  int base;
};
// After `prefix_zeros` zero bits and a one (none for the last row), `extra`
// bits added to `base` give length - 3.
constexpr LengthCode kLengths[] = {{0, 2, 0}, {1, 2, 4}, {2, 2, 8}, {3, 3, 12}, {4, 5, 20}, {5, 9, 52}};

}  // namespace

std::optional<std::vector<uint8_t>> decompress(std::span<const uint8_t> packed) {
  if (packed.size() < 8) return std::nullopt;
  uint32_t packed_size = platform::load_le32(packed.data());
  uint32_t unpacked_size = platform::load_le32(packed.data() + 4);
  if (packed_size > packed.size() - 8 || unpacked_size > 0x7FFFFFFFu) return std::nullopt;
  const uint8_t* data = packed.data() + 8;
  const uint8_t* data_end = data + packed_size;
  std::vector<uint8_t> out;
  const uint8_t* p = data;
  while (p < data_end) {
    if (data_end - p < 4) return std::nullopt;
    uint32_t length = platform::load_le32(p);
    p += 4;
    if (length < 1 || length > uint32_t(MAX_CHUNK) || length > unpacked_size - out.size()) return std::nullopt;
    size_t start = out.size();
    BitReader r{p, data_end};
    while (out.size() - start < length) {
      if (r.bits(1) == 0) {
        uint32_t byte = r.bits(8);
        if (r.over) return std::nullopt;
        out.push_back(static_cast<uint8_t>(byte));
        continue;
      }
      int row = 0;
      while (row < 5 && r.bits(1) == 0) row++;
      uint32_t n = kLengths[row].base + r.bits(kLengths[row].extra);
      uint32_t k = r.bits(4);
      uint32_t d = k == 0 ? r.bits(3) : (1u << (k + 2)) + r.bits(static_cast<int>(k + 2));
      if (r.over) return std::nullopt;
      uint32_t len = n + 3;
      size_t i = out.size() - start;
      if (d >= i || i + len > length) return std::nullopt;
      // Forward byte by byte: a distance below the length repeats.
      size_t from = out.size() - d - 1;
      for (uint32_t j = 0; j < len; j++) out.push_back(out[from + j]);
    }
    p = r.pos;  // the byte after the last one the chunk's bits touched
  }
  if (out.size() != unpacked_size) return std::nullopt;
  return out;
}

namespace {

struct BitWriter {
  std::vector<uint8_t>& out;
  uint64_t buf = 0;
  int count = 0;

  void put(uint32_t v, int n) {
    buf |= uint64_t(v) << count;
    count += n;
    while (count >= 8) {
      out.push_back(static_cast<uint8_t>(buf));
      buf >>= 8;
      count -= 8;
    }
  }
  void flush() {
    if (count > 0) out.push_back(static_cast<uint8_t>(buf));
    buf = 0;
    count = 0;
  }
};

void put_match(BitWriter& w, uint32_t len, uint32_t dist) {
  w.put(1, 1);
  uint32_t n = len - 3;
  int row = 5;
  for (int r = 0; r < 5; r++)
    if (n < uint32_t(kLengths[r + 1].base)) {
      row = r;
      break;
    }
  if (row < 5) w.put(1u << row, row + 1);  // row zeros, then a one
  else w.put(0, 5);
  w.put(n - kLengths[row].base, kLengths[row].extra);
  uint32_t d = dist - 1;
  if (d < 8) {
    w.put(0, 4);
    w.put(d, 3);
    return;
  }
  int j = 31 - __builtin_clz(d);  // 3..17
  w.put(static_cast<uint32_t>(j - 2), 4);
  w.put(d - (1u << j), j);
}

}  // namespace

std::vector<uint8_t> compress(std::span<const uint8_t> data) {
  constexpr uint32_t MAX_LEN = 566, MAX_DIST = 262144, HASH_BITS = 15, CHAIN = 32;
  std::vector<uint8_t> out(8, 0);
  // Neither table is cleared whole per chunk, so that a small input costs
  // only its own positions: a chain slot is written before any read of it,
  // and a head slot counts only once its bit in `live` is set.
  std::unique_ptr<int32_t[]> head(new int32_t[size_t{1} << HASH_BITS]);
  std::unique_ptr<int32_t[]> prev(new int32_t[std::min<size_t>(MAX_CHUNK, data.size())]);
  std::vector<uint64_t> live((size_t{1} << HASH_BITS) / 64);
  for (size_t start = 0; start < data.size(); start += MAX_CHUNK) {
    uint32_t length = static_cast<uint32_t>(std::min<size_t>(MAX_CHUNK, data.size() - start));
    const uint8_t* c = data.data() + start;
    for (int s = 0; s < 4; s++) out.push_back(static_cast<uint8_t>(length >> (8 * s)));
    std::fill(live.begin(), live.end(), 0);
    BitWriter w{out};
    auto hash = [&](uint32_t i) { return ((c[i] << 10) ^ (c[i + 1] << 5) ^ c[i + 2]) & ((1u << HASH_BITS) - 1); };
    auto head_of = [&](uint32_t h) { return live[h >> 6] >> (h & 63) & 1 ? head[h] : -1; };
    auto insert = [&](uint32_t i) {
      if (i + 3 > length) return;
      uint32_t h = hash(i);
      prev[i] = head_of(h);
      head[h] = static_cast<int32_t>(i);
      live[h >> 6] |= uint64_t{1} << (h & 63);
    };
    uint32_t i = 0;
    while (i < length) {
      uint32_t best = 0, best_dist = 0;
      if (i + 3 <= length) {
        int32_t cand = head_of(hash(i));
        for (uint32_t tries = 0; cand >= 0 && tries < CHAIN && i - cand <= MAX_DIST; tries++, cand = prev[cand]) {
          uint32_t limit = std::min(MAX_LEN, length - i), l = 0;
          while (l < limit && c[cand + l] == c[i + l]) l++;
          if (l > best) {
            best = l;
            best_dist = i - static_cast<uint32_t>(cand);
          }
        }
      }
      if (best >= 3) {
        put_match(w, best, best_dist);
        for (uint32_t k = 0; k < best; k++) insert(i + k);
        i += best;
      } else {
        w.put(0, 1);
        w.put(c[i], 8);
        insert(i);
        i++;
      }
    }
    w.flush();
  }
  uint32_t packed = static_cast<uint32_t>(out.size() - 8), unpacked = static_cast<uint32_t>(data.size());
  for (int s = 0; s < 4; s++) {
    out[s] = static_cast<uint8_t>(packed >> (8 * s));
    out[4 + s] = static_cast<uint8_t>(unpacked >> (8 * s));
  }
  return out;
}

}  // namespace xeb::lz
