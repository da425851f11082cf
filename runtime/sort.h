// Sorting of a raw run of fixed-width elements through a compare callback:
// a stable merge sort and an unstable quicksort, both in place. Elements are
// only ever swapped or moved whole, so a callback that raises leaves every
// element in the run exactly once.
#pragma once
#include <cstdint>

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

// Raises script error too-long: the merge buffer would exceed the 32-bit
// layout. Set by the error module; until then the process ends.
extern void (*raise_too_long)();

}  // namespace xeb::sort
