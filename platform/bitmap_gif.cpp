// GIF through giflib, with a colour quantiser of our own for encoding.
// Decoding takes the first image on the logical screen (pixels the frame
// does not cover are transparent), its palette and the transparent index of
// the graphics control block before it. Encoding writes one frame: an image
// of at most 256 colours (255 with transparency) keeps them exactly; more
// are reduced by median cut. Alpha below 128 becomes the transparent index.
// The library is loaded at the first use.
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "platform/bitmap_codecs.h"
#include "platform/dynlib.h"

namespace xeb::platform::bitmap {

namespace {

#define GIF_ENTRIES(X)                                                                                      \
  X(DGifOpen) X(DGifCloseFile) X(DGifGetRecordType) X(DGifGetImageDesc) X(DGifGetLine) X(DGifGetExtension) \
  X(DGifGetExtensionNext) X(DGifExtensionToGCB) X(GifMakeMapObject) X(GifFreeMapObject) X(EGifOpen)        \
  X(EGifCloseFile) X(EGifSetGifVersion) X(EGifPutScreenDesc) X(EGifGCBToExtension) X(EGifPutExtension)     \
  X(EGifPutImageDesc) X(EGifPutLine)

struct Gif {
  GIF_ENTRIES(XEB_DYNLIB_ENTRY)
};

const Gif* gif() {
  return dynlib::load<Gif>(GIF_LIBRARY, [](void* lib, Gif& api) { return true GIF_ENTRIES(XEB_DYNLIB_FIND); });
}

struct Reader {
  std::span<const uint8_t> s;
  size_t at = 0;
};

int read_fn(GifFileType* g, GifByteType* out, int n) {
  auto* r = static_cast<Reader*>(g->UserData);
  size_t k = std::min(size_t(std::max(n, 0)), r->s.size() - r->at);
  std::memcpy(out, r->s.data() + r->at, k);
  r->at += k;
  return static_cast<int>(k);
}

int write_fn(GifFileType* g, const GifByteType* in, int n) {
  static_cast<std::vector<uint8_t>*>(g->UserData)->insert(static_cast<std::vector<uint8_t>*>(g->UserData)->end(), in,
                                                         in + n);
  return n;
}

struct Decoder {
  GifFileType* g;
  ~Decoder() {
    int e;
    if (g) gif()->DGifCloseFile(g, &e);
  }
};

Bitmap* read_frame(const Gif& lib, GifFileType* g, int transparent) {
  const GifImageDesc& d = g->Image;
  int64_t left = d.Left, top = d.Top, w = d.Width, h = d.Height;
  if (w <= 0 || h <= 0) return nullptr;
  int64_t sw = std::max<int64_t>(g->SWidth, left + w), sh = std::max<int64_t>(g->SHeight, top + h);
  if (!sides_ok(sw, sh)) return nullptr;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
  Bitmap* b = make(static_cast<int32_t>(sw), static_cast<int32_t>(sh));
  if (!b) return nullptr;
  std::vector<GifPixelType> line(static_cast<size_t>(w));
  // Interlaced rows come in four passes.
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  int passes = d.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; pass++) {
    for (int64_t y = d.Interlace ? kStart[pass] : 0; y < h; y += d.Interlace ? kStep[pass] : 1) {
      if (lib.DGifGetLine(g, line.data(), static_cast<int>(w)) == GIF_ERROR) {
        release(b);
        return nullptr;
      }
      uint32_t* out = b->pixels + (top + y) * sw + left;
      for (int64_t x = 0; x < w; x++) {
        int i = line[size_t(x)];
        if (i == transparent) continue;
        if (map && i < map->ColorCount) {
          const GifColorType& c = map->Colors[i];
          out[x] = 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
        } else {
          out[x] = 0xFF000000u;
        }
      }
    }
  }
  return b;
}

// --- The quantiser -----------------------------------------------------------

using Rgb = std::array<uint8_t, 3>;

Rgb rgb_of(uint32_t p) { return {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)}; }

