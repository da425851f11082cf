// date!: the calendar on day numbers, zones, fields, text and the slots.
// Integer divisions truncate toward zero; "mod 7" is made non-negative.
#include "datatypes/date.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/math_slots.h"
#include "datatypes/place.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::date {

namespace {

int64_t mod7(int64_t v) {
  int64_t r = v % 7;
  return r < 0 ? r + 7 : r;
}

[[noreturn]] void beyond_years() {
  Cell t = datatype::make_cell(T_DATE);
  fire(Err::type_limit, &t);
}

int64_t days_of(int64_t year, int month, int day) {
  if (year < YEAR_MIN || year > YEAR_MAX) beyond_years();
  return to_days(pack(static_cast<int32_t>(year), month, day));
}

// Keeps the zone and the time flag, moves the day.
void move_day(Cell* c, int64_t days) {
  int32_t p = packed(c);
  set_packed(c, from_days(days, zone_of(p), has_time(p)));
}

}  // namespace

// --- Calendar --------------------------------------------------------------------

int64_t to_days(int32_t p) {
  int64_t m = (month_of(p) + 9) % 12;  // March 0 .. February 11
  int64_t y = year_of(p) - m / 10;
  return 365 * y + y / 4 - y / 100 + y / 400 + (306 * m + 5) / 10 + (day_of(p) - 1);
}

int32_t from_days(int64_t g, int zone, bool time) {
  int64_t y = static_cast<int64_t>(std::trunc((10000.0 * double(g) + 14780.0) / 3652425.0));
  int64_t r = g - (365 * y + y / 4 - y / 100 + y / 400);
  if (r < 0) {
    y--;
    r = g - (365 * y + y / 4 - y / 100 + y / 400);
  }
  int64_t mi = (100 * r + 52) / 3060;
  int month = static_cast<int>((mi + 2) % 12 + 1);
  int32_t year = static_cast<int32_t>(y + (mi + 2) / 12);
  int day = static_cast<int>(r - (306 * mi + 5) / 10 + 1);
  if (y + (mi + 2) / 12 < YEAR_MIN || y + (mi + 2) / 12 > YEAR_MAX) beyond_years();
  return pack(year, month, day) | (zone & ZONE_MASK) | (time ? TIME_FLAG : 0);
}

