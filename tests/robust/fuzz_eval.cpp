// libFuzzer target: any bytes, transcoded and evaluated under a try with the
// whole library booted, end in a value or a language error: never a fault.
// It cannot write files or end the process, and it cannot hang (see
// fuzz_support.h).
#include <cstddef>
#include <cstdint>

#include "tests/robust/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xeb::fuzz::run_source(data, size);
  return 0;
}
