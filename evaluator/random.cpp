// The random generator. The right shifts are arithmetic on signed words, so
// sequences differ from the published MT19937 wherever bit 31 is set; this is
// the generator's defined behaviour and the seeded sequences depend on it.
#include "evaluator/random.h"

#include <sys/random.h>

#include <cstring>

#include "datatypes/integer.h"
#include "datatypes/series.h"

namespace xeb::random {
namespace {

constexpr int N = 624, M = 397;
int32_t state[N];
int index = N;

// Arithmetic shift right; on a negative word the vacated bits are ones.
inline uint32_t sar(uint32_t y, int k) { return static_cast<uint32_t>(static_cast<int32_t>(y) >> k); }

void regenerate() {
  auto step = [](int i, int j) {
    uint32_t a = static_cast<uint32_t>(state[i]), b = static_cast<uint32_t>(state[j]);
    uint32_t y = (a & 0x80000000u) | (b & 0x7FFFFFFFu);
    uint32_t v = static_cast<uint32_t>(state[(i + M) % N]) ^ sar(y, 1) ^ ((b & 1) ? 0x9908B0DFu : 0u);
    state[i] = static_cast<int32_t>(v);
  };
  for (int i = 0; i < N - 1; i++) step(i, i + 1);
  step(N - 1, 0);
}

inline int32_t temper(uint32_t y) {
  y ^= sar(y, 11);
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= sar(y, 18);  // clears bit 31 whatever it was
  return static_cast<int32_t>(y);
}

int32_t draw(bool secure) { return secure ? secure_next() : next(); }

int32_t series_range(int32_t n, bool secure) { return int_range(n, secure); }
int32_t integer_range(bool secure, int32_t n) { return int_range(n, secure); }
void seed_u(uint32_t s) { seed(static_cast<int32_t>(s)); }

}  // namespace

void seed(int32_t s) {
  state[0] = s;
  for (int i = 1; i < N; i++) {
    uint32_t p = static_cast<uint32_t>(state[i - 1]);
    state[i] = static_cast<int32_t>(1812433253u * (p ^ sar(p, 30)) + static_cast<uint32_t>(i));
  }
  index = 0;  // the first N draws temper the seeded words themselves
}

int32_t next() {
  if (index >= N) {
    regenerate();
    index = 0;
  }
  return temper(static_cast<uint32_t>(state[index++]));
}

int32_t secure_next() {
  uint32_t w = 0;
  uint8_t* p = reinterpret_cast<uint8_t*>(&w);
  size_t got = 0;
  // getrandom of 4 bytes does not come back short except on a signal; a
  // failing source leaves the bytes it did not fill at zero.
  while (got < sizeof w) {
    ssize_t r = getrandom(p + got, sizeof w - got, 0);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<int32_t>(w & 0x7FFFFFFFu);
}

int32_t int_range(int32_t n, bool secure) {
  if (n == 0) return 0;
  if (n == INT32_MIN) return ~draw(secure);
  int32_t m = n < 0 ? -n : n;
  int32_t limit = (INT32_MAX / m) * m;
  int32_t d;
  do d = draw(secure);
  while (d >= limit);
  int32_t r = d % m + 1;
  return n > 0 ? r : -r;
}

void init() {
  seed(START_SEED);
  integer::random_hooks.seed = seed_u;
  integer::random_hooks.next = next;
  integer::random_hooks.secure_next = secure_next;
  integer::random_hooks.int_range = integer_range;
  series::random_range = series_range;
  series::random_seed = seed_u;
}

}  // namespace xeb::random
