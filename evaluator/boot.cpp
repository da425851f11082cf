// The evaluator's start-up and the built-in words the library will define
// once it exists: every native and action with its spec, and the operators.
#include "evaluator/boot.h"

#include <cstring>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/object.h"
#include "datatypes/native.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/builtin_specs.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "evaluator/natives.h"
#include "runtime/collector.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::evaluator {

namespace {

struct Operator {
  const char* name;
  const char* wraps;
};
constexpr Operator kOperators[] = {
    {"+", "add"},       {"-", "subtract"},   {"*", "multiply"}, {"/", "divide"},
    {"//", "remainder"}, {"**", "power"},    {"=", "equal?"},   {"<>", "not-equal?"},
    {"==", "strict-equal?"}, {"<", "lesser?"}, {">", "greater?"}, {"<=", "lesser-or-equal?"},
    {">=", "greater-or-equal?"}, {"=?", "same?"}, {"and", "and~"}, {"or", "or~"}, {"xor", "xor~"},
};

// Builds the spec block of a built-in on the data stack from its text:
// {doc strings}, words, 'lit, :get, /refinements, return: and [type names].
// Given the masks of a call spec, each [] becomes a type block of one
// typeset, the next mask, which the call-time cache is made from; else the
// type blocks hold the type names as words, as a user reads them.
Cell* build_spec(std::string_view text, const natives::TypeMask* masks) {
  Cell* spec = block::push_only(8);
  Cell* types = nullptr;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      i++;
      continue;
    }
    if (text[i] == '{') {
      size_t j = text.find('}', i);
      std::string_view doc = text.substr(i + 1, j - i - 1);
      i = j + 1;
      // Each piece stays on the stack until the spec holds it: the spec's
      // growth may collect.
      Cell* str = string::push_new(static_cast<int32_t>(doc.size()));
      string::append_utf8(str, doc);
      block::xs_append(spec, str);
      stack::pop(1);
      continue;
    }
    if (text[i] == '[') {
      types = block::push_only(masks ? 1 : 2);
      if (masks) {
        Cell ts{T_TYPESET, 0, 0, 0};
        std::memcpy(typeset::bits(&ts), (masks++)->data(), sizeof(natives::TypeMask));
        block::xs_append(types, &ts);
        i = text.find(']', i);
        continue;
      }
      i++;
      continue;
    }
    if (text[i] == ']') {
      block::xs_append(spec, types);
      stack::pop(1);
      types = nullptr;
      i++;
      continue;
    }
    size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != ']') j++;
    std::string_view tok = text.substr(i, j - i);
    i = j;
    TypeId kind = T_WORD;
    if (tok[0] == '\'') kind = T_LIT_WORD;
    else if (tok[0] == ':') kind = T_GET_WORD;
    else if (tok[0] == '/') kind = T_REFINEMENT;
    if (kind != T_WORD) tok.remove_prefix(1);
    if (tok.back() == ':') {
      kind = T_SET_WORD;
      tok.remove_suffix(1);
    }
    Cell w{kind, 0, static_cast<uint32_t>(symbol::make(tok)), static_cast<uint32_t>(-1)};
    block::xs_append(types ? types : spec, &w);
  }
  return spec;
}

// The spec a built-in shows is built on first use: until then the value
// keeps the typed spec its call-time cache was made from (the same words in
// the same order), whose node is noted here by built-in (natives first,
// then actions by number); 0 once the spec is built.
Node typed_spec[natives::COUNT + ACTION_COUNT];
XEB_KEPT_WITH_HEAP(typed_spec);

// The notes follow their nodes when a collection moves them; a spec that
// died is forgotten (its node may name another series later).
void sweep_typed_specs() {
  for (Node& n : typed_spec) {
    if (!n) continue;
    collector::redirect(&n);
    if (!collector::is_marked(n)) n = 0;
  }
}

// Replaces the typed spec of a built-in by the spec a user reads, in place,
// so that every copy of the value (its op!s too) shows it. A value made
// otherwise (make native!, a decoded one) keeps its own spec.
void show_spec(const Cell* fn) {
  TypeId t = is_type(fn, T_OP) ? static_cast<TypeId>(native::wrapped_type(fn)) : type_of(fn);
  if (t != T_NATIVE && t != T_ACTION) return;
  int32_t index = static_cast<int32_t>(native::index(fn));
  int32_t slot = t == T_NATIVE ? index - 1 : natives::COUNT + index - 1;
  if (slot < 0 || slot >= natives::COUNT + ACTION_COUNT) return;
  Node node = typed_spec[slot];
  if (!node || node != native::spec_node(fn)) return;
  const char* text = t == T_NATIVE ? natives::kNativeDocs[index - 1].spec : natives::kActionDocs[index - 1].spec;
  typed_spec[slot] = 0;
  Cell* saved = stack::top();
  Cell* spec = stack::push_new();
  *spec = Cell{T_BLOCK, 0, node, 0};
  Cell* shown = build_spec(text, nullptr);
  block::xs_clear(spec);
  block::xs_append_values(spec, shown);
  stack::set_top(saved);
}

