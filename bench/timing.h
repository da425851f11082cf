// Timing of the benchmark programs: how long a piece of work takes on the
// steady clock.
#pragma once
#include <chrono>

namespace xeb::bench {

template <class F>
double seconds(F f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace xeb::bench
