// The memory manager: series buffers in node-addressed frames inside the
// managed region. Values hold nodes, never buffer addresses, so the collector
// can slide buffers and repoint only the node.
//
// Any allocation below may run the collector and move every buffer: across
// such a call, keep only nodes (or cells reachable from a root) and re-read
// buffer addresses through the node afterwards.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/region.h"

namespace xeb {

using Node = Off;  // offset of a node slot; the slot holds the buffer's offset

// Buffer flags.
constexpr uint32_t SER_UNIT_MASK = 0x1F;
constexpr uint32_t SER_IN_USE = 0x80000000;
constexpr uint32_t SER_NEW = 0x20000000;
constexpr uint32_t SER_MARK = 0x08000000;
constexpr uint32_t SER_BIG = 0x01000000;
constexpr uint32_t SER_HEAP = 0x00100000;

constexpr int SERIES_HEADER = 20;   // bytes of the header before the data
constexpr int SERIES_OVERHEAD = 24; // header plus the spare word after the data

struct SeriesBuf {
  uint32_t flags;
  Node node;     // owning node, 0 once replaced by a larger buffer
  int32_t size;  // bytes in the data area, a multiple of 16
  Off head;      // first used byte
  Off tail;      // one past the last used byte

  std::byte* data() { return reinterpret_cast<std::byte*>(this) + SERIES_HEADER; }
  std::byte* end() { return data() + size; }
  std::byte* head_ptr() { return at(head); }
  std::byte* tail_ptr() { return at(tail); }
  int unit() const { return static_cast<int>(flags & SER_UNIT_MASK); }
  uint32_t used() const { return tail - head; }
  Cell* cells() { return at<Cell>(head); }
  Cell* cells_tail() { return at<Cell>(tail); }
  uint32_t cell_count() const { return (tail - head) >> 4; }
};
static_assert(sizeof(SeriesBuf) == SERIES_HEADER);

inline Off& node_slot(Node n) { return *at<Off>(n); }
inline SeriesBuf* buf_of(Node n) { return at<SeriesBuf>(*at<Off>(n)); }

namespace memory {

// Counts the events that can move a buffer or repoint a node: collections,
// expansions and released nodes. A buffer address kept aside stays right
// while the count is unchanged.
extern uint32_t moves;

// One buffer address kept aside by its hottest reader (the evaluator's
// global word store), under the node it was read through: each event that
// counts in moves clears the key, so a key that matches means the address
// holds, in one comparison.
struct KeptCells {
  Node key = ~0u;  // no node lies there
  Cell* cells = nullptr;
};
extern KeptCells kept;
// The same for a running function's context, whose values lie on the data
// stack (which never moves): its node and its arguments' first cell. Every
// write of a function context's values pointer sets or clears it.
inline KeptCells kept_local;
inline void count_move() {
  moves++;
  kept.key = ~0u;
  kept_local.key = ~0u;
}

// Layout constants.
constexpr int NODES_PER_FRAME = 10000;
constexpr int64_t INITIAL_FRAME_SIZE = 1048576;
constexpr int64_t LARGEST_FRAME_SIZE = 2097152;  // also the big-buffer threshold
constexpr int64_t MIN_FREE_IN_FRAME = 52428;     // a frame with less room is passed over

struct NodeFrame {
  Off next, prev;
  int32_t count;
  Off free_head;
  int32_t used;
  uint32_t stamp;
  int32_t last_used;
  uint32_t history;
  int32_t emptying;
  Off* slots() { return reinterpret_cast<Off*>(this + 1); }
  bool holds(Off p) const {  // p points into this frame's slot area
    Off s = off(this + 1);
    return p >= s && p < s + static_cast<Off>(count) * 4;
  }
};
constexpr int NODE_FRAME_HEADER = 36;
static_assert(sizeof(NodeFrame) == NODE_FRAME_HEADER);

struct SeriesFrame {
  Off next, prev;
  int32_t frame_size;  // data area plus this header
  Off heap;            // first free byte
  Off end;             // one past the data area
  Off data_start() const { return off(this) + sizeof(SeriesFrame); }
};
constexpr int SERIES_FRAME_HEADER = 20;
static_assert(sizeof(SeriesFrame) == SERIES_FRAME_HEADER);

struct BigFrame {
  Off next;
  uint32_t zero;
  int32_t needed;  // buffer size + 24
  SeriesBuf* buffer() { return reinterpret_cast<SeriesBuf*>(this + 1); }
};
constexpr int BIG_FRAME_HEADER = 12;
static_assert(sizeof(BigFrame) == BIG_FRAME_HEADER);

struct State {
  int64_t total;  // bytes taken from the system, size words included
  Off first_node_frame, last_node_frame, current_node_frame;
  Off first_series_frame, current_series_frame, last_series_frame;
  int64_t initial_size, next_size, largest_size;
  Off first_big_frame;
  int64_t heap_bytes;  // fixed buffers and tables the runtime holds, 16 bytes bookkeeping each
};
extern State state;

void init();  // reserves the region and fills the state; idempotent per process
void after_collection();  // the collector's last step: sets the next collection's pace
// The pace itself, kept with a heap image: bytes allocated since the last
// collection, and the live bytes that one found.
struct Pace {
  int64_t allocated_since, budget;
};
Pace pace();
void set_pace(const Pace& p);
void reset_for_tests();  // frees every frame and fixed buffer, then init()

// Allocation entry points; n counts elements. Series requests whose byte
// size does not fit the 32-bit layout raise the internal no-memory error
// (runtime error 94 before language errors exist); fixed buffers end the
// process with runtime error 94.
SeriesBuf* alloc_buffer(int64_t n, int unit, int offset);
Node alloc_series(int64_t n, int unit, int offset);
Node alloc_heap_series(int64_t n, int unit, int offset);  // never moves
Node alloc_cell_buffer(int64_t n);
Node alloc_cells(int64_t n);
Node alloc_bytes(int64_t n);
Node alloc_string(int64_t n, int unit);
Node alloc_filled(int64_t n, uint8_t byte);
void set_flags(Node n, uint32_t mask);
SeriesBuf* expand(SeriesBuf* old, int64_t new_size);
SeriesBuf* expand_series(SeriesBuf* old, int64_t new_size);
SeriesBuf* expand_fill(SeriesBuf* old, int64_t new_size, uint8_t byte);
// Room for at least extra bytes after the tail, the data kept. A buffer that
// must grow takes at least twice its used bytes, so a run of appends copies
// each byte a bounded number of times; answers b when it already has room.
SeriesBuf* grow_tail(SeriesBuf* b, int64_t extra);
inline SeriesBuf* reserve_tail(SeriesBuf* b, int64_t extra) {
  if (extra <= int64_t{off(b->end())} - b->tail) [[likely]] return b;
  return grow_tail(b, extra);
}
Node copy_series(SeriesBuf* old);
void fill(std::byte* start, std::byte* end, uint8_t byte);

// Fixed, non-moving blocks for runtime tables (accounted in heap_bytes).
void* heap_alloc(size_t bytes);  // never null: out of memory ends the process
void free_heap(void* block);

// Tail allocation (cell primitives). Growing may move the buffer: the
// returned pointer is valid, the buffer must be re-read through its node.
Cell* alloc_tail_cell(SeriesBuf* s);
Cell* new_tail_cell(const Cell* block);  // on the buffer of a block-like cell
std::byte* alloc_tail(SeriesBuf* s, int64_t n);

// Internal operations shared with the collector.
Off take_node();
void release_node(NodeFrame* f, Off node);
void update_node_frames();
void sweep_big_frames();
void free_series_frame(SeriesFrame* f);
NodeFrame* new_node_frame(int count);
SeriesFrame* new_series_frame();
SeriesFrame* find_series_frame(int64_t needed);

inline NodeFrame* node_frame(Off o) { return o ? at<NodeFrame>(o) : nullptr; }
inline SeriesFrame* series_frame(Off o) { return o ? at<SeriesFrame>(o) : nullptr; }

}  // namespace memory
}  // namespace xeb
