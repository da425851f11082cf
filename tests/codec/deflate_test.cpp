// deflate_test.cpp: the DEFLATE encoder and decoder and the zlib and gzip
// wrappers: round trips over data of every shape, the streams the encoder
// must produce, and hand-made hostile streams that must each be refused.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/checksums.h"
#include "codec/containers.h"
#include "codec/deflate.h"
#include "codec/huffman.h"

namespace {

using namespace xeb::codec;
using Bytes = std::vector<uint8_t>;

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes compress(Status (*fn)(std::span<const uint8_t>, std::span<uint8_t>, size_t&), const Bytes& in) {
  Bytes out(gzip_bound(in.size()));
  size_t size = 0;
  EXPECT_EQ(fn(in, out, size), Status::ok);
  out.resize(size);
  return out;
}
Bytes raw(const Bytes& in) { return compress(deflate, in); }
Bytes zlib(const Bytes& in) { return compress(zlib_compress, in); }
Bytes gzip(const Bytes& in) { return compress(gzip_compress, in); }

Status run(Status (*fn)(std::span<const uint8_t>, ByteBuffer&, size_t), const Bytes& in, Bytes* out = nullptr,
           size_t limit = size_t(1) << 32) {
  ByteBuffer buf;
  Status st = fn(in, buf, limit);
  if (out) out->assign(buf.data(), buf.data() + buf.size());
  return st;
}
Status inflate_fn(std::span<const uint8_t> in, ByteBuffer& out, size_t limit) { return inflate(in, out, limit); }

// Text-like data: words from a small vocabulary, so that matches of every
// length and distance occur.
Bytes text(size_t n, uint32_t seed) {
  static const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "\n",
                                "compress ", "stream ", "block ", "of ", "a ", "data ", "value, ", "123 ", "(x) "};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const char* w = words[rng() % (sizeof words / sizeof *words)];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(n);
  return out;
}
Bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = uint8_t(rng());
  return out;
}

// The corpus of the round trips: shapes that reach the encoder's corners.
std::vector<Bytes> corpus() {
  std::vector<Bytes> c;
  c.push_back({});
  c.push_back(bytes("a"));
  c.push_back(bytes("ab"));
  c.push_back(bytes("abc"));
  c.push_back(Bytes(100000, 'x'));  // a literal, then distance-1 matches of 258
  c.push_back(text(5000, 1));
  c.push_back(text(1200000, 2));    // many blocks, matches across the window
  c.push_back(random_bytes(70000, 3));  // stored blocks
  Bytes mixed = text(40000, 4);
  Bytes r = random_bytes(40000, 5);
  mixed.insert(mixed.end(), r.begin(), r.end());
  Bytes t = text(200000, 6);
  mixed.insert(mixed.end(), t.begin(), t.end());
  c.push_back(mixed);
  Bytes periodic(300000);  // short periods: overlapping copies of every distance below 8
  for (size_t i = 0; i < periodic.size(); ++i) periodic[i] = uint8_t("abcdefg"[i % ((i / 30000) % 7 + 1)]);
  c.push_back(periodic);
  // Long zero runs: 16,384 symbols then cover far more than 65,535 bytes.
  Bytes sparse(600000, 0);
  for (size_t i = 0; i < sparse.size(); i += 4099) sparse[i] = uint8_t(i);
  c.push_back(sparse);
  return c;
}

TEST(Deflate, KnownStreams) {
  EXPECT_EQ(zlib(bytes("a")), (Bytes{0x78, 0x01, 0x4B, 0x04, 0x00, 0x00, 0x62, 0x00, 0x62}));
  // Empty input: one final fixed block holding only the end-of-block code.
  EXPECT_EQ(raw({}), (Bytes{0x03, 0x00}));
  EXPECT_EQ(gzip(bytes("a")), (Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4, 0x4B, 0x04, 0x00, 0x43, 0xBE, 0xB7, 0xE8, 1, 0, 0, 0}));
}

