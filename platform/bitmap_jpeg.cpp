// JPEG through TurboJPEG, whose error recovery stays inside the library. A
// warning (truncated or corrupt data) fails the decode. JPEG has no alpha:
// decoded pixels are opaque and an encoded image loses its alpha. The
// library is loaded at the first use.
#include <turbojpeg.h>

#include <cstring>

#include "platform/bitmap_codecs.h"
#include "platform/dynlib.h"

namespace xeb::platform::bitmap {

namespace {
constexpr int QUALITY = 90;

#define JPEG_ENTRIES(X) \
  X(tjInitDecompress) X(tjInitCompress) X(tjDestroy) X(tjDecompressHeader3) X(tjDecompress2) X(tjCompress2) X(tjFree)

struct Jpeg {
  JPEG_ENTRIES(XEB_DYNLIB_ENTRY)
};

const Jpeg* jpeg() {
  return dynlib::load<Jpeg>(JPEG_LIBRARY, [](void* lib, Jpeg& api) { return true JPEG_ENTRIES(XEB_DYNLIB_FIND); });
}

struct Handle {
  const Jpeg* lib;
  tjhandle h;
  ~Handle() {
    if (h) lib->tjDestroy(h);
  }
};
}  // namespace

bool jpeg_loaded() { return jpeg() != nullptr; }

Bitmap* decode_jpeg(std::span<const uint8_t> s) {
  const Jpeg* lib = jpeg();
  if (!lib) return nullptr;
  Handle tj{lib, lib->tjInitDecompress()};
  if (!tj.h || s.size() > 0xFFFFFFFFu) return nullptr;
  int width, height, subsamp, space;
  auto* data = const_cast<unsigned char*>(s.data());
  auto size = static_cast<unsigned long>(s.size());
  if (lib->tjDecompressHeader3(tj.h, data, size, &width, &height, &subsamp, &space) != 0) return nullptr;
  if (width <= 0 || height <= 0 || !sides_ok(width, height)) return nullptr;
  Bitmap* b = make(width, height);
  if (!b) return nullptr;
  int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  bool cmyk = space == TJCS_CMYK || space == TJCS_YCCK;
  // CMYK as Adobe writes it (inverted): each colour is the ink times black.
  if (lib->tjDecompress2(tj.h, data, size, reinterpret_cast<unsigned char*>(b->pixels), width, 0, height,
                    cmyk ? TJPF_CMYK : TJPF_BGRA, flags) != 0) {
    release(b);
    return nullptr;
  }
  size_t n = size_t(width) * size_t(height);
  for (size_t i = 0; i < n; i++) {
    uint32_t p = b->pixels[i];
    if (cmyk) {
      uint32_t c = p & 255, m = (p >> 8) & 255, y = (p >> 16) & 255, k = p >> 24;
      p = (c * k / 255) << 16 | (m * k / 255) << 8 | (y * k / 255);
    }
    b->pixels[i] = p | 0xFF000000u;
  }
  return b;
}

bool encode_jpeg(const Bitmap& b, std::vector<uint8_t>& out) {
  const Jpeg* lib = jpeg();
  if (!lib) return false;
  Handle tj{lib, lib->tjInitCompress()};
  if (!tj.h) return false;
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  if (lib->tjCompress2(tj.h, reinterpret_cast<const unsigned char*>(b.pixels), b.width, 0, b.height, TJPF_BGRA, &buf,
                  &size, TJSAMP_420, QUALITY, 0) != 0) {
    lib->tjFree(buf);
    return false;
  }
  out.assign(buf, buf + size);
  lib->tjFree(buf);
  return true;
}

}  // namespace xeb::platform::bitmap
