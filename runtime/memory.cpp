// The memory manager: node frames, series frames laid with buffers end to
// end, big frames for buffers of 2 MB and more, fixed buffers in the region.
#include "runtime/memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "runtime/collector.h"
#include "runtime/exit.h"
#include "runtime/region_kept.h"
#include "runtime/shapes.h"
#include "runtime/stamp.h"

namespace xeb::memory {

State state;
uint32_t moves = 0;
KeptCells kept;

namespace {

constexpr int64_t round_up(int64_t a, int64_t b) { return (a + b - 1) & ~(b - 1); }

// Anything whose rounded size cannot be expressed in the 32-bit layout.
constexpr int64_t kMaxBytes = int64_t{0x7FFFFFFF} - 4096;

// n units of unit bytes go past kMaxBytes. The same test as
// n > kMaxBytes / unit, without a division on every allocation: once n is
// within kMaxBytes the product cannot overflow.
bool too_big(int64_t n, int unit) { return n < 0 || unit <= 0 || n > kMaxBytes || n * unit > kMaxBytes; }

// The last of the region is kept back. Making the no-memory error may use
// all of it, so that the error is always made: without that, making it would
// itself run out and raise again, without end. The first error of a full
// region also opens a grace slice of it for whatever handles the error (a
// try, the console printing it and reading the next line), until a collection
// finds the use back below the kept part.
constexpr size_t kRegionBytes = size_t{1} << 32;
constexpr size_t kReserve = size_t{16} << 20;
constexpr size_t kGrace = size_t{4} << 20;  // a largest series frame and a node frame
bool grace_open = false;
bool making_no_memory = false;

void set_region_limit() {
  region::set_limit(making_no_memory ? kRegionBytes : kRegionBytes - kReserve + (grace_open ? kGrace : 0));
}

void* try_block(int64_t bytes) {
  Off o = region::os_alloc(static_cast<size_t>(bytes));
  if (!o) return nullptr;
  state.total += static_cast<int64_t>(region::block_size(o));
  return at(o);
}

// A frame's block. Where a collection may run (a new series or big frame,
// asked for by alloc_buffer), a full region is collected once before giving
// up: the pacing may have let garbage pile up to the region's end.
void* os_block(int64_t bytes, bool may_collect) {
  void* p = try_block(bytes);
  if (!p && may_collect && !making_no_memory) {
    collector::collect_if_enabled();
    p = try_block(bytes);
  }
  if (p) return p;
  if (making_no_memory) runtime_error(94);  // no room even to report it
  // A request of a frame's size that fails finds the region full; a larger
  // one may fail where smaller ones still fit.
  if (static_cast<size_t>(bytes) <= kGrace) grace_open = true;
  making_no_memory = true;
  set_region_limit();
  struct Done {
    ~Done() {
      making_no_memory = false;
      set_region_limit();
    }
  } done;  // the error is thrown: its making is over
  raise_internal(InternalError::no_memory);
}

void os_release(void* p) {
  state.total -= static_cast<int64_t>(region::block_size(off(p)));
  region::os_free(off(p));
}

#ifdef XEB_GC_STRESS
uint32_t stress_count = 0;
// A start from a heap image then collects at the same allocations as a
// start from the sources.
XEB_KEPT_WITH_HEAP(stress_count);
#endif

// Collection pacing. A full frame set alone does not start a collection:
// one runs only once as many bytes have been allocated since the last one as
// that one found alive. Collecting whenever the frames were full made each
// collection free only the slack of one frame while it marked and slid the
// whole live heap, so a growing heap cost time quadratic in its size.
int64_t allocated_since = 0;  // bytes of buffers allocated since the last collection
int64_t budget = 0;           // live bytes the last collection found

void collect_paced() {
  if (allocated_since >= budget) collector::collect_if_enabled();
}

}  // namespace

Pace pace() { return {allocated_since, budget}; }

void set_pace(const Pace& p) {
  allocated_since = p.allocated_since;
  budget = p.budget;
}

void after_collection() {
  int64_t live = 0;
  for (SeriesFrame* f = series_frame(state.first_series_frame); f; f = series_frame(f->next))
    live += int64_t{f->heap} - f->data_start();
  for (Off g = state.first_big_frame; g; g = at<BigFrame>(g)->next) live += at<BigFrame>(g)->needed;
  budget = live;
  allocated_since = 0;
  if (grace_open && region::committed() + kReserve < kRegionBytes) {
    grace_open = false;
    set_region_limit();
  }
}

void init() {
  stamp::init();
  region::init();
  if (!region::base) runtime_error(94);
  state = State{};
  allocated_since = budget = 0;
  state.initial_size = INITIAL_FRAME_SIZE;
  state.next_size = INITIAL_FRAME_SIZE;
  state.largest_size = LARGEST_FRAME_SIZE;
  grace_open = making_no_memory = false;
  set_region_limit();
}

NodeFrame* new_node_frame(int count) {
  auto* f = static_cast<NodeFrame*>(os_block(int64_t{count} * 4 + NODE_FRAME_HEADER, false));
  std::memset(f, 0, NODE_FRAME_HEADER);
  f->count = count;
  f->stamp = collector::collections;
  Off* s = f->slots();
  for (int i = 0; i < count - 1; i++) s[i] = off(&s[i + 1]);
  s[count - 1] = 0;
  f->free_head = off(&s[0]);
  Off fo = off(f);
  if (!state.first_node_frame) {
    state.first_node_frame = state.last_node_frame = state.current_node_frame = fo;
  } else {
    NodeFrame* last = node_frame(state.last_node_frame);
    last->next = fo;
    f->prev = state.last_node_frame;
    state.last_node_frame = fo;
  }
  return f;
}

Off take_node() {
  NodeFrame* f = node_frame(state.current_node_frame);
  if (!f || !f->free_head) {
    f = nullptr;
    for (NodeFrame* g = node_frame(state.first_node_frame); g; g = node_frame(g->next))
      if (g->free_head && !g->emptying) { f = g; break; }
    if (!f) f = new_node_frame(NODES_PER_FRAME);
    state.current_node_frame = off(f);
  }
  Off n = f->free_head;
  f->free_head = node_slot(n);
  node_slot(n) = 0;
  f->used++;
  stamp::bump(n);  // a cache keyed by this node when it held a dead series misses
  return n;
}

void release_node(NodeFrame* f, Off node) {
  count_move();
#ifdef XEB_GC_STRESS
  // The moving stress never hands a dead node's slot out again: while nodes
  // may not move, the next node made would take it, and a stale handle would
  // name that node instead of the 0 it finds here.
  if (collector::stress_moves) {
    node_slot(node) = 0;
    f->used--;
    return;
  }
#endif
  node_slot(node) = f->free_head;
  f->free_head = node;
  f->used--;
}

#ifdef XEB_GC_STRESS
// The moving stress keeps the frames it empties long before their memory goes
// back (a frame made next would often take the same addresses, and a stale
// handle would then name a node again by chance), unreadable meanwhile, so
// that a stale handle faults at once. A collection at every allocation
// empties a few frames each time: thousands of frames last some hundreds of
// collections, in address space only.
constexpr int kQuarantine = 4096;
struct Quarantined {
  NodeFrame* frame;
  size_t bytes;  // the block's, from its size word before it is sealed
};
Quarantined quarantine[kQuarantine];
int quarantine_next = 0;

static void seal(NodeFrame* f, size_t bytes) {
  std::byte* block = reinterpret_cast<std::byte*>(f) - 4;  // the size word leads the block
  madvise(block, bytes, MADV_DONTNEED);
  mprotect(block, bytes, PROT_NONE);
}

static void unseal_and_release(Quarantined& q) {
  if (!q.frame) return;
  mprotect(reinterpret_cast<std::byte*>(q.frame) - 4, q.bytes, PROT_READ | PROT_WRITE);
  std::memcpy(reinterpret_cast<std::byte*>(q.frame) - 4, &q.bytes, 4);  // the pages came back zeroed
  os_release(q.frame);
  q.frame = nullptr;
}

static void release_quarantine() {
  for (Quarantined& q : quarantine) unseal_and_release(q);
}
#endif

static void free_node_frame(NodeFrame* f) {
  Off fo = off(f);
  if (f->prev) node_frame(f->prev)->next = f->next; else state.first_node_frame = f->next;
  if (f->next) node_frame(f->next)->prev = f->prev; else state.last_node_frame = f->prev;
  if (state.current_node_frame == fo) state.current_node_frame = state.last_node_frame;
#ifdef XEB_GC_STRESS
  if (collector::stress_moves) {
    Quarantined& q = quarantine[quarantine_next];
    quarantine_next = (quarantine_next + 1) % kQuarantine;
    unseal_and_release(q);
    q = {f, region::block_size(fo)};
    seal(f, q.bytes);
    return;
  }
#endif
  os_release(f);
}

void update_node_frames() {
  bool current_set = false;
  NodeFrame* f = node_frame(state.first_node_frame);
  while (f) {
    NodeFrame* next = node_frame(f->next);
    if (f->used == 0 || f->emptying) {
      free_node_frame(f);
    } else {
      if (!current_set && f->used < f->count) {
        state.current_node_frame = off(f);
        current_set = true;
      }
      f->history = (f->history << 1) | (f->used == f->last_used ? 1u : 0u);
      f->last_used = f->used;
    }
    f = next;
  }
  if (!state.first_node_frame) state.current_node_frame = 0;
}

SeriesFrame* new_series_frame() {
  int64_t size = state.next_size;
  if (state.next_size < state.largest_size) state.next_size *= 2;
  auto* f = static_cast<SeriesFrame*>(os_block(size + SERIES_FRAME_HEADER, true));
  f->frame_size = static_cast<int32_t>(size + SERIES_FRAME_HEADER);
  f->heap = f->data_start();
  f->end = f->data_start() + static_cast<Off>(size);
  f->next = f->prev = 0;
  Off fo = off(f);
  if (!state.first_series_frame) {
    state.first_series_frame = state.last_series_frame = state.current_series_frame = fo;
    return f;
  }
  // Keep the list sorted by address.
  SeriesFrame* g = series_frame(state.first_series_frame);
  while (g && off(g) < fo) g = series_frame(g->next);
  if (!g) {
    f->prev = state.last_series_frame;
    series_frame(state.last_series_frame)->next = fo;
    state.last_series_frame = fo;
  } else {
    f->next = off(g);
    f->prev = g->prev;
    if (g->prev) series_frame(g->prev)->next = fo; else state.first_series_frame = fo;
    g->prev = fo;
  }
  return f;
}

SeriesFrame* find_series_frame(int64_t needed) {
  for (SeriesFrame* f = series_frame(state.first_series_frame); f; f = series_frame(f->next))
    if (int64_t{f->heap} + needed < int64_t{f->end}) return f;
  return nullptr;
}

void free_series_frame(SeriesFrame* f) {
  Off fo = off(f);
  if (f->prev) series_frame(f->prev)->next = f->next; else state.first_series_frame = f->next;
  if (f->next) series_frame(f->next)->prev = f->prev; else state.last_series_frame = f->prev;
  if (state.current_series_frame == fo) state.current_series_frame = state.last_series_frame;
  os_release(f);
}

static SeriesBuf* new_big_frame(int64_t needed) {
  auto* f = static_cast<BigFrame*>(os_block(needed + BIG_FRAME_HEADER, true));
  f->next = 0;
  f->zero = 0;
  f->needed = static_cast<int32_t>(needed);
  if (!state.first_big_frame) {
    state.first_big_frame = off(f);
  } else {
    BigFrame* g = at<BigFrame>(state.first_big_frame);
    while (g->next) g = at<BigFrame>(g->next);
    g->next = off(f);
  }
  return f->buffer();
}

void sweep_big_frames() {
  Off* link = &state.first_big_frame;
  while (*link) {
    BigFrame* f = at<BigFrame>(*link);
    SeriesBuf* b = f->buffer();
    if (b->flags & SER_MARK) {
      b->flags &= ~SER_MARK;
      link = &f->next;
    } else {
      if (b->node) collector::release_node(b->node);
      *link = f->next;
      os_release(f);
    }
  }
}

SeriesBuf* alloc_buffer(int64_t n, int unit, int offset) {
  // A size beyond the layout comes from a script's count (make, insert/dup):
  // a language error once errors can be raised, never the end of the process.
  if (too_big(n, unit)) raise_internal(InternalError::no_memory);
  int64_t size = round_up(n * unit, 16);
  int64_t needed = size + SERIES_OVERHEAD;
#ifdef XEB_GC_STRESS
  // XEB_GC_STRESS_N in the environment overrides the interval a test sets.
  static const uint32_t env_every = [] {
    const char* e = std::getenv("XEB_GC_STRESS_N");
    return e ? static_cast<uint32_t>(std::strtoul(e, nullptr, 10)) : 0u;
  }();
  uint32_t every = collector::stress_every && env_every ? env_every : collector::stress_every;
  if (every && ++stress_count >= every) {
    stress_count = 0;
    collector::collect_if_enabled();
  }
#endif
  SeriesBuf* b;
  uint32_t big = 0;
  allocated_since += needed;
  if (needed >= state.largest_size) {
    collect_paced();
    b = new_big_frame(needed);
    big = SER_BIG;
  } else {
    SeriesFrame* f = series_frame(state.current_series_frame);
    if (!f || int64_t{f->heap} + needed >= int64_t{f->end}) {
      f = find_series_frame(needed);
      if (!f) {
        collect_paced();
        f = find_series_frame(needed);
        if (!f || int64_t{f->end} - int64_t{f->heap} < MIN_FREE_IN_FRAME) {
          if (needed >= state.next_size) state.next_size = state.largest_size;
          f = new_series_frame();
        }
      }
    }
    state.current_series_frame = off(f);
    b = at<SeriesBuf>(f->heap);
    f->heap += static_cast<Off>(needed);
  }
  b->size = static_cast<int32_t>(size);
  b->flags = static_cast<uint32_t>(unit) | SER_IN_USE | big | SER_NEW;
  b->node = 0;
  b->head = b->tail = off(b->data()) + static_cast<Off>(offset);
  return b;
}

Node alloc_series(int64_t n, int unit, int offset) {
  SeriesBuf* b = alloc_buffer(n, unit, offset);
  Off bo = off(b);
  Node node = take_node();  // takes no frame space: the buffer cannot move
  at<SeriesBuf>(bo)->node = node;
  node_slot(node) = bo;
  return node;
}

Node alloc_heap_series(int64_t n, int unit, int offset) {
  if (too_big(n, unit)) runtime_error(94);
  int64_t size = round_up(n * unit, 16);
  Off o = region::os_alloc(static_cast<size_t>(size + SERIES_OVERHEAD));
  if (!o) runtime_error(94);
  state.heap_bytes += size + SERIES_OVERHEAD + 16;
  auto* b = at<SeriesBuf>(o);
  b->size = static_cast<int32_t>(size);
  b->flags = static_cast<uint32_t>(unit) | SER_IN_USE | SER_NEW | SER_HEAP;
  b->head = b->tail = off(b->data()) + static_cast<Off>(offset);
  Node node = take_node();
  b->node = node;
  node_slot(node) = o;
  collector::register_fixed(node);
  return node;
}

Node alloc_cell_buffer(int64_t n) { return alloc_series(n, 16, 0); }

Node alloc_cells(int64_t n) {
  Node node = alloc_series(n, 16, 0);
  SeriesBuf* b = buf_of(node);
  auto* c = reinterpret_cast<Cell*>(b->data());
  for (int32_t i = 0; i < b->size / 16; i++) c[i] = Cell{T_UNSET, 0, 0, 0};
  return node;
}

Node alloc_bytes(int64_t n) { return alloc_series(n == 0 ? 16 : n, 1, 0); }

Node alloc_string(int64_t n, int unit) {
  if (n == 0) n = 16 >> (unit >> 1);
  return alloc_series(n, unit, 0);
}

Node alloc_filled(int64_t n, uint8_t byte) {
  Node node = alloc_bytes(n);
  SeriesBuf* b = buf_of(node);
  std::memset(b->data(), byte, static_cast<size_t>(b->size));
  return node;
}

void set_flags(Node n, uint32_t mask) { buf_of(n)->flags |= mask; }

// Replaces the buffer by a larger one; answers the new buffer and, through
// old_out, where the old one lies after any collection the allocation ran.
static SeriesBuf* expand_impl(SeriesBuf* old, int64_t new_size, SeriesBuf** old_out) {
  int unit = old->unit();
  // Default growth doubles; an empty buffer gets room to start with.
  if (new_size == 0) new_size = old->size ? int64_t{old->size} * 2 : 16;
  if (new_size <= 0) raise_internal(InternalError::no_memory);
  Node node = old->node;
  collector::KeepNodes keep;  // node is read through after the allocation
  SeriesBuf* b = alloc_buffer((new_size + unit - 1) / unit, unit, 0);
  if (node) old = buf_of(node);  // a collection may have slid it
  uint32_t big = b->flags & SER_BIG;
  b->flags = (old->flags & ~(SER_BIG | SER_MARK | SER_HEAP)) | big;  // now in a frame
  b->node = node;
  b->tail = b->head + (old->tail - old->head);
  if (node) node_slot(node) = off(b);
  count_move();
  old->node = 0;
  old->flags &= ~SER_IN_USE;
  *old_out = old;
  return b;
}

SeriesBuf* expand(SeriesBuf* old, int64_t new_size) {
  SeriesBuf* o;
  return expand_impl(old, new_size, &o);
}

// A big buffer grows where it lies when the pages after its frame are free:
// no copy, no new frame, and its address holds (moves stays as it is).
static bool grow_big_in_place(SeriesBuf* b, int64_t new_size) {
  if (!(b->flags & SER_BIG) || !b->node || new_size <= 0) return false;
  int64_t size = round_up(int64_t{b->head} - off(b->data()) + new_size, 16);
  if (size > kMaxBytes) return false;
  if (size <= b->size) return true;
  auto* f = reinterpret_cast<BigFrame*>(reinterpret_cast<std::byte*>(b) - BIG_FRAME_HEADER);
  size_t before = region::block_size(off(f));
  if (!region::os_extend(off(f), static_cast<size_t>(size + SERIES_OVERHEAD + BIG_FRAME_HEADER))) return false;
  int64_t added = static_cast<int64_t>(region::block_size(off(f)) - before);
  state.total += added;
  allocated_since += size - b->size;
  f->needed = static_cast<int32_t>(size + SERIES_OVERHEAD);
  b->size = static_cast<int32_t>(size);
  return true;
}

SeriesBuf* expand_series(SeriesBuf* old, int64_t new_size) {
  if (grow_big_in_place(old, new_size)) return old;
  SeriesBuf* o;
  SeriesBuf* b = expand_impl(old, new_size, &o);
  // The old data area stays intact until the next sweep; no allocation runs
  // between here and the copy.
  int64_t n = o->end() - o->head_ptr();
  if (n > b->size) n = b->size;
  if (n > 0) std::memcpy(b->data(), o->head_ptr(), static_cast<size_t>(n));
  return b;
}

SeriesBuf* expand_fill(SeriesBuf* old, int64_t new_size, uint8_t byte) {
  int32_t old_size = old->size;
  SeriesBuf* b = expand_series(old, new_size);
  if (b->size > old_size) std::memset(b->data() + old_size, byte, static_cast<size_t>(b->size - old_size));
  return b;
}

SeriesBuf* grow_tail(SeriesBuf* b, int64_t extra) {
  int64_t used = b->used();
  int64_t need = used + extra;
  int64_t want = std::max(need, used * 2);
  if (want > kMaxBytes) want = std::max(need, kMaxBytes);  // past the limit: no-memory
  return expand_series(b, want);
}

Node copy_series(SeriesBuf* old) {
  Node on = old->node;
  int32_t size = old->size;
  collector::KeepNodes keep;  // on is read through after the allocation
  Node n = alloc_series(size, 1, 0);
  if (on) old = buf_of(on);
  SeriesBuf* b = buf_of(n);
  b->flags = (old->flags & ~(SER_BIG | SER_MARK | SER_HEAP)) | (b->flags & SER_BIG);
  uint32_t used = old->tail - old->head;
  b->tail = b->head + used;
  if (size) {
    int64_t len = old->end() - old->head_ptr();
    if (len > 0) std::memcpy(b->data(), old->head_ptr(), static_cast<size_t>(len));
  }
  return n;
}

void fill(std::byte* start, std::byte* end, uint8_t byte) {
  if (end > start) std::memset(start, byte, static_cast<size_t>(end - start));
}

void* heap_alloc(size_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) runtime_error(94);
  state.heap_bytes += static_cast<int64_t>(bytes) + 16;
  return p;
}

