// libFuzzer target: any bytes given to the JSON and CSV readers as text. The
// first byte picks the reader and its refinements; a JSON value that loads
// is written back and read again, a CSV table the same. Every input ends in
// a value or a language error, never a fault or a hang (fuzz_support.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/robust/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xeb::fuzz::budget = std::chrono::milliseconds(1000);
  if (size < 1) return 0;
  uint8_t mode = data[0];
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string src = "t: to string! #{";
  for (size_t i = 1; i < size; i++) (src += hex[data[i] >> 4]) += hex[data[i] & 15];
  src += "} ";
  if (mode & 1) {
    std::string refs;
    if (mode & 2) refs += "/header";
    if (mode & 4) refs += "/as-records";
    if (mode & 8) refs += "/flat";
    if (mode & 16) refs += "/trim";
    if (mode & 32) refs += "/with";
    if (mode & 64) refs += "/quote";
    if (mode & 128) refs += "/as-columns";
    src += "v: load-csv" + refs + " t" + (mode & 32 ? " \";\"" : "") + (mode & 64 ? " #\"'\"" : "") +
           " if block? v [if all [not empty? v block? first v] [load-csv to-csv v]]";
  } else {
    src += std::string("v: load-json t unless error? v [load-json to-json") + (mode & 2 ? "/pretty/ascii" : "") +
           " v" + (mode & 2 ? " \" \"" : "") + "]";
  }
  xeb::fuzz::run_source(reinterpret_cast<const uint8_t*>(src.data()), src.size());
  return 0;
}
