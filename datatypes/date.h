// date!: a calendar day with an optional time of day and zone, in one cell.
// Word 1 holds the packed date (from the high bits: year, signed, bits
// 17-31; time present, bit 16; month 12-15; day 7-11; zone sign 6; zone
// hours 2-5; zone quarter hours 0-1); words 2-3 the time as a double.
//
// Invariant: the stored day is the local day (in the value's own zone) and
// the stored time is UTC counted from that day's local midnight, so that
// time + zone offset lies in [0, 86400) and the instant is days * 86400 +
// time whatever the zone. A date without a time has time 0.0.
#pragma once
#include <cstdint>
#include <string>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::date {

constexpr int32_t TIME_FLAG = 0x10000;
constexpr int32_t ZONE_MASK = 0x7F;
constexpr int32_t ZONE_NEGATIVE = 0x40;
constexpr int64_t EPOCH_DAYS = 719468;  // day number of 1 January 1970
// Years a date holds: those its text can write and read back (the packed
// word itself would hold -16384 .. 16383).
constexpr int32_t YEAR_MIN = -9999;
constexpr int32_t YEAR_MAX = 9999;

inline int32_t packed(const Cell* c) { return static_cast<int32_t>(c->w1); }
inline double time_of(const Cell* c) { return get_double(c); }
inline void set_packed(Cell* c, int32_t p) { c->w1 = static_cast<uint32_t>(p); }
inline void set_time_of(Cell* c, double t) { put_double(c, t); }

inline int32_t year_of(int32_t p) { return p >> 17; }
inline int month_of(int32_t p) { return (p >> 12) & 15; }
inline int day_of(int32_t p) { return (p >> 7) & 31; }
inline bool has_time(int32_t p) { return (p & TIME_FLAG) != 0; }
inline int zone_of(int32_t p) { return p & ZONE_MASK; }
inline int32_t pack(int32_t year, int month, int day) {
  return static_cast<int32_t>(static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month & 15) << 12 |
                              static_cast<uint32_t>(day & 31) << 7);
}
inline Cell make_cell(int32_t p, double t) {
  Cell c{T_DATE, static_cast<uint32_t>(p), 0, 0};
  put_double(&c, t);
  return c;
}

// Calendar arithmetic on day numbers (days since a fixed day 0).
int64_t to_days(int32_t p);
int32_t from_days(int64_t days, int zone, bool time);
bool leap_year_q(int32_t year);
int weekday(int64_t days);  // 1 Monday .. 7 Sunday
int64_t jan_first(int32_t p);
int32_t yearday(int32_t p);
int64_t week_one_start(int32_t p, int* jan_weekday);
double zone_offset(int zone);  // seconds, negative west of UTC
// The zone bits of a signed offset of hours and minutes (minutes in
// quarters, the sign taken from the hours or, without whole hours, given).
int zone_bits(int32_t hours, int32_t minutes, bool negative);
int64_t normalize_time(int64_t days, double& time, int zone);

// Whether a packed word and time obey the cell's invariants: a real day of
// a year in range, and a local time in [0, 86400) (0.0 without a time).
bool valid(int32_t p, double t);

Cell* push(int32_t p, double t);
Cell* make_in(const Cell* block, int32_t p, double t);
// The lexer's constructor: the time, when present, is local time.
Cell make_from_fields(int32_t year, int month, int day, double time, int32_t zone_hours, int32_t zone_minutes,
                      bool zone_negative, bool with_time);
// A UTC time of day in zone 0 (file times).
Cell make_from_parts(int32_t year, int month, int day, int32_t hour, int32_t minute, int32_t second,
                     int32_t nanoseconds);
// The day of ISO week n of the cell's year, Monday or weekday wd (1-7) when
// wd is given; false, the cell unchanged, when that day is past the years
// a date holds.
bool set_isoweek(Cell* c, int32_t n, int32_t wd);
void set_weekday(Cell* c, int32_t n);
void set_yearday(Cell* c, int32_t n);
void set_month(Cell* c, int64_t month);
void set_time(Cell* c, double t, bool local);
void set_zone(Cell* c, const Cell* value, bool keep_instant);
// Seconds since 1970-01-01T00:00 UTC (rounded to whole seconds).
double to_epoch(const Cell* c);
// The first date minus the second as a time! written over the first.
void difference(Cell* a, const Cell* b);
// Field 1-14 (date year month day zone time hour minute second weekday
// yearday timezone week isoweek).
Cell field(const Cell* c, int index);
int field_index(const Cell* word);  // 0 for no accessor word
// Appends the text (day-Mon-year[/time[+zone]]); raises invalid-months on a
// broken month list.
void form_date(const Cell* c, std::string& out);
// Month 1-12 of a name of 3-9 letters (an abbreviation matches the first
// month it begins); 0 when none.
int month_from_name(const char* p, int length);

// The arithmetic core (add 0, subtract 1) on the arguments at the base.
void do_math(int op);

// --- Slots ------------------------------------------------------------------
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
Cell* random(Cell* value, int seed, int secure, int only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
Cell* pick(Cell* value, int index, Cell* boxed);

void init();

}  // namespace xeb::date
