// Scanning text held as fixed-width units (a string!'s buffer): the units are
// encoded to UTF-8 in a scratch area used like a stack, so that nested scans
// take the space above the current top and give it back when they end.
#include <memory>

#include "lexer/internal.h"
#include "platform/utf8.h"

namespace xeb::lexer {
namespace {

constexpr size_t SCRATCH_SIZE = 100000;
uint8_t scratch[SCRATCH_SIZE];
size_t scratch_top = 0;

uint32_t unit_at(const void* units, int unit, size_t i) {
  switch (unit) {
    case 1: return static_cast<const uint8_t*>(units)[i];
    case 2: return static_cast<const uint16_t*>(units)[i];
    default: return static_cast<const uint32_t*>(units)[i];
  }
}

// Code points that cannot be encoded become U+FFFD.
uint32_t sane(uint32_t cp) {
  return cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0xFFFD : cp;
}

int utf8_length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

struct ScratchMark {
  size_t saved = scratch_top;
  ~ScratchMark() { scratch_top = saved; }
};

}  // namespace

Result scan_units(const void* units, int unit, size_t count, const Options& o) {
  size_t bytes = 0;
  for (size_t i = 0; i < count; ++i) bytes += utf8_length(sane(unit_at(units, unit, i)));
  ScratchMark mark;
  std::unique_ptr<uint8_t[]> spill;  // text that does not fit the scratch area
  uint8_t* out;
  if (bytes <= SCRATCH_SIZE - scratch_top) {
    out = scratch + scratch_top;
    scratch_top += bytes;
  } else {
    spill.reset(new uint8_t[bytes ? bytes : 1]);
    out = spill.get();
  }
  uint8_t* p = out;
  for (size_t i = 0; i < count; ++i) p += platform::put_utf8(p, sane(unit_at(units, unit, i)));
  Options with = o;
  with.input_is_string = true;
  return scan({out, bytes}, with);
}

}  // namespace xeb::lexer
