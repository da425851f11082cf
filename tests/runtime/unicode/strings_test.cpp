// Strings to and from external text: loaders, widening, scratch conversions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture.h"
#include "runtime/unicode.h"

namespace xeb::test {
namespace {

using Cps = std::vector<uint32_t>;
using Bytes = std::vector<uint8_t>;

class Strings : public Heap {
 protected:
  // Loads UTF-8 into a new string and pushes it so that it stays rooted.
  static Cell* load_new(const Bytes& in, bool cr = false, int32_t* remaining = nullptr) {
    Node n = unicode::load_utf8(in.data(), static_cast<int32_t>(in.size()), nullptr, remaining, cr);
    return push_string(n);
  }
  static Cell* load16(const std::vector<uint16_t>& in, bool cr = false) {
    Node n = unicode::load_utf16le(reinterpret_cast<const uint8_t*>(in.data()),
                                   static_cast<int32_t>(in.size()), nullptr, cr);
    return push_string(n);
  }
};

TEST_F(Strings, LoadUtf8PicksNarrowestUnitAndWidens) {
  struct Case {
    Bytes in;
    Cps want;
    int unit;
  };
  const Case cases[] = {
    {{}, {}, 1},
    {{'a', 'b'}, {'a', 'b'}, 1},
    {{0xC3, 0xA9}, {0xE9}, 1},
    {{'a', 0xE2, 0x82, 0xAC}, {'a', 0x20AC}, 2},
    {{0xF0, 0x9F, 0x98, 0x80, 'x'}, {0x1F600, 'x'}, 4},
    {{0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}, {0xE9, 0x20AC, 0x1F600}, 4},
    {{0xEF, 0xBB, 0xBF, 'a'}, {'a'}, 1},  // byte order mark skipped
    {{0xEF, 0xBB, 0xBF}, {}, 1},
  };
  for (const Case& c : cases) {
    Cell* s = load_new(c.in);
    EXPECT_EQ(chars(s->w2), c.want) << testing::PrintToString(c.in);
    EXPECT_EQ(unit_of(s->w2), c.unit) << testing::PrintToString(c.in);
  }
}

TEST_F(Strings, LoadUtf8LongTextGrowsAcrossWidenings) {
  Bytes in;
  Cps want;
  for (int i = 0; i < 3000; i++) {
    uint32_t cp = i < 1000 ? 'a' + i % 26 : i < 2000 ? 0x400 + i % 200 : 0x1F300 + i % 300;
    uint8_t buf[4];
    int n = unicode::encode_utf8(cp, buf);
    in.insert(in.end(), buf, buf + n);
    want.push_back(cp);
  }
  Cell* s = load_new(in);
  EXPECT_EQ(chars(s->w2), want);
  EXPECT_EQ(unit_of(s->w2), 4);
}

TEST_F(Strings, LoadUtf8StopsAtCutSequence) {
  int32_t rem = -1;
  Cell* s = load_new({'a', 0xE2, 0x82}, false, &rem);
  EXPECT_EQ(chars(s->w2), Cps{'a'});
  EXPECT_EQ(rem, 2);
}

TEST_F(Strings, LoadUtf8LineEnds) {
  Cell* s = load_new({'a', '\r', '\n', 'b', '\r', 'c', '\r'}, true);
  EXPECT_EQ(chars(s->w2), (Cps{'a', '\n', 'b', '\n', 'c', '\n'}));
  Cell* raw = load_new({'a', '\r', '\n'}, false);
  EXPECT_EQ(chars(raw->w2), (Cps{'a', '\r', '\n'}));
}

TEST_F(Strings, CrLfSplitAcrossBlocksGivesOneLineFeed) {
  const Bytes first = {'a', '\r'};
  const Bytes second = {'\r', '\n', 'b'};  // the kept-back CR, then the next block
  int32_t rem = 0;
  Cell* s = load_new(first, true, &rem);
  EXPECT_EQ(rem, 1);
  unicode::load_utf8(second.data(), 3, s, &rem, true);
  EXPECT_EQ(chars(s->w2), (Cps{'a', '\n', 'b'}));
  EXPECT_EQ(rem, 0);
}

TEST_F(Strings, LoadIntoAppendsAndWidensExistingText) {
  Cell* s = make_string({'x', 0xE9}, 1);
  const Bytes in = {0xE2, 0x82, 0xAC};
  int32_t rem = -1;
  Node n = unicode::load_utf8_into(in.data(), 3, s, &rem);
  EXPECT_EQ(n, s->w2);
  EXPECT_EQ(chars(s->w2), (Cps{'x', 0xE9, 0x20AC}));
  EXPECT_EQ(unit_of(s->w2), 2);
  EXPECT_EQ(rem, 0);
}

// Appends of short pieces grow the buffer geometrically: each growth copies
// the whole text, so growing to fit would make a run of appends quadratic.
TEST_F(Strings, AppendsGrowTheBufferGeometrically) {
  Cell* s = make_string({'x'}, 1);
  const Bytes in = {'a', 'b', 'c'};
  int growths = 0;
  int32_t size = buf_of(s->w2)->size;
  for (int i = 0; i < 20000; i++) {
    unicode::load_utf8_into(in.data(), 3, s, nullptr);
    if (buf_of(s->w2)->size != size) growths++, size = buf_of(s->w2)->size;
  }
  EXPECT_EQ(buf_of(s->w2)->used(), 60001u);
  EXPECT_LE(growths, 20);
}

TEST_F(Strings, InvalidInputRaisesAndKeepsEarlierText) {
  Cell* s = make_string({'q'}, 1);
  const Bytes in = {'a', 0xC3, 0x41, 'b'};
  Cell* top = stack::top();
  EXPECT_EQ(raised([&] { unicode::load_utf8_into(in.data(), 4, s, nullptr); }), ERR_UTF8);
  EXPECT_EQ(g_bad_bytes, (Bytes{0xC3, 0x41, 'b'}));
  Cps got = chars(s->w2);
  ASSERT_GE(got.size(), 1u);
  EXPECT_EQ(got[0], 'q');
  stack::set_top(top);
  EXPECT_EQ(raised([&] { load_new({0xF4, 0x90, 0x80, 0x80}); }), ERR_UTF8);  // above 0x10FFFF
}

TEST_F(Strings, LoadFromBytesInsideASeriesBuffer) {
  // The source lives in a buffer the collector may slide mid-load.
  Cell* bin = stack::push_new();
  Node bn = memory::alloc_bytes(64);
  *bin = Cell{T_BINARY, 0, bn, 0};
  const Bytes text = {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 'z'};
  std::memcpy(buf_of(bn)->head_ptr(), text.data(), text.size());
  buf_of(bn)->tail = buf_of(bn)->head + static_cast<Off>(text.size());
  Node n = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(buf_of(bin->w2)->head_ptr()),
                                  static_cast<int32_t>(text.size()));
  Cell* s = push_string(n);
  EXPECT_EQ(chars(s->w2), (Cps{'a', 0xE9, 0x20AC, 0x1F600, 'z'}));
}

TEST_F(Strings, LoadUtf16PicksUnit) {
  struct Case {
    std::vector<uint16_t> in;
    bool cr;
    Cps want;
    int unit;
  };
  const Case cases[] = {
    {{'a', 0xE9}, false, {'a', 0xE9}, 1},
    {{'a', 0x20AC}, false, {'a', 0x20AC}, 2},
    {{0xD83D, 0xDE00, 'b'}, false, {0x1F600, 'b'}, 4},
    {{'a', '\r', '\n', 'b', '\r', 'c'}, true, {'a', '\n', 'b', 'c'}, 1},
    {{}, false, {}, 2},
  };
  for (const Case& c : cases) {
    Cell* s = load16(c.in, c.cr);
    EXPECT_EQ(chars(s->w2), c.want);
    EXPECT_EQ(unit_of(s->w2), c.unit);
    EXPECT_TRUE(buf_of(s->w2)->flags & unicode::SER_FROM_UTF16);
  }
}

TEST_F(Strings, LoadUtf16IntoWiderTargetKeepsItsText) {
  Cell* s = make_string({0x20AC}, 2);
  const uint16_t in[] = {'a', 'b'};
  unicode::load_utf16le(reinterpret_cast<const uint8_t*>(in), 2, s, false);
  EXPECT_EQ(chars(s->w2), (Cps{0x20AC, 'a', 'b'}));
  EXPECT_EQ(unit_of(s->w2), 2);
}

using StringsDeath = Strings;
TEST_F(StringsDeath, UnpairedHighSurrogateEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(load16({'a', 0xD83D, 'b'}), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(load16({'a', 0xD83D}), testing::ExitedWithCode(0), "");
}

TEST_F(Strings, WideningKeepsEveryCharacter) {
  Cps cps;
  for (uint32_t i = 0; i < 300; i++) cps.push_back(i % 256);
  Cell* a = make_string(cps, 1);
  unicode::widen_1_2(buf_of(a->w2));
  EXPECT_EQ(unit_of(a->w2), 2);
  EXPECT_EQ(chars(a->w2), cps);
  unicode::widen_2_4(buf_of(a->w2));
  EXPECT_EQ(unit_of(a->w2), 4);
  EXPECT_EQ(chars(a->w2), cps);
  Cell* b = make_string(cps, 1);
  unicode::widen_1_4(buf_of(b->w2));
  EXPECT_EQ(unit_of(b->w2), 4);
  EXPECT_EQ(chars(b->w2), cps);
}

std::string as_text(const uint8_t* p, int32_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// The UTF-8 of the first count characters (-1 for all).
std::string utf8(Cell* s, int32_t count, bool crlf = false) {
  const uint8_t* p = unicode::to_utf8_part(s, &count, crlf);
  EXPECT_EQ(p[count], 0);
  return as_text(p, count);
}

TEST_F(Strings, ToUtf8FromEachUnit) {
  Cell* s1 = make_string({'a', '\n', 0xE9}, 1);
  Cell* s2 = make_string({'a', 0x20AC}, 2);
  Cell* s4 = make_string({0x1F600, 'b'}, 4);
  EXPECT_EQ(utf8(s1, -1), "a\n\xC3\xA9");
  EXPECT_EQ(utf8(s1, -1, true), "a\r\n\xC3\xA9");
  EXPECT_EQ(utf8(s2, 1), "a");
  EXPECT_EQ(utf8(s2, -1), "a\xE2\x82\xAC");
  EXPECT_EQ(utf8(s4, 99), "\xF0\x9F\x98\x80" "b");
  int32_t n = -1;
  EXPECT_EQ(as_text(unicode::to_utf8(s4, &n), 5), "\xF0\x9F\x98\x80" "b");
  EXPECT_EQ(n, 5);
}

TEST_F(Strings, ToUtf8ReadsFromTheHeadAndReusesTheScratch) {
  Cell* s = make_string({'a', 'b', 'c'}, 1);
  s->w1 = 1;
  EXPECT_EQ(utf8(s, -1), "bc");
  Node scratch = s->w3;
  ASSERT_NE(scratch, 0u);
  EXPECT_EQ(utf8(s, -1, true), "bc");
  EXPECT_EQ(s->w3, scratch);
  s->w1 = 7;  // past the tail: empty
  EXPECT_EQ(utf8(s, -1), "");
}

TEST_F(Strings, ToUtf16) {
  Cell* s = make_string({'a', '\n', 0x1F600}, 4);
  int32_t n = -1;
  const uint8_t* p = unicode::to_utf16(s, &n, true);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(n, 5);  // a CR LF and a pair
  EXPECT_EQ((Bytes{p, p + 12}), (Bytes{'a', 0, '\r', 0, '\n', 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
  n = -1;
  unicode::to_utf16(s, &n, false);
  EXPECT_EQ(n, 4);
  Cell* lf = make_string({'\n'}, 1);
  p = unicode::to_utf16_cstr(lf);
  EXPECT_EQ((Bytes{p, p + 6}), (Bytes{'\r', 0, '\n', 0, 0, 0}));
  Cell* bad = make_string({'a', 0x110000}, 4);
  n = -1;
  EXPECT_EQ(unicode::to_utf16(bad, &n, false), nullptr);
}

TEST_F(Strings, EncodeStringIntoCallerBuffer) {
  Cell* s = make_string({'a', 0x20AC, 'b'}, 2);
  uint8_t out[16];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(unicode::encode_string(s, out, -1, true), 5);
  EXPECT_EQ((Bytes{out, out + 6}), (Bytes{'a', 0xE2, 0x82, 0xAC, 'b', 0}));
  EXPECT_EQ(unicode::encode_string(s, out, 1, false), 1);

  std::memset(out, 0xEE, sizeof out);
  // Room for a and two bytes of the euro sign: it is cut, b writes nothing.
  EXPECT_EQ(unicode::encode_string_bounded(s, out, 3, -1, true), 3);
  EXPECT_EQ((Bytes{out, out + 4}), (Bytes{'a', 0xE2, 0x82, 0xEE}));
  EXPECT_EQ(unicode::encode_string_bounded(s, out, 8, -1, true), 5);
  EXPECT_EQ(out[5], 0);
}

}  // namespace
}  // namespace xeb::test
