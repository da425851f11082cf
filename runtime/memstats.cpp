#include "runtime/memstats.h"

#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/shapes.h"

namespace xeb::memory {

namespace {

// Per-frame overheads of the original layout: node-frame header, series-frame
// header, big-frame header.
constexpr int64_t kNodeFrameHeader = 36;
constexpr int64_t kSeriesFrameHeader = 20;
constexpr int64_t kBigFrameHeader = 12;

Node new_block() { return alloc_cells(4); }

void push_cell(Node blk, const Cell& c) { *alloc_tail_cell(buf_of(blk)) = c; }

void push_int(Node blk, int64_t v, bool new_line = false) {
  Cell c{T_UNSET, 0, 0, 0};
  if (v <= 2147483647) {
    c.header = T_INTEGER;
    set_int(&c, static_cast<int32_t>(v));
  } else {
    c.header = T_FLOAT;
    put_double(&c, static_cast<double>(v));
  }
  if (new_line) c.header |= HDR_NEW_LINE;
  push_cell(blk, c);
}

void push_block(Node outer, Node inner) {
  // New blocks start their line in the detail listing.
  push_cell(outer, Cell{T_BLOCK | HDR_NEW_LINE, 0, inner, 0});
}

Node triple(int64_t a, int64_t b, int64_t c) {
  Node n = new_block();
  push_int(n, a);
  push_int(n, b);
  push_int(n, c);
  return n;
}

}  // namespace

double stats(Cell* block, int mode) {
  int saved = collector::enabled;
  collector::enabled = 0;  // the walk allocates
  double result = 0;
  if (mode != 2) {
    int64_t sum = 0;
    for (NodeFrame* f = node_frame(state.first_node_frame); f; f = node_frame(f->next)) sum += int64_t{f->used} * 4;
    for (SeriesFrame* f = series_frame(state.first_series_frame); f; f = series_frame(f->next))
      sum += f->heap - f->data_start();
    for (Off o = state.first_big_frame; o; o = at<BigFrame>(o)->next) sum += at<BigFrame>(o)->needed;
    result = static_cast<double>(sum);
  } else {
    Node out = series_node(block);
    int64_t total = 0;
    Node nodes = new_block();
    for (NodeFrame* f = node_frame(state.first_node_frame); f; f = node_frame(f->next)) {
      push_block(nodes, triple(f->count - f->used, f->used, f->count));
      total += int64_t{f->count} * 4 + kNodeFrameHeader;
    }
    push_block(out, nodes);
    Node series = new_block();
    for (SeriesFrame* f = series_frame(state.first_series_frame); f; f = series_frame(f->next)) {
      push_block(series, triple(f->end - f->heap, f->heap - f->data_start(), f->end - f->data_start()));
      total += f->frame_size + kSeriesFrameHeader;
    }
    push_block(out, series);
    Node bigs = new_block();
    for (Off o = state.first_big_frame; o; o = at<BigFrame>(o)->next) {
      push_int(bigs, at<BigFrame>(o)->needed, true);
      total += at<BigFrame>(o)->needed + kBigFrameHeader;
    }
    push_block(out, bigs);
    push_int(out, total + state.heap_bytes);
    push_int(out, state.heap_bytes);
  }
  collector::enabled = saved;
  return result;
}

}  // namespace xeb::memory
