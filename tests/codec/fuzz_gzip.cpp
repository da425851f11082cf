// libFuzzer target: any bytes read as gzip members (see fuzz_codec.h).
#include "tests/codec/fuzz_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace xeb::codec;
  return fuzz::one_input(data, size, gzip_decompress, gzip_compress);
}
