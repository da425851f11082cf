// BMP: the Windows bitmap file, read and written here. Reads the core,
// info and V2-V5 headers: 1, 4 and 8 bits through a palette (RLE4 and RLE8
// too), 16 and 32 bits with channel masks, 24 bits; rows bottom-up or, with
// a negative height, top-down. Every row and palette read is checked
// against the bytes present. Writes 24 bits for an opaque image, else 32
// bits with an alpha mask in a V5 header; rows bottom-up.
#include <algorithm>
#include <cstring>

#include "platform/bitmap_codecs.h"
#include "platform/bytes.h"

namespace xeb::platform::bitmap {

namespace {

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

// One channel mask: its shift and width, scaled to 8 bits on read.
struct Channel {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit Channel(uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) shift++;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) bits++;
  }
  uint32_t get(uint32_t v, uint32_t absent) const {
    if (!bits) return absent;
    uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return x >> (bits - 8);
    uint32_t max = (1u << bits) - 1;
    return (x * 255 + max / 2) / max;
  }
};

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// RLE8/RLE4 into palette indexes, rows in file order; false on data that
// runs past its end. Pixels never written keep index 0.
bool unpack_rle(std::span<const uint8_t> s, size_t at, int32_t w, int32_t h, bool four, std::vector<uint8_t>& idx) {
  idx.assign(size_t(w) * size_t(h), 0);
  int64_t x = 0, y = 0;
  auto put = [&](uint8_t v) {
    if (x < w && y < h) idx[size_t(y) * size_t(w) + size_t(x)] = v;
    x++;
  };
  while (at + 1 < s.size()) {
    uint8_t n = s[at], c = s[at + 1];
    at += 2;
    if (n) {
      for (int i = 0; i < n; i++) put(four ? (i & 1 ? c & 15 : c >> 4) : c);
      continue;
    }
    if (c == 0) {  // end of line
      x = 0;
      if (++y >= h) return true;
    } else if (c == 1) {  // end of bitmap
      return true;
    } else if (c == 2) {  // delta
      if (at + 1 >= s.size()) return false;
      x += s[at];
      y += s[at + 1];
      at += 2;
      if (y >= h) return true;
    } else {  // an absolute run of c pixels, padded to a word
      size_t bytes = four ? (c + 1u) / 2 : c;
      if (at + bytes > s.size()) return false;
      for (int i = 0; i < c; i++) put(four ? (i & 1 ? s[at + i / 2] & 15 : s[at + i / 2] >> 4) : s[at + i]);
      at += (bytes + 1) & ~size_t{1};
    }
  }
  return false;
}

}  // namespace

