// money!: the digit cell, conversions, text, exact arithmetic and slots.
#include "datatypes/money.h"

#include <array>
#include <cmath>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/floattext.h"
#include "runtime/stack.h"

namespace xeb::money {

namespace {

constexpr Units pow10(int n) {
  Units v = 1;
  while (n-- > 0) v *= 10;
  return v;
}
constexpr Units LIMIT = pow10(DIGITS);  // every amount lies below

[[noreturn]] void type_limit(int type) {
  Cell t = datatype::make_cell(type);
  fire(Err::type_limit, &t);
}

[[noreturn]] void bad_make_arg(int type, const Cell* v) {
  Cell t = datatype::make_cell(type);
  fire(Err::bad_make_arg, &t, v);
}

// Units of the signed amount, as a signed 128-bit number.
__int128 signed_units(const Cell* c) {
  __int128 u = static_cast<__int128>(units(c));
  return negative(c) ? -u : u;
}

Cell from_signed(__int128 v, int currency) {
  Units m = static_cast<Units>(v < 0 ? -v : v);
  if (m >= LIMIT) type_limit(T_MONEY);
  return make_cell(v < 0, currency, m);
}

}  // namespace

// --- The cell ---------------------------------------------------------------------

// The digits go a byte (two digits) at a time: the first 9 bytes, 18
// digits, fit 64 bits, so 128-bit arithmetic (its division a library call)
// meets only the last two bytes, and past 2^64 one division. Arithmetic runs
// through here twice per operation.
constexpr int PACKED = DIGITS / 2;     // bytes of digits
constexpr int HEAD_BYTES = PACKED - 2;  // bytes of the 64-bit part
constexpr uint64_t TAIL_SCALE = 10000;  // 10^digits of the last two bytes
constexpr uint64_t HEAD_LIMIT = 1000000000000000000;  // 10^18

// A packed byte's two digits as a number, and back. A nibble past 9 (a
// corrupt cell) counts for its value, as digit by digit it would.
constexpr std::array<uint8_t, 256> kByteValue = [] {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; b++) t[b] = static_cast<uint8_t>((b >> 4) * 10 + (b & 15));
  return t;
}();
constexpr std::array<uint8_t, 100> kPackedByte = [] {
  std::array<uint8_t, 100> t{};
  for (int v = 0; v < 100; v++) t[v] = static_cast<uint8_t>((v / 10) << 4 | v % 10);
  return t;
}();

Units units(const Cell* c) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(c) + 5;
  uint64_t head = 0;
  int i = 0;
  while (i < HEAD_BYTES && b[i] == 0) i++;  // leading zeros: most amounts are small
  for (; i < HEAD_BYTES; i++) head = head * 100 + kByteValue[b[i]];
  uint64_t tail = uint64_t{kByteValue[b[HEAD_BYTES]]} * 100 + kByteValue[b[HEAD_BYTES + 1]];
  return Units{head} * TAIL_SCALE + tail;
}

// Digits of units below 10^22; of a larger number, its last 22.
Cell make_cell(bool neg, int cur, Units u) {
  Cell c{T_MONEY, 0, 0, 0};
  auto* b = reinterpret_cast<uint8_t*>(&c) + 5;
  uint64_t head, tail;
  if (u >> 64 == 0) {
    const uint64_t v = static_cast<uint64_t>(u);
    head = v / TAIL_SCALE;
    tail = v % TAIL_SCALE;
  } else {
    head = static_cast<uint64_t>(u / TAIL_SCALE % HEAD_LIMIT);
    tail = static_cast<uint64_t>(u % TAIL_SCALE);
  }
  b[HEAD_BYTES + 1] = kPackedByte[tail % 100];
  b[HEAD_BYTES] = kPackedByte[tail / 100];
  for (int i = HEAD_BYTES - 1; i >= 0 && head; i--) {  // the cell's bytes start 0
    b[i] = kPackedByte[head % 100];
    head /= 100;
  }
  set_negative(&c, neg);
  set_currency(&c, cur);
  return c;
}

int sign_q(const Cell* c) { return zero_q(c) ? 0 : negative(c) ? -1 : 1; }

Cell* make_at(Cell* c, bool neg, int cur, const uint8_t (&packed)[11]) {
  Cell v{T_MONEY, 0, 0, 0};
  std::memcpy(reinterpret_cast<uint8_t*>(&v) + 5, packed, 11);
  set_negative(&v, neg);
  set_currency(&v, cur);
  *c = v;
  return c;
}

