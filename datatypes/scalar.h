// What the scalar datatypes (pair!, point2D!/point3D!, tuple!, time!, date!,
// money!) share: their errors' usual arguments, the number of a numeric
// cell, and loading one value from text for their `to` conversions.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "runtime/cell.h"
#include "runtime/frames.h"

namespace xeb::scalar {

// Raises id with the value's datatype as its one argument.
[[noreturn]] inline void fire_type(Err id, const Cell* value) {
  Cell t = datatype::make_cell(type_of(value));
  fire(id, &t);
}

[[noreturn]] inline void bad_to_arg(int target, const Cell* spec) {
  Cell t = datatype::make_cell(target);
  fire(Err::bad_to_arg, &t, spec);
}

// not-related with the calling function's word and a datatype.
[[noreturn]] inline void not_related(int type) {
  Cell fn, t = datatype::make_cell(type);
  stack::caller_word(&fn);
  fire(Err::not_related, &fn, &t);
}

// invalid-path with the path (or, without one, the value) and the element.
[[noreturn]] inline void invalid_path(const Cell* path, const Cell* parent, const Cell* element) {
  fire(Err::invalid_path, path ? path : parent, element);
}

// The double of an integer!, float!, percent! or time! cell.
inline double number_of(const Cell* c) {
  return is_type(c, T_INTEGER) || is_type(c, T_CHAR) ? double(get_int(c)) : get_double(c);
}

// Text types whose `to` loads the text as source.
constexpr bool text_type(int t) {
  return t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL || t == T_REF;
}

// Appends ASCII text to a form or mold buffer; answers the part budget left.
int emit(Cell* buffer, std::string_view text, int part);

// The field a pick index names: an integer, or a word through by_word (0
// for none); out-of-range unless it lies in 1..count.
int pick_index(int index, const Cell* boxed, int (*by_word)(const Cell*), int count);

// The one value of type the text loads to; else bad-to-arg naming the
// loaded value (name_loaded, when there is one) or the text.
Cell load_as(int type, const Cell* text, bool name_loaded);

// The value at system/<names...> (a path of object fields), or nullptr
// when a step is missing. Valid until the next allocation.
const Cell* system_value(std::initializer_list<const char*> names);

// Values kept whole in their cell whose fields path setting changes in
// place: the evaluator stores such a value back where it came from.
constexpr bool immediate_type(int t) {
  return t == T_PAIR || t == T_TUPLE || t == T_TIME || t == T_DATE || t == T_MONEY || t == T_POINT2D ||
         t == T_POINT3D;
}

}  // namespace xeb::scalar

namespace xeb::scalar {

// integer!, char! and float! arithmetic with a scalar type or a vector on
// the right: the partner type's core runs (the operands exchanged where that
// core wants its own type first). Answers false when the right operand is no
// partner.
bool partner_math(int op);

}  // namespace xeb::scalar
