// libFuzzer target: any bytes through the Xebbin decoder, with the whole
// library booted, end in values or a language error, never a fault; what
// they decode to is molded, encoded in both layouts and decoded again.
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/xebbin.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/print_hooks.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"
#include "runtime/startup.h"
#include "runtime/throw.h"
#include "start/start.h"

namespace {

using namespace xeb;

void attempt(void (*body)(const uint8_t*, size_t), const uint8_t* data, size_t size) {
  stack::init();
  Cell tw{T_WORD, 0, 0, static_cast<uint32_t>(-1)};
  stack::mark_try(&tw);
  CatchPoint cp(CatchLevel::all);
  try {
    body(data, size);
  } catch (const LangError&) {
    cp.land();
  }
  cycles::reset();
  stack::init();
}

void run(const uint8_t* data, size_t size) {
  std::vector<uint8_t> in(data, data + size);
  Cell* b = block::push_only(1);
  xebbin::decode(in, b, true, b);
  actions::mold_text(b, 1);
  for (bool compact : {true, false}) {
    Cell* bin = xebbin::encode(b, compact);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(binary::xs_head(bin));
    std::vector<uint8_t> again(p, p + binary::xs_length_q(bin));
    Cell* b2 = block::push_only(1);
    xebbin::decode(again, b2, true, b2);
  }
}

bool boot() {
  library::set_command_line(0, nullptr);
  start::boot();
  print_hooks::remove(&print_hooks::default_printer, nullptr);
  collector::enabled = 1;
  return true;
}

struct Input {
  const uint8_t* data;
  size_t size;
};

void* run_input(void* p) {
  auto* in = static_cast<Input*>(p);
  attempt(run, in->data, in->size);
  return nullptr;
}

}  // namespace

// On a thread with the interpreter's stack, as in the program: the deepest
// stream the decoder accepts nests its records 4,000 deep.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = boot();
  (void)ready;
  Input in{data, size};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, startup::INTERPRETER_STACK);
  pthread_t t;
  if (pthread_create(&t, &attr, run_input, &in) != 0) __builtin_trap();
  pthread_attr_destroy(&attr);
  pthread_join(t, nullptr);
  return 0;
}
