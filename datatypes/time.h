// time!: a signed duration or time of day in seconds, a double kept where
// float! keeps its own (so float!'s comparison and arithmetic serve it).
// Its text is h:mm:ss with the seconds' fraction; date! shares the text and
// the hour, minute and second fields.
#pragma once
#include <cstdint>
#include <string>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::time {

inline double seconds(const Cell* c) { return get_double(c); }
inline Cell make_cell(double t) {
  Cell c{T_TIME, 0, 0, 0};
  put_double(&c, t);
  return c;
}
Cell* push(double t);
Cell* make_at(double t, Cell* c);  // keeps the header's flags
Cell* make_in(const Cell* block, double t);

// Whole hours, toward zero; the minute within the hour (0-59) of |t|.
double get_hours(double t);
int32_t get_minutes(double t);
// Field 1 hour (integer!), 2 minute (integer!), 3 second (float!, sign kept).
Cell field(double t, int index);
// 1-3 for the words hour, minute, second; 0 for any other value.
int field_index(const Cell* word);
// Sets field index (1-3) of t to value; another value type raises
// invalid-arg with the value.
double set_field(double t, int index, const Cell* value);
// t as its text shows it: seconds that the text rounds up to 60 carry into
// the next whole minute (and on into the hours); any other t unchanged.
double shown(double t);
// Appends the text of t (h:mm:ss[.fraction]).
void form_time(double t, std::string& out);

// --- Slots ------------------------------------------------------------------
Cell* make(Cell* proto, Cell* spec, int type);  // also to
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
int even_q(Cell* n);
int odd_q(Cell* n);
Cell* pick(Cell* value, int index, Cell* boxed);

void init();

}  // namespace xeb::time
