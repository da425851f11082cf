// The random generator: one process-wide pseudo-random sequence (a Mersenne
// Twister of 624 signed 32-bit words whose right shifts are arithmetic) and a
// secure source from the operating system. Every `random` action draws
// through here, via the seams of the integer and series modules.
#pragma once
#include <cstdint>

namespace xeb::random {

constexpr int32_t START_SEED = 19650218;

// Seeds with START_SEED and fills the seams; every run without a reseed draws
// the same sequence. Safe to call again (reseeds).
void init();
void seed(int32_t s);
int32_t next();         // 0 .. 2^31 - 1
int32_t secure_next();  // 0 .. 2^31 - 1 from the system's secure source
// 1..n for n > 0, -|n|..-1 for n < 0, 0 for 0; uniform (draws above the
// largest multiple of |n| are rejected).
int32_t int_range(int32_t n, bool secure);

}  // namespace xeb::random
