// Float text: the placement rules, the tidy formatter and the reading edges.
// Digit correctness over many values is the oracle test's job.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/floattext.h"

namespace {

using namespace xeb;
using dtoa::FormKind;

std::string form(double v, int nd, bool keep_zero) {
  char buf[dtoa::text_max];
  std::size_t n = dtoa::form_float(v, nd, keep_zero, buf);
  EXPECT_EQ(buf[n], '\0');
  return std::string(buf, n);
}

std::string mold(double v) { return form(v, 0, true); }

std::string tidy(double v, FormKind k = FormKind::float64, bool pretty = true) {
  char buf[dtoa::text_max];
  std::size_t n = dtoa::form_tidy(v, k, pretty, buf);
  return std::string(buf, n);
}

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, 8);
  return b;
}

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

struct TextCase {
  double v;
  const char* text;
};

TEST(FloatText, MoldPlacesShortestDigits) {
  const TextCase cases[] = {
      {0.1, "0.1"}, {1.0, "1.0"}, {100.0, "100.0"}, {-2.5, "-2.5"}, {123.0, "123.0"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e16, "10000000000000000.0"}, {1e17, "1.0e17"},
      {123456789012345680.0, "1.2345678901234568e17"},
      {1e-6, "0.000001"}, {1e-7, "0.0000001"}, {1e-8, "1.0e-8"},
      {2.0e-7, "0.0000002"}, {2.0e-8, "2.0e-8"}, {1.5e-8, "1.5e-8"},
      {1.5e300, "1.5e300"}, {1e20, "1.0e20"}, {-1e20, "-1.0e20"},
      {1234.5678, "1234.5678"}, {0.00123, "0.00123"},
      {DBL_MAX, "1.7976931348623157e308"}, {-DBL_MAX, "-1.7976931348623157e308"},
      {5e-324, "5.0e-324"}, {DBL_MIN, "2.2250738585072014e-308"},
      {9007199254740993.0, "9007199254740992.0"},  // 2^53 + 1 is not a double
      {0.0, "0.0"}, {-0.0, "-0.0"}, {inf, "1.#INF"}, {-inf, "-1.#INF"},
      {nan, "1.#NaN"}, {-nan, "1.#NaN"},
  };
  for (const auto& c : cases) EXPECT_EQ(mold(c.v), c.text) << c.text;
}

TEST(FloatText, WithoutKeepZeroThePointGoes) {
  EXPECT_EQ(form(1.0, 0, false), "1");
  EXPECT_EQ(form(1e20, 0, false), "1e20");
  EXPECT_EQ(form(1.5e-8, 0, false), "1.5e-8");
  EXPECT_EQ(form(-0.0, 0, false), "-0");
  EXPECT_EQ(form(0.0, 0, false), "0");
  // The time formatter's six digits.
  EXPECT_EQ(form(15.0, 6, false), "15");
  EXPECT_EQ(form(5.5, 6, false), "5.5");
  EXPECT_EQ(form(1.0 / 3, 6, false), "0.333333");
  EXPECT_EQ(form(59.9999999, 6, false), "60");
}

TEST(FloatText, DtoaAnswersDigitsAndPoint) {
  dtoa::Decimal d;
  EXPECT_EQ(dtoa::dtoa(0.1 + 0.2, 0, true, d), "30000000000000004");
  EXPECT_EQ(d.point, 0);
  EXPECT_FALSE(d.negative);
  EXPECT_EQ(dtoa::dtoa(-1234.5, 0, true, d), "12345");
  EXPECT_EQ(d.point, 4);
  EXPECT_TRUE(d.negative);
  EXPECT_EQ(dtoa::dtoa(2.5, 1, true, d), "2");  // ties go to even
  EXPECT_EQ(dtoa::dtoa(3.5, 1, true, d), "4");
  // Short decimals to a precision: exact, rounded from the exact value, or
  // rounded when the precision cuts them.
  struct Digits {
    double v;
    int ndigits;
    const char* digits;
    int point;
  } cases[] = {{1234.5, 4, "1234", 4}, {1234.5, 5, "12345", 4}, {0.125, 2, "12", 0}, {100.0, 3, "1", 3},
               {0.1, 16, "1", 0},      {0.3, 16, "3", 0},       {0.3, 17, "29999999999999999", 0},
               {12345678901234.5, 0, "123456789012345", 14}};
  for (const Digits& c : cases) {
    EXPECT_EQ(dtoa::dtoa(c.v, c.ndigits, true, d), c.digits) << c.v << " " << c.ndigits;
    EXPECT_EQ(d.point, c.point) << c.v << " " << c.ndigits;
  }
  EXPECT_EQ(dtoa::dtoa(0.0, 0, true, d), "0.0");
  EXPECT_EQ(d.point, dtoa::point_zero);
  EXPECT_EQ(dtoa::dtoa(-inf, 0, true, d), "-1.#INF");
  EXPECT_EQ(d.point, dtoa::point_special);
}