// The built-in of that type and number made with its own typed spec, on
// the data stack (the make slot's check passed by: this is what it checks
// against).
bool making_own = false;
Cell* make_own(const natives::Def& def, TypeId type, int index) {
  Cell* spec = build_spec(def.spec, def.types);
  Cell* arg = block::push_only(2);
  block::xs_append(arg, spec);
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(index), 0};
  block::xs_append(arg, &n);
  Cell proto = datatype::make_cell(type);
  Cell* p = stack::push(&proto);
  making_own = true;
  Cell* value = datatype::slot<act::Make>(type, A_MAKE)(p, arg, type);
  making_own = false;
  Cell v = *value;
  return stack::push(&v);
}

// A built-in's code reads its arguments and refinements by place. A spec of
// the maker's own that gives other arguments, of other kinds or types, or
// refinements at other places (a native would read a value of a type it
// never expected, or a refinement past its table) leaves the value its
// spec to show, but its calls take their arguments as the built-in's own
// do. Result types are not checked on a call and are left out.
void give_own_frame(Cell* made) {
  if (making_own) return;
  TypeId type = type_of(made);
  auto index = static_cast<int32_t>(native::index(made));
  const natives::Def* def = nullptr;
  if (type == T_NATIVE && index <= natives::COUNT) def = &natives::kDefs[index - 1];
  if (type == T_ACTION && index <= ACTION_COUNT) def = &natives::kActionDefs[index - 1];
  if (!def || !def->name) return;  // a slot no word reaches refuses every call
  Cell* saved = stack::top();
  Cell* own = make_own(*def, type, index);
  interpreter::cache_spec(made);
  interpreter::cache_spec(own);
  // Both caches are made: reading them again allocates nothing.
  SeriesBuf* a = block::buf(interpreter::cache_spec(made));
  SeriesBuf* b = block::buf(interpreter::cache_spec(own));
  auto counted = [](const Cell* c) { return !is_type(c, T_TYPESET) || interpreter::arg_class(c) != interpreter::ArgClass::returns; };
  const Cell *p = a->cells(), *pe = a->cells_tail(), *q = b->cells(), *qe = b->cells_tail();
  bool fits = true;
  for (;;) {
    while (p < pe && !counted(p)) p++;
    while (q < qe && !counted(q)) q++;
    if (p == pe || q == qe) {
      fits = p == pe && q == qe;
      break;
    }
    if (type_of(p) != type_of(q)) fits = false;
    else if (is_type(p, T_TYPESET)) {
      fits = interpreter::arg_class(p) == interpreter::arg_class(q);
      const uint8_t* bp = reinterpret_cast<const uint8_t*>(typeset::bits(p));
      const uint8_t* bq = reinterpret_cast<const uint8_t*>(typeset::bits(q));
      for (int k = 0; k < 12; k++)
        if (bp[k] & ~bq[k]) fits = false;
    } else if (is_type(p, T_REFINEMENT)) {
      fits = word_index(p) == word_index(q);
    } else {
      fits = get_int(p) == get_int(q);
    }
    if (!fits) break;
    p++, q++;
  }
  if (!fits) buf_of(native::more_node(made))->cells()[1] = buf_of(native::more_node(own))->cells()[1];
  stack::set_top(saved);
}

// Makes the built-in through its type's make slot and sets its word. The
// call-time cache comes from the typed spec.
void define(const natives::Def& def, TypeId type, int index) {
  const char* name = def.name;
  Cell* saved = stack::top();
  Cell* held = make_own(def, type, index);
  interpreter::cache_spec(held);
  typed_spec[type == T_NATIVE ? index - 1 : natives::COUNT + index - 1] = native::spec_node(held);
  Cell* w = stack::push(word::load(name));
  context::set(w, held);
  stack::set_top(saved);
}

void define_operator(const Operator& o) {
  Cell* saved = stack::top();
  Cell* target = stack::push(word::load(o.wraps));
  Cell fn = *context::get(target);
  Cell op = fn;
  op.header = T_OP | (static_cast<uint32_t>(type_of(&fn)) << 16);
  Cell* held = stack::push(&op);
  Cell* w = stack::push(word::load(o.name));
  context::set(w, held);
  stack::set_top(saved);
}

void eval_object_spec(Cell* block) {
  Cell* saved = stack::top();
  interpreter::eval_block(block, false);
  if (!throwing()) stack::set_top(saved);
}

void eval_hook_function(Cell* fn, Node, int32_t name_sym, int kind) {
  Cell name = words::word(words::is(name_sym, words::W::on_change) ? words::W::on_change : words::W::on_deep_change);
  interpreter::trace::RuntimeCallback traced(static_cast<uint32_t>(kind), &name, fn);
  interpreter::eval_function(fn);
  traced.returned(stack::base());
}

}  // namespace

void init_outside_heap() {
  static bool done = false;
  if (done) return;
  done = true;
  actions::init();
  natives::init();
  interpreter::init();
  object::eval_block_hook = &eval_object_spec;
  object::eval_function_hook = &eval_hook_function;
  error::current_code_hook = [] { return static_cast<const Cell*>(interpreter::current_code()); };
  native::show_spec_hook = &show_spec;
  native::own_frame_hook = &give_own_frame;
  collector::add_weak_sweeper(&sweep_typed_specs);
}

void build_heap() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int i = 0; i < natives::COUNT; i++) define(natives::kDefs[i], T_NATIVE, i + 1);
  for (int k = 0; k < ACTION_COUNT; k++)
    if (natives::kActionDefs[k].name) define(natives::kActionDefs[k], T_ACTION, k + 1);
  for (const Operator& o : kOperators) define_operator(o);
}

void init() {
  init_outside_heap();
  build_heap();
}

}  // namespace xeb::evaluator
