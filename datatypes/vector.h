// vector!: a series of fixed-width numbers of one element type packed in a
// byte buffer: 8-, 16- or 32-bit integers or characters, 32- or 64-bit
// floats, 64-bit percents (the fraction, 1.0 = 100%).
//
// Cell: w1 the head, in elements; w2 the buffer's node, whose unit is the
// element width in bytes; w3 the element type id (char!, integer!, float! or
// percent!). Integers are little-endian two's complement and read back
// sign-extended; chars read back zero-extended (a code point is never
// negative); floats of width 4 are binary32.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::vector {

inline int32_t head(const Cell* v) { return static_cast<int32_t>(v->w1); }
inline Node node_of(const Cell* v) { return v->w2; }
inline TypeId elem_type(const Cell* v) { return static_cast<TypeId>(v->w3); }
inline int width(const Cell* v) { return buf_of(v->w2)->unit(); }
inline int32_t count(const Cell* v) { return static_cast<int32_t>(buf_of(v->w2)->used() / buf_of(v->w2)->unit()); }
// Element i from the buffer's first element; valid until the next allocation.
inline std::byte* at(const Cell* v, int32_t i) { return buf_of(v->w2)->head_ptr() + int64_t{i} * width(v); }

// An element as a value of the element type.
Cell get_value(const std::byte* p, int width, TypeId type);
// Stores a char!, integer!, float! or percent! value as an element of the
// type and width (converted to it); any other type raises invalid-type.
void set_value(std::byte* p, const Cell* value, int width, TypeId elem);
// An empty vector with room for capacity elements, written into c.
Cell* make_at(Cell* c, int64_t capacity, TypeId type, int width);
// A number first and a vector second on the arguments: every element of the
// vector from its head becomes element op number, in place, and the vector
// is the result (a number that is neither integer nor float raises
// not-done).
void do_math_scalar_first(int op);

void init();

}  // namespace xeb::vector