Cell from_integer(int32_t n) {
  int64_t m = n < 0 ? -int64_t{n} : n;
  return make_cell(n < 0, 0, static_cast<Units>(m) * UNIT);
}

namespace {

// The float's units truncated toward zero; *exact false when digits were
// dropped. False when the float is out of money's range.
bool float_units(double d, Units* out, bool* exact) {
  if (!std::isfinite(d) || std::fabs(d) >= 1e17) return false;
  if (d != 0 && std::fabs(d) < 1e-5) return false;
  dtoa::Decimal dec;
  dtoa::dtoa(d, 0, false, dec);
  *exact = true;
  Units u = 0;
  if (d == 0) {
    *out = 0;
    return true;
  }
  // 0.d1...dk x 10^point: digit j (from 0) has weight 10^(point - 1 - j) = units 10^(point + 4 - j).
  for (int j = 0; j < dec.count; j++) {
    int e = dec.point + 4 - j;
    if (e < 0) {
      if (dec.buf[j] != '0') *exact = false;
      continue;
    }
    u += static_cast<Units>(dec.buf[j] - '0') * pow10(e);
  }
  *out = u;
  return true;
}

}  // namespace

Cell from_float(double d, bool strict) {
  Units u;
  bool exact;
  Cell f = float_::make_cell(d);
  if (!float_units(d, &u, &exact) || (strict && !exact)) bad_make_arg(T_MONEY, &f);
  return make_cell(d < 0, 0, u);
}

int32_t to_integer(const Cell* c) {
  Units whole = units(c) / UNIT;
  if (whole > (negative(c) ? Units{2147483648u} : Units{2147483647u})) type_limit(T_INTEGER);
  int64_t v = static_cast<int64_t>(whole);
  return static_cast<int32_t>(negative(c) ? -v : v);
}

double to_float(const Cell* c) {
  if (zero_q(c)) return 0.0;
  std::string text;
  form_money(c, false, FRAC_DIGITS, text);
  std::size_t dollar = text.find('$');
  std::size_t unread = 0;
  double d = dtoa::strtod(std::string_view(text).substr(dollar + 1), 0, &unread);
  if (unread) bad_make_arg(T_FLOAT, c);
  return negative(c) ? -d : d;
}

// --- Currencies and text ---------------------------------------------------------

int find_currency(std::string_view code) {
  const Cell* list = scalar::system_value({"locale", "currencies", "list"});
  if (!list || !is_type(list, T_BLOCK)) return 0;
  int32_t n = block::xs_length_q(list);
  const Cell* h = block::xs_head(const_cast<Cell*>(list));
  for (int32_t i = 0; i < n && i < 255; i++) {
    if (!any_word(type_of(h + i))) continue;
    std::string_view name = symbol::name(word_symbol(h + i));
    if (name.size() != code.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; k++)
      same = (name[k] | 0x20) == (code[k] | 0x20);
    if (same) return static_cast<int>(i + 1);
  }
  return 0;
}

