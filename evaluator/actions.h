// Action dispatch: the generic entry of each of the 62 actions (what an
// action! value calls: arguments on the data stack, refinements as stack
// positions), the direct entries (explicit cells and flags, for the runtime's
// own modules), and the slot lookup by the first argument's type.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::actions {

// A generic entry: the fixed arguments from the arguments base, one integer
// per refinement in spec order (-1 absent, else the stack position of its
// first argument, counted from the base); the result is left in the base.
using Entry = void (*)(const int32_t* refs);

constexpr int MAX_REFINEMENTS = 16;  // the most any native or action has is 12

void init();  // fills the entry table; after every datatype registered
extern Entry entries[ACTION_COUNT];  // read inline by the interpreter's calls
inline Entry entry(int action) { return action >= 1 && action <= ACTION_COUNT ? entries[action - 1] : nullptr; }  // 1..62; null for 7, 8 and 9

// The slot of the action for the value's type, never 0: an unsupported slot
// raises expect-arg naming the caller, the type and its first argument.
act::AnyFn get_action_by_type(int type, const Cell* value, Action a);
inline act::AnyFn get_action(const Cell* value, Action a) { return get_action_by_type(type_of(value), value, a); }
act::AnyFn get_action_arg(Action a);  // by the first argument at the base
// Slot 7; raises bad-path-type2 (no path) or bad-path-type.
act::EvalPath get_path_action(const Cell* value, const Cell* path, const Cell* element, int32_t index);

// Direct entries: fixed arguments as cells, then per refinement a flag or an
// argument cell (null when absent), in spec order.
namespace direct {
Cell* make(Cell* type, Cell* spec);
Cell* random(Cell* value, int seed, int secure, int only);
Cell* reflect(Cell* value, Cell* field);
Cell* to(Cell* type, Cell* spec);
// form and mold write into buffer (a string on a root); answer the budget left.
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
Cell* negate(Cell* number);
Cell* round(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
int even_q(Cell* number);
int odd_q(Cell* number);
Cell* complement(Cell* value);
// part: a count (-1 all); dup: a count (1 by default); last: 1 append, 0 insert.
Cell* insert(Cell* series, Cell* value, int part, int only, int dup, int last);
Cell* change(Cell* series, Cell* value, int part, int only, int dup);
Cell* clear(Cell* series);
Cell* copy(Cell* value, Cell* result, Cell* part, int deep, Cell* types);
Cell* find(Cell* series, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
           int last, int reverse, int tail, int match);
int length_q(Cell* series);  // -1: none
Cell* move(Cell* origin, Cell* target, int part);
Cell* pick(Cell* series, int index, Cell* boxed);
Cell* poke(Cell* series, int index, Cell* data, Cell* boxed);
Cell* put(Cell* series, Cell* key, Cell* value, int case_);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* reverse(Cell* series, Cell* part, Cell* skip);
Cell* select(Cell* series, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with,
             Cell* skip, int last, int reverse);
Cell* sort(Cell* series, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable);
Cell* swap(Cell* series1, Cell* series2);
Cell* take(Cell* series, Cell* part, int deep, int last);
Cell* trim(Cell* series, int head, int tail, int auto_, int lines, int all, Cell* with);
Cell* create(Cell* port);
Cell* close(Cell* port);
Cell* delete_(Cell* file);
Cell* modify(Cell* target, Cell* field, Cell* value, int case_);
Cell* open(Cell* port, int new_, int read, int write, int seek, Cell* allow);
Cell* open_q(Cell* port);
Cell* query(Cell* target);
Cell* read(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as);
Cell* rename(Cell* from, Cell* to);
Cell* update(Cell* port);
Cell* write(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek,
            Cell* allow, Cell* as);
}  // namespace direct

}  // namespace xeb::actions
