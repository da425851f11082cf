// Bitmaps in memory and the image codecs: straight (not premultiplied)
// 32-bit BGRA pixels, rows top to bottom with no padding, decoded from and
// encoded to BMP, PNG, GIF, JPEG and TIFF. Knows nothing of cells.
//
// A pixel read as a little-endian word is A << 24 | R << 16 | G << 8 | B;
// alpha 255 is opaque. Every operation that can fail answers null (or
// false) and never raises: the caller turns that into its error. Decoders
// read the first frame only and refuse a side above MAX_SIDE or more pixels
// than pixel_limit before they allocate.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xeb::platform::bitmap {

constexpr int32_t MAX_SIDE = 65535;

struct Bitmap {
  int32_t width;
  int32_t height;
  uint32_t* pixels;  // width × height words; null when either side is 0
  Bitmap* prev;      // every live bitmap is on one list
  Bitmap* next;
};

// The container formats by their codes.
enum class Format : int { bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4 };
constexpr int FORMAT_COUNT = 5;

// Most pixels one decode may allocate (fuzz targets lower it), and most
// bytes all bitmaps together may hold (make fails beyond it).
extern int64_t pixel_limit;
extern int64_t live_limit;

// A bitmap of the size with every pixel 0 (transparent black); null when a
// side is negative or above MAX_SIDE, or memory runs out.
Bitmap* make(int32_t width, int32_t height);
void release(Bitmap* b);
// Bytes held by every bitmap alive, and those made since the count was last
// reset: the owner of the values uses them to collect in time.
int64_t live_bytes();
int64_t made_bytes();
void reset_made_bytes();

// The rectangle (clipped to the bitmap; what is left may be empty) as a new
// bitmap; null only when memory runs out.
Bitmap* clip(const Bitmap& b, int32_t x, int32_t y, int32_t width, int32_t height);
Bitmap* copy(const Bitmap& b);
// Nearest-neighbour scaling to the new size.
Bitmap* scale(const Bitmap& b, int32_t width, int32_t height);
// Raw import of 32-bit BGRA rows of the stride (0: width × 4) from a buffer
// of size bytes; rows bottom to top when bottom_up. Null when the buffer is
// shorter than the rows it must hold.
Bitmap* from_memory(int32_t width, int32_t height, size_t stride, const uint8_t* data, size_t size,
                    bool bottom_up);

// The format whose signature the bytes begin with.
std::optional<Format> sniff(std::span<const uint8_t> bytes);
// Any of the five formats by its signature; null when it is none of them or
// does not decode.
Bitmap* decode(std::span<const uint8_t> bytes);
Bitmap* decode_as(Format f, std::span<const uint8_t> bytes);
// The whole file read and decoded; null when it cannot be read or decoded.
Bitmap* decode_file(const std::string& path);
// The bitmap encoded; false when the encoder fails. A bitmap with no pixels
// gives no bytes.
bool encode(const Bitmap& b, Format f, std::vector<uint8_t>& out);
// After a decode or encode that failed, the soname of the platform library
// the format's codec could not load, when that is why; null otherwise. The
// codecs' libraries are loaded at their first use.
const char* missing_library();

}  // namespace xeb::platform::bitmap
