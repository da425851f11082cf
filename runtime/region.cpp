// The managed region. Reserved once, PROT_NONE; blocks are committed on
// demand with mprotect and decommitted by mapping fresh PROT_NONE pages over
// them. Free ranges are kept coalesced in ordered maps for first-fit reuse.
//
// Up to kWarmLimit bytes of freed blocks stay committed (warm) and are handed
// out again first: a program that grows and drops big buffers round after
// round would otherwise fault every page of them in afresh each round (a
// page fault costs more than the writes that fill the page). A warm block
// comes back holding old bytes; callers never relied on fresh zero pages,
// since frame space is reused the same way.
//
// Fresh space is committed in whole 2 MB huge-page granules, from a granule
// boundary on, and the region asks for transparent huge pages over its first
// granules: the heap a start-up fills then costs a few huge-page faults
// instead of hundreds of small ones. Beyond them it asks for none: a huge
// page the system must first gather by compacting memory stalls the fault
// that wants it (on a busy machine a big map cost up to 0.45 s of system
// time that way, against 0.03 s in small pages), and a heap that size gains
// no measurable speed from the larger pages.
#include "runtime/region.h"
#include "runtime/region_kept.h"

#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace xeb::region {

std::byte* base = nullptr;

namespace {
constexpr size_t kRegionSize = size_t{1} << 32;
constexpr size_t kPage = 4096;
constexpr size_t kHuge = size_t{2} << 20;
size_t brk = 0;                  // fresh space from here; below it the first page is never mapped: 0 is null
size_t mapped_end = 0;           // committed (read-write) up to here: brk rounded up to a granule
size_t committed_bytes = 0;
size_t limit = kRegionSize;     // committed_bytes may not pass it
std::map<size_t, size_t> free_ranges;  // offset -> length, coalesced, decommitted
std::map<size_t, size_t> warm_ranges;  // offset -> length, coalesced, still committed
size_t warm_bytes = 0;
constexpr size_t kWarmLimit = size_t{64} << 20;
size_t first = 0;     // offset of the first block: the first granule boundary past the null page
size_t huge_end = 0;  // transparent huge pages are asked for below this offset
constexpr size_t kHugeSpan = size_t{8} << 20;

// Asks for huge pages over the part of [start, start + size) below huge_end.
void advise_huge(size_t start, size_t size) {
  size_t end = std::min(start + size, huge_end);
  if (start < end) madvise(base + start, end - start, MADV_HUGEPAGE);
}

size_t round_page(size_t n) { return (n + kPage - 1) & ~(kPage - 1); }

// Makes [brk, end) read-write, whole granules at a time; false if the
// system refuses.
bool map_fresh(size_t end) {
  if (end <= mapped_end) return true;
  size_t to = std::min(kRegionSize, (end + kHuge - 1) & ~(kHuge - 1));
  if (mprotect(base + mapped_end, to - mapped_end, PROT_READ | PROT_WRITE) != 0) return false;
  mapped_end = to;
  return true;
}

// Takes size bytes from the first range of map that holds them; 0 if none.
size_t take_first_fit(std::map<size_t, size_t>& ranges, size_t size) {
  for (auto it = ranges.begin(); it != ranges.end(); ++it) {
    if (it->second >= size) {
      size_t at_off = it->first;
      size_t rest = it->second - size;
      ranges.erase(it);
      if (rest) ranges.emplace(at_off + size, rest);
      return at_off;
    }
  }
  return 0;
}

// Adds [start, start + size) to map, merged with its neighbours.
void add_range(std::map<size_t, size_t>& ranges, size_t start, size_t size) {
  auto next = ranges.lower_bound(start);
  if (next != ranges.end() && next->first == start + size) {
    size += next->second;
    next = ranges.erase(next);
  }
  if (next != ranges.begin()) {
    auto prev = std::prev(next);
    if (prev->first + prev->second == start) {
      prev->second += size;
      return;
    }
  }
  ranges.emplace(start, size);
}

void set_size_word(size_t at_off, size_t size) {
  uint32_t sz32 = static_cast<uint32_t>(size);
  std::memcpy(base + at_off, &sz32, 4);
}
}  // namespace