Bitmap* decode_bmp(std::span<const uint8_t> s) {
  if (s.size() < 26 || s[0] != 'B' || s[1] != 'M') return nullptr;
  size_t offset = load_le32(&s[10]);
  uint32_t hsize = load_le32(&s[14]);
  if (hsize < 12 || 14 + size_t{hsize} > s.size()) return nullptr;
  const uint8_t* h = &s[14];
  int64_t width, height;
  uint32_t bpp, compression = BI_RGB, colours = 0;
  bool core = hsize < 40;
  if (core) {
    width = load_le16(h + 4);
    height = load_le16(h + 6);
    bpp = load_le16(h + 10);
  } else {
    width = static_cast<int32_t>(load_le32(h + 4));
    height = static_cast<int32_t>(load_le32(h + 8));
    bpp = load_le16(h + 14);
    compression = load_le32(h + 16);
    colours = load_le32(h + 32);
  }
  bool top_down = height < 0;
  height = top_down ? -height : height;
  if (width <= 0 || height <= 0 || !sides_ok(width, height)) return nullptr;
  if (top_down && (compression == BI_RLE8 || compression == BI_RLE4)) return nullptr;
  size_t after = 14 + size_t{hsize};
  // Masks: inside a V2+ header, else after an info header that asks for them.
  uint32_t masks[4] = {0, 0, 0, 0};
  bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
  if (fields) {
    if (bpp != 16 && bpp != 32) return nullptr;
    int n = compression == BI_ALPHABITFIELDS ? 4 : 3;
    if (hsize >= 52) {
      for (int i = 0; i < 3; i++) masks[i] = load_le32(h + 40 + 4 * i);
      if (hsize >= 56) masks[3] = load_le32(h + 52);
    } else {
      if (after + size_t(n) * 4 > s.size()) return nullptr;
      for (int i = 0; i < n; i++) masks[i] = load_le32(&s[after + 4 * i]);
      after += size_t(n) * 4;
    }
  } else if (compression == BI_RGB && bpp == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else if (compression == BI_RGB && (bpp == 32 || bpp == 24)) {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;  // 32 bits BI_RGB: the fourth byte is no alpha
  } else if (compression == BI_RGB && (bpp == 1 || bpp == 4 || bpp == 8)) {
  } else if (!((compression == BI_RLE8 && bpp == 8) || (compression == BI_RLE4 && bpp == 4))) {
    return nullptr;
  }
  // The palette.
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    size_t entries = colours ? colours : size_t{1} << bpp;
    size_t unit = core ? 3 : 4;
    entries = std::min<size_t>(entries, 256);
    if (after + entries * unit > s.size()) return nullptr;
    for (size_t i = 0; i < entries; i++) {
      const uint8_t* p = &s[after + i * unit];
      palette.push_back(argb(255, p[2], p[1], p[0]));
    }
  }
  if (offset < 14 + size_t{hsize} || offset > s.size()) return nullptr;
  Channel ch[4] = {Channel(masks[0]), Channel(masks[1]), Channel(masks[2]), Channel(masks[3])};
  auto colour = [&](size_t i) { return i < palette.size() ? palette[i] : argb(255, 0, 0, 0); };
  Bitmap* b;
  if (compression == BI_RLE8 || compression == BI_RLE4) {
    std::vector<uint8_t> idx;
    if (!unpack_rle(s, offset, static_cast<int32_t>(width), static_cast<int32_t>(height), compression == BI_RLE4, idx))
      return nullptr;
    b = make(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (!b) return nullptr;
    for (int64_t y = 0; y < height; y++)
      for (int64_t x = 0; x < width; x++)
        b->pixels[(height - 1 - y) * width + x] = colour(idx[size_t(y * width + x)]);
    return b;
  }
  // Uncompressed rows, each padded to 4 bytes: all must be present.
  size_t stride = ((size_t(width) * bpp + 31) / 32) * 4;
  if ((s.size() - offset) / stride < size_t(height)) return nullptr;
  b = make(static_cast<int32_t>(width), static_cast<int32_t>(height));
  if (!b) return nullptr;
  for (int64_t y = 0; y < height; y++) {
    const uint8_t* row = &s[offset + size_t(y) * stride];
    uint32_t* out = b->pixels + (top_down ? y : height - 1 - y) * width;
    for (int64_t x = 0; x < width; x++) {
      uint32_t v;
      switch (bpp) {
        case 1: out[x] = colour((row[x >> 3] >> (7 - (x & 7))) & 1); continue;
        case 4: out[x] = colour((row[x >> 1] >> (x & 1 ? 0 : 4)) & 15); continue;
        case 8: out[x] = colour(row[x]); continue;
        case 16: v = load_le16(row + 2 * x); break;
        case 24: v = uint32_t{row[3 * x]} | uint32_t{row[3 * x + 1]} << 8 | uint32_t{row[3 * x + 2]} << 16; break;
        default: v = load_le32(row + 4 * x); break;
      }
      out[x] = argb(ch[3].get(v, 255), ch[0].get(v, 0), ch[1].get(v, 0), ch[2].get(v, 0));
    }
  }
  return b;
}

bool encode_bmp(const Bitmap& b, std::vector<uint8_t>& o) {
  bool alpha = !opaque(b);
  uint32_t bpp = alpha ? 32 : 24;
  uint32_t hsize = alpha ? 124 : 40;
  size_t stride = ((size_t(b.width) * bpp + 31) / 32) * 4;
  uint64_t data = uint64_t(stride) * uint64_t(b.height);
  uint64_t offset = 14 + hsize;
  if (offset + data > 0xFFFFFFFFu) return false;
  o.clear();
  o.reserve(size_t(offset + data));
  o.push_back('B');
  o.push_back('M');
  append_le32(o, static_cast<uint32_t>(offset + data));
  append_le32(o, 0);
  append_le32(o, static_cast<uint32_t>(offset));
  append_le32(o, hsize);
  append_le32(o, static_cast<uint32_t>(b.width));
  append_le32(o, static_cast<uint32_t>(b.height));  // bottom-up
  append_le16(o, 1);
  append_le16(o, bpp);
  append_le32(o, alpha ? BI_BITFIELDS : BI_RGB);
  append_le32(o, static_cast<uint32_t>(data));
  append_le32(o, 2835);  // 72 dots per inch
  append_le32(o, 2835);
  append_le32(o, 0);
  append_le32(o, 0);
  if (alpha) {
    append_le32(o, 0x00FF0000);
    append_le32(o, 0x0000FF00);
    append_le32(o, 0x000000FF);
    append_le32(o, 0xFF000000);
    append_le32(o, 0x73524742);  // 'sRGB'
    o.resize(o.size() + 36 + 12);  // end points and gamma: unused with sRGB
    append_le32(o, 4);  // rendering intent: images
    append_le32(o, 0);
    append_le32(o, 0);
    append_le32(o, 0);
  }
  for (int32_t y = b.height - 1; y >= 0; y--) {
    const uint32_t* row = b.pixels + int64_t{y} * b.width;
    size_t start = o.size();
    for (int32_t x = 0; x < b.width; x++) {
      uint32_t p = row[x];
      o.push_back(static_cast<uint8_t>(p));
      o.push_back(static_cast<uint8_t>(p >> 8));
      o.push_back(static_cast<uint8_t>(p >> 16));
      if (alpha) o.push_back(static_cast<uint8_t>(p >> 24));
    }
    o.resize(start + stride);
  }
  return true;
}

}  // namespace xeb::platform::bitmap
