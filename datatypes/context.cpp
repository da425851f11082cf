// Contexts: word lists bound to value stores. Invariant of heap contexts: the
// value array holds exactly one cell per word of the word list, in the same
// order, so a slot index addresses both.
#include "datatypes/context.h"

#include <optional>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/init.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "datatypes/error.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/hashtable.h"
#include "runtime/region_kept.h"
#include "runtime/stamp.h"
#include "runtime/shapes.h"
#include "runtime/stack.h"

namespace xeb::context {

namespace {

Node global_ctx = 0;
XEB_KEPT_WITH_HEAP(global_ctx);
Cell spelling_copy;  // answer of add_global for another spelling, after start-up

void mark_global() {
  if (global_ctx) collector::mark_context(&global_ctx);
}

Node table_of(Node ctx) { return cell(ctx)->w1; }

// The index of the word of sym (of any spelling when any_case); a word of
// sym added first when there is none, which the answer -1 tells. An added
// word keeps the heap invariant by appending a value. One probe serves both:
// where no spelling matches, the probe ends at the slot the new word takes.
int32_t find_or_add(Node ctx, int32_t sym, bool any_case, int32_t* index) {
  collector::KeepNodes keep;
  int32_t found = hashtable::find_word(table_of(ctx), sym, any_case, ctx, index);
  if (found < 0) {
    stamp::bump_bindings();  // a lookup by symbol may now find another slot
    if (!on_stack(ctx)) {
      Cell* v = memory::alloc_tail_cell(buf_of(cell(ctx)->w2));
      set_unset(v);
    }
  }
  return found;
}

// Adds a word of the symbol, known to be missing.
int32_t add_symbol(Node ctx, int32_t sym) {
  int32_t index = -1;
  find_or_add(ctx, sym, false, &index);
  return index;
}

}  // namespace

// Word 2 holds the value store: a node of cells, or a data-stack offset while
// the context lives on the stack (the stack's own marking reaches those).
void mark_store(Cell* c) {
  if (!(c->header & HDR_CTX_ON_STACK) && c->w2) collector::mark_node(&c->w2);
}

void init() {
  datatype::Registration r{T_CONTEXT, 0, "context!"};
  // Word 1 is the word table.
  r.marks({collector::Holds::table, collector::Holds::nothing, collector::Holds::nothing, &mark_store});
  datatype::register_type(r);
}

void adopt_global() { collector::add_root_marker_once<mark_global>(); }

void create_global() {
  adopt_global();
  global_ctx = 0;
  global_ctx = create(GLOBAL_SIZE, false, false, 0, Kind::plain);
}

Node global() { return global_ctx; }

Node words_node(Node ctx) { return hashtable::table(table_of(ctx))->blk; }
Cell* words(Node ctx) { return buf_of(words_node(ctx))->cells(); }
int32_t size(Node ctx) { return static_cast<int32_t>(buf_of(words_node(ctx))->cell_count()); }

Cell* values(Node ctx) {
  Cell* c = cell(ctx);
  if (!c->w2) return nullptr;
  if (c->header & HDR_CTX_ON_STACK) return at<Cell>(c->w2);
  return buf_of(c->w2)->cells();
}

Node create(int32_t slots, bool stack, bool self, Node copy_from, Kind kind) {
  collector::KeepNodes keep;
  if (slots <= 0) slots = 1;
  Node ctx = memory::alloc_cells(2);
  Cell* c0 = memory::alloc_tail_cell(buf_of(ctx));
  set_unset(c0);
  Cell* c1 = memory::alloc_tail_cell(buf_of(ctx));
  set_unset(c1);
  // The context cell stays unset! while its parts are made, so a collection
  // skips it; the parts are kept alive meanwhile on the data stack.
  Cell* saved = stack::top();
  Cell* hold = stack::push_new();
  *hold = Cell{T_BLOCK, 0, ctx, 0};
  Node tbl;
  if (copy_from) {
    Cell src = *cell(copy_from);
    tbl = hashtable::init(slots, &src, hashtable::Kind::word, 2);
  } else {
    tbl = hashtable::init(slots, nullptr, hashtable::Kind::word, 0);
  }
  cell(ctx)->w1 = tbl;
  Cell* htbl = stack::push_new();
  *htbl = Cell{T_CONTEXT, tbl, 0, 0};  // marks the table meanwhile
  uint32_t header = T_CONTEXT | (static_cast<uint32_t>(kind) << HDR_CTX_KIND_SHIFT);
  if (self) header |= HDR_CTX_SELF;
  if (stack) {
    header |= HDR_CTX_ON_STACK;
    cell(ctx)->w2 = 0;
  } else {
    Node vals = memory::alloc_cells(slots);
    htbl->w2 = vals;  // rooted from here on
    if (copy_from) {
      int32_t n = size(ctx);
      for (int32_t i = 0; i < n; i++) set_unset(memory::alloc_tail_cell(buf_of(htbl->w2)));
    }
    cell(ctx)->w2 = htbl->w2;
  }
  cell(ctx)->w3 = 0;
  cell(ctx)->header = header;
  stack::set_top(saved);
  return ctx;
}

Node make_from_spec(const Cell* spec, bool stack, bool self, Kind kind) {
  collector::KeepNodes keep;
  Node blk = series::node_of(spec);
  int32_t head = series::head(spec);
  int32_t len = static_cast<int32_t>(buf_of(blk)->cell_count()) - head;
  Node ctx = create(len, stack, self, 0, kind);
  Cell* saved = stack::top();
  Cell* hold = stack::push_new();
  *hold = Cell{T_OBJECT, ctx, 0, 0};  // marks the context node meanwhile
  Cell* keep_spec = stack::push(spec);
  for (int32_t i = head; i < static_cast<int32_t>(series::buf(keep_spec)->cell_count()); i++) {
    Cell item = series::buf(keep_spec)->cells()[i];
    TypeId t = type_of(&item);
    if (t == T_WORD || t == T_GET_WORD || t == T_LIT_WORD || t == T_REFINEMENT) {
      int32_t index;
      find_word_in(ctx, word_symbol(&item), true, &index);
    }
  }
  stack::set_top(saved);
  return ctx;
}

int32_t find_word(Node ctx, int32_t sym, bool any_case) {
  return hashtable::find_word(table_of(ctx), sym, any_case, 0, nullptr);
}

int32_t find_word_in(Node ctx, int32_t sym, bool any_case, int32_t* index) {
  return find_or_add(ctx, sym, any_case, index);
}

int32_t add_word(Node ctx, const Cell* word) {
  int32_t index;
  find_word_in(ctx, word_symbol(word), true, &index);
  return index;
}

void put(Node ctx, Cell* word, const Cell* value) {
  Cell v = *value;
  int32_t index = add_word(ctx, word);
  Cell* vals = values(ctx);
  if (!vals) return;
  if (!on_stack(ctx)) stamp::note_set(vals + index, &v);
  vals[index] = v;
}

bool collect_word(Node ctx, const Cell* word, const Cell* value) {
  if (find_word(ctx, word_symbol(word), true) >= 0) return false;
  Cell w = *word;
  put(ctx, &w, value);
  return true;
}

bool collect_set_words(Node ctx, const Cell* block) {
  collector::KeepNodes keep;
  int32_t before = size(ctx);
  Node blk = series::node_of(block);
  int32_t n = static_cast<int32_t>(buf_of(blk)->cell_count());
  int32_t head = series::head(block);
  if (head > n) head = n;
  Cell* saved = stack::top();
  Cell* hold = stack::push(block);
  for (int32_t i = head; i < static_cast<int32_t>(series::buf(hold)->cell_count()); i++) {
    Cell item = series::buf(hold)->cells()[i];
    if (is_type(&item, T_SET_WORD)) add_word(ctx, &item);
  }
  stack::set_top(saved);
  return size(ctx) > before;
}

Cell* set_in(Cell* word, const Cell* value, Node ctx, bool fire_hooks) {
  std::optional<collector::KeepNodes> keep(std::in_place);
  int32_t index = word_index(word);
  if (index < 0) {
    index = find_word(ctx, word_symbol(word), false);
    if (index < 0) find_word_in(ctx, word_symbol(word), true, &index);
    set_word_index(word, index);
  }
  Cell* vals = values(ctx);
  if (!vals) fire(Err::not_defined, word);
  if (on_stack(ctx)) return copy_cell(value, vals + index);
  stamp::note_set(vals + index, value);
  if (kind_of(ctx) == Kind::object) {
    word_at(ctx, index)->header |= HDR_CHANGED;
    Cell* own = owner(ctx);
    if (fire_hooks && type_of(own) != T_UNSET && object::hooks_of(own)) {
      Cell* saved = stack::top();
      Cell* obj = stack::push(own);
      Cell* w = stack::push(word);
      Cell* old = stack::push(values(ctx) + index);
      Cell* nv = stack::push(value);
      copy_cell(nv, values(ctx) + index);
      // The hook runs with nodes as free to move as the caller lets them
      // be: the context is read again through the object held here.
      keep.reset();
      object::fire_on_change(obj, w, old, nv);
      ctx = obj->w1;
      stack::set_top(saved);
      return values(ctx) + index;
    }
  }
  return copy_cell(value, vals + index);
}

Cell* set(Cell* word, const Cell* value) { return set_in(word, value, word_context(word), true); }

Cell* get_in(Cell* word, Node ctx) {
  int32_t index = word_index(word);
  if (index < 0) {
    if (words::ready() && symbol::resolve(word_symbol(word)) == symbol::resolve(words::sym(words::W::self)))
      return owner(ctx);
    fire(Err::no_value, word);
  }
  Cell* vals = ctx ? values(ctx) : nullptr;
  if (!vals) fire(Err::not_in_context, word);
  return vals + index;
}

Cell* get(Cell* word) { return get_in(word, word_context(word)); }

Cell* get_symbol_value(int32_t sym, Node ctx) {
  if (on_stack(ctx)) ctx = global_ctx;
  int32_t index = find_word(ctx, sym, false);
  if (index < 0) index = find_word(ctx, sym, true);
  return values(ctx) + index;
}

Cell* add_global(int32_t sym, bool any_case, bool keep_spelling) {
  collector::KeepNodes keep;
  Node g = global_ctx;
  int32_t index = find_word(g, sym, any_case);
  if (index >= 0) {
    Cell* entry = word_at(g, index);
    if (any_case && keep_spelling && word_symbol(entry) != sym) {
      Cell copy = *entry;
      set_word_symbol(&copy, sym);
      if (datatypes::load_copy) return datatypes::root_append(copy);
      // After start-up the copy is handed out, not kept: the root block
      // would otherwise grow with every differently spelled load.
      spelling_copy = copy;
      return &spelling_copy;
    }
    return entry;
  }
  index = add_symbol(g, sym);
  if (symbol::alias(sym) > 0) {
    int32_t shared = find_word(g, symbol::alias(sym), false);
    if (shared < 0) shared = find_word(g, sym, true);
    if (shared >= 0 && shared != index) set_word_index(word_at(g, index), shared);
  }
  return word_at(g, index);
}

Cell* add_global_word(int32_t sym) {
  Cell* w = add_global(sym, false, true);
  if (datatypes::load_copy) {
    Cell copy = *w;
    return datatypes::root_append(copy);
  }
  return w;
}

int32_t bind_word(Node ctx, Cell* word) {
  int32_t index = find_word(ctx, word_symbol(word), true);
  if (index >= 0) {
    set_word_context(word, ctx);
    set_word_index(word, index);
  }
  return index;
}

namespace {

// What one bind looks words up in. A context of a few words (a function's,
// most often) is searched through the canonical symbols of its words, listed
// once per bind; a larger one, up to a point, through a map from canonical
// symbol to word index filled for the bind and cleared after it; the largest
// (the global context) by probing its word table for each word. The first
// word of a symbol wins every way: a table holds them in order.
constexpr int32_t LISTED_WORDS = 16;
constexpr int32_t MAPPED_WORDS = 1024;
std::vector<int32_t> symbol_map;  // by canonical symbol id, -1 outside a bind

struct Binder {
  Node ctx;
  bool self;
  int32_t self_sym;
  int32_t listed = -1;  // words listed in canon, -1 when not listed
  int32_t canon[LISTED_WORDS] = {};
  uint64_t hint = 0;  // bit (symbol & 63) of each listed canonical symbol
  const int32_t* map = nullptr;

