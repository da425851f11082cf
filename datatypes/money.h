// money!: an exact decimal amount with an optional currency, whole in one
// cell: header bit 14 the sign, byte 4 the currency index (0 none, else the
// 1-based position in system/locale/currencies/list, so the list's order is
// part of the value), bytes 5-15 22 packed decimal digits, high nibble
// first: 17 integer digits, then 5 fraction digits. All digits 0 is zero
// whatever the sign. The engine computes on the amount in units of
// 0.00001 (below 10^22, so 128-bit integers hold every step exactly).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::money {

using Units = unsigned __int128;
constexpr int INT_DIGITS = 17;
constexpr int FRAC_DIGITS = 5;
constexpr int DIGITS = INT_DIGITS + FRAC_DIGITS;
constexpr uint64_t UNIT = 100000;  // units per 1

inline bool negative(const Cell* c) { return (c->header & HDR_MONEY_SIGN) != 0; }
inline void set_negative(Cell* c, bool n) {
  c->header = n ? c->header | HDR_MONEY_SIGN : c->header & ~HDR_MONEY_SIGN;
}
inline int currency(const Cell* c) { return static_cast<int>(c->w1 & 0xFF); }
inline void set_currency(Cell* c, int index) { c->w1 = (c->w1 & ~0xFFu) | static_cast<uint32_t>(index & 0xFF); }
// Digit i (0 the most significant integer digit .. 21 the last fraction one).
inline int digit(const Cell* c, int i) {
  uint8_t b = reinterpret_cast<const uint8_t*>(c)[5 + i / 2];
  return i % 2 ? b & 15 : b >> 4;
}

// The magnitude in units; writing keeps the header's flags but the sign.
Units units(const Cell* c);
Cell make_cell(bool negative, int currency, Units units);
inline bool zero_q(const Cell* c) { return units(c) == 0; }
int sign_q(const Cell* c);  // -1, 0 or 1

// The cell from its parts as the Xebbin decoder stores them.
Cell* make_at(Cell* c, bool negative, int currency, const uint8_t (&packed)[11]);
Cell from_integer(int32_t n);
// A float in money's range; strict refuses more than 5 fraction digits
// (bad-make-arg), else they are dropped.
Cell from_float(double d, bool strict);
int32_t to_integer(const Cell* c);  // type-limit beyond 32 bits
double to_float(const Cell* c);

// 1-based position of the currency code (any letter case), 0 when unknown.
int find_currency(std::string_view code);

// Money text: optional sign, optional three-letter code, "$", digits with
// single "'" marks, a decimal mark and at most five fraction digits. The
// lexer's form needs the "$" and takes "," for the mark too; the form of
// `to` may leave out "$" when there is no code. False when the text is no
// money (unknown code, more than 17 integer digits included).
enum class Syntax { lexical, conversion };
bool scan(std::u32string_view text, Syntax syntax, Cell* out);
// Appends the text: form groups the integer digits with "'", mold not;
// digits: fraction digits shown (0-5).
void form_money(const Cell* c, bool group, int digits, std::string& out);

// The arithmetic core (ops 0-4) on the two action arguments at the base.
void do_math(int op);

// --- Slots ------------------------------------------------------------------
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
Cell* random(Cell* value, int seed, int secure, int only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
void absolute();
Cell* negate(Cell* n);
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
int even_q(Cell* n);
int odd_q(Cell* n);
Cell* pick(Cell* value, int index, Cell* boxed);

void init();

}  // namespace xeb::money
