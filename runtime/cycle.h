// The cycle stack: the series every recursive walk (mold, form, compare,
// copy, bind, ownership) is inside. A walk consults it before descending so
// that a value containing itself is not entered again; its fixed size also
// bounds the nesting depth of such walks.
//
// Entries are pushed and popped in strict nesting order; between two
// top-level operations the stack is empty. Every catching point restores its
// depth, since a non-local exit leaves the walks without their pops.
#pragma once
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::cycles {

constexpr int SIZE = 1000;  // 999 nested series at most

// The stack itself, for the inline operations below (every nested walk
// runs them once per series it enters).
namespace detail {
extern Node entries[SIZE];
extern int top;  // next free entry
[[noreturn]] void overflow();
}  // namespace detail

// Raises internal too-deep (after emptying the stack) when full.
inline void push(Node series) {
  detail::entries[detail::top++] = series;
  if (detail::top == SIZE) detail::overflow();
}
inline void pop() {
  if (detail::top > 0) detail::top--;
}
inline bool find(Node series) {
  for (int i = 0; i < detail::top; i++)
    if (detail::entries[i] == series) return true;
  return false;
}
void drop(int n);
void reset();
uint32_t depth();
void cut_to(uint32_t n);  // never deepens
// When the series of v is already being walked, the placeholder to write in
// its place (mold or form text); empty otherwise. v is a block-like value,
// a path or an object!.
std::string_view detect(const Cell* v, bool mold);
// After node compaction: entries follow their moved nodes.
void update_moved();

}  // namespace xeb::cycles
