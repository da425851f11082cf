// checksums_test.cpp: CRC-32 and Adler-32 against known values, and the
// running form equal to one pass over the whole.
#include "codec/checksums.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using xeb::codec::adler32;
using xeb::codec::crc32;

std::span<const uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(Checksums, KnownValues) {
  struct Case { std::string_view text; uint32_t crc, adler; };
  const Case cases[] = {
      {"", 0x00000000u, 0x00000001u},
      {"a", 0xE8B7BE43u, 0x00620062u},
      {"123456789", 0xCBF43926u, 0x091E01DEu},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0x5BDC0FDAu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(crc32(bytes(c.text)), c.crc) << c.text;
    EXPECT_EQ(adler32(bytes(c.text)), c.adler) << c.text;
  }
}

TEST(Checksums, RunningFormMatchesOnePass) {
  // Long enough to cross Adler-32's deferred-modulo runs; all 0xFF is the
  // sums' worst case.
  for (uint8_t fill : {uint8_t{0xFF}, uint8_t{0x5A}}) {
    std::vector<uint8_t> data(100000, fill);
    for (size_t i = 0; i < data.size(); i += 7) data[i] = uint8_t(i * 31);
    const uint32_t crc = crc32(data), adler = adler32(data);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{5551}, size_t{5552}, size_t{65537}, data.size()}) {
      std::span<const uint8_t> all(data);
      EXPECT_EQ(crc32(all.subspan(cut), crc32(all.first(cut))), crc) << cut;
      EXPECT_EQ(adler32(all.subspan(cut), adler32(all.first(cut))), adler) << cut;
    }
  }
  // A million 0xFF bytes in one call: the sums must not overflow.
  std::vector<uint8_t> ff(1 << 20, 0xFF);
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < ff.size(); ++i) { a = (a + 0xFF) % 65521; b = (b + a) % 65521; }
  EXPECT_EQ(adler32(ff), (b << 16) | a);
}

}  // namespace
