// The managed region. Reserved once, PROT_NONE; blocks are committed on
// demand with mprotect and decommitted by mapping fresh PROT_NONE pages over
// them. Free ranges are kept coalesced in an ordered map for first-fit reuse.
#include "runtime/region.h"

#include <sys/mman.h>

#include <cstring>
#include <map>

namespace xeb::region {

std::byte* base = nullptr;

namespace {
constexpr size_t kRegionSize = size_t{1} << 32;
constexpr size_t kPage = 4096;
size_t brk = kPage;              // first page never mapped: offset 0 is null
size_t committed_bytes = 0;
std::map<size_t, size_t> free_ranges;  // offset -> length, coalesced

size_t round_page(size_t n) { return (n + kPage - 1) & ~(kPage - 1); }
}  // namespace

void init() {
  if (base) return;
  void* p = mmap(nullptr, kRegionSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return;
  base = static_cast<std::byte*>(p);
}

Off os_alloc(size_t bytes) {
  if (!base) init();
  if (!base || bytes > kRegionSize) return 0;
  size_t size = round_page(bytes + 4);
  size_t at_off = 0;
  for (auto it = free_ranges.begin(); it != free_ranges.end(); ++it) {
    if (it->second >= size) {
      at_off = it->first;
      size_t rest = it->second - size;
      free_ranges.erase(it);
      if (rest) free_ranges.emplace(at_off + size, rest);
      break;
    }
  }
  if (!at_off) {
    if (brk + size > kRegionSize) return 0;
    at_off = brk;
    brk += size;
  }
  if (mprotect(base + at_off, size, PROT_READ | PROT_WRITE) != 0) {
    free_ranges.emplace(at_off, size);  // give it back untouched
    return 0;
  }
  committed_bytes += size;
  uint32_t sz32 = static_cast<uint32_t>(size);
  std::memcpy(base + at_off, &sz32, 4);
  return static_cast<Off>(at_off + 4);
}

size_t block_size(Off block) {
  uint32_t sz = 0;
  std::memcpy(&sz, base + block - 4, 4);
  return sz;
}

void os_free(Off block) {
  if (!block) return;
  size_t start = block - 4;
  size_t size = block_size(block);
  // Fresh PROT_NONE pages return the memory to the system.
  mmap(base + start, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
  committed_bytes -= size;
  auto next = free_ranges.lower_bound(start);
  if (next != free_ranges.end() && next->first == start + size) {
    size += next->second;
    next = free_ranges.erase(next);
  }
  if (next != free_ranges.begin()) {
    auto prev = std::prev(next);
    if (prev->first + prev->second == start) {
      prev->second += size;
      return;
    }
  }
  free_ranges.emplace(start, size);
}

bool contains(const void* p) {
  auto* b = static_cast<const std::byte*>(p);
  return base && b >= base && b < base + kRegionSize;
}

size_t committed() { return committed_bytes; }

}  // namespace xeb::region
