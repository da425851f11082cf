// Sorting of a raw run of fixed-width elements through a compare callback:
// a stable merge sort and an unstable quicksort, both in place. Elements are
// only ever swapped or moved whole, so a callback that raises leaves every
// element in the run exactly once.
#pragma once
#include <cstdint>
#include <vector>

namespace xeb::sort {

// > 0 when a must come after b, <= 0 otherwise. op and flags are the
// caller's and pass through untouched.
using Compare = int32_t (*)(const void* a, const void* b, int op, int flags);

// Exchanges two elements: by 32-bit words, or byte by byte when bytewise
// (callers set it when width is not a multiple of 4).
void swap(void* a, void* b, int width, bool bytewise);

// Stable. Takes a scratch buffer of n / 2 elements, freed on every exit path.
void merge_sort(void* base, int32_t n, int width, int op, int flags, Compare cmp);

// Not stable; allocates nothing. Linear on sorted and reverse-sorted input.
void quick_sort(void* base, int32_t n, int width, int op, int flags, Compare cmp);

// Either of the two, as the caller asks for stability.
inline void run(void* base, int32_t n, int width, int op, int flags, Compare cmp, bool stable) {
  if (stable) merge_sort(base, n, width, op, flags, cmp);
  else quick_sort(base, n, width, op, flags, cmp);
}

// The order of n records, as indices 0..n-1 sorted by cmp (which receives
// pointers to two int32_t indices): for callbacks that run language code,
// which may change the records, so these stay where they are until the
// caller applies the order.
std::vector<int32_t> order(int32_t n, bool stable, int flags, Compare cmp);

// A compare callback has no argument for its sort's state, so each file
// keeps a current pointer to it; sorts nest (a /compare function may sort
// again), so a sort sets the pointer for its extent and puts the outer one
// back on every way out.
template <class T>
class Current {
 public:
  Current(T*& slot, T* state) : slot_(slot), outer_(slot) { slot = state; }
  ~Current() { slot_ = outer_; }
  Current(const Current&) = delete;
  Current& operator=(const Current&) = delete;

 private:
  T*& slot_;
  T* outer_;
};

// Raises script error too-long: the merge buffer would exceed the 32-bit
// layout. Set by the error module; until then the process ends.
extern void (*raise_too_long)();

}  // namespace xeb::sort