namespace {

// The currency word of an index (none when the list has no such entry).
Cell currency_word(int index) {
  const Cell* list = scalar::system_value({"locale", "currencies", "list"});
  if (index > 0 && list && is_type(list, T_BLOCK) && index <= block::xs_length_q(list))
    return block::xs_head(const_cast<Cell*>(list))[index - 1];
  return Cell{T_NONE, 0, 0, 0};
}

bool letter(char32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool digit_char(char32_t c) { return c >= '0' && c <= '9'; }

}  // namespace

bool scan(std::u32string_view t, Syntax syntax, Cell* out) {
  const bool lexical = syntax == Syntax::lexical;
  std::size_t i = 0, n = t.size();
  bool neg = false;
  if (i < n && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  int cur = 0;
  if (i + 3 < n && letter(t[i]) && letter(t[i + 1]) && letter(t[i + 2]) && t[i + 3] == '$') {
    char code[3] = {char(t[i]), char(t[i + 1]), char(t[i + 2])};
    cur = find_currency(std::string_view(code, 3));
    if (!cur) return false;
    i += 3;
  }
  if (i < n && t[i] == '$') i++;
  else if (lexical || cur) return false;
  if (lexical && (i >= n || !digit_char(t[i]))) return false;
  // Digits with single marks between them, then a decimal mark and digits.
  Units whole = 0, frac = 0;
  int whole_digits = 0, frac_digits = 0;
  bool any = false, prev_digit = false;
  for (; i < n && (digit_char(t[i]) || t[i] == '\''); i++) {
    if (t[i] == '\'') {
      if (!prev_digit || i + 1 >= n || !digit_char(t[i + 1])) return false;
      prev_digit = false;
      continue;
    }
    prev_digit = any = true;
    whole = whole * 10 + (t[i] - '0');
    if (whole) whole_digits++;
    if (whole_digits > INT_DIGITS) return false;
  }
  if (i < n && (t[i] == '.' || (lexical && t[i] == ','))) {
    i++;
    if (i >= n && (lexical || !any)) return false;
    for (; i < n && digit_char(t[i]); i++) {
      if (++frac_digits > FRAC_DIGITS) return false;
      frac = frac * 10 + (t[i] - '0');
    }
    any = any || frac_digits > 0;
  }
  if (i != n || !any) return false;
  *out = make_cell(neg, cur, whole * UNIT + frac * pow10(FRAC_DIGITS - frac_digits));
  return true;
}

void form_money(const Cell* c, bool group, int digits, std::string& out) {
  if (negative(c) && !zero_q(c)) out += '-';
  if (int cur = currency(c)) {
    Cell w = currency_word(cur);
    if (any_word(type_of(&w))) out += symbol::name(word_symbol(&w));
  }
  out += '$';
  int first = 0;
  while (first < INT_DIGITS - 1 && digit(c, first) == 0) first++;
  for (int i = first; i < INT_DIGITS; i++) {
    out += static_cast<char>('0' + digit(c, i));
    int from_last = INT_DIGITS - 1 - i;
    if (group && from_last > 0 && from_last % 3 == 0) out += '\'';
  }
  if (digits < 1) return;
  out += '.';
  for (int i = 0; i < digits && i < FRAC_DIGITS; i++) out += static_cast<char>('0' + digit(c, INT_DIGITS + i));
}

// --- Arithmetic ------------------------------------------------------------------

namespace {

Cell as_money(const Cell* v) {
  switch (type_of(v)) {
    case T_MONEY: return *v;
    case T_INTEGER: return from_integer(get_int(v));
    case T_FLOAT: case T_PERCENT: return from_float(get_double(v), false);
    default: scalar::fire_type(Err::invalid_type, v);
  }
}

bool compatible(const Cell* a, const Cell* b, bool strict) {
  return currency(a) == currency(b) || (!strict && (!currency(a) || !currency(b)));
}

}  // namespace

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  const bool money_l = is_type(left, T_MONEY), money_r = is_type(right, T_MONEY);
  if ((op == OP_MUL && money_l && money_r) || ((op == OP_DIV || op == OP_REM) && !money_l))
    scalar::fire_type(Err::invalid_type, left);
  if (op > OP_REM) scalar::fire_type(Err::invalid_type, left);
  Cell a = as_money(left), b = as_money(right);
  if (!compatible(&a, &b, false)) fire(Err::wrong_denom, left, right);
  const int cur = currency(&b) ? currency(&b) : currency(&a);
  const __int128 x = signed_units(&a), y = signed_units(&b);
  switch (op) {
    case OP_ADD: *left = from_signed(x + y, cur); return;
    case OP_SUB: *left = from_signed(x - y, cur); return;
    case OP_MUL: {
      // |x| * |y| / UNIT truncated: y split at 10^11 keeps each product below 2^127.
      Units mx = units(&a), my = units(&b);
      Units hi = mx * (my / pow10(11)), lo = mx * (my % pow10(11));
      if (hi >= LIMIT / pow10(6)) type_limit(T_MONEY);
      Units p = hi * pow10(6) + lo / UNIT;
      if (p >= LIMIT) type_limit(T_MONEY);
      *left = make_cell(p != 0 && negative(&a) != negative(&b), cur, p);
      return;
    }
    default: {
      Units mx = units(&a), my = units(&b);
      if (my == 0) fire(Err::zero_divide);
      if (op == OP_REM) {
        *left = make_cell(negative(&a), cur, mx % my);
        return;
      }
      Units q = mx * UNIT / my;
      if (q >= LIMIT) type_limit(T_MONEY);
      Cell r = make_cell(q != 0 && negative(&a) != negative(&b), cur, q);
      *left = money_l && money_r ? float_::make_cell(to_float(&r)) : r;
      return;
    }
  }
}

// --- Slots -----------------------------------------------------------------------

namespace {

// The text of a string-like value as code points.
std::u32string text_of(const Cell* s) {
  std::u32string t;
  int32_t n = string::xs_length_q(s);
  for (int32_t i = 0; i < n; i++) t += static_cast<char32_t>(string::char_at(s, i));
  return t;
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_MONEY: return spec;
    case T_INTEGER: *proto = from_integer(get_int(spec)); return proto;
    case T_FLOAT: *proto = from_float(get_double(spec), true); return proto;
    default:
      if (scalar::text_type(type_of(spec))) {
        Cell v;
        if (!scan(text_of(spec), Syntax::conversion, &v)) scalar::bad_to_arg(T_MONEY, spec);
        *proto = v;
        return proto;
      }
      scalar::bad_to_arg(T_MONEY, spec);
  }
}

Cell* make(Cell* proto, Cell* spec, int type) {
  auto code_of = [&](const Cell* w) {
    int cur = find_currency(symbol::name(word_symbol(w)));
    if (!cur) bad_make_arg(T_MONEY, spec);
    return cur;
  };
  if (is_type(spec, T_WORD)) {
    *proto = make_cell(false, code_of(spec), 0);
    return proto;
  }
  if (!is_type(spec, T_BLOCK)) return to(proto, spec, type);
  int32_t n = block::xs_length_q(spec);
  const Cell* h = block::xs_head(spec);
  int i = 0, cur = 0;
  if (n >= 1 && is_type(h, T_WORD)) cur = code_of(h), i = 1;
  if (n < 1 || n > 3 || i >= n) bad_make_arg(T_MONEY, spec);
  Cell m;
  if (is_type(h + i, T_INTEGER)) m = from_integer(get_int(h + i));
  else if (is_type(h + i, T_FLOAT)) m = from_float(get_double(h + i), true);
  else bad_make_arg(T_MONEY, spec);
  if (++i < n) {
    // A count of the smallest units, added away from zero.
    if (!is_type(h + i, T_INTEGER) || get_int(h + i) < 0 || i + 1 != n) bad_make_arg(T_MONEY, spec);
    Units u = units(&m) + static_cast<Units>(get_int(h + i));
    if (u >= LIMIT) type_limit(T_MONEY);
    m = make_cell(negative(&m), 0, u);
  }
  set_currency(&m, cur);
  *proto = m;
  return proto;
}

Cell* random(Cell* value, int seed, int secure, int only) {
  const auto& h = integer::random_hooks;
  if (seed) return integer::seed_random(value, value->w1 ^ value->w2 ^ value->w3 ^ (negative(value) ? 1u : 0u));
  if (!h.int_range) fire(Err::not_done);
  auto draw = [&](int top) { return h.int_range(secure != 0, top + 1) - 1; };  // 0..top
  Cell r = *value;
  auto* b = reinterpret_cast<uint8_t*>(&r);
  for (int i = 5; i < 16; i++) b[i] = 0;
  bool below = false;
  bool leading = true;
  for (int i = 0; i < DIGITS; i++) {
    int d = digit(value, i), v;
    if (leading && d == 0) continue;
    leading = false;
    if (below) {
      v = draw(9);
    } else {
      // The value itself is kept only when two further draws agree.
      do {
        v = draw(d);
      } while (v == d && draw(999) != draw(999));
      below = v < d;
    }
    b[5 + i / 2] |= static_cast<uint8_t>(i % 2 ? v : v << 4);
  }
  *value = r;
  return value;
}

namespace {

int shown_digits(bool all) {
  if (all) return FRAC_DIGITS;
  const Cell* d = scalar::system_value({"options", "money-digits"});
  int n = d && is_type(d, T_INTEGER) ? get_int(d) : 2;
  return n > FRAC_DIGITS ? FRAC_DIGITS : n;
}

int emit(const Cell* value, Cell* buffer, bool group, bool all, int part) {
  std::string text;
  form_money(value, group, shown_digits(all), text);
  return scalar::emit(buffer, text, part);
}

}  // namespace

int form(Cell* value, Cell* buffer, Cell* arg, int part) { return emit(value, buffer, true, false, part); }

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return emit(value, buffer, false, all != 0, part);
}

