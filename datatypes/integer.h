// integer!: the 32-bit signed integer. Its cell keeps the value in word 2.
// Holds the helpers every module uses to make and read integers and the
// arithmetic core shared with char! (and with the further scalar types):
// add, subtract and multiply never wrap and a divide that is not exact does
// not truncate: those results become float!.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::integer {

constexpr int32_t INT_MIN32 = INT32_MIN;

inline Cell make_cell(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

Cell* push(int32_t v);                 // a new integer! on the data stack
Cell* box(int32_t v);                  // into the frame's result slot
Cell* make_at(Cell* c, int32_t v);     // keeps the header's flags
Cell* make_in(const Cell* block, int32_t v);  // at the block's tail
inline int32_t get(const Cell* c) { return get_int(c); }
inline void set(Cell* c, int32_t v) { c->w2 = static_cast<uint32_t>(v); }  // the value only
// c with the value v, its header's flags kept: a whole cell, for a store
// that a 16-byte copy of it can forward from.
inline Cell with_value(const Cell& c, int32_t v) { return Cell{c.header, c.w1, static_cast<uint32_t>(v), c.w3}; }
int32_t get_last();
int32_t get_last_or_zero();
inline int32_t sign(int32_t v) { return (v > 0) - (v < 0); }
int32_t abs(int32_t v);  // INT_MIN raises math overflow

// Decimal text of v in a static buffer, valid until the next call.
const char* to_c_string(int32_t v);

// Whether the double of a float!-like cell (float!, percent!, time!) lies
// outside the 32-bit range or is a NaN.
bool float_out_of_range_q(const Cell* c);

// The arithmetic core. r: the cell receiving the result, or nullptr. An
// add, subtract or multiply that overflows needs r: r becomes a float! and
// 0 is answered. A divide that is not exact makes r a float! as well; with
// no r it answers the truncated quotient. On an integer result r's word 2
// takes it, its header stays (a char! stays a char!).
int32_t do_math_op(int32_t left, int32_t right, int op, Cell* r);
// The integer side of the two-operand actions: the operands at the
// arguments base, the result in the first.
void do_math(int op);

// Reads decimal text (sign, "'" separators). Sets *error on bad syntax or
// overflow. unit: 1, 2 or 4 bytes per character.
int32_t scan_text(const void* text, int32_t length, int unit, bool* error);

// --- Slots ------------------------------------------------------------------
// add, subtract, multiply, divide, remainder, and, or and xor: do_math with
// the operation bound (datatypes/math_slots.h).

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* random(Cell* value, int seed, int secure, int only);
void absolute();
Cell* negate(Cell* n);
void power();
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
int even_q(Cell* n);
int odd_q(Cell* n);
Cell* complement(Cell* v);

void init();

// The random generator lives with the evaluator; it fills these in.
struct RandomHooks {
  void (*seed)(uint32_t seed) = nullptr;
  int32_t (*next)() = nullptr;         // 0 .. 2147483647
  int32_t (*secure_next)() = nullptr;  // 31 bits from the secure source
  int32_t (*int_range)(bool secure, int32_t n) = nullptr;  // 1..n, n..-1, 0
};
extern RandomHooks random_hooks;
// random/seed on any value: seeds the generator from bits of it, and the
// value becomes the unset the call answers.
Cell* seed_random(Cell* value, uint32_t bits);

}  // namespace xeb::integer