TEST(FloatText, FormOfFloatTidiesSixteenDigits) {
  const TextCase cases[] = {
      {0.1 + 0.2, "0.3"}, {8.024999999999999, "8.025"}, {1e20, "1.0e20"},
      {1.5e-7, "1.5e-7"}, {3.0, "3.0"}, {-0.0, "0.0"}, {1e-300, "0.0"},
      {0.1, "0.1"}, {1e16, "1.0e16"}, {1e15, "1000000000000000.0"},
      {1e-5, "1.0e-5"}, {0.0001, "0.0001"}, {-1.25e-10, "-1.25e-10"},
      {1.0 / 3, "0.3333333333333333"}, {2.0 / 3, "0.6666666666666666"},
      {123456.7890123401, "123456.78901234"},
      {DBL_MAX, "1.797693134862316e308"}, {inf, "1.#INF"}, {-inf, "-1.#INF"}, {nan, "1.#NaN"},
  };
  for (const auto& c : cases) EXPECT_EQ(tidy(c.v), c.text) << c.text;
}

TEST(FloatText, FormWithoutPrettyKeepsDigits) {
  EXPECT_EQ(tidy(1e-300, FormKind::float64, false), "1.0e-300");
  EXPECT_EQ(tidy(8.024999999999999, FormKind::float64, false), "8.024999999999999");
  EXPECT_EQ(tidy(-0.0, FormKind::float64, false), "-0.0");
}

TEST(FloatText, FormKinds) {
  struct KindCase {
    double v;
    FormKind k;
    const char* text;
  };
  const KindCase cases[] = {
      {50.0, FormKind::percent, "50%"}, {12.5, FormKind::percent, "12.5%"},
      {-1.0, FormKind::percent, "-1%"}, {0.0, FormKind::percent, "0%"},
      {1e20, FormKind::percent, "1e20%"},
      {double(0.1f), FormKind::float32, "0.1"}, {2.5, FormKind::point, "2.5"},
      {1.0, FormKind::point, "1"}, {0.0, FormKind::point, "0"},
      {15.0, FormKind::time_seconds, "15"}, {5.5, FormKind::time_seconds, "5.5"},
      {1e20, FormKind::float32, "1.0e20"},
  };
  for (const auto& c : cases) EXPECT_EQ(tidy(c.v, c.k), c.text) << c.text;
}

