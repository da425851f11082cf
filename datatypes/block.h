// Blocks: the cell-level storage primitives every block-like type (block!,
// paren!, the paths, hash!, the block of a map!) builds on, and the block!
// action slots: construction, text, comparison, search, editing, copying,
// sorting and the set operations.
//
// A block cell: w1 the head (cells from the buffer's first used cell, may lie
// past the tail), w2 the node of a unit-16 buffer, w3 the index table of a
// hash! (0 otherwise).
//
// Cell pointers answered here point into a buffer: they hold only until the
// next allocation, which may move every buffer. Arguments that are values
// are copied before anything allocates, so they may point into the block
// being changed.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace xeb::block {

// Block-like cells (block! paren! and the paths): word 2 is the node of the
// cells.
constexpr collector::Layout layout{collector::Holds::nothing, collector::Holds::cells, collector::Holds::nothing};

// --- Reading ---------------------------------------------------------------

inline SeriesBuf* buf(const Cell* b) { return buf_of(b->w2); }
inline int32_t head_of(const Cell* b) { return static_cast<int32_t>(b->w1); }
inline void set_head(Cell* b, int32_t h) { b->w1 = static_cast<uint32_t>(h); }

int32_t xs_length_q(const Cell* b);  // negative when the head is past the tail
Cell* xs_head(Cell* b);              // clamps a head past the tail, in the cell
Cell* xs_tail(const Cell* b);
bool xs_tail_q(const Cell* b);       // head exactly at the tail
Cell* xs_abs_at(const Cell* b, int32_t index);  // from the buffer's first used cell
bool xs_next(Cell* b);               // steps when before the tail; true at the tail

// --- Changing ----------------------------------------------------------------

SeriesBuf* xs_set_tail(Cell* b, int32_t n);
void xs_clear(Cell* b);
Cell* xs_append(Cell* b, const Cell* value);  // the new cell
Cell* xs_append_values(Cell* dst, const Cell* src);
void xs_remove_last(Cell* b);
Cell* insert_value(Cell* b, const Cell* value, bool advance, bool at_start);
Cell* insert_block(Cell* dst, const Cell* src);
// Stack forms: the result slot is the data stack's top cell.
void insert_value_last();  // the top value into the block just below it
void append_last();        // likewise, at the tail
Cell* append_arg();        // the cell above the result slot onto the block in it
// 1 when the removed cell was at or before the head, else 0.
int remove_value(Cell* b, const Cell* value, bool from_start);

// --- Searching -----------------------------------------------------------------

// The cell after the first word of the symbol (any word type but
// refinement!), or the fixed none cell. strict: the identical spelling.
Cell* select_word(Cell* b, const Cell* word, bool strict);
Cell* select_value(Cell* b, const Cell* value);

// --- Making --------------------------------------------------------------------

Cell* make_at(Cell* c, int32_t n);  // room for n cells (n < 0 gives 1)
// heap: the buffer lies outside the series frames and never moves.
Cell* make_fixed_at(Cell* c, int32_t n, bool heap);
// A new block at the parent's tail, or in the scratch cell with no parent.
Cell* make_in(Cell* parent, int32_t n);
Cell* make_fixed_in(Cell* parent, int32_t n);
Cell* push_only(int32_t n);  // an empty block on the data stack
Cell* push(const Cell* value);
// Called on the cells of each block a clone makes, as soon as they are
// copied and before their nested blocks are; it must not allocate.
struct CloneVisit {
  void (*fn)(Cell* cells, int32_t n, const void* arg);
  const void* arg;
};
// A copy pushed on the data stack; deep copies nested blocks, and with any
// also parens and paths.
Cell* clone(const Cell* b, bool deep, bool any, const CloneVisit* visit = nullptr);
// copy/types: copies in place the cells whose type is in types.
void copy_types(Cell* block, int32_t first, int32_t end, int32_t step, int deep, Cell* types);

// --- Text ----------------------------------------------------------------------

// The mold loop shared by every block-like mold (no brackets).
int mold_each(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int form_each(Cell* value, Cell* buffer, Cell* arg, int part);

// --- Slots of block! ---------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
Cell* find(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
           int last, int reverse, int tail, int match);
Cell* select(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
             int last, int reverse);
Cell* put(Cell* s, Cell* key, Cell* value, int case_);
Cell* insert(Cell* s, Cell* value, int part, int only, int dup, int last);
// append of one value with no /part or /dup, done at once when nothing
// watches the block (no owner, no index) and value is not spread; false
// otherwise, the block untouched.
bool append_plain(Cell* s, const Cell* value, int only);
Cell* change(Cell* s, Cell* value, int part, int only, int dup);
Cell* take(Cell* s, Cell* part, int deep, int last);
Cell* swap(Cell* s1, Cell* s2);
Cell* trim(Cell* s, int head, int tail, int auto_, int lines, int all, Cell* with);
Cell* copy(Cell* s, Cell* result, Cell* part, int deep, Cell* types);
Cell* sort(Cell* s, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable);

// unique union intersect exclude difference (op codes 8-12): operands at the
// arguments base (base[0], base[1]); the result replaces base[0].
void do_set_op(int case_, Cell* skip, int op);

// Sort flags: bit 0 reverse, bit 1 whole records, bits 2+ the record size
// (with bit 1) or the compared cell's offset in the record.
constexpr int SORT_REVERSE = 1;
constexpr int SORT_ALL = 2;
int32_t sort_compare(const void* a, const void* b, int op, int flags);

// Scans a string! into a block (to block! of a string); set by the lexer.
// Unset, that conversion raises not-done.
extern void (*scan_hook)(const Cell* str, Cell* out);

void init();  // registers block!

}  // namespace xeb::block
