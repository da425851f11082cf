// libFuzzer target: any byte string must scan to an end or a syntax error in
// every mode, and load fully into values or raise a syntax error, with
// errors raised, reported quietly or suppressed by the trace callback.
#include <cstddef>
#include <cstdint>

#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "lexer/load.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

using namespace xeb;
using namespace xeb::lexer;

namespace {

bool suppress(void*, State&, TraceEvent& e) { return e.event != EV_ERROR; }
void ignore(void*, const SyntaxError&) {}

bool start() {
  datatypes::init();
  init_loaders();
  collector::enabled = 1;
  return true;
}

// Loads the bytes as a binary!; a syntax error is the only error allowed.
void load_raising(const uint8_t* data, size_t size) {
  Cell tw{T_WORD, 0, 0, static_cast<uint32_t>(-1)};
  stack::mark_try(&tw);
  CatchPoint cp(CatchLevel::all);
  try {
    Cell* bin = binary::load(data, static_cast<int32_t>(size));
    transcode(bin, begin_cell(stack::push_new()));
  } catch (const LangError&) {
    cp.land();
    if (error::code_of(stack::top_cell()) / 100 != static_cast<int32_t>(ErrCat::syntax)) __builtin_trap();
    return;
  }
  stack::unwind();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = start();
  (void)ready;
  stack::init();
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

  load_raising(data, size);
  stack::init();
  TranscodeOptions t;
  t.quiet = true;
  t.trace = {EV_ERROR, suppress, nullptr};
  transcode_bytes(text, begin_cell(stack::push_new()), t);
  stack::init();
  return 0;
}