TEST(Deflate, RoundTripsEveryForm) {
  for (const Bytes& in : corpus()) {
    Bytes out;
    const Bytes r = raw(in), z = zlib(in), g = gzip(in);
    EXPECT_LE(r.size(), deflate_bound(in.size()));
    ASSERT_EQ(run(inflate_fn, r, &out), Status::ok) << in.size();
    EXPECT_EQ(out, in);
    ASSERT_EQ(run(zlib_decompress, z, &out), Status::ok) << in.size();
    EXPECT_EQ(out, in);
    ASSERT_EQ(run(gzip_decompress, g, &out), Status::ok) << in.size();
    EXPECT_EQ(out, in);
    // The exact size is enough room; one byte less is not.
    EXPECT_EQ(run(inflate_fn, r, &out, in.size()), Status::ok);
    if (!in.empty()) {
      EXPECT_EQ(run(inflate_fn, r, nullptr, in.size() - 1), Status::too_small);
      EXPECT_EQ(run(zlib_decompress, z, nullptr, in.size() - 1), Status::too_small);
      EXPECT_EQ(run(gzip_decompress, g, nullptr, in.size() - 1), Status::too_small);
    }
  }
}

TEST(Deflate, CompressesLikeItShould) {
  // Incompressible data costs at most 5 bytes per 16,384-byte stored block.
  Bytes r = random_bytes(100000, 7);
  EXPECT_LE(raw(r).size(), r.size() + 5 * 7 + 1);
  // A run of one byte: ~2 bits per 258 bytes after the first literal.
  EXPECT_LT(raw(Bytes(1000000, 0)).size(), 1200u);
  // Text shrinks.
  Bytes t = text(200000, 8);
  EXPECT_LT(raw(t).size(), t.size() / 3);
}

TEST(Deflate, OutputTooSmallReportsTheSizeNeeded) {
  Bytes in = text(50000, 10);
  Bytes full = raw(in);
  for (size_t room : {size_t{0}, size_t{1}, full.size() / 2, full.size() - 1}) {
    Bytes out(room);
    size_t size = 0;
    EXPECT_EQ(deflate(in, out, size), Status::too_small);
    EXPECT_EQ(size, full.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), full.begin()));
  }
  Bytes out(full.size());
  size_t size = 0;
  EXPECT_EQ(deflate(in, out, size), Status::ok);
  EXPECT_EQ(out, full);
}

TEST(Deflate, TruncatedStreamsAreRefused) {
  // Each prefix of a stream (dynamic, fixed and stored blocks) is an error,
  // never a success with what was decoded.
  for (const Bytes& in : {text(20000, 11), bytes("hello, hello"), random_bytes(3000, 12)}) {
    Bytes full = raw(in);
    for (size_t n = 0; n < full.size(); ++n) {
      Bytes cut(full.begin(), full.begin() + long(n));
      EXPECT_NE(run(inflate_fn, cut), Status::ok) << "prefix " << n << " of " << full.size();
    }
  }
}

TEST(Deflate, CorruptStreamsNeverCrash) {
  // Flipped bits anywhere: any status, but every one inside the bounds
  // (the sanitizer builds check the reads and writes).
  Bytes in = text(30000, 13);
  Bytes full = raw(in);
  std::mt19937 rng(14);
  for (int i = 0; i < 2000; ++i) {
    Bytes bad = full;
    for (int k = 0; k < 1 + i % 4; ++k) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
    Bytes out;
    if (run(inflate_fn, bad, &out, 1 << 20) == Status::ok) {
      EXPECT_LE(out.size(), size_t{1} << 20);
    }
  }
}

// Bits least-significant first, for hand-made streams.
struct Bits {
  Bytes out;
  uint64_t acc = 0;
  int n = 0;
  Bits& put(uint32_t v, int len) {
    acc |= uint64_t(v) << n;
    n += len;
    while (n >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      n -= 8;
    }
    return *this;
  }
  // A Huffman code, most significant bit first.
  Bits& code(uint32_t c, int len) {
    for (int i = len - 1; i >= 0; --i) put((c >> i) & 1, 1);
    return *this;
  }
  Bytes done() {
    Bytes b = out;
    if (n) b.push_back(uint8_t(acc));
    return b;
  }
};

