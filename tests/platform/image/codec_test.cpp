// The bitmap layer and its five codecs: exact round trips (BMP, PNG, TIFF),
// stated tolerances (JPEG, GIF), reference files another tool wrote,
// damaged input refused, and files checked by python's standard library.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "platform/bitmap.h"

namespace xeb::test {
namespace {

namespace bm = platform::bitmap;
using Format = bm::Format;
using Ptr = std::unique_ptr<bm::Bitmap, void (*)(bm::Bitmap*)>;

Ptr hold(bm::Bitmap* b) { return Ptr(b, bm::release); }

std::vector<uint8_t> read_file(const std::string& name) {
  std::ifstream in(std::string(XEB_IMAGE_FIXTURES) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A bitmap of R G B A bytes, as the fixtures' .rgba sources hold them.
Ptr from_rgba(const std::vector<uint8_t>& rgba, int w, int h) {
  Ptr b = hold(bm::make(w, h));
  for (int i = 0; i < w * h; i++)
    b->pixels[i] = uint32_t{rgba[4 * i + 3]} << 24 | uint32_t{rgba[4 * i]} << 16 | uint32_t{rgba[4 * i + 1]} << 8 | rgba[4 * i + 2];
  return b;
}

Ptr noise(int w, int h, bool alpha, uint32_t seed) {
  std::mt19937 rng(seed);
  Ptr b = hold(bm::make(w, h));
  for (int i = 0; i < w * h; i++) b->pixels[i] = rng() | (alpha ? 0 : 0xFF000000u);
  return b;
}

Ptr gradient(int w, int h) {
  Ptr b = hold(bm::make(w, h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      b->pixels[y * w + x] = 0xFF000000u | uint32_t(x * 255 / (w - 1)) << 16 | uint32_t(y * 255 / (h - 1)) << 8 | 96;
  return b;
}

std::vector<uint8_t> encode(const bm::Bitmap& b, Format f) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(bm::encode(b, f, out));
  return out;
}

bool same(const bm::Bitmap& a, const bm::Bitmap& b) {
  return a.width == b.width && a.height == b.height &&
         std::equal(a.pixels, a.pixels + size_t(a.width) * a.height, b.pixels);
}

// Mean and largest difference of the colour channels over the pixels.
struct Error { double mean; int max; };
Error error(const bm::Bitmap& a, const bm::Bitmap& b) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  double sum = 0;
  int max = 0;
  size_t n = size_t(a.width) * a.height;
  for (size_t i = 0; i < n; i++)
    for (int s = 0; s < 24; s += 8) {
      int d = std::abs(int((a.pixels[i] >> s) & 255) - int((b.pixels[i] >> s) & 255));
      sum += d;
      max = std::max(max, d);
    }
  return {sum / double(n * 3), max};
}

TEST(Bitmap, LosslessFormatsRoundTripExactlyAlphaIncluded) {
  Ptr alpha = noise(37, 23, true, 1), opaque = noise(19, 5, false, 2), one = noise(1, 1, true, 3);
  for (Format f : {Format::bmp, Format::png, Format::tiff})
    for (const Ptr* b : {&alpha, &opaque, &one}) {
      Ptr back = hold(bm::decode(encode(**b, f)));
      ASSERT_TRUE(back) << int(f);
      EXPECT_TRUE(same(**b, *back)) << int(f) << " " << (*b)->width;
    }
}

// JPEG: quality 90, no alpha. A smooth image comes back within a mean of 2
// and a largest difference of 16 per channel; alpha is dropped (opaque).
TEST(Bitmap, JpegWithinTolerance) {
  Ptr g = gradient(64, 48);
  Ptr back = hold(bm::decode(encode(*g, Format::jpeg)));
  ASSERT_TRUE(back);
  Error e = error(*g, *back);
  EXPECT_LE(e.mean, 2.0);
  EXPECT_LE(e.max, 16);
  Ptr a = noise(8, 8, true, 4);
  Ptr back2 = hold(bm::decode(encode(*a, Format::jpeg)));
  ASSERT_TRUE(back2);
  for (int i = 0; i < 64; i++) EXPECT_EQ(back2->pixels[i] >> 24, 255u);
}

// GIF: up to 256 colours (255 with transparency) exactly; more through the
// quantiser within a mean of 6 per channel; alpha below 128 becomes fully
// transparent, the rest opaque.
TEST(Bitmap, GifWithinTolerance) {
  Ptr few = noise(16, 16, false, 5);  // 256 colours
  Ptr back = hold(bm::decode(encode(*few, Format::gif)));
  ASSERT_TRUE(back);
  EXPECT_TRUE(same(*few, *back));
  Ptr g = gradient(64, 64);  // 4096 colours
  back = hold(bm::decode(encode(*g, Format::gif)));
  ASSERT_TRUE(back);
  Error e = error(*g, *back);
  EXPECT_LE(e.mean, 6.0);
  EXPECT_LE(e.max, 40);
  Ptr a = noise(9, 7, true, 6);
  back = hold(bm::decode(encode(*a, Format::gif)));
  ASSERT_TRUE(back);
  for (int i = 0; i < 63; i++) {
    bool clear = (a->pixels[i] >> 24) < 128;
    EXPECT_EQ(back->pixels[i] >> 24, clear ? 0u : 255u);
    if (!clear) {
      EXPECT_EQ(back->pixels[i] & 0xFFFFFF, a->pixels[i] & 0xFFFFFF);
    }
  }
}

// Files written by ImageMagick from the .rgba sources beside them.
TEST(Bitmap, ReferenceFilesLoadWithTheirPixels) {
  Ptr alpha = from_rgba(read_file("alpha.rgba"), 4, 3);
  Ptr opaque = from_rgba(read_file("opaque.rgba"), 4, 3);
  Ptr binary = from_rgba(read_file("binary.rgba"), 4, 3);
  struct Ref { const char* file; const bm::Bitmap* pixels; };
  for (Ref r : {Ref{"ref.png", alpha.get()}, Ref{"ref16.png", alpha.get()}, Ref{"ref_rgba.png", alpha.get()},
                Ref{"ref_palette.png", opaque.get()}, Ref{"ref24.bmp", opaque.get()}, Ref{"ref32.bmp", alpha.get()},
                Ref{"ref8.bmp", opaque.get()}, Ref{"ref_rle8.bmp", opaque.get()}, Ref{"ref.tif", alpha.get()},
                Ref{"ref_rgb.tif", opaque.get()}}) {
    Ptr b = hold(bm::decode(read_file(r.file)));
    ASSERT_TRUE(b) << r.file;
    EXPECT_TRUE(same(*b, *r.pixels)) << r.file;
  }
  // GIF: transparent pixels carry no colour.
  // The interlaced file holds the same rows four times over (4x12).
  for (const char* file : {"ref.gif", "ref_interlaced.gif"}) {
    Ptr b = hold(bm::decode(read_file(file)));
    ASSERT_TRUE(b) << file;
    ASSERT_EQ(b->width, 4);
    for (int i = 0; i < 4 * b->height; i++) {
      uint32_t want = binary->pixels[i % 12];
      EXPECT_EQ(b->pixels[i] >> 24, want >> 24) << file << i;
      if (want >> 24) {
        EXPECT_EQ(b->pixels[i], want) << file << i;
      }
    }
  }
  // Tiles go through the premultiplying reader: colours of partly
  // transparent pixels within 2.
  Ptr tiled = hold(bm::decode(read_file("ref_tiled.tif")));
  ASSERT_TRUE(tiled);
  for (int i = 0; i < 12; i++) {
    uint32_t a = alpha->pixels[i] >> 24;
    EXPECT_EQ(tiled->pixels[i] >> 24, a);
    if (a > 1) {
      EXPECT_LE(error(*hold(bm::clip(*tiled, i % 4, i / 4, 1, 1)), *hold(bm::clip(*alpha, i % 4, i / 4, 1, 1))).max, 2);
    }
  }
  Ptr grad = from_rgba(read_file("gradient.rgba"), 32, 32);
  for (const char* file : {"ref.jpg", "ref_progressive.jpg"}) {
    Ptr b = hold(bm::decode(read_file(file)));
    ASSERT_TRUE(b) << file;
    Error e = error(*b, *grad);
    EXPECT_LE(e.mean, 2.0) << file;
    EXPECT_LE(e.max, 16) << file;
  }
}

// Truncated files and damaged headers are refused, in every format.
TEST(Bitmap, TruncatedOrCorruptInputIsRefused) {
  Ptr b = noise(16, 16, true, 7);
  Ptr g = gradient(16, 16);
  for (Format f : {Format::bmp, Format::png, Format::gif, Format::jpeg, Format::tiff}) {
    std::vector<uint8_t> good = encode(f == Format::jpeg ? *g : *b, f);
    ASSERT_TRUE(hold(bm::decode(good))) << int(f);
    for (size_t keep : {good.size() / 2, good.size() * 3 / 4, size_t(12)}) {
      std::vector<uint8_t> cut(good.begin(), good.begin() + long(keep));
      EXPECT_FALSE(hold(bm::decode(cut))) << int(f) << " cut to " << keep;
    }
  }
  auto damaged = [&](Format f, size_t at, uint8_t value) {
    std::vector<uint8_t> d = encode(f == Format::jpeg ? *g : *b, f);
    d.at(at) = value;
    return d;
  };
  EXPECT_FALSE(hold(bm::decode(damaged(Format::png, 20, 0x7F))));   // IHDR's CRC no longer holds
  EXPECT_FALSE(hold(bm::decode(damaged(Format::bmp, 28, 7))));      // 7 bits per pixel
  EXPECT_FALSE(hold(bm::decode(damaged(Format::bmp, 22, 0x40))));   // more rows than bytes
  EXPECT_FALSE(hold(bm::decode(damaged(Format::tiff, 4, 0xF0))));   // the first directory past the end
  std::vector<uint8_t> gif = encode(*b, Format::gif);
  // Past the screen, its colour table and any extensions: the image's LZW
  // code size, set beyond what GIF allows.
  size_t pos = 13 + ((gif[10] & 0x80) ? 3u << ((gif[10] & 7) + 1) : 0);
  while (gif[pos] == 0x21) {
    pos += 2;
    while (gif[pos]) pos += gif[pos] + 1u;
    pos++;
  }
  ASSERT_EQ(gif[pos], 0x2C);
  pos += 10 + ((gif[pos + 9] & 0x80) ? 3u << ((gif[pos + 9] & 7) + 1) : 0);
  EXPECT_FALSE(hold(bm::decode(damaged(Format::gif, pos, 0x0F))));
  std::vector<uint8_t> jpeg = encode(*g, Format::jpeg);
  for (size_t i = 2; i + 1 < jpeg.size(); i++)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {  // the scan header's length
      EXPECT_FALSE(hold(bm::decode(damaged(Format::jpeg, i + 3, 0x01))));
      break;
    }
  EXPECT_FALSE(hold(bm::decode(std::vector<uint8_t>{'B', 'M'})));
  EXPECT_FALSE(hold(bm::decode(std::vector<uint8_t>{1, 2, 3})));
}

TEST(Bitmap, SidesBeyondTheLimitAreRefused) {
  EXPECT_FALSE(hold(bm::make(65536, 1)));
  Ptr b = noise(4, 4, false, 8);
  std::vector<uint8_t> bmp = encode(*b, Format::bmp);
  bmp[18] = 0x00, bmp[19] = 0x00, bmp[20] = 0x01;  // width 65536
  EXPECT_FALSE(hold(bm::decode(bmp)));
  int64_t saved = bm::pixel_limit;
  bm::pixel_limit = 15;
  EXPECT_FALSE(hold(bm::decode(encode(*b, Format::png))));
  bm::pixel_limit = saved;
}

TEST(Bitmap, ClipScaleAndRawImport) {
  Ptr b = noise(5, 4, true, 9);
  Ptr c = hold(bm::clip(*b, 3, 2, 9, 9));
  ASSERT_EQ(c->width * 10 + c->height, 22);
  EXPECT_EQ(c->pixels[3], b->pixels[3 * 5 + 4]);
  Ptr s = hold(bm::scale(*b, 10, 8));
  EXPECT_EQ(s->pixels[9 * 1 + 10 * 7], b->pixels[4 + 5 * 3]);
  // Rows bottom to top with a padded stride come out upright.
  uint8_t raw[2 * 12] = {};
  raw[0] = 1, raw[12] = 2;  // the bottom row's first blue byte, then the top row's
  Ptr r = hold(bm::from_memory(2, 2, 12, raw, sizeof raw, true));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->pixels[0] & 255, 2u);
  EXPECT_EQ(r->pixels[2] & 255, 1u);
  EXPECT_FALSE(hold(bm::from_memory(2, 2, 12, raw, 12 + 7, true)));
}

// Files this layer writes, read back by python's standard library alone.
TEST(Bitmap, WrittenFilesPassIndependentChecks) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("xeb-image-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  Ptr alpha = noise(7, 3, true, 10), opaque = noise(5, 2, false, 11);
  auto put = [&](const bm::Bitmap& b, Format f, const std::string& name) {
    std::vector<uint8_t> data = encode(b, f);
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), long(data.size()));
    std::vector<uint8_t> raw;  // R G B A per pixel
    for (int i = 0; i < b.width * b.height; i++)
      for (int s : {16, 8, 0, 24}) raw.push_back(uint8_t(b.pixels[i] >> s));
    std::ofstream(dir / (name + ".rgba"), std::ios::binary).write(reinterpret_cast<const char*>(raw.data()), long(raw.size()));
  };
  put(*alpha, Format::png, "alpha.png");
  put(*opaque, Format::png, "opaque.png");
  put(*alpha, Format::bmp, "alpha.bmp");
  put(*opaque, Format::bmp, "opaque.bmp");
  std::string cmd = "python3 " + std::string(XEB_IMAGE_FIXTURES) + "/../check_files.py " + dir.string();
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace xeb::test
