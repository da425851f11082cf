// Mark and slide. Marking follows an explicit work list of nodes whose cells
// remain to be scanned; sliding walks each series frame in address order and
// moves runs of live buffers down with one overlapping copy per run.
#include "runtime/collector.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/exit.h"
#include "runtime/stamp.h"

namespace xeb::collector {

int enabled = 0;
int collecting = 0;
int compaction_allowed = 1;
uint32_t collections = 0;
uint32_t node_compactions = 0;
#ifdef XEB_GC_STRESS
uint32_t stress_every = 0;
bool stress_moves = [] {
  const char* e = std::getenv("XEB_GC_STRESS_MOVES");
  return e && *e == '1';
}();
#endif

void (*mark_hashtable_hook)(Off*) = nullptr;
void (*sweep_handles_hook)() = nullptr;

namespace {

using memory::NodeFrame;
using memory::SeriesFrame;
using memory::state;

Hook mark_hooks[MAX_MARK_HOOKS];
int mark_hook_count = 0;
std::vector<Hook> root_markers;
std::vector<Hook> weak_sweepers;
std::vector<Hook> moved_fixers;
std::vector<Node> fixed_series;
std::vector<Node> work;      // nodes whose cells still have to be scanned
std::vector<Node> pending;   // nodes waiting to go back to their frames
constexpr size_t kPendingBatch = 20000;

// Moved-node map of one collection: open addressing, keys are old nodes.
// It is sized before each frame is emptied; when it cannot grow, compaction
// stops there so that no reference is left dangling.
struct MovedMap {
  Off* slots = nullptr;  // pairs: old, new
  uint32_t cap = 0;      // power of two
  uint32_t count = 0;
  bool active() const { return count != 0; }
  static uint32_t hash(Off k) {
    uint32_t h = k;
    h ^= h >> 16; h *= 0x85EBCA6Bu; h ^= h >> 13; h *= 0xC2B2AE35u; h ^= h >> 16;
    return h;
  }
  bool reserve(uint32_t more) {
    uint64_t want = uint64_t{count} + more;
    if (want * 2 <= cap) return true;
    uint32_t ncap = cap ? cap : 1024;
    while (uint64_t{ncap} < want * 2) ncap *= 2;
    Off* ns = static_cast<Off*>(std::calloc(size_t{ncap} * 2, sizeof(Off)));
    if (!ns) return false;
    Off* old = slots;
    uint32_t ocap = cap;
    slots = ns;
    cap = ncap;
    count = 0;
    for (uint32_t i = 0; i < ocap; i++)
      if (old[2 * i]) put(old[2 * i], old[2 * i + 1]);
    std::free(old);
    return true;
  }
  void put(Off k, Off v) {
    uint32_t i = hash(k) & (cap - 1);
    while (slots[2 * i]) i = (i + 1) & (cap - 1);
    slots[2 * i] = k;
    slots[2 * i + 1] = v;
    count++;
  }
  Off get(Off k) const {
    uint32_t i = hash(k) & (cap - 1);
    while (slots[2 * i]) {
      if (slots[2 * i] == k) return slots[2 * i + 1];
      i = (i + 1) & (cap - 1);
    }
    return 0;
  }
  void clear() {
    std::free(slots);
    slots = nullptr;
    cap = count = 0;
  }
} moved;

std::vector<NodeFrame*> node_frame_table;  // sorted by address

// One layout per type byte, packed for the marking loop: two bits per payload
// word (its Holds) and EXTRA when the type has a marker of its own. A cell
// whose code is 0 holds no reference and costs one load.
constexpr uint8_t EXTRA = 64;
uint8_t codes[256];
CellMarker extras[256];

inline void poison(std::byte* p, size_t n) {
#ifdef XEB_GC_STRESS
  std::memset(p, 0xDB, n);
#else
  (void)p; (void)n;
#endif
}

}  // namespace

void init() {
  collections = 0;
  node_compactions = 0;
  collecting = 0;
  compaction_allowed = 1;
  fixed_series.clear();
  pending.clear();
}

bool add_mark_hook(Hook h) {
  if (mark_hook_count >= MAX_MARK_HOOKS) return false;
  mark_hooks[mark_hook_count++] = h;
  return true;
}

void add_root_marker(Hook h) { root_markers.push_back(h); }
void remove_root_marker(Hook h) {
  root_markers.erase(std::remove(root_markers.begin(), root_markers.end(), h), root_markers.end());
}
void add_weak_sweeper(Hook h) { weak_sweepers.push_back(h); }
void add_moved_fixer(Hook h) { moved_fixers.push_back(h); }
void register_fixed(Node n) { fixed_series.push_back(n); }

void redirect(Off* ref) {
  if (moved.active() && *ref) {
    Off n = moved.get(*ref);
    if (n) *ref = n;
  }
}

bool mark_series(Off* ref) {
  redirect(ref);
  Node n = *ref;
  if (!n) return false;
  Off bo = node_slot(n);
  if (!bo) return false;
  SeriesBuf* b = at<SeriesBuf>(bo);
  if (b->flags & SER_MARK) return false;
  b->flags |= SER_MARK;
  return true;
}

void mark_node(Off* ref) {
  if (mark_series(ref) && buf_of(*ref)->unit() == 16) work.push_back(*ref);
}

// A context is the node of its two cells; scanning those cells marks the
// word table and the values (type 14) and the owner.
void mark_context(Off* ref) { mark_node(ref); }

void set_layout(int type, const Layout& l) {
  auto bits = [](Holds h) { return static_cast<uint8_t>(h); };
  codes[type & 0xFF] = static_cast<uint8_t>(bits(l.word1) | bits(l.word2) << 2 | bits(l.word3) << 4 | (l.extra ? EXTRA : 0));
  extras[type & 0xFF] = l.extra;
}

Layout layout_of(int type) {
  uint8_t code = codes[type & 0xFF];
  return Layout{static_cast<Holds>(code & 3), static_cast<Holds>(code >> 2 & 3), static_cast<Holds>(code >> 4 & 3),
                extras[type & 0xFF]};
}

static inline void mark_word(uint32_t holds, Off* ref) {
  if (!*ref) return;
  if (holds == static_cast<uint32_t>(Holds::cells)) mark_node(ref);
  else if (holds == static_cast<uint32_t>(Holds::series) || !mark_hashtable_hook) mark_series(ref);
  else mark_hashtable_hook(ref);
}

// The cell's references, its code being nonzero. The loops test the code
// first, so that cells holding no reference cost no call.
static void mark_refs(Cell* c, uint32_t code) {
  Off* words = payload(c);
  if (code == static_cast<uint32_t>(Holds::cells) << 2) {  // block-like cells, the most common
    if (words[1]) mark_node(words + 1);
    return;
  }
  if (code & 3) mark_word(code & 3, words);
  if (code & (3 << 2)) mark_word(code >> 2 & 3, words + 1);
  if (code & (3 << 4)) mark_word(code >> 4 & 3, words + 2);
  if (code & EXTRA) extras[c->header & HDR_TYPE_MASK](c);
}

void mark_cell(Cell* c) {
  uint32_t code = codes[c->header & HDR_TYPE_MASK];
  if (code) mark_refs(c, code);
}

void mark_cells(Cell* first, Cell* end) {
  for (Cell* c = first; c < end; c++) mark_cell(c);
}

static void drain() {
  while (!work.empty()) {
    Node n = work.back();
    work.pop_back();
    SeriesBuf* b = buf_of(n);
    // The buffer does not move while marking; cells are read in place.
    for (Cell* c = b->cells(), *e = b->cells_tail(); c < e; c++) {
      uint32_t code = codes[c->header & HDR_TYPE_MASK];
      if (code) mark_refs(c, code);
    }
  }
}

bool is_marked(Node n) { return n && node_slot(n) && (buf_of(n)->flags & SER_MARK); }
void clear_mark(Node n) { buf_of(n)->flags &= ~SER_MARK; }

static void build_node_frame_table() {
  node_frame_table.clear();
  for (NodeFrame* f = memory::node_frame(state.first_node_frame); f; f = memory::node_frame(f->next))
    node_frame_table.push_back(f);
  std::sort(node_frame_table.begin(), node_frame_table.end());
}

static void flush_pending() {
  if (pending.empty()) return;
  build_node_frame_table();
  std::sort(pending.begin(), pending.end());
  size_t fi = 0;
  for (Node n : pending) {
    while (fi < node_frame_table.size() && !node_frame_table[fi]->holds(n) &&
           off(node_frame_table[fi]) < n)
      fi++;
    if (fi < node_frame_table.size() && node_frame_table[fi]->holds(n))
      memory::release_node(node_frame_table[fi], n);
  }
  pending.clear();
}

void release_node(Node n) {
  if (!n) return;
  if (pending.size() >= kPendingBatch) flush_pending();
  pending.push_back(n);
}

// A frame holding the node of a fixed (heap) series is never emptied: the
// runtime keeps those nodes in its own variables, out of the collector's
// reach.
static bool holds_fixed(NodeFrame* f) {
  Off* s = f->slots();
  for (int i = 0; i < f->count; i++)
    if (s[i] && !f->holds(s[i]) && (at<SeriesBuf>(s[i])->flags & SER_HEAP)) return true;
  return false;
}

// Empties sparsely used node frames that have been stable for a while by
// moving their live nodes into frames with room. A frame that has taken
// nodes in this pass is not emptied in it: its nodes would move twice (the
// map records one step) or into the frame itself.
static void compact_nodes() {
  NodeFrame* cur = nullptr;
  for (NodeFrame* f = memory::node_frame(state.first_node_frame); f; f = memory::node_frame(f->next))
    if (f->free_head) { cur = f; break; }
  if (!cur) return;
  state.current_node_frame = off(cur);
  int64_t free_nodes = 0;
  for (NodeFrame* f = memory::node_frame(state.first_node_frame); f; f = memory::node_frame(f->next))
    if (f->free_head && !f->emptying) free_nodes += f->count - f->used;
  std::vector<NodeFrame*> receivers{cur};
  auto received = [&](NodeFrame* f) { return std::find(receivers.begin(), receivers.end(), f) != receivers.end(); };
  bool emptied = false;
  constexpr uint32_t kStable = (1u << (HISTORY_LENGTH + 1)) - 1;
  for (NodeFrame* f = memory::node_frame(state.last_node_frame); f; f = memory::node_frame(f->prev)) {
    if (f->emptying || received(f)) continue;
    if ((f->history & kStable) != kStable || f->used >= 5000 || free_nodes <= 10000) continue;
    if (holds_fixed(f)) continue;
    if (!moved.reserve(static_cast<uint32_t>(f->used))) break;  // cannot record the moves
    Off* s = f->slots();
    bool whole = true;
    for (int i = 0; i < f->count && whole; i++) {
      Off v = s[i];
      if (!v || f->holds(v)) continue;  // free slot
      NodeFrame* dst = memory::node_frame(state.current_node_frame);
      if (!dst->free_head || dst->emptying || dst == f) {
        dst = nullptr;
        for (NodeFrame* g = memory::node_frame(state.first_node_frame); g; g = memory::node_frame(g->next))
          if (g != f && g->free_head && !g->emptying) { dst = g; break; }
        // Not while more than 10,000 nodes are free; should it happen, the
        // frame keeps the nodes not yet moved and stays.
        if (!dst) { whole = false; break; }
        state.current_node_frame = off(dst);
        if (!received(dst)) receivers.push_back(dst);
      }
      Off nn = dst->free_head;
      dst->free_head = node_slot(nn);
      dst->used++;
      node_slot(nn) = v;
      at<SeriesBuf>(v)->node = nn;
      stamp::bump(nn);  // the series keeps no stamp a cache of the old node saw
      Off old = off(&s[i]);
      moved.put(old, nn);
      s[i] = 0;
      f->used--;
      emptied = true;
    }
    if (!whole) break;
    f->emptying = 1;
    free_nodes -= 10000;
  }
  if (emptied) node_compactions++;
}

#ifdef XEB_GC_STRESS
// Moving stress: every live node goes to a fresh frame and every old frame is
// emptied, so that a node held where the collector cannot correct it goes
// stale at once.
static void move_every_node() {
  Off last_old = state.last_node_frame;
  if (!last_old) return;
  NodeFrame* dst = memory::new_node_frame(memory::NODES_PER_FRAME);
  for (NodeFrame* f = memory::node_frame(state.first_node_frame);; f = memory::node_frame(f->next)) {
    if (holds_fixed(f)) {
      if (off(f) == last_old) break;
      continue;
    }
    if (!moved.reserve(static_cast<uint32_t>(f->used))) break;
    Off* s = f->slots();
    for (int i = 0; i < f->count; i++) {
      Off v = s[i];
      if (!v || f->holds(v)) continue;  // free slot
      if (!dst->free_head) dst = memory::new_node_frame(memory::NODES_PER_FRAME);
      Off nn = dst->free_head;
      dst->free_head = node_slot(nn);
      dst->used++;
      node_slot(nn) = v;
      at<SeriesBuf>(v)->node = nn;
      stamp::bump(nn);  // the series keeps no stamp a cache of the old node saw
      moved.put(off(&s[i]), nn);
      s[i] = 0;
      f->used--;
    }
    f->emptying = 1;
    if (off(f) == last_old) break;
  }
  state.current_node_frame = off(dst);
  node_compactions++;
}

// A frame holding a fixed series is never emptied, so its nodes never move:
// in the moving stress, new nodes must not go there, or the nodes made
// between two collections would stay put and a handle to one kept in a C++
// local would never go stale. Its free slots are dropped after each
// collection (they are never handed out again).
static void retire_fixed_frame_slots() {
  for (NodeFrame* f = memory::node_frame(state.first_node_frame); f; f = memory::node_frame(f->next))
    if (f->free_head && holds_fixed(f)) f->free_head = 0;
}
#endif

// Moves [from, from+len) down to dst and repoints every buffer in it.
static void move_run(Off dst, Off from, Off len) {
  if (dst == from) {
    for (Off p = from; p < from + len;) {
      SeriesBuf* b = at<SeriesBuf>(p);
      b->flags &= ~SER_MARK;
      p += static_cast<Off>(b->size) + SERIES_OVERHEAD;
    }
    return;
  }
  std::memmove(at(dst), at(from), len);
  Off delta = from - dst;
  for (Off p = dst; p < dst + len;) {
    SeriesBuf* b = at<SeriesBuf>(p);
    b->flags &= ~SER_MARK;
    b->head -= delta;
    b->tail -= delta;
    if (b->node) node_slot(b->node) = p;
    p += static_cast<Off>(b->size) + SERIES_OVERHEAD;
  }
}

static void slide_frame(SeriesFrame* f) {
  Off start = f->data_start();
  Off dst = start;
  Off p = start;
  Off heap = f->heap;
  SeriesFrame* lower = memory::series_frame(f->prev);
  while (p < heap) {
    SeriesBuf* b = at<SeriesBuf>(p);
    Off len = static_cast<Off>(b->size) + SERIES_OVERHEAD;
    if (!(b->flags & SER_MARK)) {
      if (b->node) release_node(b->node);
      p += len;
      continue;
    }
    Off q = p;
    while (q < heap && (at<SeriesBuf>(q)->flags & SER_MARK))
      q += static_cast<Off>(at<SeriesBuf>(q)->size) + SERIES_OVERHEAD;
    // Fill the lower frame's free space first, while it has plenty.
    while (p < q && lower && int64_t{lower->end} - lower->heap > memory::MIN_FREE_IN_FRAME) {
      Off r = p;
      while (r < q) {
        Off l = static_cast<Off>(at<SeriesBuf>(r)->size) + SERIES_OVERHEAD;
        if (int64_t{lower->heap} + (r - p) + l > int64_t{lower->end}) break;
        r += l;
      }
      if (r == p) break;
      move_run(lower->heap, p, r - p);
      lower->heap += r - p;
      p = r;
    }
    if (p < q) {
      move_run(dst, p, q - p);
      dst += q - p;
    }
    p = q;
  }
  poison(at(dst), heap - dst);
  f->heap = dst;
}

#ifdef XEB_GC_STRESS
// Moving stress, every other collection: the frame's buffers move up by one
// empty buffer laid below them, which the next collection drops, sliding
// them down again. So every buffer moves at every collection, not only those
// above garbage, and an address read before one and used after it reads the
// wrong bytes.
//
// It copies the whole heap, so it runs only at short intervals (under 16
// allocations, XEB_GC_STRESS_N overriding a test's), as in the runs meant to
// find such faults: over the whole suite at its longer interval it cost too
// much time.
static bool shifting() {
  static const uint32_t env_every = [] {
    const char* e = std::getenv("XEB_GC_STRESS_N");
    return e ? static_cast<uint32_t>(std::strtoul(e, nullptr, 10)) : 0u;
  }();
  uint32_t every = stress_every && env_every ? env_every : stress_every;
  return every && every < 16;
}

static void shift_frame(SeriesFrame* f) {
  Off start = f->data_start();
  Off len = f->heap - start;
  if (!len || int64_t{f->heap} + SERIES_OVERHEAD > int64_t{f->end}) return;
  move_run(start + SERIES_OVERHEAD, start, len);
  *at<SeriesBuf>(start) = SeriesBuf{0, 0, 0, 0, 0};
  f->heap += SERIES_OVERHEAD;
}
#endif

void collect() {
  if (collecting) return;
  collecting = 1;
  memory::count_move();
  if (compaction_allowed) {
#ifdef XEB_GC_STRESS
    if (stress_moves) move_every_node();
    else
#endif
      compact_nodes();
  }

  for (Hook h : root_markers) { h(); drain(); }
  for (int i = 0; i < mark_hook_count; i++) { mark_hooks[i](); drain(); }
  drain();

  if (moved.active())
    for (Hook h : moved_fixers) h();
  if (sweep_handles_hook) sweep_handles_hook();
  // A weak sweeper may mark what its surviving entries reach.
  for (Hook h : weak_sweepers) h();
  drain();

  for (SeriesFrame* f = memory::series_frame(state.first_series_frame); f;) {
    SeriesFrame* next = memory::series_frame(f->next);
    slide_frame(f);
    if (f->heap == f->data_start() && next) {
      memory::free_series_frame(f);
    } else {
#ifdef XEB_GC_STRESS
      if (stress_moves && (collections & 1) && shifting()) shift_frame(f);
#endif
    }
    f = next;
  }
  memory::sweep_big_frames();
  flush_pending();
  memory::update_node_frames();
#ifdef XEB_GC_STRESS
  if (stress_moves) retire_fixed_frame_slots();
#endif
  moved.clear();
  for (Node n : fixed_series) clear_mark(n);
  memory::after_collection();
  collections++;
  collecting = 0;
}

void collect_if_enabled() {
  if (enabled) collect();
}

}  // namespace xeb::collector
