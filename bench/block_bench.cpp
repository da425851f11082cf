// Block rates: appending a million integers one by one through the append
// slot, and sorting 300,000 integers (quicksort and merge sort) through the
// sort slot. Run by hand: bench_block_bench [append-count] [sort-count].
#include <cstdio>
#include <string>

#include "bench/timing.h"
#include "datatypes/block.h"
#include "datatypes/init.h"
#include "datatypes/integer.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

using namespace xeb;
using bench::seconds;

namespace {

Cell* shuffled(int32_t n) {
  Cell* b = block::push_only(n);
  uint32_t x = 2463534242u;
  for (int32_t i = 0; i < n; i++) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    Cell v = integer::make_cell(static_cast<int32_t>(x % 1000000));
    block::xs_append(b, &v);
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t appends = argc > 1 ? std::stoi(argv[1]) : 1000000;
  const int32_t sorts = argc > 2 ? std::stoi(argv[2]) : 300000;
  datatypes::init();
  collector::enabled = 1;

  Cell* saved = stack::top();
  Cell* b = block::push_only(1);
  Cell* v = stack::push_new();
  double t = seconds([&] {
    for (int32_t i = 0; i < appends; i++) {
      *v = integer::make_cell(i);
      block::insert(b, v, -1, 0, 1, 1);
    }
  });
  std::printf("append %d integers: %.3f s (%.1f M/s)\n", appends, t, appends / t / 1e6);
  stack::set_top(saved);

  for (int stable = 0; stable < 2; stable++) {
    Cell* s = shuffled(sorts);
    t = seconds([&] { block::sort(s, 0, nullptr, nullptr, nullptr, 0, 0, stable); });
    std::printf("sort%s %d integers: %.3f s\n", stable ? "/stable" : "", sorts, t);
    t = seconds([&] { block::sort(s, 0, nullptr, nullptr, nullptr, 0, 0, stable); });
    std::printf("sort%s %d sorted integers: %.3f s\n", stable ? "/stable" : "", sorts, t);
    stack::set_top(saved);
  }
  return 0;
}
