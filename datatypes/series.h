// The abstract series type: the navigation, element access and in-place
// editing slots every series shares, whatever its unit width (1, 2 or 4
// bytes per character, 16 per cell). No value ever carries this type; block
// and string types inherit its slots.
//
// A series cell: w1 the head index (signed, in elements from the buffer's
// first used element), w2 the node, w3 a type-specific extra. A head may lie
// past the tail when the series was shortened through another reference.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "datatypes/error.h"
#include "datatypes/words.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/shapes.h"

namespace xeb::series {

// --- Cell access ---------------------------------------------------------

// The layout is the runtime's series shape (runtime/shapes.h).
inline SeriesBuf* buf(const Cell* s) { return buf_of(series_node(s)); }
inline Node node_of(const Cell* s) { return series_node(s); }
inline int32_t head(const Cell* s) { return series_head(s); }
inline void set_head(Cell* s, int32_t h) { set_series_head(s, h); }
inline uint32_t extra(const Cell* s) { return series_extra(s); }  // what the type keeps there
inline void set_extra(Cell* s, uint32_t e) { set_series_extra(s, e); }
// A position in a series of cells walked across calls that can allocate: the
// series cell stays where the caller rooted it (the data stack, whose cells
// never move) and every access re-reads the buffer through the node, so the
// walk survives a collection sliding the buffer. A cell pointer it answers is
// valid until the next allocation.
struct Cursor {
  const Cell* series;  // rooted for the cursor's life
  int32_t index;

