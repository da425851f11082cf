// Start-up of the library: each embedded source is loaded, its routine
// declarations are bound to the routine table by name, its top level runs,
// and the functions it defined are marked as library code.
#include "library/boot.h"

#include <string_view>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/init.h"
#include "datatypes/integer.h"
#include "datatypes/object.h"
#include "datatypes/port.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "lexer/load.h"
#include "library/bridge.h"
#include "evaluator/routines.h"
#include "library/routines.h"
#include "runtime/collector.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::library {

namespace {

std::span<char* const> args;
const char* program_path = nullptr;

std::span<const uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// `name: routine [spec]` becomes `name: routine [spec] <index>`: the builder
// bound to `routine` makes the routine! of that table entry. Nested blocks
// (object bodies) are walked too; `block` is a rooted cell.
void bind_routines(Cell* block, int32_t routine_sym) {
  int32_t i = block::head_of(block);
  for (;;) {
    // Up to the next block or set-word nothing allocates: the cells are read
    // in place, and again through the block after each step that can.
    SeriesBuf* b = block::buf(block);
    const Cell* cells = b->cells();
    int32_t n = static_cast<int32_t>(b->cell_count());
    while (i < n && !is_type(cells + i, T_BLOCK) && !is_type(cells + i, T_SET_WORD)) i++;
    if (i >= n) return;
    const Cell* c = cells + i;
    if (is_type(c, T_BLOCK)) {
      Cell* inner = stack::push(c);
      block::set_head(inner, 0);
      bind_routines(inner, routine_sym);
      stack::pop(1);
      i++;
      continue;
    }
    if (i + 2 >= n || !is_type(c + 1, T_WORD) || !is_type(c + 2, T_BLOCK) ||
        symbol::resolve(word_symbol(c + 1)) != routine_sym || (i + 3 < n && is_type(c + 3, T_INTEGER))) {
      i++;
      continue;
    }
    int32_t index = routines::find(symbol::name(word_symbol(c)));
    if (index < 0) {
      Cell name = *c;
      fire(Err::invalid_arg, &name);  // the source names a routine the table lacks
    }
    Cell* pos = stack::push(block);
    block::set_head(pos, i + 3);
    Cell code = integer::make_cell(index);
    block::insert_value(pos, &code, false, false);
    stack::pop(1);
    i += 4;  // past the spec and the index put after it
  }
}

// Flags a body's blocks and parens, nested ones too, as library code.
// Allocates nothing: the cells are read in place.
void flag_code(Node n) {
  SeriesBuf* b = buf_of(n);
  if (b->flags & function::SER_LIBRARY) return;
  b->flags |= function::SER_LIBRARY;
  for (const Cell *c = b->cells(), *e = b->cells_tail(); c < e; c++)
    if (is_type(c, T_BLOCK) || is_type(c, T_PAREN)) flag_code(series::node_of(c));
}

// Marks every function! reachable from the values of a context, through
// objects, as library code, its body flagged too. `seen` keeps each context
// to one visit.
void mark_library(Node ctx, std::vector<Node>& seen) {
  for (Node s : seen)
    if (s == ctx) return;
  seen.push_back(ctx);
  Cell* values = context::values(ctx);
  if (!values) return;
  int32_t n = context::size(ctx);
  for (int32_t i = 0; i < n; i++) {
    Cell* v = context::values(ctx) + i;
    if (is_type(v, T_FUNCTION)) {
      v->header |= HDR_LIBRARY;
      const Cell* body = function::more(v);
      if (is_type(body, T_BLOCK)) flag_code(series::node_of(body));
    }
    else if (is_type(v, T_OBJECT)) mark_library(object::context_of(v), seen);
  }
}

// The library's first statements: each datatype's word is set to its
// datatype! (symbol, context and the series parent have no word), and the
// logic and none constants.
void bind_datatype_words() {
  for (int id = 1; id <= datatype::highest; id++) {
    if (!datatype::entries[id].name || id == T_SYMBOL || id == T_CONTEXT || id == T_SERIES) continue;
    Cell* v = stack::push_new();
    *v = datatype::make_cell(id);
    context::set(word::load(datatype::entries[id].name), v);
    stack::pop(1);
  }
  // The constants that have no literal of their own.
  struct Constant {
    const char* name;
    Cell value;
  };
  static const Constant kConstants[] = {
      {"none", {T_NONE, 0, 0, 0}},  {"true", {T_LOGIC, 1, 0, 0}}, {"false", {T_LOGIC, 0, 0, 0}},
      {"yes", {T_LOGIC, 1, 0, 0}},  {"no", {T_LOGIC, 0, 0, 0}},   {"on", {T_LOGIC, 1, 0, 0}},
      {"off", {T_LOGIC, 0, 0, 0}},
  };
  for (const Constant& c : kConstants) {
    Cell* v = stack::push(&c.value);
    context::set(word::load(c.name), v);
    stack::pop(1);
  }
}

// `routine` itself: the builder routine, bound before any source runs.
void bind_builder() {
  Cell* spec = stack::push_new();
  set_unset(spec);
  lexer::transcode_bytes(bytes("spec [block!] code [integer!]"), spec);
  Cell* r = routine::push(spec, nullptr, routines::find("routine"), 0, false);
  context::set(word::load("routine"), r);
  stack::pop(2);
}

// The type predicates (integer?, block? ...): a routine! each, made from the
// predicate list, so that list alone names them.
void define_predicates() {
  Cell* shared = stack::push_new();
  set_unset(shared);
  lexer::transcode_bytes(bytes("value [any-type!]"), shared);
  for (const routines::Def& d : routines::predicate_routines()) {
    Cell* spec = block::clone(shared, true, false);  // each its own spec
    Cell* r = routine::push(spec, nullptr, routines::find(d.name), 0, false);
    context::set(word::load(d.name), r);
    stack::pop(2);
  }
  stack::pop(1);
}

}  // namespace

