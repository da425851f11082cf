// binary!: appending values as bytes, change, trim, comparison, the text
// form, and the base 2, 16, 58 and 64 codecs.
#include "tests/datatypes/strings/strings_fixture.h"

namespace xeb::test {
namespace {

std::string hex(const Cell* b) {
  std::string out;
  for (int32_t i = 0, n = binary::xs_length_q(b); i < n; i++) {
    char h[2];
    string::byte_to_hex(static_cast<uint8_t>(binary::xs_head(b)[i]), h);
    out.append(h, 2);
  }
  return out;
}

TEST_F(Strings, BinaryAppendValues) {
  struct Case {
    Cell (*value)();
    const char* out;
  } cases[] = {
      {[] { return Cell{T_INTEGER, 0, 65, 0}; }, "41"},
      {[] { return Cell{T_INTEGER, 0, static_cast<uint32_t>(-1), 0}; }, "FF"},
      {[] { return Cell{T_CHAR, 0, 233, 0}; }, "C3A9"},
  };
  for (const Case& c : cases) {
    Cell* b = bin({});
    binary::insert(b, push(c.value()), -1, 0, -1, 1);
    EXPECT_EQ(hex(b), c.out);
  }
  Cell* b = bin({});
  binary::insert(b, str("\xC3\xA9"), -1, 0, -1, 1);
  EXPECT_EQ(hex(b), "C3A9");
  // Text at each unit, ASCII runs long enough to be taken eight bytes at a
  // time, with a wider character inside a run and after it.
  for (const char* wide : {"", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"}) {
    std::string t = std::string(11, 'a') + wide + std::string(9, 'b') + wide;
    Cell* tb = bin({});
    binary::insert(tb, str(t), -1, 0, -1, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(binary::xs_head(tb)), binary::xs_length_q(tb)), t);
  }
  EXPECT_EQ(raised([&] { binary::insert(b, integer(256), -1, 0, -1, 1); }), code(Err::invalid_arg));
  EXPECT_EQ(hex(b), "C3A9");
  Cell fl{T_FLOAT, 0, 0, 0};
  put_double(&fl, 1.5);
  EXPECT_EQ(raised([&] { binary::insert(b, push(fl), -1, 0, -1, 1); }), code(Err::bad_to_arg));

  Cell* d = bin({});
  binary::insert(d, bin({0xAB}), -1, 0, 3, 0);
  EXPECT_EQ(series::head(d), 3);
  series::set_head(d, 0);
  EXPECT_EQ(hex(d), "ABABAB");
}

TEST_F(Strings, BinaryChangeAndTrim) {
  Cell* b = bin({1, 2, 3});
  binary::change(b, bin({0xFF}), -1, 0, -1);
  EXPECT_EQ(series::head(b), 1);
  series::set_head(b, 0);
  EXPECT_EQ(hex(b), "FF0203");
  binary::change(b, bin({0xEE}), 2, 0, -1);
  series::set_head(b, 0);
  EXPECT_EQ(hex(b), "EE03");

  struct Case {
    int head, tail, all;
    const char* out;
  } cases[] = {{0, 0, 0, "AB00CD"}, {1, 0, 0, "AB00CD0000"}, {0, 1, 0, "0000AB00CD"}, {0, 0, 1, "ABCD"}};
  for (const Case& c : cases) {
    Cell* t = bin({0, 0, 0xAB, 0, 0xCD, 0, 0});
    binary::trim(t, c.head, c.tail, 0, 0, c.all, nullptr);
    EXPECT_EQ(hex(t), c.out);
  }
}

TEST_F(Strings, BinaryCompareAndBitwise) {
  Cell* a = bin({1, 2});
  Cell* b = bin({1, 2, 3});
  EXPECT_NE(binary::compare(a, b, COMP_EQUAL), 0);
  EXPECT_EQ(binary::compare(a, b, COMP_SORT), -1);
  Cell* base = stack::base();
  Cell* x = bin({0xFF, 0x00});
  bin({0x0F});
  stack::set_base(x);
  binary::and_t();
  stack::set_base(base);
  EXPECT_EQ(hex(x), "0F00");
}

TEST_F(Strings, BinaryMold) {
  EXPECT_EQ(mold(bin({0xDE, 0xAD, 0xBE, 0xEF})), "#{DEADBEEF}");
  Cell* forty = bin({});
  for (int i = 0; i < 40; i++) binary::insert(forty, integer(i), -1, 0, -1, 1);
  std::string all = hex(forty);
  EXPECT_EQ(mold(forty), "#{\n    " + all.substr(0, 64) + "\n    " + all.substr(64) + "\n}");
  Cell* thirty_two = bin({});
  for (int i = 0; i < 32; i++) binary::insert(thirty_two, integer(i), -1, 0, -1, 1);
  EXPECT_EQ(mold(thirty_two), "#{\n    " + hex(thirty_two) + "\n    }");
}

TEST_F(Strings, BaseEncoders) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  const uint8_t zeros[] = {0, 0, 1};
  char out[64];
  EXPECT_EQ(std::string(out, binary::encode_64(out, abc, 3)), "YWJj");
  EXPECT_EQ(std::string(out, binary::encode_64(out, abc, 1)), "YQ==");
  EXPECT_EQ(std::string(out, binary::encode_64(out, abc, 2)), "YWI=");
  EXPECT_EQ(std::string(out, binary::encode_58(out, zeros, 3)), "112");
  EXPECT_EQ(std::string(out, binary::encode_58(out, abc, 0)), "");
  EXPECT_EQ(std::string(out, binary::encode_16(out, abc, 2)), "6162");
  EXPECT_EQ(std::string(out, binary::encode_2(out, abc, 1)), "01100001");
}

TEST_F(Strings, BaseDecoders) {
  struct Case {
    int base;
    const char* text;
    const char* hex;  // nullptr: invalid
  } cases[] = {
      {64, "YWJj", "616263"},
      {64, "YQ==", "61"},
      {64, "YWI=", "6162"},
      {64, "Y===", nullptr},
      {64, "YWJ", nullptr},  // a partial group is invalid, not dropped
      {64, "YW;comment\nJj", "616263"},
      {64, "YW*j", nullptr},
      {58, "112", "000001"},
      {58, "10", nullptr},
      {16, "DE AD", "DEAD"},
      {16, "DEA", nullptr},  // a dangling digit
      {16, "DX", nullptr},
      {16, "", ""},
      {2, "01100001", "61"},
      {2, "0110000", nullptr},
  };
  for (const Case& c : cases) {
    Cell* s = str(c.text);
    SeriesBuf* b = series::buf(s);
    Node n = binary::decode(c.base, b->head_ptr(), string::xs_length_q(s), b->unit());
    if (!c.hex) {
      EXPECT_EQ(n, 0u) << c.base << " " << c.text;
      continue;
    }
    ASSERT_NE(n, 0u) << c.base << " " << c.text;
    Cell* v = push(Cell{T_BINARY, 0, n, 0});
    EXPECT_EQ(hex(v), c.hex) << c.base << " " << c.text;
  }
  // A non-ASCII character is never a hexadecimal digit (0xC4 & 0x7F is 'D').
  Cell* w = str("\xC3\x84" "D");
  Node n = binary::decode_16(series::buf(w)->head_ptr(), 2, unit(w));
  EXPECT_EQ(n, 0u);
}

}  // namespace
}  // namespace xeb::test
