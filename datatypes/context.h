// Contexts: a word list (indexed by a word-kind hash table) paired with a
// value store. A context is the node of two cells: the context cell (kind,
// flags, word table, values) and the owner cell (the object or function that
// owns it). Heap contexts keep values in a cell array; stack contexts point
// into the running call's data-stack frame.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::context {

enum class Kind : uint32_t { plain = 0, function = 1, object = 2 };

constexpr int GLOBAL_SIZE = 4000;

void init();  // registers context!
void create_global();
void adopt_global();  // create_global but for the heap: the context a heap image brings
Node global();

// The two cells; valid until the next allocation.
inline Cell* cell(Node ctx) { return buf_of(ctx)->cells(); }
inline Cell* owner(Node ctx) { return buf_of(ctx)->cells() + 1; }
inline Kind kind_of(Node ctx) { return static_cast<Kind>((cell(ctx)->header & HDR_CTX_KIND_MASK) >> HDR_CTX_KIND_SHIFT); }
inline bool on_stack(Node ctx) { return cell(ctx)->header & HDR_CTX_ON_STACK; }
Node words_node(Node ctx);            // the word list block
Cell* words(Node ctx);                // first word cell
int32_t size(Node ctx);               // words in the list
Cell* values(Node ctx);               // first value cell, or null without a store
// The value store: 0 for none, a data-stack offset when on_stack, else a
// node.
inline uint32_t store_of(Node ctx) { return cell(ctx)->w2; }
// The first value cell of a context known to have a store.
inline Cell* store_values(Node ctx) { return buf_of(cell(ctx)->w2)->cells(); }
inline Cell* word_at(Node ctx, int32_t i) { return words(ctx) + i; }

// copy_from: a context whose word table is copied, or 0.
Node create(int32_t slots, bool stack, bool self, Node copy_from, Kind kind);
Node make_from_spec(const Cell* spec, bool stack, bool self, Kind kind);

int32_t find_word(Node ctx, int32_t sym, bool any_case);
// -1 when the word was missing and has just been added (its index in *index).
int32_t find_word_in(Node ctx, int32_t sym, bool any_case, int32_t* index);
int32_t add_word(Node ctx, const Cell* word);
void put(Node ctx, Cell* word, const Cell* value);
// Adds the word with the value; false (nothing changes) when present.
bool collect_word(Node ctx, const Cell* word, const Cell* value);
bool collect_set_words(Node ctx, const Cell* block);

// word and value must lie on the data stack or another root (hooks may run).
Cell* set_in(Cell* word, const Cell* value, Node ctx, bool fire);
Cell* set(Cell* word, const Cell* value);
Cell* get_in(Cell* word, Node ctx);
Cell* get(Cell* word);
Cell* get_symbol_value(int32_t sym, Node ctx);

// A word of the symbol bound in the global context (valid until the next
// allocation); while the load-copy flag is set, add_global_word answers a
// copy kept in the root block.
Cell* add_global(int32_t sym, bool any_case, bool keep_spelling);
Cell* add_global_word(int32_t sym);

int32_t bind_word(Node ctx, Cell* word);
void bind(const Cell* block, Node ctx, bool self);
// A deep copy of block (parens and paths too) pushed on the data stack, its
// words bound to ctx as bind(copy, ctx, false) would, in the one walk.
Cell* clone_bound(const Cell* block, Node ctx);
// Clones the context of an object or function cell (on a root) into a new
// one of the kind, stored into the cell; answers the new node.
Node clone(Cell* value, Kind kind);

}  // namespace xeb::context