  Cursor(const Cell* rooted, int32_t at) : series(rooted), index(at) {}
  int32_t tail() const { return static_cast<int32_t>(buf(series)->cell_count()); }
  bool at_tail() const { return index >= tail(); }
  Cell* cell() const { return buf(series)->cells() + index; }
  void next() { index++; }
};

// log2 of a unit of 1, 2, 4 or 16 bytes.
inline int log2_unit(int unit) { return unit >= 16 ? 4 : unit == 8 ? 3 : unit >> 1; }
inline int shift_of(const SeriesBuf* b) { return log2_unit(b->unit()); }

// Writes a series cell: the header last, so a cell under construction reads
// as unset!.
inline Cell* set_cell(Cell* c, TypeId t, Node n, int32_t h = 0, uint32_t extra = 0) {
  return make_series(c, t, n, h, extra);
}

// Whether a type keeps cells (block-like) or characters/bytes (string-like).
// Inline: the walks over a block ask it of every cell.
inline bool block_like(int t) {
  return t == T_BLOCK || t == T_PAREN || t == T_PATH || t == T_LIT_PATH || t == T_SET_PATH || t == T_GET_PATH ||
         t == T_HASH;
}
// string! file! url! tag! email! ref!
inline bool string_like(int t) {
  return t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL || t == T_REF;
}
// Every type whose cell is a series cell.
inline bool any_series(int t) {
  return block_like(t) || string_like(t) || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}

// --- Operations other modules use -----------------------------------------

bool xs_tail_q(const Cell* s);
int32_t buffer_length(const Cell* s);
// Moves the head by n unless that passes the tail; answers whether the
// position reached (or tried) is at or past the tail.
bool xs_skip(Cell* s, int32_t n);
// absolute: the whole length; else from the head, repairing a head past the
// tail (it is set to the tail).
int32_t get_length(Cell* s, bool absolute);
// at (base 1) and skip (base 0): the series is the result slot, the index
// the cell after it. Answers the new, clamped head.
int32_t get_index(int base);

// The element count a /part cell gives for s: an integer!, or a series of
// the same type sharing the buffer (its head minus s's head). Any other
// value raises invalid-refine-arg with the /part word.
int32_t part_count(const Cell* s, const Cell* part);

// sort's /part on a series of characters or elements: the count, after a
// negative count has moved s's head back over the elements it sorts (not
// below the buffer's first).
int32_t sort_part(Cell* s, const Cell* part);

// The refinements every series' sort reads alike, for n elements from the
// head: the record size /skip gives (1 without it), /all only with /skip, and
// /compare as a function or, with /skip and without /all, the offset in a
// record (0-based here) of the element that decides. An integer /compare with
// /all raises bad-refines; without /skip, bad-refines too when
// bare_offset_bad_refines, else invalid-refine-arg like any other value.
struct SortRefines {
  int32_t size = 1;
  int32_t offset = 0;
  Cell* func = nullptr;
};
SortRefines sort_refines(int32_t n, const Cell* skip, Cell* compare, bool all, bool bare_offset_bad_refines);

// --- Slots -----------------------------------------------------------------
// The stack-only ones work on the call's arguments base: base[0] is the
// series and the result slot, base[1] the argument when there is one.

void head_q();
void tail_q();
void index_q();
int length_q(Cell* s);
void head_();
void tail_();
void next();
void back();
void at();
void skip();
Cell* pick(Cell* s, int index, Cell* boxed);
Cell* poke(Cell* s, int index, Cell* data, Cell* boxed);
Cell* clear(Cell* s);
Cell* remove(Cell* s, Cell* part, Cell* key);
Cell* reverse(Cell* s, Cell* part, Cell* skip);
Cell* take(Cell* s, Cell* part, int deep, int last);
Cell* copy(Cell* s, Cell* result, Cell* part, int deep, Cell* types);
Cell* random(Cell* s, int seed, int secure, int only);
Cell* move(Cell* origin, Cell* target, int part);
Cell* reflect(Cell* s, int field_symbol);
Cell* modify(Cell* s, Cell* field, Cell* value, int case_);

// A path step by an integer! on any series: with a value, pokes it there;
// without, answers the picked value (none! out of range) pushed.
Cell* path_index(Cell* s, Cell* element, Cell* value);

// --- Errors and owner notices of the series modules ------------------------

// invalid-refine-arg naming the refinement, and errors of an integer!.
[[noreturn]] void fail_refine(words::W refinement, const Cell* value);
[[noreturn]] void fail_int_refine(words::W refinement, int32_t n);
[[noreturn]] void fail_int(Err id, int32_t n);
// A path step the series cannot take: the error names the path (none! when
// there is none) and the element.
[[noreturn]] void fail_path(Err id, const PathStep& step, const Cell* element);

// Owner notification: before (the action's word) and, when that found an
// owner, after (the past-tense word) each change. An edit measures its series
// (and a series argument it reads from, arg) before notify_before; when the
// owner's hook has since changed the length or width of either, notify_before
// raises invalid-obj-evt, so those measures hold after it. Buffers are still
// re-read through the node: the hook may have moved them.
enum class Notice { append, insert, change, clear, poke, put, remove, random, reverse, sort, swap, take, move, trim };
bool notify_before(const Cell* s, Notice n, const Cell* arg, int32_t index, int32_t count);
// Whether notices about s can reach an owner at all (a buffer flag): an edit
// that must measure its change before making it does so only then.
bool owned(const Cell* s);
void notify_after(const Cell* s, Notice n, const Cell* arg, int32_t index, int32_t count);

// Calls a sort/compare function with two values; set by the library's
// bridge, which marks the <compare-callback> frame and settles pending
// exits at that boundary. Answers the function's result, pushed on the data
// stack (the caller restores the top). Unset, sort/compare with a function
// raises not-done.
extern Cell* (*compare_call)(Cell* func, Cell* a, Cell* b);
// The answer of a /compare function called with the two records swapped
// (b, then a), as a comparator result of a against b: a logic true, a
// negative number or none puts a first.
int32_t swapped_answer(const Cell* r);

// vector! elements (element p from the buffer's first), set by its module.
extern Cell (*vector_get)(const Cell* v, int32_t p);
extern void (*vector_set)(const Cell* v, int32_t p, const Cell* value);

// The random generator's seam, set by its module: a number in 1..n, and
// reseeding.
extern int32_t (*random_range)(int32_t n, bool secure);
extern void (*random_seed)(uint32_t seed);

// Registers type 42.
void init();

}  // namespace xeb::series
