// Ctrl-C: a flag while evaluations may be halted, else the end.
#include "runtime/interrupt.h"

#include "runtime/exit.h"

namespace xeb::interrupt {

std::atomic<int> pending{0};

namespace {
std::atomic<bool> halts{false};
std::atomic<int> ending{0};
void (*wake)() = nullptr;
}

bool defer_end(int sig) {
  if (!halts.load(std::memory_order_relaxed)) return false;
  int none = 0;
  if (!ending.compare_exchange_strong(none, sig, std::memory_order_relaxed)) return false;
  pending.store(1, std::memory_order_relaxed);
  if (wake) wake();
  return true;
}

int end_signal() { return ending.load(std::memory_order_relaxed); }

void set_wake(void (*fn)()) { wake = fn; }

void set_halts(bool on) { halts.store(on, std::memory_order_relaxed); }

void clear() { pending.store(0, std::memory_order_relaxed); }

void on_signal() {
  // A second Ctrl-C while the first waits: the evaluation is somewhere that
  // does not look (a long native), so the user asks for the way out.
  if (halts.load(std::memory_order_relaxed) && pending.exchange(1, std::memory_order_relaxed) == 0) return;
  exit_on_signal(EXIT_STATUS);
}

}  // namespace xeb::interrupt
