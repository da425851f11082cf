// Hash tables: one open-addressing table (probes perturbed by the hash's
// high bits, two flag bits per bucket, load below 0.77) serving five purposes chosen by its kind. All
// of its buffers are series, reached through the table's one node, so they
// move and die with the collector like any other series.
//
// Operations that allocate switch node compaction off while they run, so a
// table never sees its own nodes move under it; buffers still move, and are
// re-read through their nodes after each allocation.
#pragma once
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::hashtable {

enum class Kind : int32_t {
  block = 0,  // index of a block's cells (find on blocks, hash!)
  map = 1,    // key index of a map!
  word = 2,   // word list of a context; the symbol table
  ptr = 3,    // records keyed by a 32-bit value
  node = 4,   // records keyed by a series node (the ownership table)
};

// The table record: the data of a 44-byte byte series.
struct Table {
  int32_t count;       // live entries (kind 0: buckets in use)
  int32_t indexes;     // kind 0: node of the per-cell bucket index; kinds 3-4: record size
  Node chains;         // kind 0: raw array of chain nodes (0 = freed chain)
  Node flags;          // two bits per bucket
  Node keys;           // one int32 per bucket
  Node blk;            // key block (kinds 0-2) or record block (3-4)
  int32_t n_occupied;  // live plus deleted buckets
  int32_t n_buckets;   // a power of two
  int32_t limit;       // n_occupied at which an insertion grows or cleans
  int32_t kind;
  int32_t stamp;       // 0, or node-compaction count + 1 at the last build
};
static_assert(sizeof(Table) == 44);

inline Table* table(Node t) { return reinterpret_cast<Table*>(buf_of(t)->head_ptr()); }

// Comparison op codes used here.
constexpr int OP_EQUAL = 0;
constexpr int OP_STRICT = 2;

// Services other modules fill in. Until they do, simple defaults serve:
// integers, chars, words by symbol id, strings and symbols by their text.
extern int (*compare)(const Cell* a, const Cell* b, int op);  // -1, 0, 1, or -2
extern int32_t (*resolve_symbol)(int32_t id);                  // canonical id of a spelling
extern void (*normalize_map_key)(Cell* key);                   // map keys as stored

// Making. size is the expected entry count; blk a block cell whose buffer is
// indexed (kinds 0-2) or null for a fresh one. extra: value cells per record
// (kinds 3-4); kind 2 with extra 2 copies the word table of blk, a context
// cell.
Node init(int32_t size, const Cell* blk, Kind kind, int extra);

// Kinds 0-2. key must lie in the key block. Answers the key cell (re-read:
// the block may have moved); status 2 when the table was rebuilt instead.
Cell* put(Node t, Cell* key);
Cell* put_key(Node t, Cell* key, int* status);
void put_all(Node t, int32_t start, int32_t step);

// Lookups. key is copied on entry and may live anywhere.
Cell* find(Node t, const Cell* key, int32_t from, int32_t skip, int op, bool last, bool reverse);
// The key's matches (op equal, kinds 1-2) one by one along its probe:
// *pos starts at -1; the three carry the probe from call to call.
Cell* find_next(Node t, const Cell* key, int32_t* pos, int32_t* end, int32_t* step);

// Index upkeep after series edits (kind 0 unless said).
void delete_key(Node t, const Cell* key);  // kinds 0 and 1
void remove_range(Node t, int32_t from, int32_t count);
int refresh_range(Node t, int32_t offset, int32_t from, int32_t count, bool move_indexes);  // 1: too many, rebuild
void move_range(Node t, int32_t to, int32_t from, int32_t count);
void rehash(Node t, int32_t size);
Node copy(Node t, Node new_blk);
void clear(Node t);
inline void destroy(Node) {}  // the collector frees tables

// Records (kinds 3-4): the first value cell of the key's record, or null.
// Valid until the next allocation.
Cell* put_ptr(Node t, uint32_t key);
Cell* get_ptr(Node t, uint32_t key);
Cell* remove_ptr(Node t, uint32_t key);

// Symbols and words (kind 2).
int32_t find_symbol(Node t, std::string_view name, bool any_case);  // 1-based id
int32_t find_word(Node t, int32_t symbol, bool any_case, Node context, int32_t* index);

// Hashes. Each type's module sets how its values hash, when it registers; a
// type that set nothing hashes to 0. Values that compare equal must hash
// alike. by_address: the hash stands for the value's identity (a series or
// context), while the comparison may look at contents, which can change
// after the value was indexed: kind-0 lookups of such values are left to a
// scan by the caller.
using Hasher = uint32_t (*)(const Cell* c, bool case_sensitive);
void set_hashing(int type, Hasher hash, bool by_address);
uint32_t hash_value(const Cell* c, bool case_sensitive);
bool address_keyed(const Cell* c);

// Building blocks for the types' hashers.
uint32_t murmur3(const void* bytes, size_t length);
uint32_t hash_pointer(uint32_t v);
uint32_t hash_symbol_name(std::string_view name);  // ASCII case folded
// Code points of 1, 2 or 4 bytes each; folded to upper case unless case_sensitive.
uint32_t hash_text(const std::byte* units, int unit, int32_t length, bool case_sensitive);
// Payload words first to first + count - 1 (1-based), as bytes.
uint32_t hash_words(const Cell* c, int first, int count);
// The hasher of a type that hashes payload word W as itself: neighbouring
// values take neighbouring buckets, so a run of keys shares cache lines
// (the probe's perturbation parts keys that agree in their low bits).
template <int W>
uint32_t by_value(const Cell* c, bool) { return payload(c)[W - 1]; }
// The hasher of a type that hashes payload word W as a 32-bit key.
template <int W>
uint32_t by_word(const Cell* c, bool) { return hash_pointer(payload(c)[W - 1]); }
// The hasher of a type that hashes payload words First to First + Count - 1
// as bytes.
template <int First, int Count>
uint32_t by_words(const Cell* c, bool) { return hash_words(c, First, Count); }

// Collector cooperation. mark takes the reference so a moved node is
// corrected in place. Kinds 0-3 are strong; kind 4 is weak: its keys and
// record cells are not marked, and sweep_records (run after marking) drops
// records whose key or owner died.
void mark(Node* ref);
void sweep_records(Node t);

}  // namespace xeb::hashtable
