// PNG through libpng's simplified interface, which keeps its own error
// recovery (setjmp/longjmp) inside the library: a failure comes back as a
// zero result, never as a jump through these frames.
#include <png.h>

#include <cstring>

#include "platform/bitmap_codecs.h"

namespace xeb::platform::bitmap {

Bitmap* decode_png(std::span<const uint8_t> s) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, s.data(), s.size())) return nullptr;
  if (!sides_ok(image.width, image.height)) {
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_BGRA;
  Bitmap* b = make(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  if (!b || !b->pixels || !png_image_finish_read(&image, nullptr, b->pixels, 0, nullptr)) {
    png_image_free(&image);
    release(b);
    return nullptr;
  }
  png_image_free(&image);
  return b;
}

// An opaque image is written without its alpha channel.
bool encode_png(const Bitmap& b, std::vector<uint8_t>& out) {
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
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, data, 0, nullptr)) return false;
  out.resize(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, data, 0, nullptr)) return false;
  out.resize(size);
  return true;
}

}  // namespace xeb::platform::bitmap
