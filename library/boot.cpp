// Start-up of the library: each embedded source is loaded, its routine
// declarations are bound to the routine table by name, its top level runs,
// and the functions it defined are marked as library code.
#include "library/boot.h"

#include <algorithm>
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
// (object bodies) are walked too, by node: the caller keeps nodes in place,
// and every block walked lies in a rooted source. Only an insertion
// allocates; the block's buffer is read again after one.
void bind_routines(Node blk, int32_t routine_sym) {
  int32_t i = 0;
  for (;;) {
    SeriesBuf* b = buf_of(blk);
    const Cell* cells = b->cells();
    int32_t n = static_cast<int32_t>(b->cell_count());
    while (i < n && !is_type(cells + i, T_BLOCK) && !is_type(cells + i, T_SET_WORD)) i++;
    if (i >= n) return;
    const Cell* c = cells + i;
    if (is_type(c, T_BLOCK)) {
      bind_routines(series::node_of(c), routine_sym);
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
    Cell* pos = stack::push_new();
    *pos = Cell{T_BLOCK, static_cast<uint32_t>(i + 3), blk, 0};
    Cell code = integer::make_cell(index);
    block::insert_value(pos, &code, false, false);
    stack::pop(1);
    i += 4;  // past the spec and the index put after it
  }
}

// The words whose uses the marking below knows, as canonical symbols.
struct Makers {
  int32_t func, function, has, does, context, make, object;
};

bool is_word_of(const Cell* c, int32_t sym) {
  return is_type(c, T_WORD) && symbol::resolve(word_symbol(c)) == sym;
}

// A word of the global context whose value there is a native.
bool global_native(const Cell* c) {
  if (word_context(c) != context::global()) return false;
  const Cell* v = context::values(context::global()) + word_index(c);
  return is_type(v, T_NATIVE);
}

// Marks the bodies a source hands to a function maker straight from where
// they are written, evaluated once: `func spec body`, `function spec body`,
// `has words body` and `does body` at the top level and in the specs of
// objects made there (`context [...]`, `make object! [...]`). Nothing but
// the source holds those blocks, so the function made from each takes it as
// its body without a copy. An object spec that sets one of these words for
// itself is left alone. Allocates nothing.
void mark_bodies(Node blk, const Makers& m, bool object_spec) {
  const Cell* c = buf_of(blk)->cells();
  const int32_t n = static_cast<int32_t>(buf_of(blk)->cell_count());
  if (object_spec) {
    for (int32_t i = 0; i < n; i++) {
      if (!is_type(c + i, T_SET_WORD)) continue;
      int32_t sym = symbol::resolve(word_symbol(c + i));
      if (sym == m.func || sym == m.function || sym == m.has || sym == m.does || sym == m.context || sym == m.make)
        return;
    }
  }
  auto block_at = [&](int32_t i) { return i < n && is_type(c + i, T_BLOCK) && series::head(c + i) == 0; };
  for (int32_t i = 0; i < n; i++) {
    if (!is_type(c + i, T_WORD) || word_context(c + i) != context::global()) continue;
    int32_t sym = symbol::resolve(word_symbol(c + i));
    int32_t body = -1;
    if (sym == m.func || sym == m.function || sym == m.has) {
      if (global_native(c + i) && block_at(i + 1) && block_at(i + 2)) body = i + 2;
    } else if (sym == m.does) {
      if (global_native(c + i) && block_at(i + 1)) body = i + 1;
    } else if (sym == m.context) {
      if (block_at(i + 1)) mark_bodies(series::node_of(c + i + 1), m, true);
    } else if (sym == m.make) {
      if (i + 1 < n && is_word_of(c + i + 1, m.object) && block_at(i + 2))
        mark_bodies(series::node_of(c + i + 2), m, true);
    }
    if (body >= 0) buf_of(series::node_of(c + body))->flags |= function::SER_BOOT_BODY;
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
    Cell* v = values + i;
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

namespace {

// The runtime switches the library's start-up turns on, whichever way its
// state came: run from the sources or taken from a heap image.
Cell* enter(const Cell* sources) {
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
  return list;
}

// Runs sources [from, to) of the list: each one's routine declarations bound
// first, the bodies its function makers take marked. False when an error
// nothing caught is on its way out.
bool run_sources(Cell* list, int32_t from, int32_t to) {
  int32_t routine_sym = symbol::resolve(symbol::make("routine"));
  auto canon = [](const char* name) { return symbol::resolve(symbol::make(name)); };
  const Makers makers{canon("func"), canon("function"), canon("has"), canon("does"),
                      canon("context"), canon("make"), canon("object!")};
  Cell* mark = stack::top();
  // Bodies are taken only while the sources run (and whichever way they end).
  struct Taking {
    Taking() { function::take_boot_bodies = true; }
    ~Taking() { function::take_boot_bodies = false; }
  } taking;
  for (int32_t i = from; i < to; i++) {
    Cell* code = stack::push(block::buf(list)->cells() + i);
    {
      collector::KeepNodes keep;
      bind_routines(series::node_of(code), routine_sym);
    }
    mark_bodies(series::node_of(code), makers, false);
    interpreter::eval_block(code, false);
    if (throwing()) return false;  // nothing catches here: the top-level catch ends the process
    stack::set_top(mark);
  }
  return true;
}

int32_t source_count(const Cell* list) { return static_cast<int32_t>(block::buf(list)->cell_count()); }

}  // namespace

namespace {

bool callable(const Cell* v) {
  return is_type(v, T_NATIVE) || is_type(v, T_ACTION) || is_type(v, T_OP) || is_type(v, T_FUNCTION) ||
         is_type(v, T_ROUTINE);
}

// Binds each word of a body (nested blocks and parens, and the head of a
// path) that names a function of the global context to the same function in
// `kept`, added there on first need. Only the context grows: the body is read
// again through its node after that; nodes stay put meanwhile.
void keep_calls(Node body, Node kept, std::vector<Node>& seen) {
  for (Node s : seen)
    if (s == body) return;
  seen.push_back(body);
  const Node global = context::global();
  for (int32_t i = 0; i < static_cast<int32_t>(buf_of(body)->cell_count()); i++) {
    Cell* c = buf_of(body)->cells() + i;
    if (is_type(c, T_BLOCK) || is_type(c, T_PAREN)) {
      keep_calls(series::node_of(c), kept, seen);
      continue;
    }
    if (is_type(c, T_PATH) || is_type(c, T_GET_PATH)) {
      Cell* head = buf_of(series::node_of(c))->cells();
      if (buf_of(series::node_of(c))->cell_count() == 0 || !is_type(head, T_WORD)) continue;
      c = head;
    }
    if (!is_type(c, T_WORD) || word_context(c) != global) continue;
    const int32_t gi = context::find_word(global, word_symbol(c), true);
    if (gi < 0 || !callable(context::values(global) + gi)) continue;
    int32_t ki = context::find_word(kept, word_symbol(c), true);
    if (ki < 0) {
      const Cell w = *c;
      ki = context::add_word(kept, &w);
      context::values(kept)[ki] = context::values(global)[gi];
    }
    // The path's head, or the body's own cell, read again after the add.
    Cell* at = buf_of(body)->cells() + i;
    if (is_type(at, T_PATH) || is_type(at, T_GET_PATH)) at = buf_of(series::node_of(at))->cells();
    set_word_context(at, kept);
    set_word_index(at, ki);
  }
}

void keep_calls_of(const Cell* v, Node kept, std::vector<Node>& seen) {
  if (is_type(v, T_FUNCTION)) {
    const Cell* body = function::more(v);
    if (is_type(body, T_BLOCK)) keep_calls(series::node_of(body), kept, seen);
  }
}

// The console's own code calls what the library defined, as compiled code
// would: a user who sets print, append or load to something else at the
// prompt breaks his own code, not the loop that reads, runs and prints it.
void keep_console_calls() {
  collector::KeepNodes keep;
  const Node kept = context::create(64, false, false, 0, context::Kind::object);
  Cell* held = object::push(kept, 0);  // its id is taken at launch
  datatypes::root_append(*held);
  stack::pop(1);
  std::vector<Node> seen;
  static const char* const kGlobals[] = {"ask", "input", "halt", "_save-cfg", "_skip-ws", "_skip-token", "_header-at?"};
  for (const char* name : kGlobals) {
    Cell v = *context::get(word::load(name));
    keep_calls_of(&v, kept, seen);
  }
  static const char* const kObjects[] = {"cli-console-ctx", "cli-console-ctx/settings", "system/console"};
  for (const char* path : kObjects) {
    std::string_view rest(path);
    Cell obj = *context::get(word::load(rest.substr(0, rest.find('/'))));
    while (is_type(&obj, T_OBJECT) && rest.find('/') != std::string_view::npos) {
      rest = rest.substr(rest.find('/') + 1);
      Cell* name = word::push_symbol(symbol::make(rest.substr(0, rest.find('/'))));
      obj = *object::get_field(&obj, name);
      stack::pop(1);
    }
    if (!is_type(&obj, T_OBJECT)) continue;
    const Node ctx = object::context_of(&obj);
    for (int32_t i = 0; i < context::size(ctx); i++) {
      Cell v = context::values(ctx)[i];
      keep_calls_of(&v, kept, seen);
    }
  }
}

}  // namespace

Cell* run(const Cell* sources) {
  Cell* list = enter(sources);
  bind_datatype_words();
  bind_builder();
  define_predicates();
  if (!run_sources(list, 0, std::max(source_count(list) - 1, 0))) return nullptr;
  // Where a heap image is taken: a start from one then marks only what the
  // last source made, and finds the console's calls kept.
  std::vector<Node> seen;
  mark_library(context::global(), seen);
  if (is_type(context::get(word::load("cli-console-ctx")), T_OBJECT)) keep_console_calls();
  return list;
}

Cell* resume(const Cell* sources) { return enter(sources); }

void finish(Cell* list) {
  const int32_t n = source_count(list);
  if (n > 0 && !run_sources(list, n - 1, n)) return;
  std::vector<Node> seen;
  mark_library(context::global(), seen);
}

void boot(const Cell* sources) {
  if (Cell* list = run(sources)) finish(list);
}

int launch() {
  // The console's kept calls are made with the library, before the last
  // source runs, with no object id: the id their object would take is spent
  // here, after the last source's objects, so that each object's id is the
  // same whichever order they were made in.
  if (is_type(context::get(word::load("cli-console-ctx")), T_OBJECT)) object::new_class_id();
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
