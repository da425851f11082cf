// Change stamps: the side table of node stamps and the two counters.
#include "runtime/stamp.h"

#include <vector>

#include <sys/mman.h>

#include "runtime/exit.h"

namespace xeb::stamp {

uint32_t* table = nullptr;
uint32_t clock = 0;
uint32_t epoch = 0;

namespace {
std::vector<Hook>& hooks() {
  static std::vector<Hook> h;
  return h;
}
}  // namespace

void init() {
  if (table) return;
  // One word per possible node of the 4 GiB region, reserved without backing:
  // only the pages beside live node frames are ever touched, about as many
  // bytes as the node frames themselves take.
  constexpr size_t bytes = size_t{1} << 32;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) runtime_error(94);
  table = static_cast<uint32_t*>(p);
}

void wrapped() {
  for (Hook h : hooks()) h();
}

void on_wrap(Hook h) { hooks().push_back(h); }

}  // namespace xeb::stamp