// Median cut over a histogram of colours cut to 5 bits per channel: the box
// with the most pixels (of those that can still split) is split at the
// median of its longest side, until there are enough boxes.
std::vector<Rgb> median_cut(const Bitmap& b, size_t colours) {
  struct Cell { uint32_t key; uint64_t count, r, g, bl; };
  std::vector<Cell> hist(32768);
  for (uint32_t k = 0; k < 32768; k++) hist[k] = Cell{k, 0, 0, 0, 0};
  size_t n = size_t(b.width) * size_t(b.height);
  for (size_t i = 0; i < n; i++) {
    uint32_t p = b.pixels[i];
    if ((p >> 24) < 128) continue;
    Rgb c = rgb_of(p);
    Cell& h = hist[uint32_t(c[0] >> 3) << 10 | uint32_t(c[1] >> 3) << 5 | (c[2] >> 3)];
    h.count++, h.r += c[0], h.g += c[1], h.bl += c[2];
  }
  std::vector<Cell> used;
  for (const Cell& h : hist)
    if (h.count) used.push_back(h);
  struct Box { size_t from, to; uint64_t count; };
  auto channel = [](const Cell& c, int ch) { return (c.key >> (10 - 5 * ch)) & 31; };
  auto longest = [&](const Box& bx, int& ch) {
    uint32_t best = 0;
    ch = 0;
    for (int k = 0; k < 3; k++) {
      uint32_t lo = 31, hi = 0;
      for (size_t i = bx.from; i < bx.to; i++) lo = std::min(lo, channel(used[i], k)), hi = std::max(hi, channel(used[i], k));
      if (hi - lo >= best) best = hi - lo, ch = k;
    }
    return best;
  };
  uint64_t total = 0;
  for (const Cell& c : used) total += c.count;
  std::vector<Box> boxes{{0, used.size(), total}};
  while (boxes.size() < colours) {
    int pick = -1;
    for (size_t i = 0; i < boxes.size(); i++)
      if (boxes[i].to - boxes[i].from > 1 && (pick < 0 || boxes[i].count > boxes[size_t(pick)].count)) pick = int(i);
    if (pick < 0) break;
    Box bx = boxes[size_t(pick)];
    int ch;
    longest(bx, ch);
    std::sort(used.begin() + long(bx.from), used.begin() + long(bx.to),
              [&](const Cell& a, const Cell& c) { return channel(a, ch) < channel(c, ch); });
    uint64_t half = 0;
    size_t cut = bx.from;
    while (cut < bx.to - 1 && half + used[cut].count <= bx.count / 2) half += used[cut++].count;
    if (cut == bx.from) half += used[cut++].count;
    boxes[size_t(pick)] = Box{bx.from, cut, half};
    boxes.push_back(Box{cut, bx.to, bx.count - half});
  }
  std::vector<Rgb> palette;
  for (const Box& bx : boxes) {
    uint64_t c = 0, r = 0, g = 0, bl = 0;
    for (size_t i = bx.from; i < bx.to; i++) c += used[i].count, r += used[i].r, g += used[i].g, bl += used[i].bl;
    if (c) palette.push_back({uint8_t((r + c / 2) / c), uint8_t((g + c / 2) / c), uint8_t((bl + c / 2) / c)});
  }
  return palette;
}

int nearest(const std::vector<Rgb>& palette, Rgb c) {
  int best = 0;
  int64_t dist = INT64_MAX;
  for (size_t i = 0; i < palette.size(); i++) {
    int64_t dr = int(palette[i][0]) - c[0], dg = int(palette[i][1]) - c[1], db = int(palette[i][2]) - c[2];
    int64_t d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (d < dist) dist = d, best = int(i);
  }
  return best;
}

struct Encoder {
  GifFileType* g;
  ~Encoder() {
    int e;
    if (g) gif()->EGifCloseFile(g, &e);
  }
};

}  // namespace

bool gif_loaded() { return gif() != nullptr; }

