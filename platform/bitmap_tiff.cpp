// TIFF through libtiff over a stream in memory. 8-bit RGB and RGBA strips
// are read as they are stored, so straight alpha comes back exactly (and
// associated alpha is divided out); every other layout goes through
// libtiff's RGBA reader, whose premultiplied output is un-premultiplied
// here. Writes 8-bit RGB, or RGBA with unassociated alpha, LZW-compressed.
// libtiff's messages are silenced: a failure is a null result. The library
// is loaded at the first use.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "platform/bitmap_codecs.h"
#include "platform/dynlib.h"

namespace xeb::platform::bitmap {

namespace {

// TIFFGetField, TIFFGetFieldDefaulted and TIFFSetField are variadic: they are
// called through pointers of their variadic type, each argument of the type
// the tag takes.
#define TIFF_ENTRIES(X)                                                                                  \
  X(TIFFOpenOptionsAlloc) X(TIFFOpenOptionsFree) X(TIFFOpenOptionsSetErrorHandlerExtR)                  \
  X(TIFFOpenOptionsSetWarningHandlerExtR) X(TIFFOpenOptionsSetMaxSingleMemAlloc) X(TIFFClientOpenExt)   \
  X(TIFFClose) X(TIFFGetField) X(TIFFGetFieldDefaulted) X(TIFFSetField) X(TIFFIsTiled) X(TIFFScanlineSize) \
  X(TIFFReadScanline) X(TIFFRGBAImageOK) X(TIFFReadRGBAImageOriented) X(TIFFDefaultStripSize)            \
  X(TIFFWriteScanline) X(TIFFWriteDirectory)

struct Tiff {
  TIFF_ENTRIES(XEB_DYNLIB_ENTRY)
};

const Tiff* tiff() {
  return dynlib::load<Tiff>(TIFF_LIBRARY, [](void* lib, Tiff& api) { return true TIFF_ENTRIES(XEB_DYNLIB_FIND); });
}

struct Stream {
  std::vector<uint8_t>* grow = nullptr;  // writing
  std::span<const uint8_t> in;           // reading
  uint64_t at = 0;
  uint64_t size() const { return grow ? grow->size() : in.size(); }
  const uint8_t* data() const { return grow ? grow->data() : in.data(); }
};

tmsize_t read_fn(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<Stream*>(h);
  if (n < 0 || s->at >= s->size()) return 0;
  uint64_t k = std::min<uint64_t>(uint64_t(n), s->size() - s->at);
  std::memcpy(buf, s->data() + s->at, k);
  s->at += k;
  return tmsize_t(k);
}

tmsize_t write_fn(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<Stream*>(h);
  if (!s->grow || n < 0) return -1;
  if (s->at + uint64_t(n) > s->grow->size()) s->grow->resize(s->at + uint64_t(n));
  std::memcpy(s->grow->data() + s->at, buf, size_t(n));
  s->at += uint64_t(n);
  return n;
}

toff_t seek_fn(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Stream*>(h);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(s->at) : int64_t(s->size());
  int64_t to = base + int64_t(off);
  if (to < 0) return toff_t(-1);
  s->at = uint64_t(to);
  return s->at;
}

int close_fn(thandle_t) { return 0; }
toff_t size_fn(thandle_t h) { return static_cast<Stream*>(h)->size(); }
int map_fn(thandle_t, void**, toff_t*) { return 0; }
void unmap_fn(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* open(const Tiff& lib, Stream& s, const char* mode) {
  TIFFOpenOptions* o = lib.TIFFOpenOptionsAlloc();
  if (!o) return nullptr;
  lib.TIFFOpenOptionsSetErrorHandlerExtR(o, quiet, nullptr);
  lib.TIFFOpenOptionsSetWarningHandlerExtR(o, quiet, nullptr);
  lib.TIFFOpenOptionsSetMaxSingleMemAlloc(o, tmsize_t(pixel_limit) * 4 + 65536);
  TIFF* t = lib.TIFFClientOpenExt("memory", mode, &s, read_fn, write_fn, seek_fn, close_fn, size_fn, map_fn, unmap_fn, o);
  lib.TIFFOpenOptionsFree(o);
  return t;
}

struct Closer {
  const Tiff& lib;
  TIFF* t;
  ~Closer() {
    if (t) lib.TIFFClose(t);
  }
};

uint32_t unpremultiply(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 0) return 0;
  if (a < 255) {
    r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
    g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
    b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
  }
  return a << 24 | r << 16 | g << 8 | b;
}

// 8-bit contiguous RGB(A) strips, top row first: read as stored.
bool direct_layout(const Tiff& lib, TIFF* t, uint16_t& samples, bool& associated) {
  uint16_t bits = 0, planar = PLANARCONFIG_CONTIG, photometric = 0, orientation = ORIENTATION_TOPLEFT;
  lib.TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  lib.TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  lib.TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  lib.TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
  if (!lib.TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  if (bits != 8 || planar != PLANARCONFIG_CONTIG || photometric != PHOTOMETRIC_RGB || lib.TIFFIsTiled(t) ||
      orientation != ORIENTATION_TOPLEFT || (samples != 3 && samples != 4))
    return false;
  associated = false;
  if (samples == 4) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (lib.TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count == 1 && kinds)
      associated = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  return true;
}

}  // namespace

bool tiff_loaded() { return tiff() != nullptr; }

Bitmap* decode_tiff(std::span<const uint8_t> bytes) {
  const Tiff* api = tiff();
  if (!api) return nullptr;
  const Tiff& lib = *api;
  Stream s;
  s.in = bytes;
  Closer c{lib, open(lib, s, "rm")};
  TIFF* t = c.t;
  if (!t) return nullptr;
  uint32_t width = 0, height = 0;
  if (!lib.TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !lib.TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height)) return nullptr;
  if (width == 0 || height == 0 || !sides_ok(width, height)) return nullptr;
  uint16_t samples = 0;
  bool associated = false;
  if (direct_layout(lib, t, samples, associated)) {
    tmsize_t line = lib.TIFFScanlineSize(t);
    if (line < tmsize_t(width) * samples) return nullptr;
    Bitmap* b = make(int32_t(width), int32_t(height));
    if (!b) return nullptr;
    std::vector<uint8_t> row(static_cast<size_t>(line));
    for (uint32_t y = 0; y < height; y++) {
      if (lib.TIFFReadScanline(t, row.data(), y, 0) < 0) {
        release(b);
        return nullptr;
      }
      uint32_t* out = b->pixels + size_t(y) * width;
      for (uint32_t x = 0; x < width; x++) {
        const uint8_t* p = &row[size_t(x) * samples];
        uint32_t a = samples == 4 ? p[3] : 255;
        out[x] = associated ? unpremultiply(p[0], p[1], p[2], a) : a << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      }
    }
    return b;
  }
  char message[1024];
  if (!lib.TIFFRGBAImageOK(t, message)) return nullptr;
  Bitmap* b = make(int32_t(width), int32_t(height));
  if (!b) return nullptr;
  if (!lib.TIFFReadRGBAImageOriented(t, width, height, b->pixels, ORIENTATION_TOPLEFT, 1)) {
    release(b);
    return nullptr;
  }
  // The reader packs R in the low byte: A << 24 | B << 16 | G << 8 | R, premultiplied.
  size_t n = size_t(width) * height;
  for (size_t i = 0; i < n; i++) {
    uint32_t p = b->pixels[i];
    b->pixels[i] = unpremultiply(p & 255, (p >> 8) & 255, (p >> 16) & 255, p >> 24);
  }
  return b;
}

bool encode_tiff(const Bitmap& b, std::vector<uint8_t>& out) {
  const Tiff* api = tiff();
  if (!api) return false;
  const Tiff& lib = *api;
  out.clear();
  Stream s;
  s.grow = &out;
  bool alpha = !opaque(b);
  uint16_t samples = alpha ? 4 : 3;
  {
    Closer c{lib, open(lib, s, "w")};
    TIFF* t = c.t;
    if (!t) return false;
    lib.TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(b.width));
    lib.TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(b.height));
    lib.TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    lib.TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    lib.TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    lib.TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    lib.TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    lib.TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (alpha) {
      uint16_t kind = EXTRASAMPLE_UNASSALPHA;
      lib.TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    lib.TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, lib.TIFFDefaultStripSize(t, 0));
    std::vector<uint8_t> row(size_t(b.width) * samples);
    for (int32_t y = 0; y < b.height; y++) {
      const uint32_t* in = b.pixels + int64_t{y} * b.width;
      for (int32_t x = 0; x < b.width; x++) {
        uint8_t* p = &row[size_t(x) * samples];
        p[0] = uint8_t(in[x] >> 16), p[1] = uint8_t(in[x] >> 8), p[2] = uint8_t(in[x]);
        if (alpha) p[3] = uint8_t(in[x] >> 24);
      }
      if (lib.TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0) return false;
    }
    if (!lib.TIFFWriteDirectory(t)) return false;
  }
  return !out.empty();
}

}  // namespace xeb::platform::bitmap
