// The Xebbin codec from C++: compressed streams, the two layouts' headers,
// and a decoded value that is equal to the one encoded.
#include <gtest/gtest.h>

#include <vector>

#include "codec/lz.h"
#include "codec/xebbin.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "start/start.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

class Xebbin : public Runtime {
 protected:
  static void SetUpTestSuite() {
    library::set_command_line(0, nullptr);
    start::boot();
    collector::enabled = 0;
  }

  static std::vector<uint8_t> encode(std::string_view src, bool compact) {
    Cell* v = stack::push_new();
    set_unset(v);
    lexer::transcode_bytes({reinterpret_cast<const uint8_t*>(src.data()), src.size()}, v);
    Cell* bin = xebbin::encode(v, compact);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(binary::xs_head(bin));
    std::vector<uint8_t> out(p, p + binary::xs_length_q(bin));
    stack::pop(2);
    return out;
  }
  // The mold of what the stream decodes to, or "error <code>".
  static std::string decode(const std::vector<uint8_t>& bytes) {
    std::string out;
    int32_t code = error_code_of([&] {
      Cell* b = block::push_only(1);
      xebbin::decode(bytes, b, true, b);
      out = actions::mold_text(b);
    });
    return code < 0 ? out : "error " + std::to_string(code);
  }
};

constexpr std::string_view kValue = "a [1 2.5 \"text\" [x y] #{0102}] 1.5 (1, 2)";

TEST_F(Xebbin, Layouts) {
  std::vector<uint8_t> compact = encode(kValue, true), fixed = encode(kValue, false);
  EXPECT_EQ(compact[7], xebbin::FLAG_COMPACT | xebbin::FLAG_SYMBOLS);
  EXPECT_EQ(fixed[7], xebbin::FLAG_SYMBOLS);
  // The fixed header is 16 bytes: root count 1 and the payload size as words.
  EXPECT_EQ(fixed[8], 1);
  EXPECT_EQ(fixed[9] | fixed[10] | fixed[11], 0);
  std::string expected = "[[a [1 2.5 \"text\" [x y] #{0102}] 1.5 (1, 2)]]";
  EXPECT_EQ(decode(compact), expected);
  EXPECT_EQ(decode(fixed), expected);
  std::vector<uint8_t> plain = encode("[]", true);
  EXPECT_EQ(plain[7], xebbin::FLAG_COMPACT);
}

// Every byte after the flags is one LZ block when bit 1 is set; a damaged
// block is refused before any record is read.
TEST_F(Xebbin, Compressed) {
  for (bool compact : {true, false}) {
    std::vector<uint8_t> s = encode(kValue, compact);
    std::vector<uint8_t> packed = lz::compress({s.data() + 8, s.size() - 8});
    std::vector<uint8_t> z(s.begin(), s.begin() + 8);
    z[7] |= xebbin::FLAG_COMPRESSED;
    z.insert(z.end(), packed.begin(), packed.end());
    EXPECT_EQ(decode(z), decode(s));
    z[z.size() - 1] ^= 0xFF;
    z[12] ^= 0x40;
    EXPECT_EQ(decode(z), "error 316");  // invalid-data
  }
}

// Cut anywhere, a stream ends in xb-invalid-record or invalid-data.
TEST_F(Xebbin, Truncated) {
  for (bool compact : {true, false}) {
    std::vector<uint8_t> s = encode(kValue, compact);
    for (size_t n = 0; n < s.size(); n++) {
      std::vector<uint8_t> cut(s.begin(), s.begin() + n);
      std::string r = decode(cut);
      EXPECT_TRUE(r == "error 393" || r == "error 316") << n << " " << r;
    }
  }
}

}  // namespace
}  // namespace xeb::test

namespace xeb::test {
namespace {

// A damaged boot image ends start-up with a message and status 1, whatever
// part of it is damaged: the magic, the LZ block, a record.
TEST_F(Xebbin, CorruptBootImage) {
  std::vector<uint8_t> good = encode("[a [b] \"c\"]", true);
  std::vector<uint8_t> magic = good, record = good, packed = good;
  magic[0] = 'Y';
  record.pop_back();  // the payload cut short
  packed[7] |= xebbin::FLAG_COMPRESSED;
  for (const auto* image : {&magic, &record, &packed})
    EXPECT_EXIT(xebbin::boot_load(*image), ::testing::ExitedWithCode(1), "Error: corrupt boot image");
}

}  // namespace
}  // namespace xeb::test
