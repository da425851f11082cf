// A break through three function frames to its loop, carried as a pending
// exit, against the same frames returning normally, and against the same
// break as a C++ exception for scale. Run by hand.
#include <chrono>
#include <cstdio>

#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

using namespace xeb;

namespace {

constexpr int ROUNDS = 2'000'000;

Cell word(uint32_t sym) { return Cell{T_WORD, 0, sym, 0xFFFFFFFF}; }

// One interpreted function call: its frame, one argument, the callee, and
// the unwinding the evaluator does unless an exit is pending.
template <class Callee>
__attribute__((noinline)) void call(uint32_t sym, Callee callee) {
  Cell w = word(sym), arg{T_INTEGER, 0, sym, 0};
  stack::mark_interp_func(&w);
  stack::push(&arg);
  callee();
  if (throwing()) return;  // the return path of a pending exit
  stack::unwind();
}

struct Break {};

template <class Innermost>
double time_loop(const char* name, Innermost innermost) {
  Cell lw = word(40);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < ROUNDS; i++) {
    stack::mark_loop(&lw);
    CatchPoint point(CatchLevel::loop);
    try {
      call(50, [&] { call(51, [&] { call(52, innermost); }); });
    } catch (const Break&) {
      point.land();
    }
    if (point.takes_pending()) point.land();
    stack::unwind();
    stack::reset();
  }
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / ROUNDS;
  std::printf("%-28s %8.1f ns per round\n", name, ns);
  return ns;
}

}  // namespace

int main() {
  memory::init();
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  stack::alloc_buffers();
  stack::init();
  Cell bw = word(60);
  double plain = time_loop("plain return", [] {});
  double pending = time_loop("pending break", [&] {
    stack::mark_interp_native(&bw);
    stack::throw_break(false, false);
  });
  double thrown = time_loop("C++ exception", [&] {
    stack::mark_interp_native(&bw);
    stack::throw_break(false, false);
    pending_throw = ThrowCode::none;
    throw Break{};
  });
  std::printf("pending/plain %.2f, exception/plain %.2f\n", pending / plain, thrown / plain);
  return 0;
}
