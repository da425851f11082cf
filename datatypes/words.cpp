// Internal words: interned once during runtime init, in a fixed order, and
// kept as symbol ids; word cells are rebuilt from them on demand so that no
// node is cached outside a collector root.
#include "datatypes/words.h"

#include "datatypes/context.h"
#include "datatypes/issue.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/region_kept.h"

namespace xeb::words {

namespace {

constexpr const char* kNames[] = {
#define XEB_X(id, text) text,
    XEB_INTERNAL_NAMES(XEB_X)
#undef XEB_X
};

int32_t ids[COUNT];
bool made = false;
XEB_KEPT_WITH_HEAP(ids);
XEB_KEPT_WITH_HEAP(made);

const char* text(W w) { return kNames[static_cast<int>(w)]; }

}  // namespace

void init() {
  for (W w : kSymbols) ids[static_cast<int>(w)] = symbol::make(text(w));
  for (W w : kGlobalWords) ids[static_cast<int>(w)] = word_symbol(context::add_global_word(symbol::make(text(w))));
  for (W w : kWords) ids[static_cast<int>(w)] = word_symbol(word::load(text(w)));
  for (W w : kRefinements) ids[static_cast<int>(w)] = word_symbol(refinement::load(text(w)));
  ids[static_cast<int>(W::ooo)] = word_symbol(issue::load(text(W::ooo)));
  // Names the object and error code need beyond the fixed lists.
  for (int i = 0; i < COUNT; i++)
    if (!ids[i]) ids[i] = symbol::make(kNames[i]);
  made = true;
}

bool ready() { return made; }

int32_t sym(W w) { return ids[static_cast<int>(w)]; }

Cell word(W w) {
  int32_t s = sym(w);
  Node g = context::global();
  int32_t index = context::find_word(g, s, false);
  return Cell{T_WORD, g, static_cast<uint32_t>(s), static_cast<uint32_t>(index)};
}

Cell refinement(W w) { return Cell{T_REFINEMENT, 0, static_cast<uint32_t>(sym(w)), static_cast<uint32_t>(-1)}; }

Cell issue(W w) {
  return Cell{T_ISSUE, context::global(), static_cast<uint32_t>(sym(w)), static_cast<uint32_t>(-1)};
}

bool is(int32_t symbol_id, W w) { return symbol::resolve(symbol_id) == symbol::resolve(sym(w)); }

}  // namespace xeb::words
