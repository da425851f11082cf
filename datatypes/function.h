// function! and routine!: [24|29 | attribute flags, context node, spec node,
// more node]; more is a 5-cell block: body, unset, compiled code, op cell,
// owner. Spec validation, local counting and the constructors.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace xeb::function {

// function! and routine!: word 1 the context, word 2 the spec, word 3 the
// more block (each a node of cells, or 0).
constexpr collector::Layout layout{collector::Holds::cells, collector::Holds::cells, collector::Holds::cells};

constexpr int MORE_CELLS = 5;

// Buffer flag of a block or paren of library code (the bodies of the
// library's functions): code that calls from there counts as compiled.
constexpr uint32_t SER_LIBRARY = 0x40000;
// Buffer flag of a library body fresh from the boot image, which its source
// hands to a function maker once and nothing else holds: push binds it where
// it lies instead of copying it (and clears the flag).
constexpr uint32_t SER_BOOT_BODY = 0x200000;
// Set only while the library's top level runs: no body is taken after.
inline bool take_boot_bodies = false;

// The payload of a function! or routine! cell.
inline Node context_of(const Cell* fn) { return fn->w1; }
inline Node spec_node(const Cell* fn) { return fn->w2; }
inline Node more_node(const Cell* fn) { return fn->w3; }

void init();
uint32_t validate(const Cell* spec);
// Modifies the spec; answers the collected words, pushed on the data stack.
Cell* collect_words(Cell* spec, const Cell* body);
int32_t count_locals(Node spec, int32_t start, bool strict);
void init_locals(int32_t n);
// Leaves the new function! on the data stack; answers its context node.
Node push(const Cell* spec, const Cell* body, Node ctx, int32_t code, int32_t owner, uint32_t flags);
Cell* more(const Cell* fn);  // first cell of the more block

}  // namespace xeb::function

namespace xeb::callable {
// Every callable cell (function!, routine!, native!, action!, op!) keeps its
// spec node in w2 and its more node in w3, so code that takes any of them
// reads these without a switch on the type.
inline Node spec_node(const Cell* f) { return f->w2; }
inline Node more_node(const Cell* f) { return f->w3; }
}  // namespace xeb::callable

namespace xeb::routine {
void init();
Cell* push(const Cell* spec, const Cell* body, int32_t code, int32_t integer, bool flag);
inline int get_arity(const Cell* r) { return static_cast<int>((r->header >> HDR_ARITY_SHIFT) & HDR_ARITY_MASK); }
}  // namespace xeb::routine
