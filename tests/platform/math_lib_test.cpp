// The math functions the program defines over the C math library's: each
// gives the library's own result, bit for bit, the library's taken here
// through dlsym.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/math_lib.h"

namespace {

uint64_t bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

// Our functions are called through pointers the compiler cannot see
// through: it treats a direct call as the builtin (and swaps fma's
// multiplicands, which changes which NaN comes out).
template <class F>
F opaque(F f) {
  F volatile g = f;
  return g;
}

template <class F>
F from_library(const char* name) {
  void* lib = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(lib, nullptr);
  auto f = reinterpret_cast<F>(dlsym(lib, name));
  EXPECT_NE(f, nullptr) << name;
  return f;
}

// Edges of every range, then random bit patterns (NaNs, subnormals and all).
std::vector<double> samples() {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> v{0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 2.5, -2.5, 3.0, 1e300, -1e-300, inf, -inf,
                        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::signaling_NaN(),
                        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
                        std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                        -std::numeric_limits<double>::max(), 0x1.fffffffffffffp-1023, 0.1, 360.0, 1e22};
  std::mt19937_64 r(7);
  for (int i = 0; i < 4000; i++) {
    uint64_t u = r();
    double d;
    std::memcpy(&d, &u, sizeof d);
    v.push_back(d);
  }
  return v;
}

TEST(MathLib, EachFunctionGivesTheLibrarysBits) {
  using F1 = double (*)(double);
  using F2 = double (*)(double, double);
  const struct {
    const char* name;
    F1 ours;
  } ones[] = {{"acos", ::acos}, {"asin", ::asin}, {"atan", ::atan}, {"cos", ::cos},   {"exp", ::exp},
              {"floor", ::floor}, {"log", ::log}, {"log10", ::log10}, {"sin", ::sin}, {"sqrt", ::sqrt},
              {"tan", ::tan}};
  const struct {
    const char* name;
    F2 ours;
  } twos[] = {{"atan2", ::atan2}, {"fmod", ::fmod}, {"pow", ::pow}};
  auto xs = samples();
  for (auto& f : ones) {
    auto ours = opaque(f.ours);
    auto theirs = from_library<F1>(f.name);
    for (double x : xs) ASSERT_EQ(bits(ours(x)), bits(theirs(x))) << f.name << " " << x;
  }
  for (auto& f : twos) {
    auto ours = opaque(f.ours);
    auto theirs = from_library<F2>(f.name);
    for (size_t i = 0; i + 1 < xs.size(); i++)
      ASSERT_EQ(bits(ours(xs[i], xs[i + 1])), bits(theirs(xs[i], xs[i + 1]))) << f.name << " " << xs[i];
  }
  auto fma_ours = opaque(::fma);
  auto fma_theirs = from_library<double (*)(double, double, double)>("fma");
  auto lround_ours = opaque(::lround);
  auto lround_theirs = from_library<long (*)(double)>("lround");
  for (size_t i = 0; i + 2 < xs.size(); i++) {
    ASSERT_EQ(bits(fma_ours(xs[i], xs[i + 1], xs[i + 2])), bits(fma_theirs(xs[i], xs[i + 1], xs[i + 2])));
    if (std::isfinite(xs[i]) && std::fabs(xs[i]) < 1e18) {
      ASSERT_EQ(lround_ours(xs[i]), lround_theirs(xs[i]));
    }
  }
}

TEST(MathLib, FrexpAndLdexpMatchTheLibraryOnEveryScale) {
  auto frexp_ours = opaque(::frexp);
  auto ldexp_ours = opaque(::ldexp);
  auto frexp_theirs = from_library<double (*)(double, int*)>("frexp");
  auto ldexp_theirs = from_library<double (*)(double, int)>("ldexp");
  const int scales[] = {0, 1, -1, 52, -52, 53, -54, 600, -600, 1023, -1022, 1024, -1074, -1075, -1080,
                        2000, -2000, 2100, -2100, 3000, -3000, 100000, -100000};
  for (double x : samples()) {
    int e1 = 7, e2 = 7;
    ASSERT_EQ(bits(frexp_ours(x, &e1)), bits(frexp_theirs(x, &e2))) << x;
    ASSERT_EQ(e1, e2) << x;
    for (int n : scales) ASSERT_EQ(bits(ldexp_ours(x, n)), bits(ldexp_theirs(x, n))) << x << " " << n;
  }
}

TEST(MathLib, RoundingModeSetAndReadAsTheLibraryDoes) {
  auto get_theirs = from_library<int (*)()>("fegetround");
  for (int mode : {FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO, FE_TONEAREST}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    EXPECT_EQ(std::fegetround(), mode);
    EXPECT_EQ(get_theirs(), mode);
    volatile double one = 1.0, three = 3.0;
    double third = one / three;  // SSE arithmetic follows the mode too
    if (mode == FE_UPWARD) {
      EXPECT_GT(third * 3.0, 1.0);
    }
  }
  EXPECT_NE(std::fesetround(0x1234), 0);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST(MathLib, ResetFloatEnvRestoresTheDefault) {
  std::fesetround(FE_UPWARD);
  std::feraiseexcept(FE_DIVBYZERO);
  xeb::platform::reset_float_env();
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
  fenv_t ours, dflt;
  std::fegetenv(&ours);
  std::fesetenv(FE_DFL_ENV);
  std::fegetenv(&dflt);
  EXPECT_EQ(ours.__control_word, dflt.__control_word);
  EXPECT_EQ(ours.__mxcsr, dflt.__mxcsr);
}

}  // namespace
