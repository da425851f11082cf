// The evaluator's start-up and the built-in words the library will define
// once it exists: every native and action with its spec, and the operators.
#include "evaluator/boot.h"

#include <cstdio>
#include <cstdlib>
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
#include "evaluator/builtin_docs.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "evaluator/natives.h"
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

// The type groups a built-in's spec may name, with the datatypes of each:
// the same sets as the library's words of these names, so that a spec
// checks what its words show.
struct TypeGroup {
  std::string_view name;
  TypeId ids[16];  // ended by 0 when fewer
};
#define XEB_BLOCKS T_BLOCK, T_PAREN, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH, T_HASH
#define XEB_STRINGS T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF
constexpr TypeGroup kTypeGroups[] = {
    {"any-word!", {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD}},
    {"all-word!", {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD, T_REFINEMENT, T_ISSUE}},
    {"any-path!", {T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}},
    {"any-block!", {XEB_BLOCKS}},
    {"any-list!", {T_BLOCK, T_PAREN, T_HASH}},
    {"any-string!", {XEB_STRINGS}},
    {"any-function!", {T_NATIVE, T_ACTION, T_OP, T_FUNCTION, T_ROUTINE}},
    {"any-object!", {T_OBJECT, T_ERROR}},
    {"series!", {XEB_BLOCKS, XEB_STRINGS, T_BINARY, T_VECTOR, T_IMAGE}},
    {"number!", {T_INTEGER, T_FLOAT, T_PERCENT}},
    {"scalar!", {T_CHAR, T_INTEGER, T_FLOAT, T_PAIR, T_PERCENT, T_TUPLE, T_TIME, T_DATE, T_MONEY, T_POINT2D, T_POINT3D}},
    {"any-point!", {T_POINT2D, T_POINT3D}},
    {"planar!", {T_PAIR, T_POINT2D}},
};
#undef XEB_BLOCKS
#undef XEB_STRINGS

// A type name of a spec: a datatype, or one of the type groups. A name that
// is neither is a fault of the spec texts, found at the first start.
Cell resolve_type(std::string_view name) {
  Cell ts{T_TYPESET, 0, 0, 0};
  if (name == "any-type!") {
    for (int id = 1; id <= T_LAST; id++) typeset::set_bit(&ts, id);
    return ts;
  }
  for (const TypeGroup& g : kTypeGroups)
    if (name == g.name) {
      for (TypeId id : g.ids)
        if (id) typeset::set_bit(&ts, id);
      return ts;
    }
  // After the group names: series! also names the abstract series datatype.
  std::string_view bare = name.substr(0, name.size() - 1);
  for (int id = 1; id <= datatype::highest; id++) {
    const datatype::Entry& e = datatype::entries[id];
    if (e.name && e.length == static_cast<int32_t>(bare.size()) && bare == std::string_view(e.name, e.length))
      return datatype::make_cell(id);
  }
  std::fprintf(stderr, "a built-in's spec names an unknown type: %.*s\n", static_cast<int>(name.size()), name.data());
  std::abort();
}

// The same, each name resolved once: the specs name a few dozen types some
// seven hundred times, at every start.
Cell type_cell(std::string_view name) {
  struct Slot {
    std::string_view name;
    Cell cell;
  };
  static Slot memo[128];
  size_t h = (name.size() * 31 + static_cast<unsigned char>(name[0]) * 7 + static_cast<unsigned char>(name[name.size() / 2])) & 127;
  while (!memo[h].name.empty()) {
    if (memo[h].name == name) return memo[h].cell;
    h = (h + 1) & 127;
  }
  memo[h] = {name, resolve_type(name)};
  return memo[h].cell;
}

// Builds the spec block of a built-in on the data stack from its text:
// {doc strings}, words, 'lit, :get, /refinements, return: and [type names].
// Typed, a type block holds one typeset of its types, which the call-time
// cache is made from, and no doc strings; else it holds the type names as words,
// as a user reads them.
Cell* build_spec(std::string_view text, bool typed) {
  Cell* spec = block::push_only(8);
  Cell* types = nullptr;
  Cell set{};  // typed: the union of the types of the open type block
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
      if (typed) continue;  // the typed spec only feeds the call-time cache
      // Each piece stays on the stack until the spec holds it: the spec's
      // growth may collect.
      Cell* str = string::push_new(static_cast<int32_t>(doc.size()));
      string::append_utf8(str, doc);
      block::xs_append(spec, str);
      stack::pop(1);
      continue;
    }
    if (text[i] == '[') {
      types = block::push_only(typed ? 1 : 2);
      set = Cell{T_TYPESET, 0, 0, 0};
      i++;
      continue;
    }
    if (text[i] == ']') {
      if (typed) block::xs_append(types, &set);
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
    if (types && typed) {
      Cell t = type_cell(tok);
      if (is_type(&t, T_DATATYPE)) {
        typeset::set_bit(&set, datatype::id_of(&t));
      } else {
        for (int b = 0; b < 12; b++) typeset::bits(&set)[b] |= typeset::bits(&t)[b];
      }
      continue;
    }
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
  Cell* shown = build_spec(text, false);
  block::xs_clear(spec);
  block::xs_append_values(spec, shown);
  stack::set_top(saved);
}

// Makes the built-in through its type's make slot and sets its word. The
// call-time cache comes from the typed spec.
void define(const char* name, std::string_view spec_text, TypeId type, int index) {
  Cell* saved = stack::top();
  Cell* spec = build_spec(spec_text, true);
  Cell* arg = block::push_only(2);
  block::xs_append(arg, spec);
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(index), 0};
  block::xs_append(arg, &n);
  Cell proto = datatype::make_cell(type);
  Cell* p = stack::push(&proto);
  Cell* value = datatype::slot<act::Make>(type, A_MAKE)(p, arg, type);
  Cell v = *value;
  Cell* held = stack::push(&v);
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

Cell spec_type(std::string_view name) { return resolve_type(name); }

void init() {
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
  for (int i = 0; i < natives::COUNT; i++) define(natives::kDefs[i].name, natives::kDefs[i].spec, T_NATIVE, i + 1);
  for (int k = 0; k < ACTION_COUNT; k++)
    if (natives::kActionDefs[k].name) define(natives::kActionDefs[k].name, natives::kActionDefs[k].spec, T_ACTION, k + 1);
  for (const Operator& o : kOperators) define_operator(o);
}

}  // namespace xeb::evaluator