Bitmap* decode_gif(std::span<const uint8_t> s) {
  const Gif* lib = gif();
  if (!lib) return nullptr;
  Reader r{s};
  int err = 0;
  Decoder dec{lib->DGifOpen(&r, read_fn, &err)};
  GifFileType* g = dec.g;
  if (!g) return nullptr;
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (lib->DGifGetRecordType(g, &type) == GIF_ERROR) return nullptr;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (lib->DGifGetImageDesc(g) == GIF_ERROR) return nullptr;
      return read_frame(*lib, g, transparent);
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext;
      if (lib->DGifGetExtension(g, &code, &ext) == GIF_ERROR) return nullptr;
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb;
        if (lib->DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
      }
      while (ext)
        if (lib->DGifGetExtensionNext(g, &ext) == GIF_ERROR) return nullptr;
      continue;
    }
    return nullptr;  // the end, or no image before it
  }
}

bool encode_gif(const Bitmap& b, std::vector<uint8_t>& out) {
  const Gif* lib = gif();
  if (!lib) return false;
  size_t n = size_t(b.width) * size_t(b.height);
  bool transparency = false;
  std::map<uint32_t, int> exact;  // colour to palette index, while it fits
  for (size_t i = 0; i < n; i++) {
    uint32_t p = b.pixels[i];
    if ((p >> 24) < 128) {
      transparency = true;
      continue;
    }
    if (exact.size() <= 256) exact.emplace(p & 0xFFFFFF, 0);
  }
  size_t room = transparency ? 255 : 256;
  std::vector<Rgb> palette;
  if (exact.size() <= room) {
    for (auto& [c, idx] : exact) idx = int(palette.size()), palette.push_back(rgb_of(c));
  } else {
    palette = median_cut(b, room);
    exact.clear();
  }
  int transparent_index = transparency ? int(palette.size()) : -1;
  if (transparency) palette.push_back({0, 0, 0});
  int size = 2;
  while (size_t(size) < palette.size()) size *= 2;
  std::vector<GifColorType> colours(size_t(size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); i++) colours[i] = GifColorType{palette[i][0], palette[i][1], palette[i][2]};
  ColorMapObject* map = lib->GifMakeMapObject(size, colours.data());
  if (!map) return false;
  out.clear();
  int err = 0;
  Encoder enc{lib->EGifOpen(&out, write_fn, &err)};
  bool ok = enc.g != nullptr;
  if (ok) {
    lib->EGifSetGifVersion(enc.g, true);
    ok = lib->EGifPutScreenDesc(enc.g, b.width, b.height, 8, 0, map) != GIF_ERROR;
  }
  if (ok && transparency) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent_index};
    GifByteType ext[4];
    lib->EGifGCBToExtension(&gcb, ext);
    ok = lib->EGifPutExtension(enc.g, GRAPHICS_EXT_FUNC_CODE, 4, ext) != GIF_ERROR;
  }
  if (ok) ok = lib->EGifPutImageDesc(enc.g, 0, 0, b.width, b.height, false, nullptr) != GIF_ERROR;
  // Quantised colours are mapped through a cache keyed by the 15-bit colour.
  std::vector<int16_t> cache(exact.empty() ? 32768 : 0, -1);
  std::vector<GifPixelType> line(static_cast<size_t>(b.width));
  for (int32_t y = 0; ok && y < b.height; y++) {
    for (int32_t x = 0; x < b.width; x++) {
      uint32_t p = b.pixels[int64_t{y} * b.width + x];
      int i;
      if ((p >> 24) < 128) {
        i = transparent_index;
      } else if (!exact.empty()) {
        i = exact[p & 0xFFFFFF];
      } else {
        Rgb c = rgb_of(p);
        int16_t& slot = cache[uint32_t(c[0] >> 3) << 10 | uint32_t(c[1] >> 3) << 5 | (c[2] >> 3)];
        if (slot < 0) slot = int16_t(nearest(palette, {uint8_t((c[0] & 0xF8) | 4), uint8_t((c[1] & 0xF8) | 4), uint8_t((c[2] & 0xF8) | 4)}));
        i = slot;
      }
      line[size_t(x)] = GifPixelType(i);
    }
    ok = lib->EGifPutLine(enc.g, line.data(), b.width) != GIF_ERROR;
  }
  if (enc.g) {
    int e;
    if (lib->EGifCloseFile(enc.g, &e) == GIF_ERROR) ok = false;
    enc.g = nullptr;
  }
  lib->GifFreeMapObject(map);
  return ok;
}

}  // namespace xeb::platform::bitmap
