// time!: constructors, its text, fields and the slots float! does not give.
#include "datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>

#include "datatypes/block.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"

namespace xeb::time {

Cell* push(double t) { return place::pushed(make_cell(t)); }

Cell* make_at(double t, Cell* c) {
  put_double(c, t);
  c->w1 = 0;
  return set_type(c, T_TIME);
}

Cell* make_in(const Cell* block, double t) { return place::at_tail(block, make_cell(t)); }

double get_hours(double t) { return std::trunc(t / 3600.0); }

int32_t get_minutes(double t) { return static_cast<int32_t>(std::floor(std::fmod(std::fabs(t), 3600.0) / 60.0)); }

Cell field(double t, int index) {
  switch (index) {
    case 1: {
      double h = get_hours(t);
      if (!(h <= 2147483647.0 && h >= -2147483648.0)) {
        Cell i = datatype::make_cell(T_INTEGER);
        fire(Err::type_limit, &i);
      }
      return integer::make_cell(static_cast<int32_t>(h));
    }
    case 2: return integer::make_cell(get_minutes(t));
    default: return float_::make_cell(std::fmod(t, 60.0));
  }
}

int field_index(const Cell* word) {
  if (!any_word(type_of(word))) return 0;
  int32_t sym = word_symbol(word);
  if (words::is(sym, words::W::hour)) return 1;
  if (words::is(sym, words::W::minute)) return 2;
  if (words::is(sym, words::W::second)) return 3;
  return 0;
}

double set_field(double t, int index, const Cell* value) {
  bool integral = is_type(value, T_INTEGER);
  if (!integral && !(index == 3 && is_type(value, T_FLOAT) && std::isfinite(get_double(value))))
    fire(Err::invalid_arg, value);
  double n = scalar::number_of(value);
  switch (index) {
    case 1: return t - (std::floor(t / 3600.0) - n) * 3600.0;
    case 2: return t - (std::floor(std::fmod(t, 3600.0) / 60.0) - n) * 60.0;
    default: return t - (std::fmod(t, 60.0) - n);
  }
}

namespace {

// The seconds' text (shortest digits at six significant ones); none when
// s is below a millionth, which is written "00".
std::size_t seconds_text(double s, std::span<char, dtoa::text_max> text) {
  return s < 1e-6 ? 0 : float_::form_float(s, dtoa::FormKind::time_seconds, text);
}

}  // namespace

double shown(double t) {
  double a = std::fabs(t);
  double s = std::fmod(a, 60.0);
  if (!(s > 59.0)) return t;  // only 59.99995 and above print as 60; NaN and infinities as they are
  char text[dtoa::text_max];
  if (std::string_view(text, seconds_text(s, text)) != "60") return t;
  double r = (std::floor(a / 60.0) + 1.0) * 60.0;
  return t < 0 ? -r : r;
}

void form_time(double t, std::string& out) {
  if (!std::isfinite(t)) {
    char text[dtoa::text_max];
    out.append(text, float_::form_float(t, dtoa::FormKind::float64, text));
    return;
  }
  t = shown(t);
  if (t < 0) {
    out += '-';
    t = -t;
  }
  char text[400];  // the hours of the largest double take 305 digits
  std::snprintf(text, sizeof text, "%.0f:%02d:", std::floor(t / 3600.0),
                static_cast<int>(std::floor(std::fmod(t, 3600.0) / 60.0)));
  out += text;
  std::size_t n = seconds_text(std::fmod(t, 60.0), std::span<char, dtoa::text_max>(text, dtoa::text_max));
  if (n == 0) {
    out += "00";
    return;
  }
  if (n == 1 || text[1] == '.') out += '0';
  out.append(text, n);
}

// --- Slots -----------------------------------------------------------------------

namespace {

// [hours minutes seconds]: hours and minutes integers, seconds an integer
// or a float; a negative first element negates the whole.
double from_block(Cell* spec) {
  int32_t n = block::xs_length_q(spec);
  if (n > 3) scalar::bad_to_arg(T_TIME, spec);
  const Cell* h = block::xs_head(spec);
  double total = 0;
  bool negative = false;
  for (int32_t i = 0; i < n; i++) {
    const Cell* c = h + i;
    if (!is_type(c, T_INTEGER) && !(i == 2 && is_type(c, T_FLOAT))) scalar::bad_to_arg(T_TIME, spec);
    double v = scalar::number_of(c);
    if (i == 0 && v < 0) {
      negative = true;
      v = -v;
    } else if (v < 0) {
      scalar::bad_to_arg(T_TIME, spec);
    }
    total += v * (i == 0 ? 3600.0 : i == 1 ? 60.0 : 1.0);
  }
  return negative ? -total : total;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  double t;
  switch (type_of(spec)) {
    case T_TIME: return spec;
    case T_INTEGER: t = get_int(spec); break;
    case T_FLOAT: case T_PERCENT: t = get_double(spec); break;
    case T_BLOCK: case T_PAREN: case T_HASH: t = from_block(spec); break;
    default:
      if (scalar::text_type(type_of(spec))) {
        *proto = scalar::load_as(T_TIME, spec, false);
        return proto;
      }
      scalar::bad_to_arg(T_TIME, spec);
  }
  // A time's text has no form for infinity or NaN.
  if (!std::isfinite(t)) scalar::bad_to_arg(T_TIME, spec);
  *proto = make_cell(t);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string text;
  form_time(seconds(value), text);
  return scalar::emit(buffer, text, part);
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

Cell* pick(Cell* value, int index, Cell* boxed) {
  return place::pushed(field(seconds(value), scalar::pick_index(index, boxed, field_index, 3)));
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int i = is_type(element, T_INTEGER) ? get_int(element) : field_index(element);
  if (i < 1 || i > 3) scalar::invalid_path(step.path, parent, element);
  if (!value) return place::pushed(field(seconds(parent), i));
  put_double(parent, set_field(seconds(parent), i, value));
  return value;
}

namespace {

void add() {
  Cell* left = stack::base();
  if (is_type(left + 1, T_DATE)) {
    std::swap(left[0], left[1]);
    date::do_math(OP_ADD);
    return;
  }
  float_::do_math(OP_ADD);
}

void subtract() {
  if (is_type(stack::base() + 1, T_DATE)) {
    Cell fn = words::word(words::W::subtract), t = datatype::make_cell(T_TIME);
    fire(Err::not_related, &fn, &t);
  }
  float_::do_math(OP_SUB);
}

void multiply() {
  if (is_type(stack::base() + 1, T_TIME)) {
    Cell fn = words::word(words::W::multiply), t = datatype::make_cell(T_TIME);
    fire(Err::not_related, &fn, &t);
  }
  float_::do_math(OP_MUL);
}

// time / time is a ratio, a float!; time / number stays a time!.
void divide() {
  Cell* left = stack::base();
  if (is_type(left + 1, T_TIME)) {
    *left = float_::make_cell(seconds(left) / seconds(left + 1));
    return;
  }
  float_::do_math(OP_DIV);
}

// The whole seconds within the minute, a millionth added away from zero
// so that a value printed as whole seconds counts as one.
int64_t whole_seconds(double t) {
  double s = t >= 0 ? t + 1e-6 : t - 1e-6;
  return static_cast<int64_t>(std::trunc(std::fmod(s, 60.0)));
}

}  // namespace

Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling) {
  float_::check_round_scale(scale);
  Cell v = float_::make_cell(seconds(n));
  Cell* r = float_::round(&v, scale, even, down, half_down, floor, ceiling, half_ceiling);
  make_at(scalar::number_of(r), n);
  return n;
}

int even_q(Cell* n) { return whole_seconds(seconds(n)) % 2 == 0; }
int odd_q(Cell* n) { return whole_seconds(seconds(n)) % 2 != 0; }

void init() {
  datatype::Registration r{T_TIME, T_FLOAT, "time!"};
  r.hashes(&float_::hash);
  r.set(A_MAKE, &make).set(A_TO, &make).set(A_FORM, &form).set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path);
  r.set(A_ADD, &add).set(A_SUBTRACT, &subtract).set(A_MULTIPLY, &multiply).set(A_DIVIDE, &divide);
  r.set(A_ROUND, &round).set(A_EVEN_Q, &even_q).set(A_ODD_Q, &odd_q).set(A_PICK, &pick);
  r.inherit({A_RANDOM, A_COMPARE, A_ABSOLUTE, A_NEGATE, A_REMAINDER});
  datatype::register_type(r);
}

}  // namespace xeb::time
