// Sorting: stable powersort-style merge sort and a sampling quicksort over
// raw runs of fixed-width elements.
#include "runtime/sort.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "runtime/exit.h"

namespace xeb::sort {

namespace {

[[noreturn]] void default_too_long() { raise_internal(InternalError::no_memory); }

}  // namespace

void (*raise_too_long)() = default_too_long;

void swap(void* a, void* b, int width, bool bytewise) {
  auto* p = static_cast<std::byte*>(a);
  auto* q = static_cast<std::byte*>(b);
  if (bytewise) {
    for (int i = 0; i < width; i++) {
      std::byte t = p[i];
      p[i] = q[i];
      q[i] = t;
    }
    return;
  }
  // memcpy per word: string runs need not be 4-aligned.
  for (int i = 0; i < width; i += 4) {
    uint32_t x, y;
    std::memcpy(&x, p + i, 4);
    std::memcpy(&y, q + i, 4);
    std::memcpy(p + i, &y, 4);
    std::memcpy(q + i, &x, 4);
  }
}

namespace {

// One run being sorted. Indexes are element positions, 64-bit so that
// products with the width never overflow.
struct Run {
  std::byte* base;
  size_t width;
  int op, flags;
  Compare cmp;
  bool bytewise;

  std::byte* at(int64_t i) const { return base + static_cast<size_t>(i) * width; }
  int32_t compare(int64_t i, int64_t j) const { return cmp(at(i), at(j), op, flags); }
  void exchange(int64_t i, int64_t j) const {
    if (i != j) swap(at(i), at(j), static_cast<int>(width), bytewise);
  }
  void reverse(int64_t lo, int64_t hi) const {  // [lo, hi)
    for (hi--; lo < hi; lo++, hi--) exchange(lo, hi);
  }
  // Swaps [a, a+len) with [b, b+len); the ranges must not overlap.
  void swap_blocks(int64_t a, int64_t b, int64_t len) const {
    for (int64_t t = 0; t < len; t++) exchange(a + t, b + t);
  }
  // [lo, mid) and [mid, hi) trade places, each keeping its order.
  void rotate(int64_t lo, int64_t mid, int64_t hi) const {
    if (lo == mid || mid == hi) return;
    reverse(lo, mid);
    reverse(mid, hi);
    reverse(lo, hi);
  }
  // Insertion of [from, to) into the sorted [lo, from).
  void insert_range(int64_t lo, int64_t from, int64_t to) const {
    for (int64_t i = from; i < to; i++)
      for (int64_t j = i; j > lo && compare(j - 1, j) > 0; j--) exchange(j - 1, j);
  }
};

// ---------------------------------------------------------------------------
// Merge sort

constexpr int64_t MIN_RUN = 24;

// Scratch buffer of the merge sort; freed on every exit path, errors included.
struct Scratch {
  std::byte* p = nullptr;
  explicit Scratch(size_t bytes) {
    p = static_cast<std::byte*>(std::malloc(bytes ? bytes : 1));
    if (!p) raise_internal(InternalError::no_memory);
  }
  ~Scratch() { std::free(p); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
};

// While a merge runs, the elements still in the buffer match a gap of the
// same size in the run. Whatever way the merge ends (a callback may raise),
// the destructor puts them back into the gap, so each element is in the run
// exactly once.
struct Gap {
  const Run& r;
  std::byte* buf;
  int64_t gap;      // first position of the gap in the run
  int64_t from, to; // elements [from, to) of the buffer still to place
  ~Gap() {
    if (to > from) std::memmove(r.at(gap), buf + from * r.width, static_cast<size_t>(to - from) * r.width);
  }
};

void merge(const Run& r, std::byte* buf, int64_t lo, int64_t mid, int64_t hi) {
  const size_t w = r.width;
  if (hi - mid < mid - lo) {
    // Right side buffered; merge backwards from hi. The gap is [l, dst).
    std::memcpy(buf, r.at(mid), static_cast<size_t>(hi - mid) * w);
    int64_t dst = hi;
    Gap g{r, buf, mid, 0, hi - mid};
    while (g.gap > lo && g.to > 0) {
      const std::byte* b = buf + (g.to - 1) * w;
      if (r.cmp(r.at(g.gap - 1), b, r.op, r.flags) > 0) {
        std::memcpy(r.at(dst - 1), r.at(g.gap - 1), w);
        g.gap--;
      } else {
        std::memcpy(r.at(dst - 1), b, w);
        g.to--;
      }
      dst--;
    }
  } else {
    // Left side buffered; merge forwards. The gap is [dst, right).
    std::memcpy(buf, r.at(lo), static_cast<size_t>(mid - lo) * w);
    int64_t right = mid;
    Gap g{r, buf, lo, 0, mid - lo};
    while (g.from < g.to && right < hi) {
      const std::byte* b = buf + g.from * w;
      if (r.cmp(b, r.at(right), r.op, r.flags) <= 0) {
        std::memcpy(r.at(g.gap), b, w);
        g.from++;
      } else {
        std::memcpy(r.at(g.gap), r.at(right), w);
        right++;
      }
      g.gap++;
    }
  }
}

// End of the natural run starting at start, extended to MIN_RUN by insertion.
int64_t next_run(const Run& r, int64_t start, int64_t n) {
  int64_t end = start + 1;
  if (end < n) {
    if (r.compare(start, end) <= 0) {
      while (++end < n && r.compare(end - 1, end) <= 0) {}
    } else {
      // Strictly descending only, so reversing keeps equal elements in order.
      while (++end < n && r.compare(end - 1, end) > 0) {}
      r.reverse(start, end);
    }
  }
  if (end - start < MIN_RUN) {
    int64_t to = start + MIN_RUN < n ? start + MIN_RUN : n;
    r.insert_range(start, end, to);
    end = to;
  }
  return end;
}

// Node power of the boundary between runs [a, b) and [b, c): the depth at
// which their midpoints part in the binary subdivision of [0, n).
int node_power(int64_t a, int64_t b, int64_t c, int64_t n) {
  int64_t s1 = a + b, s2 = b + c;
  int power = 1;
  for (;;) {
    bool x = s1 >= n, y = s2 >= n;
    if (x != y) return power;
    power++;
    if (x) {
      s1 -= n;
      s2 -= n;
    }
    s1 *= 2;
    s2 *= 2;
  }
}

}  // namespace

void merge_sort(void* base, int32_t n, int width, int op, int flags, Compare cmp) {
  if (n < 2) return;
  int64_t bytes = int64_t{n / 2} * width;
  if (bytes > INT32_MAX) raise_too_long();
  Scratch buf(static_cast<size_t>(bytes));
  Run r{static_cast<std::byte*>(base), static_cast<size_t>(width), op, flags, cmp, width % 4 != 0};

  struct Entry { int64_t start; int power; };
  Entry stack[64];  // powers are bounded by log2 n + 2
  int top = 0;
  int64_t a = 0, b = next_run(r, 0, n);
  while (b < n) {
    int64_t c = next_run(r, b, n);
    int p = node_power(a, b, c, n);
    while (top > 0 && stack[top - 1].power > p) {
      merge(r, buf.p, stack[top - 1].start, a, b);
      a = stack[--top].start;
    }
    stack[top++] = {a, p};
    a = b;
    b = c;
  }
  while (top > 0) {
    merge(r, buf.p, stack[top - 1].start, a, n);
    a = stack[--top].start;
  }
}

// ---------------------------------------------------------------------------
// Quicksort

namespace {

constexpr int64_t INSERTION_MAX = 7;
constexpr int64_t FIRST_REGION = 63;     // partition region without a sample
constexpr int64_t LARGE = 511;           // above this, build a sample first
constexpr int64_t GROW_RATIO = 256;      // grow the sample while k <= n / 256
constexpr int64_t SAMPLE_STRIDE = 97;    // presortedness sampling
constexpr int64_t UNSORTED_RATIO = 512;  // |score| <= n / 512 counts as unsorted
constexpr int64_t JUMP = 10;
constexpr int64_t MIN_STRETCH = 4;

void cswap(const Run& r, int64_t i, int64_t j) {
  if (r.compare(i, j) > 0) r.exchange(i, j);
}

// Three-way partition of [0, m) of r (already offset). Layout on entry:
// [0, h) lower sample (<= pivot), h the pivot, [m - uh, m) upper sample
// (>= pivot). On exit [0, *lo_end) <= pivot with the lower sample in front,
// [*hi_start, m) >= pivot with the upper sample at its end, equals between.
void partition(const Run& r, int64_t m, int64_t h, int64_t uh, int64_t* lo_end, int64_t* hi_start) {
  const int64_t P = h;
  int64_t eq = h + 1;  // equal block is [h + 1, eq), right after the pivot
  int64_t i = h + 1, j = m - uh;
  for (;;) {
    while (i < j) {
      int32_t c = r.compare(i, P);
      if (c > 0) break;
      if (c == 0) r.exchange(i, eq++);
      i++;
    }
    int32_t c = 1;
    while (i < j && (c = r.compare(j - 1, P)) > 0) j--;
    if (i >= j) break;
    r.exchange(i, --j);  // E(i) now <= pivot, E(j) > pivot
    if (c == 0) r.exchange(i, eq++);
    i++;
  }
  // Bring the equal block (pivot included) between the two parts.
  int64_t ne = eq - h, nl = i - eq;
  int64_t t = ne < nl ? ne : nl;
  r.swap_blocks(h, i - t, t);
  *lo_end = h + nl;
  *hi_start = i;
}

// Puts [from, from + len) at `to` keeping its order; what stood at `to` goes
// elsewhere in the span (its order does not matter).
void place_block(const Run& r, int64_t to, int64_t from, int64_t len) {
  if (to == from || len == 0) return;
  int64_t d = from > to ? from - to : to - from;
  if (d >= len) r.swap_blocks(to, from, len);
  else if (from > to) r.rotate(to, from, from + len);
  else r.rotate(from, from + len, to + len);
}

// Sorts [0, n) of r. k > 0: [0, k) is known sorted; k < 0: [n + k, n) is.
void core(Run r, int64_t n, int64_t k) {
  while (n > INSERTION_MAX) {
    int64_t ks = k < 0 ? -k : k;
    if (ks >= n) return;
    int64_t m, h, uh;
    if (ks < 3) {
      m = n > LARGE ? FIRST_REGION : n;
      r.exchange(m / 2, 1);
      cswap(r, 0, 1);
      cswap(r, 1, m - 1);
      cswap(r, 0, 1);
      h = 1;
      uh = 1;
    } else {
      bool growing = ks <= n / GROW_RATIO;
      if (k < 0) place_block(r, 0, n - ks, growing ? ks : ks / 2 + 1);
      h = ks / 2;
      uh = ks - h - 1;
      if (growing) {
        m = 16 * ks - 1;
        int64_t stride = n / m;  // >= 16, so sources lie beyond the region
        for (int64_t t = ks; t < m; t++) r.exchange(t, t * stride);
        place_block(r, m - uh, h + 1, uh);
      } else {
        m = n;
        if (k > 0) place_block(r, m - uh, h + 1, uh);
        // k < 0: the upper half-sample still lies at the end.
      }
    }
    int64_t lo_end, hi_start;
    partition(r, m, h, uh, &lo_end, &hi_start);
    Run upper = r;
    upper.base = r.at(hi_start);
    int64_t nu = m - hi_start;
    if (m < n) {
      // A region sorted in full becomes the sample of the whole run.
      core(r, lo_end, h);
      core(upper, nu, -uh);
      k = m;
      continue;
    }
    // Recurse on the smaller part, loop on the larger: the stack stays
    // logarithmic whatever the pivots.
    if (lo_end <= nu) {
      core(r, lo_end, h);
      r = upper;
      n = nu;
      k = -uh;
    } else {
      core(upper, nu, -uh);
      n = lo_end;
      k = h;
    }
  }
  r.insert_range(0, 1, n);
}

bool in_order(const Run& r, int dir, int64_t i, int64_t j) {
  int32_t c = r.compare(i, j);
  return dir > 0 ? c <= 0 : c >= 0;
}

}  // namespace

void quick_sort(void* base, int32_t n, int width, int op, int flags, Compare cmp) {
  if (n < 2) return;
  Run r{static_cast<std::byte*>(base), static_cast<size_t>(width), op, flags, cmp, width % 4 != 0};

  // Presortedness: the longest in-order prefix, then a sparse sample.
  int64_t i = 0;
  int32_t c = 0;
  while (i + 1 < n && (c = r.compare(i, i + 1)) == 0) i++;
  if (i + 1 >= n) return;  // all equal
  int dir = c < 0 ? 1 : -1;
  for (i++; i + 1 < n && in_order(r, dir, i, i + 1); i++) {}
  int64_t p = i + 1;
  int64_t score = p * dir;
  for (int64_t j = p; j + 1 < n; j += SAMPLE_STRIDE) {
    int32_t s = r.compare(j, j + 1);
    score += s < 0 ? 1 : s > 0 ? -1 : 0;
  }

  if ((score < 0 ? -score : score) > n / UNSORTED_RATIO) {
    // Mostly sorted: fold in-order stretches onto the prefix.
    if ((score > 0) != (dir > 0)) {
      dir = -dir;
      p = 1;
    }
    for (int64_t pos = p;;) {
      int64_t land = pos + JUMP;
      if (land >= n) break;
      int64_t s = land, e = land + 1;
      while (e < n && in_order(r, dir, e - 1, e)) e++;
      while (s > p && in_order(r, dir, s - 1, s)) s--;
      pos = e;
      int64_t len = e - s;
      if (len < MIN_STRETCH) continue;
      int64_t pairs = len / 2 < p / 4 ? len / 2 : p / 4;
      if (pairs < 1) pairs = 1;  // the junction must be checked at least once
      int64_t bad = 0;
      while (bad < pairs && !in_order(r, dir, p - 1 - bad, s + bad)) bad++;
      if (bad == pairs) continue;
      p -= bad;
      s += bad;
      for (int64_t t = 0; t < e - s; t++) r.exchange(p + t, s + t);
      p += e - s;
    }
  }
  if (dir < 0) r.reverse(0, p);
  if (p < n) core(r, n, p);
}

std::vector<int32_t> order(int32_t n, bool stable, int flags, Compare cmp) {
  std::vector<int32_t> o(static_cast<size_t>(n > 0 ? n : 0));
  for (int32_t i = 0; i < n; i++) o[static_cast<size_t>(i)] = i;
  run(o.data(), n, 4, 0, flags, cmp, stable);
  return o;
}

}  // namespace xeb::sort