namespace {

int field_index(const Cell* e) {
  if (is_type(e, T_INTEGER)) return get_int(e);
  if (!any_word(type_of(e))) return 0;
  if (words::is(word_symbol(e), words::W::code)) return 1;
  if (words::is(word_symbol(e), words::W::amount)) return 2;
  return 0;
}

Cell field(const Cell* c, int i) {
  if (i == 1) return currency_word(currency(c));
  Cell a = *c;
  set_currency(&a, 0);
  return a;
}

}  // namespace

Cell* pick(Cell* value, int index, Cell* boxed) {
  return place::pushed(field(value, scalar::pick_index(index, boxed, field_index, 2)));
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int i = field_index(element);
  if (i != 1 && i != 2) scalar::invalid_path(step.path, parent, element);
  if (value) fire(Err::bad_path_set, step.path ? step.path : parent, element);
  return place::pushed(field(parent, i));
}

int compare(Cell* value1, Cell* value2, int op) {
  const bool strict = op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND;
  Cell other;
  switch (type_of(value2)) {
    case T_MONEY:
      other = *value2;
      if (!equality_op(op) && !compatible(value1, value2, false)) fire(Err::wrong_denom, value1, value2);
      if (!compatible(value1, value2, strict && currency(value2))) return 1;
      break;
    case T_INTEGER:
      if (strict) return 1;
      other = from_integer(get_int(value2));
      break;
    case T_FLOAT: case T_PERCENT: {
      if (strict) return 1;
      double f = get_double(value2);
      // A sort puts NaNs after every number, as the float comparison does;
      // any other comparison converts the float strictly, which a NaN fails
      // (answering 1 made every amount greater than it).
      if (std::isnan(f)) {
        if (op == COMP_SORT || op == COMP_CASE_SORT) return -1;
        Cell nan = *value2;
        bad_make_arg(T_MONEY, &nan);
      }
      if (std::fabs(f) >= 1e17) return f > 0 ? -1 : 1;
      Units u = 0;
      bool exact = true;
      if (f != 0 && std::fabs(f) < 1e-5) exact = false;
      else float_units(f, &u, &exact);
      other = make_cell(f < 0, 0, u);
      __int128 x = signed_units(value1), y = signed_units(&other);
      if (x != y) return x < y ? -1 : 1;
      // Digits below the smallest unit make the float the larger in magnitude.
      return exact ? 0 : f > 0 ? -1 : 1;
    }
    default:
      return strict ? 1 : COMPARE_INVALID;
  }
  __int128 x = signed_units(value1), y = signed_units(&other);
  return (x > y) - (x < y);
}

