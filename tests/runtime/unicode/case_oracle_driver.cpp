// Oracle driver: prints every code point whose case mapping is not itself,
// as "cp upper lower" in hex, for case_oracle.py to check against python3.
#include <cstdio>

#include "runtime/casemap.h"
#include "runtime/memory.h"

using namespace xeb;

int main() {
  memory::init();
  unicode::init_case_tables();
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    uint32_t up = unicode::to_case(cp, true), down = unicode::to_case(cp, false);
    if (up != cp || down != cp) std::printf("%X %X %X\n", cp, up, down);
  }
  return 0;
}
