// PNG through libpng's simplified interface, which keeps its own error
// recovery (setjmp/longjmp) inside the library: a failure comes back as a
// zero result, never as a jump through these frames. The library is loaded
// at the first use.
#include <png.h>

#include <cstring>

#include "platform/bitmap_codecs.h"
#include "platform/dynlib.h"

namespace xeb::platform::bitmap {

namespace {

#define PNG_ENTRIES(X) \
  X(png_image_begin_read_from_memory) X(png_image_finish_read) X(png_image_free) X(png_image_write_to_memory)

struct Png {
  PNG_ENTRIES(XEB_DYNLIB_ENTRY)
};

const Png* png() {
  return dynlib::load<Png>(PNG_LIBRARY, [](void* lib, Png& api) { return true PNG_ENTRIES(XEB_DYNLIB_FIND); });
}

}  // namespace

bool png_loaded() { return png() != nullptr; }

Bitmap* decode_png(std::span<const uint8_t> s) {
  const Png* lib = png();
  if (!lib) return nullptr;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!lib->png_image_begin_read_from_memory(&image, s.data(), s.size())) return nullptr;
  if (!sides_ok(image.width, image.height)) {
    lib->png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_BGRA;
  Bitmap* b = make(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  if (!b || !b->pixels || !lib->png_image_finish_read(&image, nullptr, b->pixels, 0, nullptr)) {
    lib->png_image_free(&image);
    release(b);
    return nullptr;
  }
  lib->png_image_free(&image);
  return b;
}

// An opaque image is written without its alpha channel.
bool encode_png(const Bitmap& b, std::vector<uint8_t>& out) {
  const Png* lib = png();
  if (!lib) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(b.width);
  image.height = static_cast<png_uint_32>(b.height);
  std::vector<uint8_t> rgb;
  const void* data = b.pixels;
  if (opaque(b)) {
    image.format = PNG_FORMAT_BGR;
    size_t n = size_t(b.width) * size_t(b.height);
    rgb.resize(n * 3);
    for (size_t i = 0; i < n; i++) std::memcpy(&rgb[i * 3], &b.pixels[i], 3);
    data = rgb.data();
  } else {
    image.format = PNG_FORMAT_BGRA;
  }
  png_alloc_size_t size = 0;
  if (!lib->png_image_write_to_memory(&image, nullptr, &size, 0, data, 0, nullptr)) return false;
  out.resize(size);
  if (!lib->png_image_write_to_memory(&image, out.data(), &size, 0, data, 0, nullptr)) return false;
  out.resize(size);
  return true;
}

}  // namespace xeb::platform::bitmap
