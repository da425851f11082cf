// libFuzzer target: any bytes, transcoded and evaluated under a try with the
// whole library booted, end in a value or a language error: never a fault.
// It cannot write files or end the process, and it cannot hang (see
// fuzz_support.h). fuzz_eval.dict and fuzz_eval_seeds/ hold the shapes that
// found faults before: owners' hooks that edit the series being changed,
// sort functions that edit the series being sorted, /skip and /part counts
// at the ends of the integer range.
#include <cstddef>
#include <cstdint>

#include "tests/robust/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xeb::fuzz::run_source(data, size);
  return 0;
}
