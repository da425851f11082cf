// Sorting: both sorts against the standard library, the linear paths on
// presorted input, and runs left whole when the callback raises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

#include "runtime/sort.h"

using namespace xeb;

namespace {

// Key is the first byte; the rest of a record is payload that shows the order
// of equal keys.
int32_t by_first_byte(const void* a, const void* b, int, int) {
  return int(*static_cast<const uint8_t*>(a)) - int(*static_cast<const uint8_t*>(b));
}

long calls = 0;
long fail_at = -1;  // the call that raises, -1 never

int32_t by_int(const void* a, const void* b, int op, int flags) {
  if (++calls == fail_at) throw std::runtime_error("callback raised");
  int32_t x, y;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  int32_t r = x < y ? -1 : x > y ? 1 : 0;
  return op == 1 ? -r : r;  // op 1: reverse, to check it passes through
}

using Sorter = void (*)(void*, int32_t, int, int, int, sort::Compare);

std::vector<int32_t> pattern(int kind, int n, std::mt19937& rng) {
  std::vector<int32_t> v(n);
  for (int i = 0; i < n; i++) {
    switch (kind) {
      case 0: v[i] = int32_t(rng()); break;               // random
      case 1: v[i] = i; break;                             // sorted
      case 2: v[i] = n - i; break;                         // reversed
      case 3: v[i] = int32_t(rng() % 4); break;            // few distinct
      case 4: v[i] = 7; break;                             // all equal
      case 5: v[i] = i < n / 2 ? i : n - i; break;         // organ pipe
      case 6: v[i] = i % 37; break;                        // sawtooth
      case 7: v[i] = i < n - 20 ? i : int32_t(rng()); break;  // sorted, random tail
      case 8: v[i] = n - i; break;                         // reversed with swaps (below)
    }
  }
  if (kind == 8 || kind == 1)
    for (int s = 0; s < n / 100; s++) std::swap(v[rng() % n], v[rng() % n]);
  return v;
}

}  // namespace

TEST(Sort, StableMatchesStdStableSort) {
  std::mt19937 rng(12345);
  const int n = 100000;
  for (int width : {1, 2, 4, 16, 32}) {
    std::vector<uint8_t> data(size_t(n) * width);
    for (auto& b : data) b = uint8_t(rng());
    struct Rec { const uint8_t* p; };
    std::vector<std::vector<uint8_t>> recs(n);
    for (int i = 0; i < n; i++) recs[i].assign(data.begin() + i * width, data.begin() + (i + 1) * width);
    std::stable_sort(recs.begin(), recs.end(), [](auto& a, auto& b) { return a[0] < b[0]; });
    sort::merge_sort(data.data(), n, width, 0, 0, by_first_byte);
    for (int i = 0; i < n; i++)
      ASSERT_EQ(0, std::memcmp(recs[i].data(), data.data() + size_t(i) * width, width))
          << "width " << width << " record " << i;
  }
}

TEST(Sort, BothSortAllPatterns) {
  std::mt19937 rng(99);
  struct { const char* name; Sorter f; } sorters[] = {{"merge", sort::merge_sort}, {"quick", sort::quick_sort}};
  for (auto& s : sorters)
    for (int n : {0, 1, 2, 7, 8, 9, 100, 511, 512, 1000, 20000, 40000})
      for (int kind = 0; kind <= 8; kind++)
        for (int op : {0, 1}) {
          auto v = pattern(kind, n, rng);
          auto want = v;
          if (op == 0) std::sort(want.begin(), want.end());
          else std::sort(want.begin(), want.end(), std::greater<>());
          s.f(v.data(), n, 4, op, 0, by_int);
          ASSERT_EQ(want, v) << s.name << " n=" << n << " pattern " << kind << " op " << op;
        }
}

TEST(Sort, QuickSortOddAndWideElements) {
  // Width 3 goes byte by byte; width 48 are three-cell records.
  std::mt19937 rng(7);
  for (int width : {3, 48}) {
    for (int n : {8, 600, 30000}) {
      std::vector<uint8_t> data(size_t(n) * width);
      for (auto& b : data) b = uint8_t(rng());
      std::vector<std::vector<uint8_t>> recs(n);
      for (int i = 0; i < n; i++) recs[i].assign(data.begin() + i * width, data.begin() + (i + 1) * width);
      sort::quick_sort(data.data(), n, width, 0, 0, by_first_byte);
      std::vector<std::vector<uint8_t>> got(n);
      for (int i = 0; i < n; i++) got[i].assign(data.begin() + i * width, data.begin() + (i + 1) * width);
      for (int i = 1; i < n; i++) ASSERT_LE(got[i - 1][0], got[i][0]);
      std::sort(recs.begin(), recs.end());
      std::sort(got.begin(), got.end());
      ASSERT_EQ(recs, got) << "elements lost or duplicated, width " << width;
    }
  }
}

TEST(Sort, PresortedInputCostsALinearScan) {
  for (Sorter f : {sort::merge_sort, sort::quick_sort})
    for (int kind : {1, 2}) {
      std::vector<int32_t> v(10000);
      for (int i = 0; i < 10000; i++) v[i] = kind == 1 ? i : 10000 - i;
      calls = 0;
      f(v.data(), 10000, 4, 0, 0, by_int);
      EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
      EXPECT_LT(calls, 10000);
    }
}

TEST(Sort, RaisingCallbackLeavesRunWhole) {
  std::mt19937 rng(5);
  for (Sorter f : {sort::merge_sort, sort::quick_sort})
    for (int n : {30, 1000, 50000})
      for (long at : {1L, 5L, 40L, 700L, 20000L, 300000L}) {
        std::vector<int32_t> v(n);
        std::iota(v.begin(), v.end(), 0);
        std::shuffle(v.begin(), v.end(), rng);
        calls = 0;
        fail_at = at;
        bool raised = false;
        try {
          f(v.data(), n, 4, 0, 0, by_int);
        } catch (const std::runtime_error&) {
          raised = true;
        }
        fail_at = -1;
        EXPECT_EQ(raised, calls >= at);
        std::sort(v.begin(), v.end());
        for (int i = 0; i < n; i++) ASSERT_EQ(i, v[i]) << "n=" << n << " raised at " << at;
      }
}

TEST(Sort, SwapByWordsAndBytes) {
  uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {9, 10, 11, 12, 13, 14, 15, 16};
  sort::swap(a, b, 8, false);
  EXPECT_EQ(9, a[0]);
  EXPECT_EQ(8, b[7]);
  sort::swap(a + 1, b + 1, 3, true);
  EXPECT_EQ(2, a[1]);
  EXPECT_EQ(4, a[3]);
  EXPECT_EQ(12, b[3]);
  EXPECT_EQ(13, a[4]);
}