void set_command_line(int argc, char** argv) {
  program_path = argc > 0 ? argv[0] : nullptr;
  args = argc > 1 ? std::span<char* const>(argv + 1, argc - 1) : std::span<char* const>{};
}

std::span<char* const> arguments() { return args; }

const char* program() { return program_path; }

namespace {
BuildDate built;
bool built_known = false;
BuildGit built_from{};
}  // namespace

void set_build_info(const BuildDate& date, const BuildGit& git) {
  built = date;
  built_known = true;
  built_from = git;
}

const BuildDate* build_date() { return built_known ? &built : nullptr; }
const BuildGit* build_git() { return built_from.known ? &built_from : nullptr; }

void boot(const Cell* sources) {
  // On the data stack before anything allocates: the caller's cell is no
  // root, and a collection may move the node it names.
  Cell* list = stack::push(sources);
  series::compare_call = &compare;
  port::call_hook = &call;
  // From the library's top level on, collections may run (and must be safe).
  collector::enabled = 1;
#ifdef XEB_GC_STRESS
  // The stress build collects all through a whole program too, not only in
  // the tests that set an interval (XEB_GC_STRESS_N overrides it).
  if (!collector::stress_every) collector::stress_every = 64;
#endif
  datatypes::load_copy = 0;
  bind_datatype_words();
  bind_builder();
  define_predicates();
  int32_t routine_sym = symbol::resolve(symbol::make("routine"));
  Cell* mark = stack::top();
  for (int32_t i = 0, n = static_cast<int32_t>(block::buf(list)->cell_count()); i < n; i++) {
    Cell* code = stack::push(block::buf(list)->cells() + i);
    bind_routines(code, routine_sym);
    interpreter::eval_block(code, false);
    if (throwing()) return;  // nothing catches here: the top-level catch ends the process
    stack::set_top(mark);
  }
  std::vector<Node> seen;
  mark_library(context::global(), seen);
}

int launch() {
  Cell* console = stack::push(context::get(word::load("cli-console-ctx")));
  Cell* name = stack::push(word::load("launch"));
  if (!is_type(console, T_OBJECT)) return 0;  // a library without a console
  // The frame names the console's own launch, as a call written in the
  // language would: traces look the word up where it is bound.
  context::bind_word(object::context_of(console), name);
  Cell* fn = stack::push(object::get_field(console, name));
  call(name, fn);
  return 0;
}

}  // namespace xeb::library
