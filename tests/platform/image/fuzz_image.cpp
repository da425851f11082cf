// libFuzzer target for the five image decoders: the first byte picks the
// format (its value mod 5: BMP, PNG, GIF, JPEG, TIFF), the rest is the file.
// Any input must decode or be refused, never fault; what decodes must
// encode again in the same format and decode to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/bitmap.h"

namespace bm = xeb::platform::bitmap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  bm::pixel_limit = 1 << 20;  // a claimed size beyond it is refused before allocation
  auto f = static_cast<bm::Format>(data[0] % bm::FORMAT_COUNT);
  bm::Bitmap* b = bm::decode_as(f, {data + 1, size - 1});
  if (!b) return 0;
  if (int64_t{b->width} * b->height <= 4096) {
    std::vector<uint8_t> out;
    if (!bm::encode(*b, f, out)) std::abort();
    bm::Bitmap* back = bm::decode_as(f, out);
    if (!back || back->width != b->width || back->height != b->height) std::abort();
    bm::release(back);
  }
  bm::release(b);
  return 0;
}