void absolute() { set_negative(stack::base(), false); }

Cell* negate(Cell* n) {
  set_negative(n, !negative(n));
  return n;
}

int even_q(Cell* n) { return digit(n, INT_DIGITS - 1) % 2 == 0; }
int odd_q(Cell* n) { return digit(n, INT_DIGITS - 1) % 2 != 0; }

Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling) {
  if (zero_q(n)) return n;
  Units s = UNIT;
  if (scale) {
    switch (type_of(scale)) {
      case T_MONEY: s = units(scale); break;
      case T_INTEGER: s = units(&(*scale = from_integer(get_int(scale)))); break;
      case T_FLOAT: s = units(&(*scale = from_float(get_double(scale), true))); break;
      default: scalar::not_related(type_of(scale));
    }
  }
  if (s == 0) return n;
  const bool neg = negative(n);
  Units v = units(n), r = v % s, d = s - r;
  const Units toward = v - r, away = v + d;
  const bool half = 2 * r == s;
  const bool quotient_even = (v / s) % 2 == 0;
  auto nearest = [&] { return r < d ? toward : away; };
  Units res;
  if (r == 0) res = v;
  else if (down) res = toward;
  else if (floor) res = neg ? away : toward;
  else if (ceiling) res = neg ? toward : away;
  else if (even) res = half && quotient_even ? toward : nearest();
  else if (half_down) res = half ? toward : nearest();
  else if (half_ceiling) res = half ? (neg ? toward : away) : nearest();
  else res = nearest();
  if (res >= LIMIT) type_limit(T_MONEY);
  Cell m = make_cell(neg, currency(n), res);
  m.header = (n->header & ~HDR_MONEY_SIGN) | (m.header & HDR_MONEY_SIGN);
  *n = m;
  return n;
}

namespace {
// Amounts that compare equal hash alike: the currency takes no part (a
// generic amount equals the same amount in any currency), and zero has no
// sign. The sign bit is the only header bit that is part of the value.
uint32_t hash(const Cell* c, bool) {
  Cell m = *c;
  set_currency(&m, 0);
  m.header = T_MONEY | (zero_q(c) ? 0 : c->header & HDR_MONEY_SIGN);
  return hashtable::murmur3(&m, sizeof m);
}
}  // namespace

void init() {
  datatype::Registration r{T_MONEY, 0, "money!"};
  r.hashes(&hash);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_ABSOLUTE, &absolute).set(A_NEGATE, &negate);
  r.set(A_ROUND, &round).set(A_EVEN_Q, &even_q).set(A_ODD_Q, &odd_q).set(A_PICK, &pick);
  datatype::set_arithmetic<do_math>(r);
  datatype::register_type(r);
}

}  // namespace xeb::money
