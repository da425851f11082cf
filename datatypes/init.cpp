// Runtime init: every module of the runtime and the value model, built in
// the fixed order start-up depends on (parents registered before children,
// words only once the symbol table and global context exist). Steps whose
// modules do not exist yet keep their place as comments.
#include "datatypes/init.h"

#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/event.h"
#include "datatypes/function.h"
#include "datatypes/handle.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/issue.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/registry.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/money.h"
#include "datatypes/path.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/port.h"
#include "datatypes/tag.h"
#include "datatypes/time.h"
#include "datatypes/triple.h"
#include "datatypes/tuple.h"
#include "datatypes/url.h"
#include "datatypes/vector.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/casemap.h"
#include "runtime/cycle.h"
#include "runtime/sort.h"
#include "runtime/unicode.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/handles.h"
#include "runtime/hashtable.h"
#include "datatypes/print_hooks.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/region_kept.h"

namespace xeb::datatypes {

int load_copy = 0;

namespace {

Node root_block = 0;
XEB_KEPT_WITH_HEAP(root_block);
bool done = false;

void mark_roots() {
  if (root_block) collector::mark_node(&root_block);
  // The data stack's live cells and the contexts of the calls in progress.
  if (stack::bottom()) collector::mark_cells(stack::bottom(), stack::top());
  stack::mark_gc_frames();
  for (int id = 1; id <= datatype::highest; id++)
    if (is_type(&datatype::entries[id].word, T_WORD)) collector::mark_cell(&datatype::entries[id].word);
}

void make_type_word(int id) {
  Cell* w = word::load(datatype::entries[id].name);
  datatype::entries[id].word = *w;
}

void names_make_word(Cell* out, uint32_t sym, Node ctx) {
  if (!ctx) ctx = context::global();
  int32_t index = context::find_word(ctx, static_cast<int32_t>(sym), false);
  *out = Cell{T_WORD, ctx, sym, static_cast<uint32_t>(index)};
}

[[noreturn]] void raise_throw(ThrowError id, const Cell* arg) {
  fire(static_cast<Err>(static_cast<int32_t>(id) - 2), arg);
}

void print_uncaught(Cell* err) {
  Cell* saved = stack::top();
  Cell* e = stack::push(err);
  Cell* out = string::push_new(128);
  error::form(e, out, nullptr, actions::NO_LIMIT);
  if (print_hooks::ready()) {
    print_hooks::call_print(out, true);
  } else {
    std::string text = string::utf8_of(out);
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  stack::set_top(saved);
}

[[noreturn]] void raise_internal_error(InternalError e) {
  switch (e) {
    case InternalError::no_memory: fire(Err::no_memory);
    case InternalError::wrong_mem: fire(Err::wrong_mem);
    case InternalError::stack_overflow: fire(Err::stack_overflow);
    case InternalError::too_deep: fire(Err::too_deep);
  }
  fire(Err::not_done);
}

int compare_cells(const Cell* a, const Cell* b, int op) {
  Cell x = *a, y = *b;
  return actions::compare(&x, &y, op);
}

[[noreturn]] void raise_too_long() { fire(Err::too_long); }

[[noreturn]] void raise_invalid_utf8(std::span<const uint8_t> bytes) {
  Cell* bin = binary::make_at(stack::push_new(), static_cast<int32_t>(bytes.size()));
  std::byte* p = memory::alloc_tail(series::buf(bin), static_cast<int64_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  fire(Err::invalid_utf8, bin);
}

[[noreturn]] void raise_invalid_char(int64_t cp) {
  Cell i{T_INTEGER, 0, static_cast<uint32_t>(cp), 0};
  fire(Err::invalid_char, &i);
}

[[noreturn]] void raise_invalid_part(const Cell* part) {
  Cell w = words::word(words::W::part);
  Cell* wp = stack::push(&w);
  fire(Err::invalid_refine_arg, wp, part);
}

// A case change inside an owned string is reported to its owner.
void case_changed(const Cell* v, bool upper, int32_t index, int32_t count) {
  Cell* saved = stack::top();
  Cell* target = stack::push(v);
  Cell act = words::word(upper ? words::W::uppercase : words::W::lowercase);
  Cell* ap = stack::push(&act);
  ownership::check(target, ap, nullptr, index, count);
  stack::set_top(saved);
}

// The names the stacks report frames by, from the internal words.
void name_stack_words() {
  stack::names.body = static_cast<uint32_t>(words::sym(words::W::body_frame));
  stack::names.anon = static_cast<uint32_t>(words::sym(words::W::anon));
  stack::names.self = static_cast<uint32_t>(words::sym(words::W::self));
  stack::names.not_found = static_cast<uint32_t>(words::sym(words::W::not_found));
}

// Step 7: every datatype, each parent before its children.
void register_types() {
  datatype::init();
  unset::init();
  none::init();
  logic::init();
  series::init();
  block::init();
  string::init();
  binary::init();
  integer::init();
  symbol::init();
  context::init();
  word::init();  // word!, lit-word!, set-word!, get-word!, refinement!
  char_::init();
  native::init();
  action::init();
  op::init();
  path::init();  // path!, lit-path!, set-path!, get-path!
  function::init();
  routine::init();
  paren::init();
  issue::init();
  url::init();
  file::init();
  object::init();
  bitset::init();
  triple::init();
  float_::init();
  typeset::init();
  error::init();
  vector::init();
  hash::init();
  pair::init();
  percent::init();
  tuple::init();
  map::init();
  time::init();
  tag::init();
  email::init();
  handle::init();
  date::init();
  port::init();
  money::init();
  ref::init();
  point::init();  // point2D!, point3D!
  image::init();  // image!, with the handle kind of its bitmaps
  event::init();
}

}  // namespace

Node root() { return root_block; }

Cell* root_append(const Cell& c) {
  Cell v = c;
  Cell* slot = memory::alloc_tail_cell(buf_of(root_block));
  *slot = v;
  return slot;
}

bool initialised() { return done; }

void init_outside_heap() {
  static bool tables = false;
  if (tables) return;
  tables = true;
  load_copy = 1;
  print_hooks::init();
  // Platform start-up and the random generator: their modules come later.
  memory::init();
  handles::init();
  collector::mark_hashtable_hook = &hashtable::mark;
  collector::add_root_marker(mark_roots);
  register_types();
  // Step 8, the generic action entries: with the evaluator.
  // The roots and hooks of what build_heap makes, registered in the same
  // order on both paths.
  symbol::adopt_table();
  context::adopt_global();
  unicode::init_case_tables();
  datatype::make_word_hook = &make_type_word;
  stack::names.make_word = &names_make_word;
  ownership::adopt();
  error_hooks.raise_throw = &raise_throw;
  error_hooks.print_uncaught = &print_uncaught;
  raise_internal_hook = &raise_internal_error;
  hashtable::compare = &compare_cells;
  sort::raise_too_long = &raise_too_long;
  unicode::error_hooks.invalid_utf8 = &raise_invalid_utf8;
  unicode::error_hooks.invalid_char = &raise_invalid_char;
  unicode::error_hooks.invalid_part = &raise_invalid_part;
  unicode::case_change_hook = &case_changed;
  collector::add_moved_fixer(cycles::update_moved);
  externals::adopt();
  collector::init();
}

void build_heap() {
  if (done) return;
  done = true;
  memory::new_node_frame(memory::NODES_PER_FRAME);
  memory::new_series_frame();
  // Append-only: its room past the tail is never read, so it is not filled
  // (untouched room costs start-up no page).
  root_block = memory::alloc_cell_buffer(ROOT_CELLS);
  stack::Buffers b = stack::alloc_buffers();
  root_append(Cell{T_BINARY, 0, b.data, 0});
  root_append(Cell{T_BINARY, 0, b.calls, 0});
  stack::init();  // the stacks are needed by everything below
  symbol::create_table();
  context::create_global();
  datatype::make_words();
  words::init();
  name_stack_words();
  // Step 18, the natives, with the evaluator; step 19, parse's work stacks:
  // a later module.
  ownership::init();
  // Step 21, checksum and compression method words; step 22, the
  // process-call module: later modules.
  // Step 24, the lexer's tables, and steps 8, 18 and 26 (the action and
  // native tables, the interpreter's state and the built-in words) run with
  // their layers, after this: see start.cpp.
  // Step 25, the boot image, which defines the
  // error catalogue in the library; until it exists the catalogue is built
  // here from the same table.
  error::init_catalog();
  externals::init();
  // The stacks' buffers, made fixed, stay off the list of fixed series whose
  // marks a collection clears, as on a start from a heap image.
  collector::init();
}

void adopt_heap() {
  done = true;
  stack::init();
  name_stack_words();
}

void init() {
  init_outside_heap();
  build_heap();
}

}  // namespace xeb::datatypes