// A dynamic block header. The precode gives 3-bit codes to the symbols 0, 1,
// 2, 7, 8, 16, 17 and 18 (a complete code); items are precode symbols with
// their extra bits.
struct Item { int sym; uint32_t extra; };
Bits dynamic_header(int hlit, int hdist, const std::vector<Item>& items) {
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  static const int syms[8] = {0, 1, 2, 7, 8, 16, 17, 18};
  Bits b;
  b.put(1, 1).put(2, 2).put(uint32_t(hlit - 257), 5).put(uint32_t(hdist - 1), 5).put(19 - 4, 4);
  for (int i = 0; i < 19; ++i) {
    bool used = false;
    for (int s : syms) used |= s == order[i];
    b.put(used ? 3 : 0, 3);
  }
  for (const Item& it : items) {
    int code = 0;
    while (syms[code] != it.sym) ++code;
    b.code(uint32_t(code), 3);
    const int xbits = it.sym == 16 ? 2 : it.sym == 17 ? 3 : it.sym == 18 ? 7 : 0;
    b.put(it.extra, xbits);
  }
  return b;
}

// Lengths of hlit + hdist symbols as precode items, one symbol per length.
std::vector<Item> lengths(const std::vector<int>& lens) {
  std::vector<Item> items;
  for (int l : lens) items.push_back({l, 0});
  return items;
}

