// Change stamps: what a cache of decoded code checks to know that what it
// was built from has not changed since.
//
// Series stamps. Every node carries a 32-bit stamp, kept in a side table
// indexed by the node's offset (not in the buffer, whose layout is fixed),
// so that reading it is one load from the node: of(n). A stamp is a value of
// one process-wide clock, taken afresh at each bump, so within one turn of
// the clock no two bumps give the same value, and "of(n) == seen" means that
// nothing bumped n since seen was read. The stamp lives with the node, not
// with the buffer: a collection sliding the buffer or an expansion replacing
// it keeps it; the collector moving the series to another node (node
// compaction) bumps the new node; a node taken for a new series is bumped, so
// a cache keyed by a node that died and was handed out again misses.
//
// The rule for every writer of a block's cells (any series of cells: block,
// paren, path and the word lists of contexts): the write goes through
// write_cells() (or bump()s the node after it, before anything can run the
// block), unless the block is fresh, made by the writer and not yet seen by
// any code that runs or caches it. Writes into other series (strings,
// binaries) need not bump; nothing caches them.
//
// The binding epoch. One process-wide counter, bumped by every change a
// cache leaning on a word's value could miss: a callable value (native,
// action, op, function, routine) written into, or overwritten in, the value
// store of a heap context (the global context, objects, plain contexts), and
// every change of a context's word list. A cache that resolved a word to a
// callable (its arity, its argument classes) or to "not callable" keeps
// bindings() and checks it in one load and one compare. A running function's
// values (on the data stack) are rewritten at every call and carry no epoch:
// a cache reads them each time and leans on nothing more than the word's
// own binding, which lies in the (stamped) block.
//
// Turning the clock. Both counters are 32-bit; when one wraps, every hook
// registered with on_wrap() runs first (a cache drops everything it keeps),
// so that no value seen before the wrap can match again by chance.
#pragma once
#include <cstdint>

#include "runtime/memory.h"
#include "runtime/types.h"

namespace xeb::stamp {

extern uint32_t* table;   // indexed by node >> 2; reserved once, committed on use
extern uint32_t clock;    // the last stamp handed out
extern uint32_t epoch;    // the binding epoch

void init();              // idempotent; memory::init() calls it
void wrapped();           // runs the wrap hooks; the counter restarts at 1
using Hook = void (*)();
void on_wrap(Hook h);

// The node's stamp: one load.
inline uint32_t of(Node n) { return table[n >> 2]; }

inline void bump(Node n) {
  uint32_t s = ++clock;
  if (s == 0) [[unlikely]] {
    wrapped();
    s = clock = 1;
  }
  table[n >> 2] = s;
}

// The one write path into a block's cells: bumps the node, then answers its
// first cell (valid until the next allocation, as buf_of(n)->cells()).
inline Cell* write_cells(Node n) {
  bump(n);
  return buf_of(n)->cells();
}

inline uint32_t bindings() { return epoch; }
inline void bump_bindings() {
  if (++epoch == 0) [[unlikely]] {
    wrapped();
    epoch = 1;
  }
}

inline bool callable(TypeId t) {
  return t == T_NATIVE || t == T_ACTION || t == T_OP || t == T_FUNCTION || t == T_ROUTINE;
}
// To be called by a write of new over old in a heap context's value store.
inline void note_set(const Cell* old, const Cell* nv) {
  if (callable(type_of(old)) || callable(type_of(nv))) [[unlikely]] bump_bindings();
}

}  // namespace xeb::stamp
