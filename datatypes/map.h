// map!: the associative array. An insertion-ordered block of key/value cell
// pairs with a hash index (a map-kind hash table) over the keys.
//
// Invariants: keys sit at even positions of the entry block, each followed
// by its value; a removed entry keeps its key (still indexed) and its value
// cell's header is 0, and every reader skips it; storing into a removed key
// revives it in place. The live count is the table's count. Keys are stored
// normalised: any word type as a set-word, text and binary keys as private
// copies.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"

namespace xeb::map {

// --- Cell access -------------------------------------------------------------

inline Node block_node(const Cell* m) { return m->w2; }
inline Node table_node(const Cell* m) { return m->w3; }
inline int32_t length(const Cell* m) { return hashtable::table(m->w3)->count; }
// The entry block's cells (key, value, key, value...); valid until the next
// allocation.
inline Cell* entries(const Cell* m) { return buf_of(m->w2)->cells(); }
inline uint32_t entry_cells(const Cell* m) { return buf_of(m->w2)->cell_count(); }
inline bool removed(const Cell* value) { return (value->header & HDR_TYPE_MASK) == 0; }

// Whether values of the type may be keys.
bool valid_key(int type);
// Normalises a key cell in place (see above); a key of another type raises
// invalid-path naming where and the key's datatype.
void normalize_key(Cell* key, const Cell* where);

// Writes into c a map over the block (its cells become the entries; a later
// duplicate key overwrites the earlier one's value and goes), or over a new
// empty block of room for size cells when block is null. Every key must be
// valid. Answers c.
Cell* make_at(Cell* c, const Cell* block, int32_t size);
// Index of the key's cell in the entry block, or -1. op: 0 equal, 2 strict,
// 9 same. Removed entries are found too.
int32_t find_key(const Cell* m, const Cell* key, int op);
// The value stored for the key (none! when absent or removed), pushed.
Cell* get(const Cell* m, const Cell* key, bool case_);
// Stores the value for the key, adding or reviving its entry; where names
// the path or value an invalid key's error reports.
void set(Cell* m, const Cell* key, const Cell* value, bool case_, const Cell* where);
// extend: every pair of the block (or the entries of a map) stored in order.
Cell* extend(Cell* m, const Cell* spec, bool case_);
// foreach over a map: moves the map's head past removed entries; answers
// whether an entry remains there.
bool skip_removed(Cell* m);
// A key as find, words-of and foreach give it back: a set-word as a word.
Cell shown_key(const Cell* key);

void init();

}  // namespace xeb::map
