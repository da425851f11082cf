// The word family: word!, set-word!, lit-word!, get-word!, refinement! (and
// issue!, which shares the cell). Cell: [type, context node, symbol id, slot
// index or -1].
#pragma once
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/shapes.h"

namespace xeb {

inline bool any_word(TypeId t) { return t >= T_WORD && t <= T_REFINEMENT; }
inline bool any_word_or_issue(TypeId t) { return t >= T_WORD && t <= T_ISSUE; }
// word_symbol, word_index, word_context, set_word_context: runtime/shapes.h.

namespace word {

void init();
// Hash-table key hash of any word or issue!: spellings of one name alike.
uint32_t hash(const Cell* w, bool case_sensitive);  // registers word!, then the other four of the family

// A word bound in the global context; while the load-copy flag is set the
// answer is a copy kept in the root block, else valid until the next
// allocation.
Cell* load(std::string_view name);
Cell* make_at(int32_t sym, Cell* cell);
Cell* push_symbol(int32_t sym);
Cell* push(const Cell* word);
Cell* at(Node ctx, int32_t index);
Cell* push_in(Node ctx, int32_t index);
Cell* find_or_global(Node ctx, int32_t sym);  // valid until the next allocation
Cell* get(Cell* word);                        // pushes its value
Cell* get_in(Node ctx, int32_t index);
Cell* push_value_in(Node ctx, int32_t index);
void set();  // set-word evaluation over the current frame's arguments
void set_in(Node ctx, int32_t index);
void set_in_keep_old(Node ctx, int32_t index);
Cell* push_string(const Cell* word);
Cell* get_symbol(const Cell* word);
int scan_type(const Cell* word);

// Action slots, shared with issue!.
Cell* make(Cell* result, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);

// The loader of one value from text (the lexer); null until it exists.
extern void (*load_value_hook)(const Cell* str, Cell* out);
// The lexer's type scan of a spelling; null: every spelling is a word!.
extern int (*scan_type_hook)(std::string_view utf8);

}  // namespace word

namespace get_word {
Cell* push(const Cell* word);
Cell* push_in(Node ctx, int32_t index);
Cell* get(Cell* word);
}  // namespace get_word

namespace refinement {
Cell* push(const Cell* word);
Cell* push_in(Node ctx, int32_t index);
Cell* load(std::string_view name);
}  // namespace refinement

}  // namespace xeb
