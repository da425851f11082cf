// libFuzzer target: any bytes read as zlib streams (see fuzz_codec.h).
#include "tests/codec/fuzz_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace xeb::codec;
  return fuzz::one_input(data, size, zlib_decompress, zlib_compress);
}