TEST(Deflate, HostileStreamsAreRefused) {
  // Stored blocks: a right one, a wrong NLEN, a LEN past the input.
  Bytes out;
  EXPECT_EQ(run(inflate_fn, {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'}, &out), Status::ok);
  EXPECT_EQ(out, bytes("hello"));
  EXPECT_EQ(run(inflate_fn, {0x01, 0x05, 0x00, 0x00, 0x00, 'h', 'e', 'l', 'l', 'o'}), Status::bad_data);
  EXPECT_EQ(run(inflate_fn, {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e'}), Status::truncated);
  // The reserved block type.
  EXPECT_EQ(run(inflate_fn, {0x07, 0x00}), Status::bad_block);
  // A stream of non-final blocks that ends on a block boundary is cut short.
  EXPECT_EQ(run(inflate_fn, {0x00, 0x00, 0x00, 0xFF, 0xFF}), Status::truncated);

  // Fixed code: literal/length symbols 286 and 287 (8-bit codes 11000110,
  // 11000111) and distance codes 30 and 31 do not exist; a distance before the
  // output's start is refused.
  for (uint32_t code : {0xC6u, 0xC7u})
    EXPECT_EQ(run(inflate_fn, Bits().put(1, 1).put(1, 2).code(code, 8).code(0, 7).done()), Status::bad_data);
  // 'a' (8 bits: 0x30 + 'a'), then length 3 (code 257: 0000001) at distance code 30 or 31.
  for (uint32_t dcode : {30u, 31u})
    EXPECT_EQ(run(inflate_fn, Bits().put(1, 1).put(1, 2).code(0x30 + 'a', 8).code(1, 7).code(dcode, 5).code(0, 7).done()),
              Status::bad_data);
  EXPECT_EQ(run(inflate_fn, Bits().put(1, 1).put(1, 2).code(0x30 + 'a', 8).code(1, 7).code(1, 5).code(0, 7).done()),
            Status::bad_distance);
  EXPECT_EQ(run(inflate_fn, Bits().put(1, 1).put(1, 2).code(0x30 + 'a', 8).code(1, 7).code(0, 5).code(0, 7).done(), &out),
            Status::ok);
  EXPECT_EQ(out, bytes("aaaa"));

  // Dynamic blocks. The right one: 'A' and end-of-block with 1-bit codes
  // (0 and 1), one distance code of 1 bit; the data is "AA".
  auto lit = [](int a_len, int eob_len, int b_len = 0) {
    std::vector<int> l(257, 0);
    l['A'] = a_len;
    l['B'] = b_len;
    l[256] = eob_len;
    return l;
  };
  auto block = [](std::vector<int> lens, std::vector<int> dist, std::vector<Item> extra = {}) {
    const int hlit = int(lens.size());
    lens.insert(lens.end(), dist.begin(), dist.end());
    std::vector<Item> items = extra.empty() ? lengths(lens) : extra;
    return dynamic_header(hlit, int(dist.size()), items);
  };
  EXPECT_EQ(run(inflate_fn, block(lit(1, 1), {1}).code(0, 1).code(0, 1).code(1, 1).done(), &out), Status::ok);
  EXPECT_EQ(out, bytes("AA"));
  // No distance code at all is allowed for a block without matches.
  EXPECT_EQ(run(inflate_fn, block(lit(1, 1), {0}).code(0, 1).code(1, 1).done(), &out), Status::ok);
  EXPECT_EQ(out, bytes("A"));

  struct Case { const char* what; Bits header; };
  std::vector<int> full = lit(1, 1);
  full.push_back(1);
  std::vector<Item> run_past = {{18, 138 - 11}, {18, 119 - 11}, {1, 0}, {17, 7}};  // 257 + 1 + 7 > 258
  std::vector<Item> sixteen_first = {{16, 0}};
  const Case cases[] = {
      {"incomplete literal/length code", block(lit(1, 2), {1})},
      {"over-subscribed literal/length code", block(lit(1, 1, 1), {1})},
      {"no end-of-block code", block(lit(1, 0, 1), {1})},
      {"over-subscribed distance code", block(lit(1, 1), {1, 1, 1})},
      {"incomplete distance code of two lengths", block(lit(1, 1), {1, 2, 0})},
      {"code 16 before any length", block(lit(1, 1), {1}, sixteen_first)},
      {"a run past the lengths", block(lit(1, 1), {1}, run_past)},
      {"287 literal/length codes", dynamic_header(287, 1, lengths(std::vector<int>(288, 0)))},
      {"31 distance codes", dynamic_header(257, 31, lengths(std::vector<int>(288, 0)))},
  };
  for (const Case& c : cases) {
    Bits b = c.header;
    EXPECT_EQ(run(inflate_fn, b.code(0, 1).code(1, 1).done()), Status::bad_data) << c.what;
  }
  // An over-subscribed and an incomplete precode.
  Bits over;
  over.put(1, 1).put(2, 2).put(0, 5).put(0, 5).put(15, 4);
  for (int i = 0; i < 19; ++i) over.put(1, 3);
  EXPECT_EQ(run(inflate_fn, over.done()), Status::bad_data);
  Bits incomplete;
  incomplete.put(1, 1).put(2, 2).put(0, 5).put(0, 5).put(0, 4).put(0, 3).put(0, 3).put(0, 3).put(1, 3);
  EXPECT_EQ(run(inflate_fn, incomplete.done()), Status::bad_data);
}

TEST(Zlib, HeadersAndTrailer) {
  Bytes in = text(10000, 15);
  Bytes z = zlib(in);
  // Shorter than a header and a trailer.
  for (size_t n = 0; n < 6; ++n) EXPECT_EQ(run(zlib_decompress, Bytes(z.begin(), z.begin() + long(n))), Status::bad_data);
  Bytes out;
  Bytes level6 = z;
  level6[1] = 0x9C;  // the default-level header
  EXPECT_EQ(run(zlib_decompress, level6, &out), Status::ok);
  EXPECT_EQ(out, in);
  struct Case { uint8_t cmf, flg; };
  for (Case c : {Case{0x78, 0x20}, Case{0x78, 0x02}, Case{0x79, 0x00}, Case{0x88, 0x1D}, Case{0x77, 0x00}}) {
    Bytes bad = z;
    bad[0] = c.cmf;
    bad[1] = c.flg;
    // (0x78, 0x20) is a preset dictionary with a right check; the others fail the check,
    // name another method or a window over 32 KiB.
    EXPECT_EQ(run(zlib_decompress, bad), Status::bad_data) << int(c.cmf) << " " << int(c.flg);
  }
  for (int bit = 0; bit < 32; bit += 7) {
    Bytes bad = z;
    bad[bad.size() - 1 - size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
    EXPECT_EQ(run(zlib_decompress, bad), Status::bad_data);
  }
  // A truncated stream: the trailer's bytes are not taken as DEFLATE data.
  Bytes cut(z.begin(), z.end() - 1);
  EXPECT_NE(run(zlib_decompress, cut), Status::ok);
}

// A gzip member around our DEFLATE stream, with optional header fields.
Bytes member(const Bytes& in, uint8_t flg, const Bytes& fields, uint32_t isize) {
  Bytes m;
  m.reserve(deflate_bound(in.size()) + fields.size() + 32);
  for (uint8_t b : {uint8_t{0x1F}, uint8_t{0x8B}, uint8_t{8}, flg, uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{3}})
    m.push_back(b);
  m.insert(m.end(), fields.begin(), fields.end());
  if (flg & 0x02) {
    uint32_t crc = crc32(m) & 0xFFFF;
    m.push_back(uint8_t(crc));
    m.push_back(uint8_t(crc >> 8));
  }
  Bytes d = raw(in);
  m.insert(m.end(), d.begin(), d.end());
  uint32_t crc = crc32(in);
  for (uint32_t v : {crc, isize})
    for (int i = 0; i < 4; ++i) m.push_back(uint8_t(v >> (8 * i)));
  return m;
}

TEST(Gzip, HeaderFieldsSizeAndCheck) {
  Bytes in = text(20000, 16);
  const uint32_t n = uint32_t(in.size());
  Bytes out;
  Bytes fields = {4, 0, 'x', 'y', 1, 2, 'n', 'a', 'm', 'e', 0, 'c', 'o', 'm', 0};
  EXPECT_EQ(run(gzip_decompress, member(in, 0x1E, fields, n), &out), Status::ok);  // FEXTRA FNAME FCOMMENT FHCRC
  EXPECT_EQ(out, in);
  Bytes named = {'n', 'a', 'm', 'e', 0};
  EXPECT_EQ(run(gzip_decompress, member(in, 0x08, named, n), &out), Status::ok);
  EXPECT_EQ(out, in);

  Bytes bad_hcrc = member(in, 0x02, {}, n);
  bad_hcrc[10] ^= 1;
  Bytes no_zero(10, 'n');
  Bytes flipped_crc = member(in, 0, {}, n);
  flipped_crc[flipped_crc.size() - 8] ^= 0x10;
  struct Case { const char* what; Bytes data; };
  const Case cases[] = {
      {"reserved flag", member(in, 0x20, {}, n)},
      {"header CRC", bad_hcrc},
      {"name without its zero", [&] { Bytes m = {0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3}; m.insert(m.end(), no_zero.begin(), no_zero.end()); for (int i = 0; i < 8; ++i) m.push_back(0); return m; }()},
      {"extra field past the end", member(in, 0x04, {0xFF, 0xFF}, n)},
      {"size one short", member(in, 0, {}, n - 1)},
      {"size one long", member(in, 0, {}, n + 1)},
      {"size beyond what the data can give", member(in, 0, {}, 0xFFFFFFFFu)},
      {"CRC", flipped_crc},
      {"too short", Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0}},
      {"another method", [&] { Bytes m = member(in, 0, {}, n); m[2] = 7; return m; }()},
  };
  for (const Case& c : cases) EXPECT_EQ(run(gzip_decompress, c.data), Status::bad_data) << c.what;
  // A size field beyond the caller's limit asks for more room first.
  EXPECT_EQ(run(gzip_decompress, member(in, 0, {}, n), nullptr, n - 1), Status::too_small);
}

TEST(Gzip, CompressAlwaysCompresses) {
  // Data that starts like a gzip member is compressed like any other.
  Bytes looks = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 3, 'p', 'l', 'a', 'i', 'n'};
  Bytes g = gzip(looks);
  EXPECT_NE(g, looks);
  Bytes out;
  EXPECT_EQ(run(gzip_decompress, g, &out), Status::ok);
  EXPECT_EQ(out, looks);
  Bytes twice = gzip(gzip(looks));
  EXPECT_EQ(run(gzip_decompress, twice, &out), Status::ok);
  EXPECT_EQ(out, gzip(looks));
}

}  // namespace