bool leap_year_q(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int weekday(int64_t days) { return static_cast<int>(mod7(days + 2)) + 1; }

int64_t jan_first(int32_t p) { return days_of(year_of(p), 1, 1); }

int32_t yearday(int32_t p) { return static_cast<int32_t>(to_days(p) - jan_first(p) + 1); }

int64_t week_one_start(int32_t p, int* jan_weekday) {
  int64_t j = jan_first(p);
  int w = weekday(j);
  if (jan_weekday) *jan_weekday = w;
  return w < 5 ? j + 1 - w : j + 8 - w;
}

double zone_offset(int zone) {
  double s = ((zone >> 2) & 15) * 3600.0 + (zone & 3) * 900.0;
  return zone & ZONE_NEGATIVE ? -s : s;
}

int zone_bits(int32_t hours, int32_t minutes, bool negative) {
  int32_t h = hours < 0 ? -hours : hours;
  int32_t m = minutes < 0 ? -minutes : minutes;
  int z = ((h << 2) & 0x3C) | ((m / 15) & 3);
  if ((hours < 0 || (hours == 0 && negative)) && z) z |= ZONE_NEGATIVE;
  return z;
}

int64_t normalize_time(int64_t days, double& time, int zone) {
  double zh = zone_offset(zone) / 3600.0;
  double hours = std::trunc(time / 3600.0 + zh);
  if (!(std::fabs(hours) < 1e12)) beyond_years();  // far past every year a date holds, or NaN
  int64_t m = static_cast<int64_t>(hours) / 24;
  days += m;
  time -= double(m) * 86400.0;
  if (time + zh * 3600.0 < 0) {
    days--;
    time += 86400.0;
  }
  return days;
}

// --- Constructors and setters ----------------------------------------------------

bool valid(int32_t p, double t) {
  int32_t y = year_of(p);
  int m = month_of(p), d = day_of(p);
  if (y < YEAR_MIN || y > YEAR_MAX || m < 1 || m > 12 || d < 1) return false;
  int64_t days = to_days(p);
  if (from_days(days, zone_of(p), has_time(p)) != p) return false;  // 30 February and the like
  if (!has_time(p)) return t == 0.0 && zone_of(p) == 0;
  double local = t + zone_offset(zone_of(p));
  return local >= 0.0 && local < 86400.0;
}

Cell* push(int32_t p, double t) { return place::pushed(make_cell(p, t)); }
Cell* make_in(const Cell* block, int32_t p, double t) { return place::at_tail(block, make_cell(p, t)); }

Cell make_from_fields(int32_t year, int month, int day, double time, int32_t zone_hours, int32_t zone_minutes,
                      bool zone_negative, bool with_time) {
  int zone = zone_bits(zone_hours, zone_minutes, zone_negative);
  if (!with_time) return make_cell(pack(year, month, day), 0.0);
  return make_cell(pack(year, month, day) | TIME_FLAG | zone, time - zone_offset(zone));
}

Cell make_from_parts(int32_t year, int month, int day, int32_t hour, int32_t minute, int32_t second,
                     int32_t nanoseconds) {
  double t = 3600.0 * hour + 60.0 * minute + second + 1e-9 * nanoseconds;
  return make_cell(pack(year, month, day) | TIME_FLAG, t);
}

bool set_isoweek(Cell* c, int32_t n, int32_t wd) {
  int64_t d = int64_t{n} * 7 + week_one_start(packed(c), nullptr) - 7 + (wd ? wd - 1 : 0);
  if (d > days_of(YEAR_MAX, 12, 31) || d < days_of(YEAR_MIN, 1, 1)) return false;
  move_day(c, d);
  return true;
}

void set_weekday(Cell* c, int32_t n) {
  int64_t d = to_days(packed(c));
  move_day(c, d + n - mod7(d + 2) - 1);
}

void set_yearday(Cell* c, int32_t n) { move_day(c, jan_first(packed(c)) + n - 1); }

void set_month(Cell* c, int64_t m) {
  int32_t p = packed(c);
  int64_t y = year_of(p) + static_cast<int64_t>(std::floor((double(m) - 1) / 12.0));
  int64_t mm = (m - 1) % 12;
  if (mm < 0) mm += 12;
  int64_t d = days_of(y, static_cast<int>(mm + 1), 1) + day_of(p) - 1;
  move_day(c, d);
}

void set_time(Cell* c, double t, bool local) {
  int32_t p = packed(c);
  if (local) t -= zone_offset(zone_of(p));
  int64_t d = normalize_time(to_days(p), t, zone_of(p));
  set_packed(c, from_days(d, zone_of(p), has_time(p)));
  set_time_of(c, t);
}

void set_zone(Cell* c, const Cell* value, bool keep_instant) {
  int32_t hours, minutes = 0;
  bool negative = false;
  if (is_type(value, T_INTEGER)) {
    hours = get_int(value) % 16;
  } else if (is_type(value, T_TIME) && std::isfinite(time::seconds(value))) {
    double t = std::fmod(time::seconds(value), 57600.0);
    hours = static_cast<int32_t>(time::get_hours(t));
    minutes = time::get_minutes(t);
    negative = t < 0;
  } else {
    fire(Err::invalid_arg, value);
  }
  int32_t p = packed(c);
  int zone = zone_bits(hours, minutes, negative);
  double local = time_of(c) + zone_offset(zone_of(p));
  set_packed(c, (p & ~ZONE_MASK) | zone);
  set_time(c, keep_instant ? time_of(c) + zone_offset(zone) : local, true);
}

double to_epoch(const Cell* c) {
  return double(to_days(packed(c)) - EPOCH_DAYS) * 86400.0 + std::trunc(time_of(c) + 0.5);
}

void difference(Cell* a, const Cell* b) {
  double t = double(to_days(packed(a)) - to_days(packed(b))) * 86400.0 + (time_of(a) - time_of(b));
  *a = time::make_cell(t);
}

// --- Fields -----------------------------------------------------------------------

namespace {

constexpr words::W kFieldWords[] = {
    words::W::date, words::W::year, words::W::month, words::W::day, words::W::zone, words::W::time,
    words::W::hour, words::W::minute, words::W::second, words::W::weekday, words::W::yearday,
    words::W::timezone, words::W::week, words::W::isoweek,
};

int32_t isoweek_of(int32_t p) {
  int64_t d = to_days(p);
  int jan;
  int64_t start = week_one_start(p, &jan);
  if (d < start) {
    if (jan == 5) return 53;
    if (jan == 6) return leap_year_q(year_of(p) - 1) ? 53 : 52;
    return 52;
  }
  int64_t next = week_one_start(pack(year_of(p) + 1, 1, 1), nullptr);
  return d < next ? static_cast<int32_t>((d - start) / 7 + 1) : 1;
}

int32_t week_of(int32_t p) {
  int64_t e = mod7(jan_first(p) + 3);
  int64_t d = yearday(p);
  return d <= 7 - e ? 1 : static_cast<int32_t>((d + e - 1) / 7 + 1);
}

}  // namespace

int field_index(const Cell* word) {
  if (!any_word(type_of(word))) return 0;
  int32_t sym = word_symbol(word);
  if (words::is(sym, words::W::julian)) return 11;
  for (int i = 0; i < 14; i++)
    if (words::is(sym, kFieldWords[i])) return i + 1;
  return 0;
}

Cell field(const Cell* c, int index) {
  int32_t p = packed(c);
  double local = time_of(c) + zone_offset(zone_of(p));
  switch (index) {
    case 1: return make_cell(p & ~(ZONE_MASK | TIME_FLAG), 0.0);
    case 2: return integer::make_cell(year_of(p));
    case 3: return integer::make_cell(month_of(p));
    case 4: return integer::make_cell(day_of(p));
    case 5:
    case 12: return has_time(p) ? time::make_cell(zone_offset(zone_of(p))) : Cell{T_NONE, 0, 0, 0};
    case 6: return has_time(p) ? time::make_cell(local) : Cell{T_NONE, 0, 0, 0};
    case 7: return time::field(local, 1);
    case 8: return time::field(local, 2);
    case 9: return float_::make_cell(std::fmod(local, 60.0));
    case 10: return integer::make_cell(weekday(to_days(p)));
    case 11: return integer::make_cell(yearday(p));
    case 13: return integer::make_cell(week_of(p));
    default: return integer::make_cell(isoweek_of(p));
  }
}

namespace {

void set_field(Cell* c, int index, const Cell* v) {
  int32_t p = packed(c);
  const bool integral = is_type(v, T_INTEGER);
  const int32_t n = integral ? get_int(v) : 0;
  switch (index) {
    case 1:
      if (!is_type(v, T_DATE)) fire(Err::invalid_arg, v);
      set_packed(c, (packed(v) & ~ZONE_MASK) | zone_of(p));
      if (!has_time(packed(v))) set_time_of(c, 0.0);
      return;
    case 5:
    case 12:
      if (!integral && !is_type(v, T_TIME)) fire(Err::invalid_arg, v);
      set_packed(c, p | TIME_FLAG);
      set_zone(c, v, index == 12);
      return;
    case 6:
      if (is_type(v, T_NONE)) {
        set_packed(c, p & ~TIME_FLAG);
        set_time_of(c, 0.0);
        return;
      }
      if (!is_type(v, T_TIME)) fire(Err::invalid_arg, v);
      set_packed(c, p | TIME_FLAG);
      set_time(c, time::seconds(v), true);
      return;
    case 7:
    case 8:
    case 9: {
      double t = time::set_field(time_of(c), index - 6, v);
      set_packed(c, p | TIME_FLAG);
      set_time(c, t, index == 7);
      return;
    }
    default:
      break;
  }
  if (!integral) fire(Err::invalid_arg, v);
  switch (index) {
    case 2: move_day(c, days_of(n, month_of(p), 1) + day_of(p) - 1); return;
    case 3: set_month(c, n); return;
    case 4: move_day(c, days_of(year_of(p), month_of(p), 1) - 1 + n); return;
    case 10: set_weekday(c, n); return;
    case 11: set_yearday(c, n); return;
    case 13: {
      int64_t j = jan_first(p);
      move_day(c, n <= 1 ? j : j + 7 * int64_t{n} - mod7(j + 3) - 7);
      return;
    }
    default: move_day(c, week_one_start(p, nullptr) + 7 * (int64_t{n} - 1)); return;
  }
}

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

}  // namespace

int month_from_name(const char* p, int length) {
  if (length < 3 || length > 9) return 0;
  for (int m = 0; m < 12; m++) {
    const char* name = kMonths[m];
    if (static_cast<int>(std::strlen(name)) < length) continue;
    int i = 0;
    while (i < length && (p[i] | 0x20) == (name[i] | 0x20)) i++;
    if (i == length) return m + 1;
  }
  return 0;
}

void form_date(const Cell* c, std::string& out) {
  int32_t p = packed(c);
  // A local time whose text rounds up to midnight is written as the next day's.
  double local = has_time(p) ? time::shown(time_of(c) + zone_offset(zone_of(p))) : 0.0;
  if (local >= 86400.0) {
    if (year_of(p) == YEAR_MAX && month_of(p) == 12 && day_of(p) == 31) {
      local = 86399.9999;  // the last day has no next one: the largest time its text can show
    } else {
      p = from_days(to_days(p) + 1, zone_of(p), true);
      local -= 86400.0;
    }
  }
  int32_t year = year_of(p);
  int month = month_of(p);
  char sep = year < 0 ? '/' : '-';
  std::string name;
  const Cell* months = scalar::system_value({"locale", "months"});
  if (!months) {
    name = month >= 1 && month <= 12 ? kMonths[month - 1] : "";
  } else {
    const Cell* m = is_type(months, T_BLOCK) && month >= 1 && month <= block::xs_length_q(months)
                        ? block::xs_head(const_cast<Cell*>(months)) + month - 1
                        : nullptr;
    if (!m || !is_type(m, T_STRING)) fire(Err::invalid_months);
    for (int32_t i = 0; i < 3 && i < string::xs_length_q(m); i++) unicode::append_utf8(name, string::char_at(m, i));
  }
  char text[48];
  // Only years below 100 are padded, so that they do not read back as
  // two-digit years.
  const int32_t y = year < 0 ? -year : year;
  std::snprintf(text, sizeof text, "%d%c", day_of(p), sep);
  out += text;
  out += name;
  std::snprintf(text, sizeof text, "%c%s%0*d", sep, year < 0 ? "-" : "", y < 100 ? 4 : 1, y);
  out += text;
  if (!has_time(p)) return;
  out += '/';
  time::form_time(local, out);
  int z = zone_of(p);
  if (!z) return;
  std::snprintf(text, sizeof text, "%c%02d:%02d", z & ZONE_NEGATIVE ? '-' : '+', (z >> 2) & 15, (z & 3) * 15);
  out += text;
}

// --- Arithmetic -------------------------------------------------------------------

void do_math(int op) {
  Cell* left = stack::base();
  Cell* right = left + 1;
  int32_t p = packed(left);
  int64_t d = to_days(p);
  double t = time_of(left);
  bool with_time = has_time(p);
  switch (type_of(right)) {
    case T_INTEGER:
      d += op == OP_ADD ? int64_t{get_int(right)} : -int64_t{get_int(right)};
      break;
    case T_TIME:
      t += op == OP_ADD ? time::seconds(right) : -time::seconds(right);
      with_time = true;
      break;
    case T_DATE: {
      if (op == OP_ADD) {
        Cell fn = words::word(words::W::add), ty = datatype::make_cell(T_DATE);
        fire(Err::not_related, &fn, &ty);
      }
      double dt = t - time_of(right);
      int64_t days = normalize_time(d - to_days(packed(right)), dt, zone_of(p));
      if (days > INT32_MAX || days < INT32_MIN) fire(Err::overflow);
      *left = integer::make_cell(static_cast<int32_t>(days));
      return;
    }
    default: scalar::fire_type(Err::invalid_type, right);
  }
  d = normalize_time(d, t, zone_of(p));
  set_packed(left, from_days(d, zone_of(p), with_time));
  set_time_of(left, t);
}

// --- Slots ------------------------------------------------------------------------

namespace {

enum Field : uint8_t { F_NONE, F_FIRST, F_MONTH, F_THIRD, F_HOUR, F_TIME, F_ZH, F_ZT, F_ZM, F_MIN, F_SEC, F_SECF };
struct Step {
  uint8_t next;
  Field field;
};
constexpr uint8_t BAD = 255;
// By state and element kind (integer!, time!, float!).
constexpr Step kSteps[14][3] = {
    {{1, F_FIRST}, {BAD, F_NONE}, {BAD, F_NONE}},  {{2, F_MONTH}, {BAD, F_NONE}, {BAD, F_NONE}},
    {{3, F_THIRD}, {BAD, F_NONE}, {BAD, F_NONE}},  {{8, F_HOUR}, {4, F_TIME}, {BAD, F_NONE}},
    {{6, F_ZH}, {5, F_ZT}, {BAD, F_NONE}},          {{BAD, F_NONE}, {BAD, F_NONE}, {BAD, F_NONE}},
    {{7, F_ZM}, {BAD, F_NONE}, {BAD, F_NONE}},      {{BAD, F_NONE}, {BAD, F_NONE}, {BAD, F_NONE}},
    {{9, F_MIN}, {BAD, F_NONE}, {BAD, F_NONE}},     {{10, F_SEC}, {BAD, F_NONE}, {10, F_SECF}},
    {{12, F_ZH}, {11, F_ZT}, {BAD, F_NONE}},        {{BAD, F_NONE}, {BAD, F_NONE}, {BAD, F_NONE}},
    {{13, F_ZM}, {BAD, F_NONE}, {BAD, F_NONE}},     {{BAD, F_NONE}, {BAD, F_NONE}, {BAD, F_NONE}},
};

Cell from_block(Cell* spec, bool check) {
  int32_t n = block::xs_length_q(spec);
  if (n < 3) scalar::bad_to_arg(T_DATE, spec);
  const Cell* h = block::xs_head(spec);
  int32_t first = 0, month = 0, third = 0, hour = 0, minute = 0, second = 0, zh = 0, zm = 0;
  double time = 0, second_f = 0, zone_time = 0;
  int state = 0;
  for (int32_t i = 0; i < n; i++) {
    const Cell* c = h + i;
    int kind = is_type(c, T_INTEGER) ? 0 : is_type(c, T_TIME) ? 1 : is_type(c, T_FLOAT) ? 2 : -1;
    if (kind < 0 || state >= 14) scalar::bad_to_arg(T_DATE, spec);
    Step s = kSteps[state][kind];
    if (s.next == BAD) scalar::bad_to_arg(T_DATE, spec);
    int32_t v = kind == 0 ? get_int(c) : 0;
    switch (s.field) {
      case F_FIRST: first = v; break;
      case F_MONTH: month = v; break;
      case F_THIRD: third = v; break;
      case F_HOUR: hour = v; break;
      case F_TIME: time = get_double(c); break;
      case F_ZH: zh = v; break;
      case F_ZT: zone_time = get_double(c); break;
      case F_ZM: zm = v; break;
      case F_MIN: minute = v; break;
      case F_SEC: second = v; break;
      case F_SECF: second_f = get_double(c); break;
      case F_NONE: break;
    }
    state = s.next;
  }
  int32_t day = first, year = third;
  if (first >= 100 && first > third) day = third, year = first;
  // Without whole hours, negative minutes put the zone west.
  bool zone_negative = zh < 0 || (zh == 0 && zm < 0);
  if (state == 5 || state == 11) {
    if (!(std::fabs(zone_time) < 16 * 3600.0)) scalar::bad_to_arg(T_DATE, spec);
    zh = static_cast<int32_t>(time::get_hours(zone_time));
    zm = time::get_minutes(zone_time);
    zone_negative = zone_time < 0;
  }
  // A zone the bits cannot hold would wrap into another zone.
  if (zh < -15 || zh > 15) scalar::bad_to_arg(T_DATE, spec);
  int zone = zone_bits(zh, zm, zone_negative);
  if (state > 7) time = hour * 3600.0 + minute * 60.0 + (second_f != 0 ? second_f : double(second));
  if (year < YEAR_MIN || year > YEAR_MAX) scalar::bad_to_arg(T_DATE, spec);
  Cell c = make_cell(pack(year, 1, 1), 0.0);
  set_month(&c, month);
  int64_t days = to_days(packed(&c)) - 1 + day;
  set_packed(&c, from_days(days, 0, n > 3));
  set_time(&c, time, false);
  if (check) {
    int32_t p = packed(&c);
    bool ok = year_of(p) == year && month_of(p) == month && day_of(p) == day;
    if (n > 3) {
      double local_hours = std::floor(time / 3600.0);
      // Seconds or minutes that spill over move the clock: the minute made
      // must be the one given.
      ok = ok && local_hours >= 0 && local_hours <= 23 && (state <= 7 || time::get_minutes(time_of(&c)) == minute);
    }
    if (!ok) scalar::bad_to_arg(T_DATE, spec);
  }
  set_packed(&c, (packed(&c) & ~ZONE_MASK) | zone);
  set_time(&c, time_of(&c), true);
  return c;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
  if (is_type(spec, T_DATE)) return spec;
  if (!is_type(spec, T_BLOCK) && !is_type(spec, T_PAREN) && !is_type(spec, T_HASH)) scalar::bad_to_arg(T_DATE, spec);
  *proto = from_block(spec, true);
  return proto;
}

Cell* to(Cell* proto, Cell* spec, int type) {
  switch (type_of(spec)) {
    case T_DATE: return spec;
    case T_BLOCK: case T_PAREN: case T_HASH: *proto = from_block(spec, false); return proto;
    case T_INTEGER: {
      int64_t n = get_int(spec);
      double t = double(n % 86400);
      int64_t d = normalize_time(n / 86400 + EPOCH_DAYS, t, 0);
      *proto = make_cell(from_days(d, 0, true), t);
      return proto;
    }
    default: scalar::bad_to_arg(T_DATE, spec);
  }
}

Cell* random(Cell* value, int seed, int secure, int only) {
  const auto& h = integer::random_hooks;
  int32_t p = packed(value);
  if (seed)
    return integer::seed_random(
        value, static_cast<uint32_t>(p) + static_cast<uint32_t>(static_cast<int64_t>(std::trunc(time_of(value)))));
  if (!h.int_range || !h.next) fire(Err::not_done);
  int64_t d = to_days(p);
  int32_t r = h.int_range(secure != 0, static_cast<int32_t>(d));
  set_packed(value, from_days(r - 1, zone_of(p), has_time(p)));
  if (has_time(p)) {
    int zone = h.next() & ZONE_MASK;
    set_packed(value, (packed(value) & ~ZONE_MASK) | zone);
    double x = secure && h.secure_next ? (h.secure_next() / 2147483647.0 + h.secure_next()) / (2147483648.0 / 3600.0)
                                       : h.next() / 2147483647.0 * 3600.0;
    set_time(value, std::floor(x) * 24.0, true);
  }
  return value;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
  std::string text;
  form_date(value, text);
  // The month names are the locale's text, which may hold any character.
  string::append_utf8(buffer, text);
  int chars = 0;
  for (unsigned char b : text) chars += (b & 0xC0) != 0x80;
  return part - chars;
}

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent) {
  return form(value, buffer, arg, part);
}

Cell* pick(Cell* value, int index, Cell* boxed) {
  return place::pushed(field(value, scalar::pick_index(index, boxed, field_index, 14)));
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step) {
  int i = is_type(element, T_INTEGER) ? get_int(element) : field_index(element);
  if (i < 1 || i > 14) scalar::invalid_path(step.path, parent, element);
  if (!value) return place::pushed(field(parent, i));
  set_field(parent, i, value);
  return value;
}

// Dates compare as instants: (day, time) pairs differ in their day when
// their zones differ, though they may name the same moment.
int compare(Cell* value1, Cell* value2, int op) {
  if (!is_type(value2, T_DATE)) return COMPARE_INVALID;
  int64_t dd = to_days(packed(value1)) - to_days(packed(value2));
  double t1 = time_of(value1), t2 = time_of(value2) - double(dd) * 86400.0;
  // The same value: the same day, zone and time flag, and the same time bits
  // (equal instants in two zones, or midnight with and without a time, are
  // equal but not the same).
  if (op == COMP_SAME)
    return packed(value1) == packed(value2) && value1->w2 == value2->w2 && value1->w3 == value2->w3 ? 0 : 1;
  if (float_::almost_equal_q(t1, t2)) return 0;
  if (equality_op(op) && op != COMP_SORT && op != COMP_CASE_SORT) return 1;
  return t1 < t2 ? -1 : 1;
}

// Dates that name the same instant compare equal whatever their zones or
// time flags: the hash takes the day number and the time of day only.
uint32_t hash(const Cell* c, bool) {
  struct {
    int64_t days;
    double time;
  } key{to_days(packed(c)), time_of(c) == 0.0 ? 0.0 : time_of(c)};
  return hashtable::murmur3(&key, sizeof key);
}

void init() {
  datatype::Registration r{T_DATE, 0, "date!"};
  r.hashes(&hash);
  r.set(A_MAKE, &make).set(A_RANDOM, &random).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare).set(A_PICK, &pick);
  r.set(A_ADD, &datatype::math_slot<do_math, OP_ADD>).set(A_SUBTRACT, &datatype::math_slot<do_math, OP_SUB>);
  datatype::register_type(r);
}

}  // namespace xeb::date
