// UTF-8 and UTF-16 coding of single code points, counting, and widths.
#include <gtest/gtest.h>

#include <vector>

#include "fixture.h"
#include "runtime/unicode.h"

namespace xeb::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct FastCase {
  Bytes in;
  int32_t cp;
  size_t consumed;
};

TEST(FastDecode, SequencesAndFaults) {
  const FastCase cases[] = {
    {{0x41}, 0x41, 1},
    {{0xC3, 0xA9}, 0xE9, 2},
    {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
    {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
    {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
    {{0xC3, 0x41}, -1, 2},              // the breaking byte goes with it
    {{0x80, 0x41}, -1, 1},              // stray continuation
    {{0xC0, 0x80}, -1, 1},              // overlong NUL
    {{0xE0, 0x80, 0x80}, -1, 2},        // overlong
    {{0xED, 0xA0, 0x80}, -1, 2},        // surrogate
    {{0xF4, 0x90, 0x80, 0x80}, -1, 2},  // above 0x10FFFF
    {{0xF5, 0x80}, -1, 1},
    {{0xE2, 0x82}, -1, 2},              // cut by the end: never reads past it
  };
  for (const FastCase& c : cases) {
    int32_t cp = 0;
    const uint8_t* end = c.in.data() + c.in.size();
    const uint8_t* p = unicode::fast_decode_utf8_char(c.in.data(), end, &cp);
    EXPECT_EQ(cp, c.cp) << testing::PrintToString(c.in);
    EXPECT_EQ(static_cast<size_t>(p - c.in.data()), c.consumed) << testing::PrintToString(c.in);
  }
}

TEST(FastDecode, CountAndSkip) {
  const Bytes s = {'a', 0xC3, 0xA9, 0xFF, 0xE2, 0x82, 0xAC, 'z', 0xE2};
  const uint8_t* b = s.data();
  const uint8_t* e = b + s.size();
  EXPECT_EQ(unicode::count_chars(b, e), 6);
  EXPECT_EQ(unicode::count_chars(b, b), 0);
  EXPECT_EQ(unicode::skip_chars(b, e, 2) - b, 3);
  EXPECT_EQ(unicode::skip_chars(b, e, 4) - b, 7);
  EXPECT_EQ(unicode::skip_chars(b, e, 100), e);
}

TEST(Utf8Length, LeadBytes) {
  const std::pair<uint8_t, int> cases[] = {{0x41, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 2}, {0xDF, 2},
                                           {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xFF, 4}};
  for (auto [b, n] : cases) EXPECT_EQ(unicode::utf8_length(b), n) << int(b);
}

struct CheckedCase {
  Bytes in;
  int32_t cp;   // -1: cut short
  int32_t len;  // length reported
};

TEST(CheckedDecode, AcceptsWholeAndReportsCut) {
  install_error_hooks();
  const CheckedCase cases[] = {
    {{0x00}, 0, 1},
    {{0x7F, 0x80}, 0x7F, 1},
    {{0xC2, 0x80}, 0x80, 2},
    {{0xDF, 0xBF}, 0x7FF, 2},
    {{0xE0, 0xA0, 0x80}, 0x800, 3},
    {{0xED, 0x9F, 0xBF}, 0xD7FF, 3},
    {{0xEF, 0xBF, 0xBE}, 0xFFFE, 3},  // a noncharacter, but valid text
    {{0xED, 0xA0, 0x80}, 0xD800, 3},  // lone surrogates: a string may hold
    {{0xED, 0xAF, 0xBF}, 0xDBFF, 3},  // them, so written text reads back,
    {{0xED, 0xB4, 0x80}, 0xDD00, 3},  // all but U+DC00-U+DCFF (below)
    {{0xED, 0xBF, 0xBF}, 0xDFFF, 3},
    {{0xF0, 0x90, 0x80, 0x80}, 0x10000, 4},
    {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
    {{0xE2, 0x82}, -1, 3},
    {{0xF0, 0x9F, 0x98}, -1, 4},
    {{0xC3}, -1, 2},
  };
  for (const CheckedCase& c : cases) {
    int32_t len = static_cast<int32_t>(c.in.size());
    EXPECT_EQ(unicode::decode_utf8_checked(c.in.data(), &len), c.cp) << testing::PrintToString(c.in);
    EXPECT_EQ(len, c.len) << testing::PrintToString(c.in);
  }
}

TEST(CheckedDecode, RefusesInvalidWithItsBytes) {
  install_error_hooks();
  const Bytes cases[] = {
    {0xC3, 0x41},                    // missing continuation
    {0x80},                          // stray continuation
    {0xC0, 0x80},                    // overlong
    {0xE0, 0x9F, 0xBF},              // overlong
    {0xF0, 0x8F, 0xBF, 0xBF},        // overlong
    {0xF4, 0x90, 0x80, 0x80},        // above 0x10FFFF
    {0xF8, 0x88, 0x80, 0x80, 0x80},  // no such lead
    {0xE0, 0x80},                    // cut, but already overlong
    {0xED, 0xB0, 0x80},              // U+DC00-U+DCFF: the bytes of a name
    {0xED, 0xB3, 0xBF},              // that is not UTF-8, never text
    {0xED, 0xB2},                    // cut, but already in that range
    {0xE2, 0x28, 0xA1, 0x41, 0x42},  // argument: four bytes at most
  };
  for (const Bytes& in : cases) {
    int32_t len = static_cast<int32_t>(in.size());
    g_bad_bytes.clear();
    EXPECT_EQ(raised([&] { unicode::decode_utf8_checked(in.data(), &len); }), ERR_UTF8)
        << testing::PrintToString(in);
    Bytes want(in.begin(), in.begin() + std::min<size_t>(in.size(), 4));
    EXPECT_EQ(g_bad_bytes, want);
  }
}

TEST(Encode, Utf8RoundTripAtBoundaries) {
  const std::pair<uint32_t, int> cases[] = {{0, 1},       {0x7F, 1},     {0x80, 2},     {0x7FF, 2},
                                            {0x800, 3},   {0xD800, 3},   {0xFFFF, 3},   {0x10000, 4},
                                            {0x10FFFF, 4}};
  for (auto [cp, n] : cases) {
    uint8_t buf[4];
    EXPECT_EQ(unicode::cp_utf8_size(cp), n);
    ASSERT_EQ(unicode::encode_utf8(cp, buf), n);
    int32_t len = n;
    EXPECT_EQ(unicode::decode_utf8_checked(buf, &len), static_cast<int32_t>(cp));
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // the source-text decoder refuses it
    int32_t cp2;
    EXPECT_EQ(unicode::fast_decode_utf8_char(buf, buf + n, &cp2), buf + n);
    EXPECT_EQ(cp2, static_cast<int32_t>(cp));
  }
}

TEST(Encode, AboveRangeRaisesInvalidChar) {
  install_error_hooks();
  uint8_t buf[8];
  std::byte units[4];
  uint32_t big = 0x110000;
  std::memcpy(units, &big, 4);
  EXPECT_EQ(raised([&] { unicode::encode_utf8(0x110000, buf); }), ERR_CHAR);
  EXPECT_EQ(raised([&] { unicode::encode_utf8_bounded(0x110000, buf, 8); }), ERR_CHAR);
  EXPECT_EQ(raised([&] { unicode::cp_utf8_size(-1); }), ERR_CHAR);
  EXPECT_EQ(raised([&] { unicode::utf8_size(units, units + 4, 4); }), ERR_CHAR);
  EXPECT_EQ(unicode::encode_utf16(0x110000, buf), 0);
}

TEST(Encode, BoundedWritesOnlyWhatFits) {
  uint8_t buf[4] = {0, 0, 0, 0};
  EXPECT_EQ(unicode::encode_utf8_bounded(0x20AC, buf, 2), 2);
  EXPECT_EQ(buf[0], 0xE2);
  EXPECT_EQ(buf[1], 0x82);
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(unicode::encode_utf8_bounded(0x20AC, buf, 0), 0);
  EXPECT_EQ(unicode::encode_utf8_bounded(0x20AC, buf, -3), 0);
}

TEST(Encode, Utf16UnitsAndPairs) {
  uint8_t b[4];
  ASSERT_EQ(unicode::encode_utf16(0x20AC, b), 1);
  EXPECT_EQ(b[0], 0xAC);
  EXPECT_EQ(b[1], 0x20);
  ASSERT_EQ(unicode::encode_utf16(0x1F600, b), 2);
  EXPECT_EQ((Bytes{b, b + 4}), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
  ASSERT_EQ(unicode::encode_utf16(0x10FFFF, b), 2);
  EXPECT_EQ((Bytes{b, b + 4}), (Bytes{0xFF, 0xDB, 0xFF, 0xDF}));
}

TEST(Encode, Utf8SizeOfUnits) {
  const uint16_t u2[] = {0x41, 0xE9, 0x20AC};
  const uint32_t u4[] = {0x41, 0x1F600};
  const uint8_t u1[] = {0x41, 0xFF};
  auto bytes = [](const auto* p, size_t n) { return reinterpret_cast<const std::byte*>(p) + n; };
  EXPECT_EQ(unicode::utf8_size(bytes(u1, 0), bytes(u1, 2), 1), 3);
  EXPECT_EQ(unicode::utf8_size(bytes(u2, 0), bytes(u2, 6), 2), 6);
  EXPECT_EQ(unicode::utf8_size(bytes(u4, 0), bytes(u4, 8), 4), 5);
}

TEST(Width, Columns) {
  const std::pair<uint32_t, int> cases[] = {
    {0x0000, 0}, {0x0007, 1}, {0x009B, 1}, {0x0041, 1}, {0x00AD, 1}, {0x200B, 1},
    {0x0301, 0}, {0x1160, 0}, {0x0600, 0}, {0x061C, 0}, {0xE01EF, 0}, {0x3099, 0},
    {0x3000, 2}, {0x4E00, 2}, {0x1F600, 2}, {0x1100, 2}, {0x2FFFD, 2}, {0x3FFFD, 2},
    {0x3FFFE, 1}, {0xE01F0, 1}, {0x10FFFF, 1},
  };
  for (auto [cp, w] : cases) EXPECT_EQ(char_display_width(cp), w) << std::hex << cp;
}

TEST(Width, RangeTest) {
  const uint32_t r[] = {10, 20, 30, 30, 40, 50};
  const std::pair<uint32_t, bool> cases[] = {{9, false}, {10, true}, {20, true}, {21, false},
                                             {30, true}, {31, false}, {50, true}, {51, false}};
  for (auto [cp, in] : cases) EXPECT_EQ(unicode::width_in_ranges(cp, r), in) << cp;
  EXPECT_FALSE(unicode::width_in_ranges(10, std::span<const uint32_t>{}));
}

}  // namespace
}  // namespace xeb::test
