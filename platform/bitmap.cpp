// Bitmaps in memory: making, clipping, copying, scaling and raw import, the
// format signatures, and dispatch to the codec of each format.
#include "platform/bitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/bitmap_codecs.h"

namespace xeb::platform::bitmap {

int64_t pixel_limit = int64_t{1} << 30;
// Pixels of all live bitmaps together: as much as the managed region holds.
// Past it a program asks for more than a 32-bit process ever could have,
// and the system would sooner end the process than refuse the pages once
// they are written.
int64_t live_limit = int64_t{4} << 30;

namespace {
int64_t live = 0;
int64_t made = 0;
Bitmap* first = nullptr;  // the live bitmaps, reachable for leak checkers to the end
const char* missing = nullptr;  // see missing_library

// The library the format's codec loads when it cannot be loaded; null for
// one that loads and for our own.
const char* unloadable(Format f) {
  switch (f) {
    case Format::bmp: return nullptr;
    case Format::png: return png_loaded() ? nullptr : PNG_LIBRARY;
    case Format::gif: return gif_loaded() ? nullptr : GIF_LIBRARY;
    case Format::jpeg: return jpeg_loaded() ? nullptr : JPEG_LIBRARY;
    case Format::tiff: return tiff_loaded() ? nullptr : TIFF_LIBRARY;
  }
  return nullptr;
}
}  // namespace

const char* missing_library() { return missing; }

int64_t live_bytes() { return live; }
int64_t made_bytes() { return made; }
void reset_made_bytes() { made = 0; }

bool sides_ok(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width <= MAX_SIDE && height <= MAX_SIDE && width * height <= pixel_limit;
}

Bitmap* make(int32_t width, int32_t height) {
  if (width < 0 || height < 0 || width > MAX_SIDE || height > MAX_SIDE) return nullptr;
  if (int64_t{width} * height * 4 > live_limit - live) return nullptr;
  auto* b = static_cast<Bitmap*>(std::malloc(sizeof(Bitmap)));
  if (!b) return nullptr;
  size_t n = size_t(width) * size_t(height);
  b->width = width;
  b->height = height;
  b->pixels = nullptr;
  if (n) {
    b->pixels = static_cast<uint32_t*>(std::calloc(n, 4));
    if (!b->pixels) {
      std::free(b);
      return nullptr;
    }
  }
  live += int64_t(n) * 4;
  made += int64_t(n) * 4;
  b->prev = nullptr;
  b->next = first;
  if (first) first->prev = b;
  first = b;
  return b;
}

void release(Bitmap* b) {
  if (!b) return;
  live -= int64_t(b->width) * b->height * 4;
  if (b->prev) b->prev->next = b->next;
  else first = b->next;
  if (b->next) b->next->prev = b->prev;
  std::free(b->pixels);
  std::free(b);
}

Bitmap* clip(const Bitmap& b, int32_t x, int32_t y, int32_t width, int32_t height) {
  int64_t x0 = std::clamp<int64_t>(x, 0, b.width), y0 = std::clamp<int64_t>(y, 0, b.height);
  int64_t x1 = std::clamp<int64_t>(int64_t{x} + std::max(width, 0), x0, b.width);
  int64_t y1 = std::clamp<int64_t>(int64_t{y} + std::max(height, 0), y0, b.height);
  Bitmap* r = make(static_cast<int32_t>(x1 - x0), static_cast<int32_t>(y1 - y0));
  if (!r || !r->pixels) return r;
  for (int64_t row = y0; row < y1; row++)
    std::memcpy(r->pixels + (row - y0) * r->width, b.pixels + row * b.width + x0, size_t(r->width) * 4);
  return r;
}

Bitmap* copy(const Bitmap& b) { return clip(b, 0, 0, b.width, b.height); }

Bitmap* scale(const Bitmap& b, int32_t width, int32_t height) {
  Bitmap* r = make(width, height);
  if (!r || !r->pixels || !b.pixels) return r;
  for (int32_t y = 0; y < height; y++) {
    const uint32_t* src = b.pixels + int64_t{y} * b.height / height * b.width;
    uint32_t* dst = r->pixels + int64_t{y} * width;
    for (int32_t x = 0; x < width; x++) dst[x] = src[int64_t{x} * b.width / width];
  }
  return r;
}

Bitmap* from_memory(int32_t width, int32_t height, size_t stride, const uint8_t* data, size_t size,
                    bool bottom_up) {
  if (!sides_ok(width, height)) return nullptr;
  size_t row = size_t(width) * 4;
  if (stride == 0) stride = row;
  if (stride < row) return nullptr;
  if (height > 0 && (size < row || (size - row) / stride < size_t(height - 1))) return nullptr;
  Bitmap* r = make(width, height);
  if (!r || !r->pixels) return r;
  for (int32_t y = 0; y < height; y++) {
    size_t from = size_t(bottom_up ? height - 1 - y : y) * stride;
    std::memcpy(r->pixels + int64_t{y} * width, data + from, row);
  }
  return r;
}

bool opaque(const Bitmap& b) {
  size_t n = size_t(b.width) * size_t(b.height);
  for (size_t i = 0; i < n; i++)
    if ((b.pixels[i] >> 24) != 255) return false;
  return true;
}

std::optional<Format> sniff(std::span<const uint8_t> s) {
  auto starts = [&](std::initializer_list<uint8_t> sig) {
    return s.size() >= sig.size() && std::equal(sig.begin(), sig.end(), s.begin());
  };
  if (starts({0x89, 0x50, 0x4E, 0x47})) return Format::png;
  if (starts({0xFF, 0xD8, 0xFF})) return Format::jpeg;
  if (starts({0x42, 0x4D})) return Format::bmp;
  if (starts({0x47, 0x49, 0x46, 0x38, 0x37, 0x61}) || starts({0x47, 0x49, 0x46, 0x38, 0x39, 0x61})) return Format::gif;
  if (starts({0x49, 0x49, 0x2A, 0x00}) || starts({0x4D, 0x4D, 0x00, 0x2A})) return Format::tiff;
  return std::nullopt;
}

Bitmap* decode_as(Format f, std::span<const uint8_t> bytes) {
  if ((missing = unloadable(f))) return nullptr;
  switch (f) {
    case Format::bmp: return decode_bmp(bytes);
    case Format::png: return decode_png(bytes);
    case Format::gif: return decode_gif(bytes);
    case Format::jpeg: return decode_jpeg(bytes);
    case Format::tiff: return decode_tiff(bytes);
  }
  return nullptr;
}

Bitmap* decode(std::span<const uint8_t> bytes) {
  std::optional<Format> f = sniff(bytes);
  missing = nullptr;
  return f ? decode_as(*f, bytes) : nullptr;
}

Bitmap* decode_file(const std::string& path) {
  missing = nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  std::vector<uint8_t> data;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    data.reserve(size_t(st.st_size));
    uint8_t chunk[65536];
    for (;;) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      data.insert(data.end(), chunk, chunk + n);
    }
  }
  ::close(fd);
  return decode(data);
}

bool encode(const Bitmap& b, Format f, std::vector<uint8_t>& out) {
  out.clear();
  if (!b.pixels) return true;
  if ((missing = unloadable(f))) return false;
  switch (f) {
    case Format::bmp: return encode_bmp(b, out);
    case Format::png: return encode_png(b, out);
    case Format::gif: return encode_gif(b, out);
    case Format::jpeg: return encode_jpeg(b, out);
    case Format::tiff: return encode_tiff(b, out);
  }
  return false;
}

}  // namespace xeb::platform::bitmap
