// The machinery the evaluator's fuzz targets share: the whole library
// booted once, the words that touch files, the terminal, the environment or
// the process unset, and each input run as source under a try on a thread
// with the interpreter's stack. It cannot hang: a watchdog closes the call
// stack of an input that runs too long, so every further call raises
// stack-overflow and the input unwinds to the target's own catch.
//
// The watchdog cuts only the input it was armed for, and only while that
// input is inside its catch: arming, disarming and the cut itself all hold
// one lock. A cut decided for one input can then never land on the next (or
// between two, where nothing catches the overflow and the process would end
// without a report).
#pragma once
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "datatypes/binary.h"
#include "datatypes/init.h"
#include "datatypes/print_hooks.h"
#include "evaluator/boot.h"
#include "evaluator/interpreter.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "start/start.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/region.h"
#include "runtime/stack.h"
#include "runtime/startup.h"
#include "runtime/throw.h"

namespace xeb::fuzz {

// How long one input may run; a target may shorten it.
inline std::chrono::milliseconds budget{2000};

// Words that touch files, the terminal, the environment or the process.
constexpr std::string_view kDisable =
    "foreach w [write delete rename create open close update read query wait quit quit-return halt ask input "
    "call browse set-env change-dir set-current-dir save-cfg load-cfg launch run _read-input "
    "_set-buffer-history do-command eval-command] [set/any w none]";

constexpr size_t kMaxCommitted = size_t{64} << 20;

// The running input's deadline (steady-clock ticks), 0 when none is armed;
// read and written under armed_lock only.
inline std::mutex armed_lock;
inline int64_t deadline = 0;

inline int64_t now_ticks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

inline void watchdog() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::mutex> hold(armed_lock);
    // An input that grows its data without end is stopped the same way
    // before the fuzzer's memory limit is reached.
    if (deadline && (now_ticks() > deadline || region::committed() > kMaxCommitted))
      __atomic_store_n(&stack::cs.end, stack::cs.bottom, __ATOMIC_RELAXED);
  }
}

// Arms the watchdog for the input now running (inside its catch), or
// disarms it and opens the call stack again.
inline void arm(bool on) {
  std::lock_guard<std::mutex> hold(armed_lock);
  deadline = on ? now_ticks() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(budget).count() : 0;
  if (!on) __atomic_store_n(&stack::cs.end, stack::cs.bottom + stack::MAX_FRAMES, __ATOMIC_RELAXED);
}

// Evaluates the bytes as source; errors and exits that escape are landed.
inline void eval_text(const uint8_t* data, size_t size) {
  stack::init();
  Cell tw{T_WORD, 0, 0, static_cast<uint32_t>(-1)};
  stack::mark_try(&tw);
  CatchPoint cp(CatchLevel::all);
  arm(true);
  try {
    Cell* bin = binary::load(data, static_cast<int32_t>(size));
    Cell* code = begin_cell(stack::push_new());
    lexer::transcode(bin, code);
    interpreter::eval_block(code, false);
    if (throwing()) cp.land();
  } catch (const LangError&) {
    cp.land();
  }
  arm(false);
  cycles::reset();
  stack::init();
  // What a large input left behind goes before the next one starts.
  if (region::committed() > kMaxCommitted / 2 && collector::enabled) collector::collect();
}

struct Input {
  const uint8_t* data;
  size_t size;
};

inline void* run_input(void* p) {
  auto* in = static_cast<Input*>(p);
  eval_text(in->data, in->size);
  return nullptr;
}

// The interpreter's stack size, so that its own depth limits stop
// recursion first, as in the program.
inline void on_big_stack(Input* in) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, startup::INTERPRETER_STACK);
  pthread_t t;
  if (pthread_create(&t, &attr, run_input, in) != 0) __builtin_trap();
  pthread_attr_destroy(&attr);
  pthread_join(t, nullptr);
}

inline bool start() {
  library::set_command_line(0, nullptr);
  start::boot();
  print_hooks::remove(&print_hooks::default_printer, nullptr);  // output is not the point
  Input disable{reinterpret_cast<const uint8_t*>(kDisable.data()), kDisable.size()};
  on_big_stack(&disable);
  std::thread(watchdog).detach();
  return true;
}

// Runs the bytes as source text, after the one-time start.
inline void run_source(const uint8_t* data, size_t size) {
  static bool ready = start();
  (void)ready;
  Input in{data, size};
  on_big_stack(&in);
}

}  // namespace xeb::fuzz

