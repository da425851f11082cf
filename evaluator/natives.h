// The native table: the built-in functions that are not actions, each an
// entry of one signature reached by its index (1-based) from native! values.
// The natives themselves are the rows of evaluator/native_list.h.
// Arguments sit on the data stack from the arguments base; the result is the
// base cell.
#pragma once
#include <cstdint>

#include "evaluator/builtin_specs.h"
#include "evaluator/native_list.h"
#include "runtime/cell.h"

namespace xeb::natives {

// check: false from the interpreter, which fetched and type-checked the
// arguments by the spec. refs: one integer per refinement in spec order, -1
// absent, else the stack position of its first argument counted from the
// base.
using Entry = void (*)(bool check, const int32_t* refs);

// Each native's index by its C++ name: Id::equal_q is equal?'s index.
enum class Id : uint32_t {
  none = 0,
#define XEB_X(id, entry, name) id,
  XEB_NATIVES(XEB_X)
#undef XEB_X
};
constexpr uint32_t index(Id id) { return static_cast<uint32_t>(id); }

constexpr int TABLE_CAPACITY = 120;
#define XEB_X(id, entry, name) +1
constexpr int COUNT = 0 XEB_NATIVES(XEB_X);
#undef XEB_X
static_assert(COUNT <= TABLE_CAPACITY);

// The slot of refinement /name of a native or an action: refs[ref(Id::do_,
// "next")] is the position of /next's argument, or -1 when it is absent.
consteval int ref(Id id, std::string_view name) { return refinement_slot(kDefs[index(id) - 1].spec, name); }
consteval int ref(Action a, std::string_view name) { return refinement_slot(kActionDefs[a - 1].spec, name); }


void init();  // the table and the print work block; once
// Set by the GUI back-end: `wait` runs one pass of its event loop after
// sleeping, so a shown window keeps answering while a script waits.
extern bool (*wait_poll_hook)();
// The table and the registration counter (one past the last index), read
// inline by the interpreter's calls.
extern Entry* table;
extern int counter;
inline Entry entry(int index) { return table && index >= 1 && index < counter ? table[index - 1] : nullptr; }  // 1..COUNT
// Stores entries at the registration counter and advances it.
void register_entries(const Entry* list, int count);

// The last print or prin ended its text with a line end.
bool last_lf();

// Family entries shared with the library's routines.
void print_value(bool new_line);  // print/prin of the base cell

}  // namespace xeb::natives