void init() {
  if (base) return;
#ifdef XEB_REGION_AT
  // Nothing else lies this low in a fresh 64-bit process. Should something
  // hold part of the range, the region stays unreserved and start-up ends
  // with the error of a failed reservation: the code knows no other address.
  // (A kernel that does not know the flag takes the address as a hint.)
  void* want = reinterpret_cast<void*>(kFixedBase);
  void* p = mmap(want, kRegionSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == MAP_FAILED) return;
  if (p != want) {
    munmap(p, kRegionSize);
    return;
  }
#else
  // Aligned to a granule, as the fixed address is: the first block then lies
  // at the same offset in every process, which a heap image relies on.
  void* r = mmap(nullptr, kRegionSize + kHuge, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (r == MAP_FAILED) return;
  auto lo = reinterpret_cast<uintptr_t>(r);
  uintptr_t aligned = (lo + kHuge - 1) & ~(kHuge - 1);
  if (aligned > lo) munmap(r, aligned - lo);
  if (aligned + kRegionSize < lo + kRegionSize + kHuge)
    munmap(reinterpret_cast<void*>(aligned + kRegionSize), lo + kHuge - aligned);
  void* p = reinterpret_cast<void*>(aligned);
#endif
  base = static_cast<std::byte*>(p);
  // The first granule boundary past the unmapped first page.
  auto b = reinterpret_cast<uintptr_t>(base);
  first = brk = mapped_end = ((b + kPage + kHuge - 1) & ~(kHuge - 1)) - b;
  huge_end = brk + kHugeSpan;
  advise_huge(brk, kHugeSpan);
}

Off os_alloc(size_t bytes) {
  if (!base) init();
  if (!base || bytes > kRegionSize) return 0;
  size_t size = round_page(bytes + 4);
  if (committed_bytes + size > limit) return 0;
  size_t at_off = warm_bytes >= size ? take_first_fit(warm_ranges, size) : 0;
  if (at_off) {
    warm_bytes -= size;
    committed_bytes += size;
    set_size_word(at_off, size);
    return static_cast<Off>(at_off + 4);
  }
  at_off = take_first_fit(free_ranges, size);
  if (!at_off) {
    if (brk + size > kRegionSize || !map_fresh(brk + size)) return 0;
    at_off = brk;
    brk += size;
  } else if (mprotect(base + at_off, size, PROT_READ | PROT_WRITE) != 0) {
    add_range(free_ranges, at_off, size);  // give it back untouched
    return 0;
  }
  committed_bytes += size;
  set_size_word(at_off, size);
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
  committed_bytes -= size;
  if (warm_bytes + size <= kWarmLimit) {
#ifdef XEB_GC_STRESS
    std::memset(base + start, 0xDB, size);  // a stale read or a reliance on zeros shows
#endif
    warm_bytes += size;
    add_range(warm_ranges, start, size);
    return;
  }
  // Fresh PROT_NONE pages return the memory to the system.
  mmap(base + start, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
  advise_huge(start, size);  // the new mapping does not inherit the advice
  add_range(free_ranges, start, size);
}

// Takes [at_off, at_off + size) from the start of the range of map beginning
// exactly there; false if there is none or it is shorter.
static bool take_at(std::map<size_t, size_t>& ranges, size_t at_off, size_t size) {
  auto it = ranges.find(at_off);
  if (it == ranges.end() || it->second < size) return false;
  size_t rest = it->second - size;
  ranges.erase(it);
  if (rest) ranges.emplace(at_off + size, rest);
  return true;
}

bool os_extend(Off block, size_t bytes) {
  if (!block || bytes > kRegionSize) return false;
  size_t start = block - 4;
  size_t size = block_size(block);
  size_t want = round_page(bytes + 4);
  if (want <= size) return true;
  size_t end = start + size, extra = want - size;
  if (committed_bytes + extra > limit) return false;
  if (take_at(warm_ranges, end, extra)) {
    warm_bytes -= extra;
  } else if (take_at(free_ranges, end, extra)) {
    if (mprotect(base + end, extra, PROT_READ | PROT_WRITE) != 0) {
      add_range(free_ranges, end, extra);
      return false;
    }
  } else if (end == brk && brk + extra <= kRegionSize) {
    if (!map_fresh(brk + extra)) return false;
    brk += extra;
  } else {
    return false;
  }
  committed_bytes += extra;
  set_size_word(start, want);
  return true;
}

bool contains(const void* p) {
  auto* b = static_cast<const std::byte*>(p);
  return base && b >= base && b < base + kRegionSize;
}

void set_limit(size_t bytes) { limit = bytes; }

void prefault(const void* p, size_t bytes) {
#ifdef MADV_POPULATE_READ
  auto lo = reinterpret_cast<uintptr_t>(p) & ~(kPage - 1);
  auto hi = reinterpret_cast<uintptr_t>(p) + bytes;
  madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_POPULATE_READ);
#else
  (void)p, (void)bytes;
#endif
}

// Where [p, p + bytes) lies in the program's file, or -1 when it lies in no
// segment the program loads from it. The program is the first object the
// loader lists; the file offset of loaded data follows its address.
static off_t file_offset_of(const void* p, size_t bytes) {
  struct Find {
    uintptr_t lo, hi;
    off_t at;
  } f{reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p) + bytes, -1};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* f = static_cast<Find*>(data);
        for (int i = 0; i < info->dlpi_phnum; i++) {
          const ElfW(Phdr)& ph = info->dlpi_phdr[i];
          uintptr_t seg = info->dlpi_addr + ph.p_vaddr;
          if (ph.p_type == PT_LOAD && f->lo >= seg && f->hi <= seg + ph.p_filesz)
            f->at = static_cast<off_t>(ph.p_offset + (f->lo - seg));
        }
        return 1;
      },
      &f);
  return f.at;
}

