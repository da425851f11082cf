// Hash table insert and lookup rates: a block index of integers, records
// keyed by address, and symbol interning. Run by hand.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "datatypes/block.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"

using namespace xeb;
namespace ht = hashtable;

namespace {

Node g_root;
void mark_root() { collector::mark_node(&g_root); }

// Millions of operations a second.
template <class F>
double rate(int n, F f) {
  return n / bench::seconds(f) / 1e6;
}

Cell* root_push(const Cell& c) {
  Cell* slot = memory::alloc_tail_cell(buf_of(g_root));
  *slot = c;
  return slot;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::stoi(argv[1]) : 1000000;
  memory::init();
  collector::init();
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  g_root = memory::alloc_heap_series(16, 16, 0);
  collector::add_root_marker(mark_root);
  collector::mark_hashtable_hook = ht::mark;
  // The layouts of the cells kept in the root, as their modules set them.
  collector::set_layout(T_BLOCK, block::layout);
  collector::set_layout(T_HASH, {collector::Holds::nothing, collector::Holds::cells, collector::Holds::table});
  collector::enabled = 1;

  // Block index: n integer cells, all distinct.
  // Cells are appended and put one at a time, as a hash! grows.
  Node blk = memory::alloc_series(n, 16, 0);
  root_push(Cell{T_BLOCK, 0, blk, 0});
  Cell bc{T_BLOCK, 0, blk, 0};
  Node t = ht::init(0, &bc, ht::Kind::block, 0);
  root_push(Cell{T_HASH, 0, blk, t});
  double put = rate(n, [&] {
    for (int i = 0; i < n; i++) {
      *memory::alloc_tail_cell(buf_of(blk)) = Cell{T_INTEGER, 0, uint32_t(i * 7), 0};
      int status;
      ht::put_key(t, buf_of(blk)->cells() + i, &status);
    }
  });
  long hits = 0;
  double find = rate(n, [&] {
    for (int i = 0; i < n; i++) {
      Cell k{T_INTEGER, 0, uint32_t(i * 7), 0};
      hits += ht::find(t, &k, 0, 1, 0, false, false) != nullptr;
    }
  });
  std::printf("block index  put %7.2f M/s  find %7.2f M/s  (%ld hits)\n", put, find, hits);

  // Records keyed by a 32-bit value.
  Node r = ht::init(0, nullptr, ht::Kind::ptr, 1);
  root_push(Cell{T_HASH, 0, 0, r});
  double rput = rate(n, [&] {
    for (int i = 0; i < n; i++) ht::put_ptr(r, uint32_t(i) * 16 + 16)->w2 = uint32_t(i);
  });
  hits = 0;
  double rget = rate(n, [&] {
    for (int i = 0; i < n; i++) hits += ht::get_ptr(r, uint32_t(i) * 16 + 16) != nullptr;
  });
  std::printf("records      put %7.2f M/s  get  %7.2f M/s  (%ld hits)\n", rput, rget, hits);

  // Symbols: first interning, then lookups of the same names.
  Node s = ht::init(4000, nullptr, ht::Kind::word, 0);
  root_push(Cell{T_HASH, 0, 0, s});
  std::vector<std::string> names;
  int m = n / 4;
  for (int i = 0; i < m; i++) names.push_back("word-" + std::to_string(i));
  double intern = rate(m, [&] {
    for (auto& nm : names) ht::find_symbol(s, nm, false);
  });
  double lookup = rate(m, [&] {
    for (auto& nm : names) ht::find_symbol(s, nm, false);
  });
  std::printf("symbols   intern %7.2f M/s  find %7.2f M/s\n", intern, lookup);
  return 0;
}
