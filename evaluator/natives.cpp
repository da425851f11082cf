// The native table: registration in index order, the entries of families not
// built yet, and the comparison natives (each one call of compare_args).
#include "evaluator/natives.h"

#include "datatypes/error.h"
#include "datatypes/native.h"
#include "evaluator/compare.h"
#include "evaluator/native_entries.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::natives {

void (*load_text_hook)(const Cell* text) = nullptr;

namespace {

Entry* table = nullptr;
int counter = 1;

// In index order: the index of each native is its position here, from 1.
constexpr Entry kNatives[COUNT] = {
    if_, unless, either, any, all,
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,  // the loops
    func, function, does, has, switch_, case_, do_, get, set, print, prin,
    equal_q, not_equal_q, strict_equal_q, lesser_q, greater_q, lesser_or_equal_q, greater_or_equal_q, same_q,
    not_yet,  // not
    type_q, reduce, compose,
    not_yet,  // stats
    bind, in,
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,  // parse, set operations, complement?
    not_yet, not_yet,                                                // dehex enhex
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,           // negative? positive? max min shift to-hex
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,  // trigonometry
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,           // NaN? logs exp square-root
    construct, value_q, try_,
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,  // uppercase lowercase as-pair as-point2D as-point3D as-money
    break_, continue_, exit_, return_, throw_, catch_, extend,
    not_yet, not_yet, not_yet, not_yet,  // debase to-local-file wait checksum
    unset, new_line, new_line_q,
    not_yet,  // enbase
    context_q,
    not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet, not_yet,  // set-env .. size?
    not_yet, not_yet, not_yet, not_yet, not_yet,  // browse compress decompress recycle transcode
    apply,
};

}  // namespace

Cell* arg(int i) { return stack::base() + i; }
Cell* opt(int32_t ref) { return ref >= 0 ? stack::base() + ref : nullptr; }

void not_yet(bool, const int32_t*) { fire(Err::not_done); }

void init() {
  if (table) return;
  table = static_cast<Entry*>(memory::heap_alloc(sizeof(Entry) * TABLE_CAPACITY));
  for (int i = 0; i < TABLE_CAPACITY; i++) table[i] = nullptr;
  counter = 1;
  register_entries(kNatives, COUNT);
  native::table_size = COUNT;
}

void register_entries(const Entry* list, int count) {
  for (int i = 0; i < count; i++) table[counter++ - 1] = list[i];
}

Entry entry(int index) { return table && index >= 1 && index < counter ? table[index - 1] : nullptr; }

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