void place(const Piece* pieces, size_t count) {
  constexpr size_t kMostPieces = 64;
  // The bytes just before the pieces are read too and compared: the file
  // that /proc/self/exe names is not the program's when the program was
  // started through the loader.
  constexpr size_t kCheck = 64;
  size_t total = 0;
  bool back_to_back = count > 0 && count <= kMostPieces;
  for (size_t i = 0; i < count && back_to_back; i++) {
    if (i && pieces[i].bytes != static_cast<const std::byte*>(pieces[i - 1].bytes) + pieces[i - 1].size)
      back_to_back = false;
    total += pieces[i].size;
  }
  const std::byte* before = back_to_back ? static_cast<const std::byte*>(pieces[0].bytes) - kCheck : nullptr;
  const off_t from = back_to_back ? file_offset_of(before, total + kCheck) : -1;
  if (from >= 0) {
    const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      std::byte check[kCheck];
      iovec to[kMostPieces + 1];
      to[0] = {check, kCheck};
      for (size_t i = 0; i < count; i++) to[i + 1] = {base + pieces[i].at, pieces[i].size};
      const ssize_t got = preadv(fd, to, static_cast<int>(count + 1), from);
      close(fd);
      if (got == static_cast<ssize_t>(total + kCheck) && std::memcmp(check, before, kCheck) == 0) return;
    }
  }
  for (size_t i = 0; i < count; i++) {
    prefault(pieces[i].bytes, pieces[i].size);
    std::memcpy(base + pieces[i].at, pieces[i].bytes, pieces[i].size);
  }
}

Layout layout() {
  Layout l{first, brk, mapped_end, committed_bytes, huge_end, {}, {}};
  for (auto [o, n] : free_ranges) l.free.emplace_back(o, n);
  for (auto [o, n] : warm_ranges) l.warm.emplace_back(o, n);
  return l;
}

bool adopt(const Layout& l) {
  if (!base || l.start != first || l.brk < brk || l.mapped_end < mapped_end || l.mapped_end > kRegionSize) return false;
  if (!map_fresh(l.mapped_end)) return false;
  // The image's process gave these back; here they were never taken.
  for (auto [o, n] : l.free) {
    mmap(base + o, n, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
    advise_huge(o, n);
  }
  brk = l.brk;
  committed_bytes = l.committed;
  huge_end = l.huge_end;
  free_ranges.clear();
  warm_ranges.clear();
  warm_bytes = 0;
  for (auto [o, n] : l.free) free_ranges.emplace(o, n);
  for (auto [o, n] : l.warm) {
    warm_ranges.emplace(o, n);
    warm_bytes += n;
  }
  return true;
}

size_t committed() { return committed_bytes; }

// The linker's bounds of the declarations' section; weak, for a program
// that declares none.
extern "C" {
extern const Kept __start_xeb_kept[] __attribute__((weak));
extern const Kept __stop_xeb_kept[] __attribute__((weak));
}

std::span<const Kept> kept() {
  if (!__start_xeb_kept) return {};
  return {__start_xeb_kept, static_cast<size_t>(__stop_xeb_kept - __start_xeb_kept)};
}

}  // namespace xeb::region
