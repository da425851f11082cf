// libFuzzer target: any bytes through the LZ decoder end in bytes or in a
// refusal, never a fault; and any bytes through the writer decode back to
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/lz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xeb::lz::decompress({data, size});
  auto packed = xeb::lz::compress({data, size});
  auto back = xeb::lz::decompress(packed);
  if (!back || back->size() != size || (size && std::memcmp(back->data(), data, size) != 0)) __builtin_trap();
  return 0;
}
