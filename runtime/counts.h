// Arithmetic on counts a user gives (/part, /skip, /dup, at, skip): any
// 32-bit integer can arrive, so the sums, steps and negations that move an
// index by one go through these. They saturate at the int32_t range instead
// of overflowing; series lengths stay far below it, so a saturated index is
// always past the tail (or before the head) it is compared with.
#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>

namespace xeb::counts {

constexpr int32_t clamp(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
constexpr int32_t add(int32_t a, int32_t b) { return clamp(int64_t{a} + b); }
constexpr int32_t sub(int32_t a, int32_t b) { return clamp(int64_t{a} - b); }
// -n; the most negative count gives the largest positive one.
constexpr int32_t neg(int32_t n) { return clamp(-int64_t{n}); }
// What a negative /part count n reaches back from head h: |n|, at most h.
constexpr int32_t back(int32_t n, int32_t h) { return std::min(neg(n), std::max(h, 0)); }

}  // namespace xeb::counts
