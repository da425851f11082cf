// The native table: registration in index order, the entries of families not
// built yet, and the comparison natives (each one call of compare_args).
#include "evaluator/natives.h"

#include "datatypes/series.h"
#include "datatypes/error.h"
#include "datatypes/native.h"
#include "evaluator/compare.h"
#include "evaluator/native_entries.h"
#include "evaluator/interpreter.h"
#include "evaluator/parse.h"
#include "evaluator/random.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::natives {

Entry* table = nullptr;
int counter = 1;

namespace {

constexpr Entry kEntries[COUNT] = {
#define XEB_X(id, entry, name) entry,
    XEB_NATIVES(XEB_X)
#undef XEB_X
};

}  // namespace


void not_yet(bool, const int32_t*) { fire(Err::not_done); }

void init() {
  if (table) return;
  random::init();  // seeded before any code can draw
  table = static_cast<Entry*>(memory::heap_alloc(sizeof(Entry) * TABLE_CAPACITY));
  for (int i = 0; i < TABLE_CAPACITY; i++) table[i] = nullptr;
  counter = 1;
  register_entries(kEntries, COUNT);
  native::table_size = COUNT;
}

void register_entries(const Entry* list, int count) {
  for (int i = 0; i < count; i++) table[counter++ - 1] = list[i];
}

// --- Comparison natives ----------------------------------------------------------

void equal_q(bool, const int32_t*) { actions::compare_args(COMP_EQUAL); }
void not_equal_q(bool, const int32_t*) { actions::compare_args(COMP_NOT_EQUAL); }
void strict_equal_q(bool, const int32_t*) { actions::compare_args(COMP_STRICT_EQUAL); }
void lesser_q(bool, const int32_t*) { actions::compare_args(COMP_LESSER); }
void greater_q(bool, const int32_t*) { actions::compare_args(COMP_GREATER); }
void lesser_or_equal_q(bool, const int32_t*) { actions::compare_args(COMP_LESSER_EQUAL); }
void greater_or_equal_q(bool, const int32_t*) { actions::compare_args(COMP_GREATER_EQUAL); }
void same_q(bool, const int32_t*) { actions::compare_args(COMP_SAME); }

}  // namespace xeb::natives