TEST(FloatText, ReadsNumbers) {
  struct ReadCase {
    const char* text;
    double v;
  };
  const ReadCase cases[] = {
      {"0.1", 0.1}, {"-2.5", -2.5}, {"+3", 3.0}, {".5", 0.5}, {"5.", 5.0},
      {"1e10", 1e10}, {"1E-3", 1e-3}, {"12.5e+2", 1250.0}, {"000123.4500", 123.45},
      {"1.7976931348623157e308", DBL_MAX}, {"1e400", inf}, {"-1e400", -inf},
      {"4.9e-324", 5e-324}, {"2.4703282292062328e-324", 5e-324},
      {"2.4703282292062327e-324", 0.0}, {"1e-400", 0.0},
      {"1.7976931348623158e308", DBL_MAX}, {"1.797693134862315808e308", inf},
      {"9007199254740993", 9007199254740992.0},  // halfway, ties to even
      {"9007199254740995", 9007199254740996.0},
      {"0.30000000000000004", 0.1 + 0.2}, {"1.#INF", inf}, {"-1.#INF", -inf},
      {"0", 0.0}, {"1e99999999999999999999", inf}, {"0e99999", 0.0},
  };
  for (const auto& c : cases) {
    std::size_t unread = 99;
    double v = dtoa::strtod(c.text, 0, &unread);
    EXPECT_EQ(bits(v), bits(c.v)) << c.text;
    EXPECT_EQ(unread, 0u) << c.text;
  }
  EXPECT_TRUE(std::isnan(dtoa::strtod("1.#nan")));
  EXPECT_TRUE(std::isnan(dtoa::strtod("1.#NaN")));
  EXPECT_FALSE(std::signbit(dtoa::strtod("-1.#NaN")));
  EXPECT_TRUE(std::signbit(dtoa::strtod("-0.0")));
  EXPECT_TRUE(std::signbit(dtoa::strtod("-1e-400")));
}

TEST(FloatText, ReadsLongDigitStrings) {
  // The exact halfway point between 1 and its successor, with many
  // trailing zeros, then one digit that tips it.
  std::string half = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(dtoa::strtod(half), 1.0);  // tie to even
  EXPECT_EQ(dtoa::strtod(half + std::string(2000, '0')), 1.0);
  EXPECT_EQ(dtoa::strtod(half + std::string(2000, '0') + "1"), std::nextafter(1.0, 2.0));
  std::string many = "0." + std::string(1000, '0') + "1e1001";
  EXPECT_EQ(dtoa::strtod(many), 1.0);
  EXPECT_EQ(dtoa::strtod(std::string(400, '9')), inf);
}

TEST(FloatText, ReadAppliesAdjustment) {
  EXPECT_EQ(dtoa::strtod("50", -2), 0.5);
  EXPECT_EQ(dtoa::strtod("0.1", -2), 0.001);  // correctly rounded, not 0.1 / 100
  EXPECT_EQ(dtoa::strtod("12.5", -2), 0.125);
}

TEST(FloatText, ReadCountsUnreadCharacters) {
  struct UnreadCase {
    const char* text;
    double v;
    std::size_t unread;
  };
  const UnreadCase cases[] = {
      {"1.5x", 1.5, 1}, {"2e", 2.0, 1}, {"2e+", 2.0, 2}, {"", 0.0, 0},
      {"-", 0.0, 1}, {"abc", 0.0, 3}, {"1.#x", 1.0, 2},
  };
  for (const auto& c : cases) {
    std::size_t unread = 99;
    EXPECT_EQ(dtoa::strtod(c.text, 0, &unread), c.v) << c.text;
    EXPECT_EQ(unread, c.unread) << c.text;
  }
}

TEST(FloatText, MoldReadsBack) {
  const double values[] = {0.1, 1.0 / 3, 5e-324, DBL_MAX, DBL_MIN, 1e23, 9.5e-7, 123456789.125};
  for (double v : values) {
    EXPECT_EQ(dtoa::strtod(mold(v)), v);
    EXPECT_EQ(dtoa::strtod(mold(-v)), -v);
  }
}

TEST(FloatText, ToRadiansFoldsByFunction) {
  const double deg = 3.141592653589793 / 180;
  struct AngleCase {
    double x;
    math::Trig fn;
    double degrees;
  };
  const AngleCase cases[] = {
      {270, math::Trig::tangent, -90}, {135, math::Trig::sine, 45},
      {-540, math::Trig::cosine, -180}, {30, math::Trig::sine, 30},
      {-135, math::Trig::sine, -45}, {-135, math::Trig::tangent, 45},
      {200, math::Trig::cosine, -160}, {720, math::Trig::tangent, 0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(math::to_radians(c.x, c.fn), c.degrees * deg) << c.x;
}

}  // namespace