void free_heap(void* block) { std::free(block); }

std::byte* alloc_tail(SeriesBuf* s, int64_t n) {
  if (int64_t{s->tail} + n > int64_t{off(s->end())}) {
    int64_t want = n > s->size ? 2 * n : 0;
    s = expand_series(s, want);
  }
  std::byte* p = s->tail_ptr();
  s->tail += static_cast<Off>(n);
  return p;
}

Cell* alloc_tail_cell(SeriesBuf* s) {
  if (s->node) stamp::bump(s->node);  // a block that gains a cell has changed
  if (s->tail + 16 > off(s->end())) s = expand_series(s, 0);
  Cell* c = s->cells_tail();
  c->header = T_UNSET;
  s->tail += 16;
  return c;
}

Cell* new_tail_cell(const Cell* block) { return alloc_tail_cell(buf_of(series_node(block))); }

void reset_for_tests() {
  count_move();
#ifdef XEB_GC_STRESS
  release_quarantine();
#endif
  for (NodeFrame* f = node_frame(state.first_node_frame); f;) {
    NodeFrame* n = node_frame(f->next);
    os_release(f);
    f = n;
  }
  for (SeriesFrame* f = series_frame(state.first_series_frame); f;) {
    SeriesFrame* n = series_frame(f->next);
    os_release(f);
    f = n;
  }
  for (Off o = state.first_big_frame; o;) {
    Off n = at<BigFrame>(o)->next;
    os_release(at(o));
    o = n;
  }
  init();
}

}  // namespace xeb::memory
