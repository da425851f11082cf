// float!: the IEEE double, kept in words 2 (low half) and 3 (high half).
// percent! and time! keep their double at the same place, so the helpers
// here read and write all three; only the header tells them apart. Holds the
// floating arithmetic they share, the tolerant equality of every float
// comparison and the tidy text of floats.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/floattext.h"

namespace xeb::float_ {

// Hash-table key hash of a float-like value (float! percent! time!): -0.0
// hashes as 0.0, to which it is equal.
uint32_t hash(const Cell* c, bool case_sensitive);

inline Cell make_cell(double d) {
  Cell c{T_FLOAT, 0, 0, 0};
  put_double(&c, d);
  return c;
}

Cell* push(double d);
Cell* push64(uint32_t high, uint32_t low);
Cell* box(double d);                 // into the frame's result slot
Cell* make_at(Cell* c, double d);    // whole header becomes float!
Cell* make_in(const Cell* block, uint32_t high, uint32_t low);
inline double get(const Cell* c) { return get_double(c); }

double abs(double d);
bool nan_q(double d);
bool nan_f32_q(float f);
bool special_q(double d);  // an infinity or a NaN
bool almost_equal_q(double x, double y);
bool equal_f32_q(float x, float y);

// The tidy text of kind (see dtoa::FormKind) into out, by the pretty switch.
std::size_t form_float(double d, dtoa::FormKind kind, dtoa::TextBuffer out);
double do_math_op(double x, double y, int op);
// Arithmetic on the two action arguments at the arguments base.
void do_math(int op);
double random_value(double scale, bool secure);

// The pretty? and full? switches of the system's float options.
extern bool pretty;
extern bool full;

// --- Slots ------------------------------------------------------------------
// add, subtract, multiply, divide and remainder: do_math with the operation
// bound (datatypes/math_slots.h).

Cell* to(Cell* proto, Cell* spec, int type);  // also make
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* random(Cell* value, int seed, int secure, int only);
void absolute();
Cell* negate(Cell* n);
void power();
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
// A money! scale of round is not related to a number (integer! shares this).
void check_round_scale(const Cell* scale);
int even_q(Cell* n);
int odd_q(Cell* n);

void init();

}  // namespace xeb::float_
