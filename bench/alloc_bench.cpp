// Allocation and collection: makes 10 million small blocks (two cells each),
// keeping one in ten alive in a root block, with the collector running as the
// allocator needs it. Prints time, collections and memory figures.
#include <chrono>
#include <cstdio>

#include "datatypes/block.h"
#include "runtime/collector.h"
#include "runtime/handles.h"
#include "runtime/memory.h"
#include "runtime/memstats.h"

using namespace xeb;

static Node root = 0;
static void mark_root() { if (root) collector::mark_node(&root); }

int main(int argc, char** argv) {
  long total = argc > 1 ? std::atol(argv[1]) : 10000000;
  memory::init();
  collector::init();
  handles::init();
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  root = memory::alloc_cells(total / 10 + 1);
  collector::add_root_marker(mark_root);
  collector::set_layout(T_BLOCK, block::layout);  // as the block module sets it
  collector::enabled = 1;
  auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < total; i++) {
    Node b = memory::alloc_cells(2);
    SeriesBuf* s = buf_of(b);
    Cell* c = reinterpret_cast<Cell*>(s->data());
    c[0] = Cell{T_INTEGER, 0, static_cast<uint32_t>(i), 0};
    s->tail = s->head + 16;
    if (i % 10 == 0) *memory::alloc_tail_cell(buf_of(root)) = Cell{T_BLOCK, 0, b, 0};
  }
  auto t1 = std::chrono::steady_clock::now();
  double secs = std::chrono::duration<double>(t1 - t0).count();
  std::printf("blocks: %ld, kept: %u, time: %.3f s (%.1f ns per block)\n", total,
              buf_of(root)->cell_count(), secs, secs * 1e9 / static_cast<double>(total));
  std::printf("collections: %u, node compactions: %u, in use: %.0f bytes, from system: %lld bytes\n",
              collector::collections, collector::node_compactions, memory::stats(nullptr, 1),
              static_cast<long long>(memory::state.total));
  auto t2 = std::chrono::steady_clock::now();
  collector::collect();
  auto t3 = std::chrono::steady_clock::now();
  std::printf("one full collection with %u live blocks: %.3f ms\n", buf_of(root)->cell_count(),
              std::chrono::duration<double>(t3 - t2).count() * 1e3);
  return 0;
}
