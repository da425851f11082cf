// The cell shapes the runtime builds and reads itself: the symbol table makes
// symbol records and word cells, frames name their calls with words, the
// Unicode services convert strings, the statistics answer integers. Their
// payload layouts are defined here once; the datatype modules of these types
// read them through the same accessors, so that no other code depends on
// which payload word holds what.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb {

// --- Series cells: word 1 the head index (signed, in elements), word 2 the
// node, word 3 what the type keeps beside it (a string's conversion buffer).
inline Node series_node(const Cell* s) { return s->w2; }
inline int32_t series_head(const Cell* s) { return static_cast<int32_t>(s->w1); }
inline void set_series_head(Cell* s, int32_t h) { s->w1 = static_cast<uint32_t>(h); }
inline uint32_t series_extra(const Cell* s) { return s->w3; }
inline void set_series_extra(Cell* s, uint32_t e) { s->w3 = e; }
// Writes a series cell: the header last, so a cell under construction reads
// as unset!.
inline Cell* make_series(Cell* c, TypeId t, Node n, int32_t h = 0, uint32_t extra = 0) {
  begin_cell(c);
  c->w1 = static_cast<uint32_t>(h);
  c->w2 = n;
  c->w3 = extra;
  c->header = t;
  return c;
}

// --- Integers and chars: word 2 the value (get_int in cell.h reads it).
inline Cell make_integer(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
inline void set_int(Cell* c, int32_t v) { c->w2 = static_cast<uint32_t>(v); }

// --- Words (word! set-word! lit-word! get-word! refinement!, and issue!):
// word 1 the context bound to (0 for none), word 2 the symbol id, word 3 the
// slot index in the context's word table, or -1.
inline int32_t word_symbol(const Cell* w) { return static_cast<int32_t>(w->w2); }
inline int32_t word_index(const Cell* w) { return static_cast<int32_t>(w->w3); }
inline Node word_context(const Cell* w) { return w->w1; }
inline void set_word_context(Cell* w, Node ctx) { w->w1 = ctx; }
inline void set_word_index(Cell* w, int32_t i) { w->w3 = static_cast<uint32_t>(i); }
inline void set_word_symbol(Cell* w, int32_t sym) { w->w2 = static_cast<uint32_t>(sym); }
inline Cell* make_word_cell(Cell* w, TypeId t, Node ctx, int32_t sym, int32_t index) {
  begin_cell(w);
  w->w1 = ctx;
  w->w2 = static_cast<uint32_t>(sym);
  w->w3 = static_cast<uint32_t>(index);
  set_type(w, t);
  return w;
}

// --- Symbol records, the cells of the symbol table: word 1 the id of the
// spelling this one aliases (-1 for none), word 2 the name as a string!
// (made on first need, else 0), word 3 the node of the name's bytes.
inline int32_t symbol_alias(const Cell* s) { return static_cast<int32_t>(s->w1); }
inline Node symbol_string(const Cell* s) { return s->w2; }
inline void set_symbol_string(Cell* s, Node str) { s->w2 = str; }
inline Node symbol_name(const Cell* s) { return s->w3; }
inline void make_symbol(Cell* s, int32_t alias, Node name) {
  begin_cell(s);
  s->w1 = static_cast<uint32_t>(alias);
  s->w2 = 0;
  s->w3 = name;
  s->header = T_SYMBOL;
}

// --- Object cells (object! error! port!): word 1 the context. function!
// and routine! keep theirs in the same word.
inline Node object_context(const Cell* o) { return o->w1; }
inline void set_object_context(Cell* o, Node ctx) { o->w1 = ctx; }
inline Off* object_context_ref(Cell* o) { return &o->w1; }  // for the collector to correct

// --- Context cells, the first cell of a context's node: word 1 the word
// table, word 2 the value store (a node, or a data-stack offset while the
// context lives on the stack).
inline Off& context_store(Cell* ctx_cell) { return ctx_cell->w2; }
inline Node context_table(const Cell* ctx_cell) { return ctx_cell->w1; }

}  // namespace xeb