  // sym's index in the context, or -1; c is its canonical symbol.
  int32_t find(int32_t sym, int32_t c) const {
    if (listed >= 0) {
      // Most words of a body are not the function's own: one test rules
      // them out.
      if (!(hint >> (static_cast<uint32_t>(c) & 63) & 1)) return -1;
      for (int32_t i = 0; i < listed; i++)
        if (canon[i] == c) return i;
      return -1;
    }
    if (map) return map[c];
    return find_word(ctx, sym, true);
  }
};

// Fills symbol_map with a context's words; the destructor clears them again,
// whichever way the bind ends.
struct MappedWords {
  Node ctx;
  explicit MappedWords(Node c) : ctx(c) {
    size_t need = static_cast<size_t>(symbol::count()) + 1;
    if (symbol_map.size() < need) symbol_map.resize(need, -1);
    const Cell* w = words(ctx);
    for (int32_t i = 0, n = size(ctx); i < n; i++) {
      int32_t& slot = symbol_map[static_cast<size_t>(symbol::resolve(word_symbol(w + i)))];
      if (slot < 0) slot = i;
    }
  }
  ~MappedWords() {
    const Cell* w = words(ctx);
    for (int32_t i = 0, n = size(ctx); i < n; i++) symbol_map[static_cast<size_t>(symbol::resolve(word_symbol(w + i)))] = -1;
  }
};

[[gnu::always_inline]] inline void bind_word_in(Cell* c, TypeId t, const Binder& with) {
  int32_t sym = word_symbol(c), canon = symbol::resolve(sym);
  if (with.self && t == T_WORD && canon == with.self_sym) {
    set_word_context(c, with.ctx);
    set_word_index(c, -1);
  } else {
    int32_t index = with.find(sym, canon);
    if (index >= 0) {
      set_word_context(c, with.ctx);
      set_word_index(c, index);
    }
  }
}

// The binder's lookup, chosen once per walk rather than once per word.
enum class Lookup { listed, mapped, probed };

template <Lookup L>
[[gnu::always_inline]] inline int32_t find_as(const Binder& with, int32_t sym, int32_t c) {
  if constexpr (L == Lookup::listed) {
    if (!(with.hint >> (static_cast<uint32_t>(c) & 63) & 1)) return -1;
    for (int32_t i = 0; i < with.listed; i++)
      if (with.canon[i] == c) return i;
    return -1;
  } else if constexpr (L == Lookup::mapped) {
    return with.map[c];
  } else {
    return find_word(with.ctx, sym, true);
  }
}

// bind_in's walk. Nothing allocates in it, so the symbol records (records,
// the first one's cell) are read in place throughout.
template <Lookup L>
void bind_walk(Node blk, int32_t head, const Binder& with, const Cell* records) {
  if (cycles::find(blk)) return;
  cycles::push(blk);
  stamp::bump(blk);
  SeriesBuf* b = buf_of(blk);
  for (Cell *c = b->cells() + head, *e = b->cells_tail(); c < e; c++) {
    TypeId t = type_of(c);
    if (any_word(t)) {
      int32_t sym = word_symbol(c);
      int32_t alias = static_cast<int32_t>(records[sym - 1].w1);
      int32_t canon = alias > 0 ? alias : sym;  // as symbol::resolve
      if (with.self && t == T_WORD && canon == with.self_sym) {
        set_word_context(c, with.ctx);
        set_word_index(c, -1);
      } else {
        int32_t index = find_as<L>(with, sym, canon);
        if (index >= 0) {
          set_word_context(c, with.ctx);
          set_word_index(c, index);
        }
      }
    } else if (series::block_like(t)) {
      if (Node inner = series::node_of(c)) bind_walk<L>(inner, 0, with, records);
    }
  }
  cycles::pop();
}

void bind_in(const Cell* block, const Binder& with) {
  Node blk = series::node_of(block);
  if (!blk) return;
  const Cell* records = symbol::record(1);
  int32_t head = series::head(block);
  if (with.listed >= 0) bind_walk<Lookup::listed>(blk, head, with, records);
  else if (with.map) bind_walk<Lookup::mapped>(blk, head, with, records);
  else bind_walk<Lookup::probed>(blk, head, with, records);
}

// The clone visitor of clone_bound: the words of a fresh copy are bound; a
// hash! the copy shares is bound in place, as bind_in binds it; the other
// nested blocks are copies the clone visits in turn.
void bind_copied(Cell* cells, int32_t n, const void* arg) {
  const Binder& with = *static_cast<const Binder*>(arg);
  for (Cell *c = cells, *e = cells + n; c < e; c++) {
    TypeId t = type_of(c);
    if (any_word(t)) {
      bind_word_in(c, t, with);
    } else if (t == T_HASH) {
      Cell inner = *c;
      series::set_head(&inner, 0);
      bind_in(&inner, with);
    }
  }
}

// Runs f with a binder to ctx; the symbol map it may fill is cleared again
// whichever way f ends.
template <class F>
void with_binder(Node ctx, bool self, F&& f) {
  Binder with{ctx, self, words::ready() ? symbol::resolve(words::sym(words::W::self)) : -1};
  int32_t n = size(ctx);
  if (n <= LISTED_WORDS) {
    const Cell* w = words(ctx);
    for (int32_t i = 0; i < n; i++) {
      with.canon[i] = symbol::resolve(word_symbol(w + i));
      with.hint |= uint64_t{1} << (static_cast<uint32_t>(with.canon[i]) & 63);
    }
    with.listed = n;
  } else if (n <= MAPPED_WORDS) {
    MappedWords mapped(ctx);
    with.map = symbol_map.data();
    f(with);
    return;
  }
  f(with);
}

}  // namespace

// Allocates nothing: the block's cells are bound in place.
void bind(const Cell* block, Node ctx, bool self) {
  with_binder(ctx, self, [&](const Binder& with) { bind_in(block, with); });
}

Cell* clone_bound(const Cell* block, Node ctx) {
  Cell* copy = nullptr;
  with_binder(ctx, false, [&](const Binder& with) {
    block::CloneVisit visit{&bind_copied, &with};
    copy = block::clone(block, true, true, &visit);
  });
  return copy;
}

Node clone(Cell* value, Kind kind) {
  collector::KeepNodes keep;
  Node old = object_context(value);
  uint32_t h = cell(old)->header;
  Node ctx = create(size(old), h & HDR_CTX_ON_STACK, h & HDR_CTX_SELF, old, kind);
  for (Cell *w = words(ctx), *e = w + size(ctx); w < e; w++) set_word_context(w, ctx);
  set_object_context(value, ctx);
  return ctx;
}

}  // namespace xeb::context
