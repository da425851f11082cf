// image!: a two-dimensional series of 32-bit pixels with a head position.
//
// Cell: w1 the head (0-based pixel index), w2 the node of the image record
// (0 for an image without pixels), w3 the size, width in bits 0-15 and
// height in bits 16-31. The record is a small byte series holding the
// reference (index and generation) of the pixels' entry in the
// external-handle table under the kind "image"; the pixels themselves are a
// platform bitmap (platform/bitmap.h), released through that kind once no
// value marks the record. Cells that share a record share the pixels.
//
// At the language level a pixel is the tuple R.G.B.A whose fourth value is
// transparency (255 - alpha); a 3-value tuple is opaque.
#pragma once
#include <cstdint>
#include <span>

#include "platform/bitmap.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::image {

inline int32_t head(const Cell* c) { return static_cast<int32_t>(c->w1); }
inline void set_head(Cell* c, int32_t h) { c->w1 = static_cast<uint32_t>(h); }
inline Node record(const Cell* c) { return c->w2; }
inline int32_t width(const Cell* c) { return static_cast<int32_t>(c->w3 & 0xFFFF); }
inline int32_t height(const Cell* c) { return static_cast<int32_t>(c->w3 >> 16); }
inline int64_t area(const Cell* c) { return int64_t{width(c)} * height(c); }

// The image's bitmap, null for an image without pixels. Valid while the
// cell (or another holding the record) stays rooted.
platform::bitmap::Bitmap* bitmap(const Cell* c);

// Writes an image! of the bitmap (its owner from now on; null makes an image
// of the size without pixels) into c, head 0. The bitmap is released if the
// record cannot be made.
Cell* make_at(Cell* c, platform::bitmap::Bitmap* b, int32_t width = 0, int32_t height = 0);
// The same, pushed on the data stack.
Cell* push(platform::bitmap::Bitmap* b, int32_t width = 0, int32_t height = 0);
// A new bitmap of the size; raises size-limit for a side above 65535 and
// no-memory when it cannot be had. Null for a side of 0.
platform::bitmap::Bitmap* new_bitmap(int64_t width, int64_t height);

// The pixel words R.G.B.(255 - A) tuples are made from and written to.
Cell pixel_tuple(uint32_t pixel);
uint32_t tuple_pixel(const Cell* tuple);

// Encoding and decoding for the codecs, the clipboard and load/save.
// encode: the image in the format (code 0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4
// TIFF) as a new binary! pushed; an image of no pixels gives an empty
// binary, one of 0x0 bad-media; another code prints a line saying no
// encoder serves it and answers null (nothing encoded). decode: a binary! (none when its bytes carry no known signature,
// bad-media when they do not decode) or a file (cannot-open).
Cell* encode(Cell* img, int format);
Cell* decode(Cell* data);
Cell* load_binary(std::span<const uint8_t> bytes);
bool is_encoded(std::span<const uint8_t> bytes);

// The pixels from the first as a new binary! pushed: kind 0 alpha (255 - A
// per pixel), 1 rgb, 2 argb (the words as they are, B G R A).
Cell* extract_data(const Cell* img, int kind);
// Writes every pixel from the first from a binary!, tuple! or integer!.
void set_data(Cell* img, Cell* value, int kind);

// The GUI layer's capture of a face into an image, set at its start-up:
// false when the value is no face; else the capture is written into out,
// none when nothing was captured.
extern bool (*face_capture)(const Cell* value, Cell* out);

void init();

}  // namespace xeb::image
