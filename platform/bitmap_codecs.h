// The codecs behind platform/bitmap.h, one module per format. Each decoder
// checks the size its header claims (sides_ok) before it allocates.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/bitmap.h"

namespace xeb::platform::bitmap {

bool sides_ok(int64_t width, int64_t height);

// The platform libraries of the codecs, loaded at their first use (BMP is our
// own), and whether each loads. A codec whose library is missing fails.
constexpr const char* PNG_LIBRARY = "libpng16.so.16";
constexpr const char* GIF_LIBRARY = "libgif.so.7";
constexpr const char* JPEG_LIBRARY = "libturbojpeg.so.0";
constexpr const char* TIFF_LIBRARY = "libtiff.so.6";
bool png_loaded();
bool gif_loaded();
bool jpeg_loaded();
bool tiff_loaded();

Bitmap* decode_bmp(std::span<const uint8_t> bytes);
Bitmap* decode_png(std::span<const uint8_t> bytes);
Bitmap* decode_gif(std::span<const uint8_t> bytes);
Bitmap* decode_jpeg(std::span<const uint8_t> bytes);
Bitmap* decode_tiff(std::span<const uint8_t> bytes);

bool encode_bmp(const Bitmap& b, std::vector<uint8_t>& out);
bool encode_png(const Bitmap& b, std::vector<uint8_t>& out);
bool encode_gif(const Bitmap& b, std::vector<uint8_t>& out);
bool encode_jpeg(const Bitmap& b, std::vector<uint8_t>& out);
bool encode_tiff(const Bitmap& b, std::vector<uint8_t>& out);

// Whether every pixel is opaque.
bool opaque(const Bitmap& b);


}  // namespace xeb::platform::bitmap
