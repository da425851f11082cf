// huffman.cpp: optimal code lengths by the in-place method of Moffat and
// Katajainen over the frequencies in ascending order, then limited to the
// maximum by moving leaves down the tree until the Kraft sum fits.
#include "codec/huffman.h"

#include <algorithm>

namespace xeb::codec::huffman {
namespace {

constexpr int kMaxSyms = 320;
constexpr int kMaxBits = 15;

// A[0..n) holds frequencies in ascending order; on return the code length
// of each (non-increasing from left to right).
void minimum_redundancy(uint32_t* A, int n) {
  if (n == 1) {
    A[0] = 0;
    return;
  }
  // Pass 1, left to right: internal node weights and parent pointers.
  A[0] += A[1];
  int root = 0, leaf = 2;
  for (int next = 1; next < n - 1; ++next) {
    if (leaf >= n || A[root] < A[leaf]) {
      A[next] = A[root];
      A[root++] = uint32_t(next);
    } else {
      A[next] = A[leaf++];
    }
    if (leaf >= n || (root < next && A[root] < A[leaf])) {
      A[next] += A[root];
      A[root++] = uint32_t(next);
    } else {
      A[next] += A[leaf++];
    }
  }
  // Pass 2, right to left: depths of the internal nodes.
  A[n - 2] = 0;
  for (int next = n - 3; next >= 0; --next) A[next] = A[A[next]] + 1;
  // Pass 3, right to left: depths of the leaves.
  int avail = 1, used = 0, depth = 0;
  root = n - 2;
  int next = n - 1;
  while (avail > 0) {
    while (root >= 0 && int(A[root]) == depth) {
      ++used;
      --root;
    }
    while (avail > used) {
      A[next--] = uint32_t(depth);
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
}

}  // namespace

void code_lengths(const uint32_t* freq, int n, int max_len, uint8_t* lens) {
  std::fill(lens, lens + n, uint8_t{0});
  // Used symbols by ascending frequency, equal frequencies by ascending symbol.
  uint64_t keys[kMaxSyms];
  int used = 0;
  for (int s = 0; s < n; ++s)
    if (freq[s]) keys[used++] = uint64_t(freq[s]) << 16 | uint32_t(s);
  if (used < 2) {
    int s = used ? int(keys[0] & 0xFFFF) : 0;
    if (s <= 1) {
      lens[0] = lens[1] = 1;
    } else {
      lens[s] = 1;
      lens[0] = 1;
    }
    return;
  }
  std::sort(keys, keys + used);
  uint32_t A[kMaxSyms];
  for (int i = 0; i < used; ++i) A[i] = uint32_t(keys[i] >> 16);
  minimum_redundancy(A, used);

  // Codes per length, the overlong counted at the maximum, then leaves moved
  // down until the code fits: each step lowers the Kraft sum by one unit.
  int count[kMaxBits + 1] = {};
  for (int i = 0; i < used; ++i) ++count[std::min<int>(int(A[i]), max_len)];
  uint32_t kraft = 0;
  for (int l = 1; l <= max_len; ++l) kraft += uint32_t(count[l]) << (max_len - l);
  while (kraft > (1u << max_len) && count[max_len] > 0) {
    --count[max_len];
    int l = max_len - 1;
    while (l > 0 && count[l] == 0) --l;
    if (l == 0) break;
    --count[l];
    count[l + 1] += 2;
    --kraft;
  }
  // Shortest lengths to the most frequent symbols.
  int idx = used - 1;
  for (int l = 1; l <= max_len; ++l)
    for (int k = 0; k < count[l]; ++k) lens[keys[idx--] & 0xFFFF] = uint8_t(l);
}

void canonical_codes(const uint8_t* lens, int n, uint16_t* codes) {
  int count[kMaxBits + 1] = {};
  for (int s = 0; s < n; ++s) ++count[lens[s]];
  count[0] = 0;
  uint32_t next[kMaxBits + 1];
  uint32_t code = 0;
  for (int l = 1; l <= kMaxBits; ++l) {
    code = (code + uint32_t(count[l - 1])) << 1;
    next[l] = code;
  }
  for (int s = 0; s < n; ++s) {
    int len = lens[s];
    if (!len) {
      codes[s] = 0;
      continue;
    }
    uint32_t c = next[len]++, r = 0;
    for (int i = 0; i < len; ++i) {
      r = (r << 1) | (c & 1);
      c >>= 1;
    }
    codes[s] = uint16_t(r);
  }
}

}  // namespace xeb::codec::huffman
