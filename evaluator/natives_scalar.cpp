// Natives that build scalar values: now, as-pair, as-point2D, as-point3D
// and as-money.
#include <cmath>

#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "platform/services.h"
#include "runtime/stack.h"

namespace xeb::natives {

namespace {

void result(const Cell& c) { stack::set_result_trim(&c); }

float coordinate(int32_t param) {
  Cell* v = arg(param);
  if (!is_type(v, T_INTEGER) && !is_type(v, T_FLOAT)) refuse_arg(param, v);
  return static_cast<float>(number_arg(param, v));
}

}  // namespace

void now(bool, const int32_t* refs) {
  // The field refinements come first in the spec, /year to /precise, then /utc.
  static_assert(ref(Id::now, "year") == 0 && ref(Id::now, "precise") == 8 && ref(Id::now, "utc") == 9);
  const bool precise = present(refs[ref(Id::now, "precise")]);
  int fields = 0;
  for (int i = ref(Id::now, "year"); i <= ref(Id::now, "precise"); i++) fields += present(refs[i]);
  if (fields > 1 && !(fields == 2 && present(refs[ref(Id::now, "time")]) && precise)) fire(Err::bad_refines);
  const bool utc = present(refs[ref(Id::now, "utc")]);
  const int zone = utc ? 0 : date::zone_of(static_cast<int32_t>(platform::get_date(false)));
  // The instant from the UTC day and time, shown on the local day.
  double t = platform::get_time(precise);
  int64_t days = date::to_days(static_cast<int32_t>(platform::get_date(true)));
  days = date::normalize_time(days, t, zone);
  Cell d = date::make_cell(date::from_days(days, zone, true), t);
  if (present(refs[ref(Id::now, "date")])) d = date::field(&d, 1);
  static constexpr int kField[8] = {2, 3, 4, 6, 5, 0, 10, 11};
  for (int i = 0; i < 8; i++)
    if (i != 5 && present(refs[i])) d = date::field(&d, kField[i]);
  result(d);
}

void as_pair(bool, const int32_t*) {
  int32_t c[2];
  for (int i = 0; i < 2; i++) {
    Cell* v = arg(i);
    if (!is_type(v, T_INTEGER) && !is_type(v, T_FLOAT)) refuse_arg(i, v);
    if (is_type(v, T_FLOAT) && !std::isfinite(get_double(v))) fire(Err::invalid_arg, v);
    c[i] = pair::to_int(v);
  }
  result(pair::make_cell(c[0], c[1]));
}

void as_point2d(bool, const int32_t*) { result(point::make_cell2(coordinate(0), coordinate(1))); }
void as_point3d(bool, const int32_t*) { result(point::make_cell3(coordinate(0), coordinate(1), coordinate(2))); }

void as_money(bool, const int32_t*) {
  Cell* code = arg(0);
  Cell* amount = arg(1);
  if (!is_type(code, T_WORD)) refuse_arg(0, code);
  int cur = money::find_currency(symbol::name(word_symbol(code)));
  if (!cur) fire(Err::bad_denom, code);
  Cell m;
  if (is_type(amount, T_INTEGER)) m = money::from_integer(get_int(amount));
  else if (is_type(amount, T_FLOAT)) m = money::from_float(get_double(amount), true);
  else refuse_arg(1, amount);
  money::set_currency(&m, cur);
  result(m);
}

}  // namespace xeb::natives
