// The garbage collector: precise mark and slide. It scans no native stack;
// its roots are the markers registered by the runtime's modules (root block,
// stacks, hash tables, lexer states) and the language-level mark hooks.
// Marking uses an explicit work list, so nesting depth never reaches the C++
// stack.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

namespace xeb::collector {

extern int enabled;             // 0 until the library's top level turns it on
extern int collecting;          // 1 while a collection runs
extern int compaction_allowed;  // node compaction; cleared during rehashes
extern uint32_t collections;
extern uint32_t node_compactions;
constexpr int HISTORY_LENGTH = 5;
constexpr int MAX_MARK_HOOKS = 100;

// Holds collections off for a scope: the only place where C++ code may keep
// a raw pointer into a series buffer across a call that can allocate (scans
// and sorts whose comparison slots may allocate). Elsewhere, walk with a
// position (series::Cursor) and re-read the buffer through the node.
struct NoCollection {
  int saved = enabled;
  NoCollection() { enabled = 0; }
  ~NoCollection() { enabled = saved; }
  NoCollection(const NoCollection&) = delete;
  NoCollection& operator=(const NoCollection&) = delete;
};

void init();  // counters 0
void collect();
void collect_if_enabled();
inline bool collecting_now() { return collecting != 0; }

// Defers node compaction while it lives. No native stack is scanned, so a
// node held in a C++ local is not corrected when compaction moves it: code
// that keeps one across a call that can allocate holds one of these.
struct KeepNodes {
  int saved = compaction_allowed;
  KeepNodes() { compaction_allowed = 0; }
  ~KeepNodes() { compaction_allowed = saved; }
  KeepNodes(const KeepNodes&) = delete;
  KeepNodes& operator=(const KeepNodes&) = delete;
};

using Hook = void (*)();
// Language-level mark hooks: at most 100; answers false when the list is full.
bool add_mark_hook(Hook h);
// Runtime roots (root block, stacks, tables...), marked before the hooks.
void add_root_marker(Hook h);
void remove_root_marker(Hook h);
// For a module that may start more than once (each test runtime): its
// marker is added at the first start only.
template <Hook H>
void add_root_marker_once() {
  static const bool added = (add_root_marker(H), true);
  (void)added;
}
// Runs after marking when node compaction moved nodes: correct references
// the collector does not mark (collector::redirect).
void add_moved_fixer(Hook h);
// Runs after marking, before sweeping: drop weak entries of dead series.
void add_weak_sweeper(Hook h);
// What each type's payload words hold, set by the type's own module when it
// registers: the collector knows no cell layout of its own. A cell whose type
// set no layout holds no reference.
enum class Holds : uint8_t {
  nothing,
  series,  // a series whose contents hold no references (marked, not scanned)
  cells,   // a series of cells (marked and scanned), or 0
  table,   // a hash table (mark_hashtable_hook marks its buffers), or 0
};
using CellMarker = void (*)(Cell* c);
struct Layout {
  Holds word1 = Holds::nothing, word2 = Holds::nothing, word3 = Holds::nothing;
  CellMarker extra = nullptr;  // what the words alone cannot say (flags, handles)
};
void set_layout(int type, const Layout& layout);
Layout layout_of(int type);

extern void (*mark_hashtable_hook)(Off* table_ref);
extern void (*sweep_handles_hook)();

// Marking entry points, usable from markers and hooks. Each takes the address
// of a reference so a node moved by compaction is corrected in place.
bool mark_series(Off* ref);   // marks the buffer only; true when newly marked
void mark_node(Off* ref);     // the buffer and the cells in it
void mark_context(Off* ref);  // a context: table, values, owner
void mark_cells(Cell* first, Cell* end);
void mark_cell(Cell* c);
void redirect(Off* ref);      // corrects a reference without marking it
bool is_marked(Node n);       // during a collection, after marking
void clear_mark(Node n);
void release_node(Node n);

// Fixed (heap) series: their marks are cleared after each collection since no
// sweep visits them.
void register_fixed(Node n);

#ifdef XEB_GC_STRESS
// Collect every N buffer allocations (0 = never).
extern uint32_t stress_every;
// Move every node to a fresh frame at each collection that may move nodes
// (XEB_GC_STRESS_MOVES=1 in the environment).
extern bool stress_moves;
#endif

}  // namespace xeb::collector
