// Float text: exact conversion between doubles and decimal text (both
// directions correctly rounded), the tidy text of the float formatter, and
// the angle reduction of the trigonometric natives.
//
// Nothing here touches the managed heap: every text goes into a buffer the
// caller owns, so the hot paths (mold of a float, lexing a float) never
// allocate and never move a series.
#pragma once
#include <cstddef>
#include <span>
#include <string_view>

namespace xeb {
namespace dtoa {

// 17 significant digits tell every pair of doubles apart; no caller asks for
// more, and the digit buffer is sized by it.
constexpr int max_digits = 17;

// The point position of the finished texts dtoa answers for special values.
constexpr int point_zero = 9998;     // "0.0", "-0.0", "0", "-0"
constexpr int point_special = 9999;  // "1.#INF", "-1.#INF", "1.#NaN"

// Room for any text of this module (the longest, "-0.000000" and 17 digits,
// takes 26 characters); texts are NUL-terminated within it.
constexpr std::size_t text_max = 32;
using TextBuffer = std::span<char, text_max>;

// Digits of a double: the value is 0.d1d2...dk x 10^point, with no leading
// or trailing zeros.
struct Decimal {
  char buf[max_digits + 1];  // the digits, NUL-terminated
  int count;                 // k
  int point;                 // or point_zero / point_special
  bool negative;
};

// ndigits 0: the shortest digits that read back to the same double (ties of
// the last digit to even); 1..max_digits: that many significant digits,
// correctly rounded, trailing zeros dropped (a larger count acts as
// max_digits). Answers a view of d.buf, or
// for zero, infinities and NaN a finished text (point_zero or
// point_special); keep_zero picks "0.0" over "0" for a zero.
std::string_view dtoa(double v, int ndigits, bool keep_zero, Decimal& d);

// The text of a float: plain when the point lies within -6..17 places,
// else d.ddd followed by "e" and the exponent. keep_zero writes "1.0",
// "1.0e20" where it is off "1", "1e20". Mold uses (v, 0, true). Answers
// the length written into out.
std::size_t form_float(double v, int ndigits, bool keep_zero, TextBuffer out);

// Correctly rounded double of the decimal number in text times
// 10^adjust (the lexer passes -2 for a percent). Syntax: sign, digits with
// at most one ".", optional exponent "e"/"E" with sign; "1.#INF", "-1.#INF"
// and "1.#NaN" (any letter case) read back as the specials. Beyond the
// double range: an infinity; below the smallest subnormal: a zero. *unread
// gets the count of trailing characters not read (0 for a whole number,
// the whole length when no digit was found).
double strtod(std::string_view text, int adjust = 0, std::size_t* unread = nullptr);

// The callers of the float formatter, each with its own first printing.
enum class FormKind : int {
  float32 = 0,         // "%.7g"
  float64 = 1,         // "%.16g" (form of a float!)
  float32_percent = 2, // "%.7g" and "%"
  percent = 3,         // "%.13g" and "%"
  time_seconds = 4,    // 6 significant digits, no ".0" added
  point = 5,           // "%.7g", no ".0" added
};

// The tidy text of the float formatter: the kind's first printing, then
// (when pretty) a value under the double epsilon written as zero and a
// 16-digit text ending in "01" or "99" printed again with fewer digits (so
// 0.1 + 0.2 gives "0.3"), the exponent without "+" and leading zeros, and
// ".0" or "%" by the kind. Answers the length written into out.
std::size_t form_tidy(double v, FormKind kind, bool pretty, TextBuffer out);

}  // namespace dtoa

namespace math {

// Which function the reduced angle is for. Every angle is first folded into
// -180..180; tangent (by its period) and sine (by its mirror at 90 degrees)
// fold it further into -90..90, cosine keeps it.
enum class Trig : int { tangent = 0, cosine = 1, sine = 2 };

// The angle in degrees folded for fn and turned into radians.
double to_radians(double degrees, Trig fn);

}  // namespace math
}  // namespace xeb
