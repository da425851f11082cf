// The memory manager and the collector: content survives sliding and node
// compaction, frames come and go by the layout's rules, deep data is marked
// without recursion, and external handles are released exactly once.
#include <unistd.h>

#include <cstring>
#include <random>
#include <unordered_set>

#include "runtime/array.h"
#include "runtime/memstats.h"
#include "tests/runtime/heap_fixture.h"

namespace xeb::test {
namespace {

constexpr uint32_t kSlots = 48;

// Content checksum through the nodes: block structure and bytes, each buffer
// counted once however often it is shared.
uint64_t checksum_node(Node n, std::unordered_set<Off>& seen);

uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001B3ull + (h >> 29); }

uint64_t checksum_cell(const Cell* c, std::unordered_set<Off>& seen) {
  uint64_t h = type_of(c);
  if ((is_type(c, T_BLOCK) || is_type(c, T_BINARY)) && c->w2) h = mix(h, checksum_node(c->w2, seen));
  else h = mix(h, c->w2);
  return h;
}

uint64_t checksum_node(Node n, std::unordered_set<Off>& seen) {
  SeriesBuf* b = buf_of(n);
  if (!seen.insert(off(b)).second) return 7;
  uint64_t h = mix(b->unit(), b->used());
  if (b->unit() == 16) {
    for (uint32_t i = 0; i < b->cell_count(); i++) h = mix(h, checksum_cell(buf_of(n)->cells() + i, seen));
  } else {
    for (uint32_t i = 0; i < b->used(); i++) h = mix(h, static_cast<uint8_t>(b->head_ptr()[i]));
  }
  return h;
}

uint64_t checksum_root() {
  std::unordered_set<Off> seen;
  return checksum_node(g_root, seen);
}

using HeapTest = Heap;

TEST_F(HeapTest, RandomGraphKeepsContentAcrossCollections) {
  std::mt19937 rng(12345);
  for (uint32_t i = 0; i < kSlots; i++) root_push(Cell{T_NONE, 0, 0, 0});
#ifdef XEB_GC_STRESS
  const int rounds = 120;  // every allocation collects here already
#else
  const int rounds = 1000;
#endif
  uint32_t compactions_before = collector::node_compactions;
  for (int round = 0; round < rounds; round++) {
    int ops = 20 + static_cast<int>(rng() % 60);
    for (int k = 0; k < ops; k++) {
      uint32_t slot = rng() % kSlots;
      switch (rng() % 4) {
        case 0: {  // new byte buffer, sometimes large
          int64_t len = (rng() % 16 == 0) ? 20000 + rng() % 60000 : rng() % 300;
          Node n = memory::alloc_bytes(len);
          SeriesBuf* b = buf_of(n);
          for (int64_t j = 0; j < len; j++) b->data()[j] = std::byte(rng());
          b->tail = b->head + static_cast<Off>(len);
          *root_cell(slot) = binary_cell(n);
          break;
        }
        case 1: {  // new block pointing at other slots' values
          int len = static_cast<int>(rng() % 10);
          Node n = memory::alloc_cells(len);
          *root_cell(slot) = block_cell(n);  // reachable before it fills
          for (int j = 0; j < len; j++) {
            Cell v = *root_cell(rng() % kSlots);
            *memory::alloc_tail_cell(buf_of(n)) = v;
          }
          break;
        }
        case 2: {  // grow an existing block past its capacity
          Cell* c = root_cell(slot);
          if (!is_type(c, T_BLOCK)) break;
          Node n = c->w2;
          for (int j = 0; j < 12; j++) {
            Cell* t = memory::alloc_tail_cell(buf_of(n));
            *t = Cell{T_INTEGER, 0, static_cast<uint32_t>(rng()), 0};
          }
          break;
        }
        default:  // drop
          *root_cell(slot) = Cell{T_NONE, 0, 0, 0};
      }
    }
    uint64_t before = checksum_root();
    collector::collect();
    ASSERT_EQ(before, checksum_root()) << "round " << round;
  }
  (void)compactions_before;
}

TEST_F(HeapTest, NodeCompactionKeepsContent) {
  // Fill two frames' worth of nodes, keep a few hundred in the second frame,
  // and let that frame stay unchanged long enough to be emptied.
  Node keep = memory::alloc_cells(0);
  root_push(block_cell(keep));
  std::vector<Node> all;
  collector::enabled = 0;
  for (int i = 0; i < 3 * memory::NODES_PER_FRAME; i++) all.push_back(memory::alloc_bytes(4));
  memory::NodeFrame* second = memory::node_frame(memory::node_frame(memory::state.first_node_frame)->next);
  ASSERT_NE(second, nullptr);
  int kept = 0;
  for (size_t i = 0; i < all.size(); i++) {
    if (second->holds(all[i]) && i % 40 == 0) {
      SeriesBuf* b = buf_of(all[i]);
      std::memcpy(b->data(), &i, 4);
      b->tail = b->head + 4;
      *memory::alloc_tail_cell(buf_of(keep)) = binary_cell(all[i]);
      kept++;
    }
  }
  uint64_t before = checksum_root();
  for (int i = 0; i < 10 && collector::node_compactions == 0; i++) collector::collect();
  EXPECT_GE(collector::node_compactions, 1u);
  EXPECT_EQ(before, checksum_root());
  // Every kept buffer is still reached through a live node in a live frame.
  for (uint32_t i = 0; i < buf_of(keep)->cell_count(); i++) {
    Node n = buf_of(keep)->cells()[i].w2;
    EXPECT_EQ(buf_of(n)->node, n);
  }
  EXPECT_EQ(kept, static_cast<int>(buf_of(keep)->cell_count()));
}

// A buffer whose node sits alone in a stable, sparse frame: the collection
// that growing (op 0) or copying (op 1) it runs may move its node, and the
// grown buffer must still be the one its reference reaches. A fixed buffer's
// node (op 2), which the runtime keeps in its own variables, never moves.
TEST_F(HeapTest, NodesHeldAcrossACollectionThatMovesNodes) {
  [[maybe_unused]] NodesStayInFrames picked;  // the test picks the one collection that moves nodes
  for (int op = 0; op < 3; op++) {
    begin_fresh_heap();
    collector::enabled = 0;
    Node keep = memory::alloc_cells(0);
    root_push(block_cell(keep));
    std::vector<Node> all;
    for (int i = 0; i < 2 * memory::NODES_PER_FRAME - 3; i++) all.push_back(memory::alloc_bytes(4));
    Node fixed = op == 2 ? memory::alloc_heap_series(1, 16, 0) : memory::alloc_bytes(4);
    ASSERT_EQ(memory::state.last_node_frame, memory::node_frame(memory::state.first_node_frame)->next);
    Node lone = 0;
    for (size_t i = 0; i < all.size(); i++) {
      // The first frame keeps every other buffer; the second keeps one.
      bool first = memory::node_frame(memory::state.first_node_frame)->holds(all[i]);
      if ((first && i % 2) || (!first && !lone && op < 2)) *memory::alloc_tail_cell(buf_of(keep)) = binary_cell(all[i]);
      if (!first && !lone) lone = all[i];
    }
    if (op == 2) {
      for (int i = 0; i < 9; i++) collector::collect();
      EXPECT_EQ(0u, collector::node_compactions);
      EXPECT_EQ(fixed, buf_of(fixed)->node);
      continue;
    }
    // Made big in place of its small buffer, keeping the node.
    SeriesBuf* b = memory::expand_series(buf_of(lone), memory::LARGEST_FRAME_SIZE);
    std::memcpy(b->data(), "abcd", 4);
    b->tail = b->head + 4;
    collector::enabled = 1;
    for (int i = 0; i < 7; i++) collector::collect();  // the frame's history turns stable
    ASSERT_EQ(0u, collector::node_compactions);
    uint32_t slot = buf_of(keep)->cell_count() - 1;
    // A big buffer's copy, or its growth where it cannot grow in place,
    // collects first; that collection, or the next, empties the second frame.
    if (op == 0) {
      memory::expand_series(buf_of(lone), 2 * memory::LARGEST_FRAME_SIZE);
    } else {
      Node copy = memory::copy_series(buf_of(lone));
      *memory::alloc_tail_cell(buf_of(keep)) = binary_cell(copy);
    }
    // Checked right after the operation, and again once the frame is gone.
    for (int pass = 0; pass < 2; pass++) {
      Node n = buf_of(keep)->cells()[slot].w2;
      ASSERT_EQ(n, buf_of(n)->node) << op;
      EXPECT_EQ(0, std::memcmp(buf_of(n)->head_ptr(), "abcd", 4)) << op;
      if (op == 0) {
        EXPECT_EQ(2 * memory::LARGEST_FRAME_SIZE, buf_of(n)->size);
      }
      if (op == 1) {
        EXPECT_EQ(0, std::memcmp(buf_of(buf_of(keep)->cells()[slot + 1].w2)->head_ptr(), "abcd", 4));
      }
      collector::collect();
    }
    EXPECT_EQ(1u, collector::node_compactions) << op;
  }
}

// One collection empties two frames, and the first one's nodes fill the
// current frame and spill into a sparse frame that the loop reaches next:
// that frame must not be emptied in turn (into itself, or leaving the nodes
// moved into it unrecorded).
TEST_F(HeapTest, FrameThatReceivedNodesIsNotEmptiedInTheSameCollection) {
#ifdef XEB_GC_STRESS
  struct Moves {
    bool saved = collector::stress_moves;
    Moves() { collector::stress_moves = false; }
    ~Moves() { collector::stress_moves = saved; }
  } moves;
#endif
  collector::enabled = 0;
  Node keep = memory::alloc_cells(0);
  root_push(block_cell(keep));
  // Nodes kept per frame: the current frame nearly full, then a sparse frame,
  // three busy ones, and a last, sparse one.
  const int kept_in[] = {9898, 4000, 6000, 6000, 6000, 500};
  std::vector<Node> all;
  for (int i = 0; i < 6 * memory::NODES_PER_FRAME - 2; i++) all.push_back(memory::alloc_bytes(4));
  std::vector<memory::NodeFrame*> frames;
  for (auto* f = memory::node_frame(memory::state.first_node_frame); f; f = memory::node_frame(f->next))
    frames.push_back(f);
  ASSERT_EQ(6u, frames.size());
  int taken[6] = {};
  for (size_t i = 0; i < all.size(); i++) {
    int fi = 0;
    while (!frames[fi]->holds(all[i])) fi++;
    if (taken[fi] == kept_in[fi]) continue;
    taken[fi]++;
    SeriesBuf* b = buf_of(all[i]);
    std::memcpy(b->data(), &i, 4);
    b->tail = b->head + 4;
    *memory::alloc_tail_cell(buf_of(keep)) = binary_cell(all[i]);
  }
  uint64_t before = checksum_root();
  for (int i = 0; i < 10 && collector::node_compactions == 0; i++) collector::collect();
  ASSERT_EQ(1u, collector::node_compactions);
  collector::collect();
  for (uint32_t i = 0; i < buf_of(keep)->cell_count(); i++) {
    Node n = buf_of(keep)->cells()[i].w2;
    ASSERT_EQ(n, buf_of(n)->node) << i;
  }
  EXPECT_EQ(before, checksum_root());
}

TEST_F(HeapTest, DeeplyNestedBlockSurvivesCollection) {
  collector::enabled = 0;  // build the chain without collecting on every link
  Node inner = memory::alloc_cells(1);
  root_push(block_cell(inner));
  Node cur = inner;
  const int depth = 1000000;
  for (int i = 1; i < depth; i++) {
    Node n = memory::alloc_cells(1);
    *memory::alloc_tail_cell(buf_of(cur)) = block_cell(n);
    cur = n;
  }
  *memory::alloc_tail_cell(buf_of(cur)) = Cell{T_INTEGER, 0, 42, 0};
  collector::collect();
  cur = root_cell(0)->w2;
  int seen = 1;
  while (is_type(buf_of(cur)->cells(), T_BLOCK)) {
    cur = buf_of(cur)->cells()->w2;
    seen++;
  }
  EXPECT_EQ(seen, depth);
  EXPECT_EQ(buf_of(cur)->cells()->w2, 42u);
}

TEST_F(HeapTest, CyclicBlockIsMarkedOnce) {
  Node n = memory::alloc_cells(2);
  Cell* r = root_push(block_cell(n));
  *memory::alloc_tail_cell(buf_of(n)) = block_cell(n);
  collector::collect();
  n = r->w2;  // the collection may have moved the node
  EXPECT_EQ(buf_of(n)->cells()->w2, n);
}

TEST_F(HeapTest, UnreachableBufferIsReclaimedAndItsNodeFreed) {
  [[maybe_unused]] NodesStayInFrames still;
  collector::enabled = 0;
  Node dead = memory::alloc_bytes(100);
  Node live = memory::alloc_bytes(100);
  root_push(binary_cell(live));
  memory::NodeFrame* f = memory::node_frame(memory::state.first_node_frame);
  int used = f->used;
  collector::collect();
  EXPECT_EQ(f->used, used - 1);
  EXPECT_NE(node_slot(dead), 0u) << "a freed node holds the free-list link";
  EXPECT_EQ(buf_of(live)->node, live);
}

TEST_F(HeapTest, NodeFramesHoldTenThousandNodes) {
  collector::enabled = 0;
  memory::NodeFrame* first = memory::node_frame(memory::state.first_node_frame);
  while (first->used < memory::NODES_PER_FRAME) memory::take_node();
  EXPECT_EQ(first->next, 0u);
  memory::take_node();  // the 10,001st node of this frame list
  EXPECT_NE(first->next, 0u);
  EXPECT_EQ(memory::node_frame(first->next)->used, 1);
}

TEST_F(HeapTest, BigBuffersGetTheirOwnFrame) {
  // Rounded size 2,097,136 (needed 2,097,160) is big; 2,097,120 still fits a 2 MB frame.
  Node big = memory::alloc_bytes(2097136);
  root_push(binary_cell(big));
  EXPECT_TRUE(buf_of(big)->flags & SER_BIG);
  Node fits = memory::alloc_bytes(2097120);
  EXPECT_FALSE(buf_of(fits)->flags & SER_BIG);
  EXPECT_EQ(memory::series_frame(memory::state.first_series_frame)->next != 0, true);
  collector::collect();
  EXPECT_NE(memory::state.first_big_frame, 0u);
  *root_cell(0) = Cell{T_NONE, 0, 0, 0};
  collector::collect();
  EXPECT_EQ(memory::state.first_big_frame, 0u) << "the frame of a dead big buffer is returned";
}

TEST_F(HeapTest, SeriesFrameSizesFollowTheLayout) {
  collector::enabled = 0;
  memory::SeriesFrame* first = memory::series_frame(memory::state.first_series_frame);
  EXPECT_EQ(first->end - first->data_start(), 1048576u);
  while (!memory::series_frame(memory::state.first_series_frame)->next) memory::alloc_bytes(100000);
  for (memory::SeriesFrame* f = memory::series_frame(memory::state.first_series_frame); f; f = memory::series_frame(f->next))
    if (f != first) {
      EXPECT_EQ(f->end - f->data_start(), 2097152u);
    }
}

TEST_F(HeapTest, ExpandMovesDataAndDropsTheOldBuffer) {
  // The node is read through its root cell after each call that allocates.
  Cell* r = root_push(binary_cell(memory::alloc_bytes(16)));
  SeriesBuf* b = buf_of(r->w2);
  std::memcpy(b->data(), "0123456789abcdef", 16);
  b->tail = b->head + 16;
  SeriesBuf* g = memory::expand_series(b, 0);
  EXPECT_EQ(g->size, 32);
  EXPECT_EQ(buf_of(r->w2), g);
  EXPECT_EQ(std::memcmp(g->data(), "0123456789abcdef", 16), 0);
  EXPECT_EQ(g->used(), 16u);
  // Tail allocation of more than the whole capacity grows to twice the request.
  std::byte* p = memory::alloc_tail(buf_of(r->w2), 100);
  (void)p;
  EXPECT_GE(buf_of(r->w2)->size, 200);
  collector::collect();
  EXPECT_EQ(std::memcmp(buf_of(r->w2)->head_ptr(), "0123456789abcdef", 16), 0);
}

TEST_F(HeapTest, ZeroSizedRequestsGetSixteenBytes) {
  EXPECT_EQ(buf_of(memory::alloc_bytes(0))->size, 16);
  for (int unit : {1, 2, 4}) EXPECT_EQ(buf_of(memory::alloc_string(0, unit))->size, 16);
}

TEST_F(HeapTest, DisabledCollectorMakesNewFrames) {
  collector::enabled = 0;
  uint32_t before = collector::collections;
  for (int i = 0; i < 40; i++) memory::alloc_bytes(100000);
  EXPECT_EQ(collector::collections, before);
}

TEST_F(HeapTest, MarkHooksKeepValuesAlive) {
  static Node hooked;
  hooked = memory::alloc_bytes(64);
  std::memset(buf_of(hooked)->data(), 0x5A, 64);
  static bool added = false;
  if (!added) {
    ASSERT_TRUE(collector::add_mark_hook([] { if (hooked) collector::mark_series(&hooked); }));
    added = true;
  }
  for (int i = 0; i < 3; i++) {
    memory::alloc_bytes(1000);
    collector::collect();
  }
  EXPECT_EQ(buf_of(hooked)->node, hooked);
  EXPECT_EQ(static_cast<uint8_t>(buf_of(hooked)->data()[63]), 0x5A);
  hooked = 0;
}

TEST_F(HeapTest, HandleIsReleasedOnceWhenItsValueDies) {
  static int released;
  released = 0;
  int kind = handles::register_kind("test", [](void*) { released++; });
  int obj = 0;
  Node blk = memory::alloc_cells(1);
  root_push(block_cell(blk));
  int32_t h = handles::store(&obj, static_cast<uint32_t>(kind));
  *memory::alloc_tail_cell(buf_of(blk)) = Cell{T_HANDLE, 0, 0, static_cast<uint32_t>(h)};
  collector::collect();
  EXPECT_EQ(released, 0);
  *root_cell(0) = Cell{T_NONE, 0, 0, 0};
  collector::collect();
  EXPECT_EQ(released, 1);
  collector::collect();
  EXPECT_EQ(released, 1);
  handles::remove(h, true);  // no longer in use: nothing happens
  EXPECT_EQ(released, 1);
  EXPECT_EQ(handles::store(&obj, 0), h) << "the freed index is reused once, not twice";
  EXPECT_NE(handles::store(&obj, 0), h);
}

TEST_F(HeapTest, HandleTableDoublesBeforeTheLastFreeEntry) {
  int obj;
  for (int i = 0; i < 999; i++) handles::store(&obj, 0);
  EXPECT_EQ(handles::capacity(), 1000);
  EXPECT_EQ(handles::store(&obj, 0), 999);
  EXPECT_EQ(handles::capacity(), 2000);
}

TEST_F(HeapTest, MemoryStatisticsFollowTheLayout) {
  root_push(block_cell(memory::alloc_cells(0)));
  Cell* out = root_cell(0);
  memory::stats(out, 2);
  Node res = root_cell(0)->w2;
  ASSERT_EQ(buf_of(res)->cell_count(), 5u);
  Cell nodes = buf_of(res)->cells()[0];
  Cell series = buf_of(res)->cells()[1];
  for (uint32_t i = 0; i < buf_of(nodes.w2)->cell_count(); i++) {
    Cell* t = buf_of(buf_of(nodes.w2)->cells()[i].w2)->cells();
    EXPECT_EQ(get_int(&t[0]) + get_int(&t[1]), get_int(&t[2]));
    EXPECT_EQ(get_int(&t[2]), 10000);
  }
  for (uint32_t i = 0; i < buf_of(series.w2)->cell_count(); i++) {
    Cell* t = buf_of(buf_of(series.w2)->cells()[i].w2)->cells();
    EXPECT_EQ(get_int(&t[0]) + get_int(&t[1]), get_int(&t[2]));
    EXPECT_EQ(get_int(&t[2]), i == 0 ? 1048576 : 2097152);
  }
  EXPECT_EQ(buf_of(buf_of(res)->cells()[2].w2)->cell_count(), 0u) << "no big frames";
  EXPECT_GT(memory::stats(nullptr, 1), 0.0);
}

TEST_F(HeapTest, RawArrays) {
  Node a = array::make(4, 4);
  root_push(binary_cell(a));
  EXPECT_EQ(array::length(a), 0);
  for (uint32_t i = 1; i <= 100; i++) array::append_int(a, i * 3);
  EXPECT_EQ(array::length(a), 100);
  EXPECT_EQ(array::pick_int(a, 5), 15u);
  EXPECT_EQ(array::find_int(a, 30), 36);
  EXPECT_EQ(array::find_int(a, 31), -1);
  array::remove_ptr(a, 31);
  EXPECT_EQ(array::length(a), 100);
  array::remove_ptr(a, 3);
  EXPECT_EQ(array::pick_int(a, 1), 6u);
  array::clear(a);
  EXPECT_EQ(array::length(a), 0);
}

// A block grows in place over the free pages right after it, keeping its
// bytes, and not over a block that lies there. Blocks larger than the warm
// pool holds come from fresh ranges, one after the other.
TEST_F(HeapTest, OsBlockGrowsInPlaceOnlyOverFreePages) {
  constexpr size_t kSize = size_t{80} << 20;
  Off a = region::os_alloc(kSize);
  Off b = region::os_alloc(kSize);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(b, a + region::block_size(a)) << "adjacent fresh blocks";
  std::memcpy(at(a), "abcd", 4);
  size_t first = region::block_size(a);
  EXPECT_FALSE(region::os_extend(a, 2 * kSize));
  EXPECT_EQ(region::block_size(a), first);
  size_t committed = region::committed();
  region::os_free(b);
  ASSERT_TRUE(region::os_extend(a, 2 * kSize));
  EXPECT_GE(region::block_size(a), 2 * kSize + 4);
  EXPECT_EQ(region::committed(), committed - first + (region::block_size(a) - first)) << "b out, a's growth in";
  EXPECT_EQ(std::memcmp(at(a), "abcd", 4), 0);
  at(a)[2 * kSize - 1] = std::byte{1};  // the new pages are writable
  region::os_free(a);
}

using HeapDeathTest = Heap;

TEST_F(HeapDeathTest, OversizedRequestIsOutOfMemory) {
  EXPECT_EXIT((dup2(2, 1), memory::alloc_series(int64_t{1} << 40, 16, 0)), ::testing::ExitedWithCode(94),
              "Runtime Error 94: out of memory");
  EXPECT_EXIT((dup2(2, 1), memory::alloc_series(0x10000000, 16, 0)), ::testing::ExitedWithCode(94), "out of memory");
}

}  // namespace
}  // namespace xeb::test
