// The LZ decoder on hand-made streams of its edge cases, and round trips
// through the writer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "codec/lz.h"

namespace xeb::lz {
namespace {

void le32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A packed buffer of one chunk of `length` output bytes and these bit bytes.
std::vector<uint8_t> packed(uint32_t unpacked, uint32_t length, std::vector<uint8_t> bits) {
  std::vector<uint8_t> out;
  le32(out, static_cast<uint32_t>(bits.size() + 4));
  le32(out, unpacked);
  le32(out, length);
  out.insert(out.end(), bits.begin(), bits.end());
  return out;
}

TEST(Lz, EdgeCases) {
  std::vector<uint8_t> empty(8, 0);
  auto r = decompress(empty);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->empty());
  // One literal 'A' (0x41): flag 0 then 8 bits, least significant first.
  r = decompress(packed(1, 1, {0x82, 0x00}));
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, std::vector<uint8_t>{0x41});
  // 'A', then a match of distance 1 and length 10: flag 1, length prefix
  // "01" with v = 3 (4 + 3 = 7 = 10 - 3), distance k = 0 and d = 0.
  // Bits in order: 0, 10000010 | 1, 0,1, 1,1, 0,0,0,0, 0,0,0
  std::vector<uint8_t> bits;
  uint64_t acc = 0;
  int n = 0;
  auto put = [&](uint32_t v, int k) {
    acc |= uint64_t(v) << n;
    n += k;
  };
  put(0, 1), put(0x41, 8), put(1, 1), put(2, 2), put(3, 2), put(0, 4), put(0, 3);
  for (int i = 0; i < n; i += 8) bits.push_back(static_cast<uint8_t>(acc >> i));
  r = decompress(packed(11, 11, bits));
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, std::vector<uint8_t>(11, 0x41));
  // A match as a chunk's first item reaches before the chunk.
  EXPECT_FALSE(decompress(packed(10, 10, {0xFF, 0x00, 0x00})));
  // Chunk lengths of 0 and 1 MiB + 1.
  EXPECT_FALSE(decompress(packed(0, 0, {0x00})));
  EXPECT_FALSE(decompress(packed(0x100001, 0x100001, {0x82, 0x00})));
  // A stream cut short, a packed size past the input, a total that differs
  // from the unpacked size.
  EXPECT_FALSE(decompress(packed(2, 2, {0x82})));
  std::vector<uint8_t> past = packed(1, 1, {0x82, 0x00});
  past[0] = 200;
  EXPECT_FALSE(decompress(past));
  EXPECT_FALSE(decompress(packed(5, 1, {0x82, 0x00})));
}

TEST(Lz, RoundTrips) {
  std::mt19937 rng(7);
  std::vector<std::vector<uint8_t>> inputs = {{}, {1}, std::vector<uint8_t>(3000000, 'x')};
  std::vector<uint8_t> text;
  const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon "};
  while (text.size() < 2500000) {
    const char* w = words[rng() % 5];
    text.insert(text.end(), w, w + strlen(w));
  }
  inputs.push_back(text);
  std::vector<uint8_t> noise(1500000);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  inputs.push_back(noise);
  for (const auto& in : inputs) {
    auto packed = compress(in);
    auto out = decompress(packed);
    ASSERT_TRUE(out) << in.size();
    EXPECT_TRUE(*out == in) << in.size();
    if (in.size() > 1000000 && &in != &inputs.back()) {
      EXPECT_LT(packed.size(), in.size() / 4);
    }
  }
}

// Every small size, and sizes around the chunk edge, with repeats near the
// end of one chunk that the next must not match against; the writer's
// tables are not cleared whole between calls or chunks.
TEST(Lz, RoundTripsOverSizes) {
  std::mt19937 rng(11);
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 300; n++) sizes.push_back(n);
  for (size_t n : {size_t(MAX_CHUNK) - 1, size_t(MAX_CHUNK), size_t(MAX_CHUNK) + 1, size_t(MAX_CHUNK) + 5})
    sizes.push_back(n);
  for (size_t n : sizes) {
    std::vector<uint8_t> in(n);
    for (auto& b : in) b = "ab c"[rng() % 4];
    auto out = decompress(compress(in));
    ASSERT_TRUE(out) << n;
    EXPECT_TRUE(*out == in) << n;
  }
  // The bytes written stay those of the format's greedy writer.
  const std::string s = "abcabcabcabc xyz xyz";
  auto packed = compress({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
  const std::vector<uint8_t> expected = {0x0f, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00,
                                         0xc2, 0x88, 0x19, 0xab, 0x20, 0x20, 0xf0, 0xe4, 0xd1, 0x3b, 0x18};
  EXPECT_EQ(packed, expected);
}

}  // namespace
}  // namespace xeb::lz
