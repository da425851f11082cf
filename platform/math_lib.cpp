// The C math library on first use (math_lib.h).
#include "platform/math_lib.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dynlib.h"

namespace xeb::platform {

namespace {

#define MATH_ENTRIES(X)                                                                                   \
  X(acos) X(asin) X(atan) X(atan2) X(cos) X(exp) X(floor) X(fma) X(fmod) X(log) X(log10) X(lround) X(pow) \
  X(sin) X(sqrt) X(tan)

struct Math {
  MATH_ENTRIES(XEB_DYNLIB_ENTRY)
};

// The library is part of the C library's installation: without it the
// program cannot go on computing.
const Math& math() {
  const Math* m = dynlib::load<Math>("libm.so.6", [](void* lib, Math& api) { return true MATH_ENTRIES(XEB_DYNLIB_FIND); });
  if (!m) {
    std::fputs("xeb: the C math library (libm.so.6) cannot be loaded\n", stderr);
    std::abort();
  }
  return *m;
}

constexpr unsigned kX87Round = 0xc00;   // rounding control of the x87 control word
constexpr unsigned kSseRound = 0x6000;  // the same in MXCSR, three bits higher
constexpr unsigned kAllFlags = 0x3f;    // the six exceptions, denormal operand among them

uint64_t bits_of(double x) {
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

double double_of(uint64_t u) {
  double x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

}  // namespace

void reset_float_env() {
  fenv_t env;
  asm volatile("fnstenv %0" : "=m"(env));
  env.__control_word = static_cast<unsigned short>((env.__control_word | kAllFlags | 0x300) & ~kX87Round);
  env.__status_word &= static_cast<unsigned short>(~kAllFlags);
  asm volatile("fldenv %0" : : "m"(env));
  unsigned mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  mxcsr = (mxcsr & ~(kAllFlags | kSseRound | 0x8040u)) | (kAllFlags << 7);
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
}

}  // namespace xeb::platform

using xeb::platform::math;
using xeb::platform::kSseRound;
using xeb::platform::kX87Round;
using xeb::platform::bits_of;
using xeb::platform::double_of;

extern "C" {

double acos(double x) noexcept { return math().acos(x); }
double asin(double x) noexcept { return math().asin(x); }
double atan(double x) noexcept { return math().atan(x); }
double atan2(double y, double x) noexcept { return math().atan2(y, x); }
double cos(double x) noexcept { return math().cos(x); }
double exp(double x) noexcept { return math().exp(x); }
double floor(double x) noexcept { return math().floor(x); }
double fma(double x, double y, double z) noexcept { return math().fma(x, y, z); }
double fmod(double x, double y) noexcept { return math().fmod(x, y); }
double log(double x) noexcept { return math().log(x); }
double log10(double x) noexcept { return math().log10(x); }
long lround(double x) noexcept { return math().lround(x); }
double pow(double x, double y) noexcept { return math().pow(x, y); }
double sin(double x) noexcept { return math().sin(x); }
double sqrt(double x) noexcept { return math().sqrt(x); }
double tan(double x) noexcept { return math().tan(x); }

// Exact (frexp), or rounded once (ldexp): the results any correct version
// gives, the library's among them. Done here so that rounding a number to a
// scale never loads the library.
double frexp(double x, int* e) noexcept {
  uint64_t u = bits_of(x);
  int ex = static_cast<int>(u >> 52) & 0x7ff;
  if (ex == 0x7ff || x == 0) {
    *e = 0;
    return x + x;  // quiets a signalling NaN
  }
  int below = 0;
  if (ex == 0) {  // subnormal: made normal first
    x *= 0x1p54;
    u = bits_of(x);
    ex = static_cast<int>(u >> 52) & 0x7ff;
    below = 54;
  }
  *e = ex - 1022 - below;
  return double_of((u & 0x800fffffffffffffull) | 0x3fe0000000000000ull);
}

double ldexp(double x, int n) noexcept {
  if (!std::isfinite(x) || x == 0) return x + x;
  // Steps that cannot round (nor leave the normal range before the last),
  // then one multiplication by a power of two that rounds at most once.
  if (n > 1023) {
    x *= 0x1p1023;
    n -= 1023;
    if (n > 1023) {
      x *= 0x1p1023;
      n -= 1023;
      if (n > 1023) n = 1023;
    }
  } else if (n < -1022) {
    x *= 0x1p-969;
    n += 969;
    if (n < -1022) {
      x *= 0x1p-969;
      n += 969;
      if (n < -1022) n = -1022;
    }
  }
  double r = x * double_of(static_cast<uint64_t>(0x3ff + n) << 52);
  if (!std::isfinite(r) || r == 0) errno = ERANGE;
  return r;
}

// Both rounding units set alike, and the x87 one read back, as the C
// library does it.
int fegetround() noexcept {
  unsigned short cw;
  asm volatile("fnstcw %0" : "=m"(cw));
  return cw & kX87Round;
}

int fesetround(int mode) noexcept {
  if (mode & ~static_cast<int>(kX87Round)) return 1;
  unsigned short cw;
  asm volatile("fnstcw %0" : "=m"(cw));
  cw = static_cast<unsigned short>((cw & ~kX87Round) | mode);
  asm volatile("fldcw %0" : : "m"(cw));
  unsigned mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  mxcsr = (mxcsr & ~kSseRound) | (static_cast<unsigned>(mode) << 3);
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
  return 0;
}

}  // extern "C"
