// libFuzzer target: any byte string must scan to an end or a syntax error,
// in every mode, with errors reported and with errors suppressed.
#include <cstddef>
#include <cstdint>

#include "lexer/lexer.h"

using namespace xeb::lexer;

namespace {

bool suppress(void*, State&, TraceEvent& e) { return e.event != EV_ERROR; }
void ignore(void*, const SyntaxError&) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (init(), true);
  (void)ready;
  std::span<const uint8_t> text(data, size);
  Options o;
  o.on_error = ignore;
  for (Mode m : {Mode::walk, Mode::check, Mode::load}) {
    o.mode = m;
    o.trace = {};
    scan(text, o);
    o.trace = {EV_ERROR | EV_PRESCAN, suppress, nullptr};
    scan(text, o);
  }
  o.mode = Mode::load;
  o.one = true;
  scan(text, o);
  return 0;
}
