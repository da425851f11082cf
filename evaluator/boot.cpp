// The evaluator's start-up and the built-in words the library will define
// once it exists: every native and action with its spec, and the operators.
#include "evaluator/boot.h"

#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "evaluator/natives.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::evaluator {

namespace {

struct Builtin {
  const char* name;
  const char* spec;  // words, 'lit, :get, /refinements and [type names]
};

// In native index order.
constexpr Builtin kNatives[natives::COUNT] = {
    {"if", "cond [any-type!] then-blk [block!]"},
    {"unless", "cond [any-type!] then-blk [block!]"},
    {"either", "cond [any-type!] true-blk [block!] false-blk [block!]"},
    {"any", "conds [block!]"},
    {"all", "conds [block!]"},
    {"while", "cond [block!] body [block!]"},
    {"until", "body [block!]"},
    {"loop", "count [integer! float!] body [block!]"},
    {"repeat", "'word [word!] value [integer! float!] body [block!]"},
    {"forever", "body [block!]"},
    {"foreach", "'word [word! block!] series [series! map!] body [block!]"},
    {"forall", "'word [word!] body [block!]"},
    {"remove-each", "'word [word! block!] data [series!] body [block!]"},
    {"func", "spec [block!] body [block!]"},
    {"function", "spec [block!] body [block!] /extern"},
    {"does", "body [block!]"},
    {"has", "vars [block!] body [block!]"},
    {"switch", "value [any-type!] cases [block!] /default case [block!]"},
    {"case", "cases [block!] /all"},
    {"do", "value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]"},
    {"get", "word [any-word! any-path! object!] /any /case"},
    {"set", "word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some"},
    {"print", "value [any-type!]"},
    {"prin", "value [any-type!]"},
    {"equal?", "value1 [any-type!] value2 [any-type!]"},
    {"not-equal?", "value1 [any-type!] value2 [any-type!]"},
    {"strict-equal?", "value1 [any-type!] value2 [any-type!]"},
    {"lesser?", "value1 [any-type!] value2 [any-type!]"},
    {"greater?", "value1 [any-type!] value2 [any-type!]"},
    {"lesser-or-equal?", "value1 [any-type!] value2 [any-type!]"},
    {"greater-or-equal?", "value1 [any-type!] value2 [any-type!]"},
    {"same?", "value1 [any-type!] value2 [any-type!]"},
    {"not", "value [any-type!]"},
    {"type?", "value [any-type!] /word"},
    {"reduce", "value [any-type!] /into out [any-block!]"},
    {"compose", "value [any-type!] /deep /only /into out [any-block!]"},
    {"stats", "/show /info"},
    {"bind", "word [block! any-word!] context [any-word! any-object! function!] /copy"},
    {"in", "object [any-object! any-function!] word [any-word! refinement!]"},
    {"parse", "input [binary! any-block! string! file! url! tag! email! ref!] rules [block!] /case /part length [integer! float! any-block! string! file! url! tag! email! ref! binary!] /trace callback [any-function!]"},
    {"union", "set1 set2 /case /skip size"},
    {"intersect", "set1 set2 /case /skip size"},
    {"unique", "set /case /skip size"},
    {"difference", "set1 set2 /case /skip size"},
    {"exclude", "set1 set2 /case /skip size"},
    {"complement?", "bits"},
    {"dehex", "value"},
    {"enhex", "value"},
    {"negative?", "number"},
    {"positive?", "number"},
    {"max", "value1 value2"},
    {"min", "value1 value2"},
    {"shift", "data bits /left /logical"},
    {"to-hex", "value /size length"},
    {"sine", "angle /radians"},
    {"cosine", "angle /radians"},
    {"tangent", "angle /radians"},
    {"arcsine", "sine /radians"},
    {"arccosine", "cosine /radians"},
    {"arctangent", "tangent /radians"},
    {"arctangent2", "y x /radians"},
    {"NaN?", "value"},
    {"log-2", "value"},
    {"log-10", "value"},
    {"log-e", "value"},
    {"exp", "value"},
    {"square-root", "value"},
    {"construct", "block [block!] /with object [object!] /only"},
    {"value?", "value [any-type!]"},
    {"try", "block [block!] /all /keep"},
    {"uppercase", "string /part limit"},
    {"lowercase", "string /part limit"},
    {"as-pair", "x y"},
    {"as-point2D", "x y"},
    {"as-point3D", "x y z"},
    {"as-money", "currency amount"},
    {"break", "/return value [any-type!]"},
    {"continue", ""},
    {"exit", ""},
    {"return", "value [any-type!]"},
    {"throw", "value [any-type!] /name word [word!]"},
    {"catch", "block [block!] /name word [word! block!]"},
    {"extend", "obj spec /case"},
    {"debase", "value /base base-value"},
    {"to-local-file", "path /full"},
    {"wait", "value /all"},
    {"checksum", "data method /with spec"},
    {"unset", "word [word! block!]"},
    {"new-line", "position [any-list!] value [logic!] /all /skip size [integer!]"},
    {"new-line?", "position [any-list!]"},
    {"enbase", "value /base base-value"},
    {"context?", "word [any-word!]"},
    {"set-env", "var value"},
    {"get-env", "var"},
    {"list-env", ""},
    {"now", "/year /month /day /time /zone /date /weekday /yearday /precise /utc"},
    {"sign?", "number"},
    {"as", "type spec"},
    {"call", "cmd /wait /show /console /shell /input in /output out /error err"},
    {"zero?", "value"},
    {"size?", "file"},
    {"browse", "url"},
    {"compress", "data method"},
    {"decompress", "data method /size sz"},
    {"recycle", "/on /off"},
    {"transcode", "src /next /one /prescan /scan /part length /into dst /trace callback"},
    {"apply", "func [word! path! any-function!] args [block!] /all /safer"},
};

// In action number order; 7, 8 and 9 have no word.
constexpr Builtin kActions[ACTION_COUNT] = {
    {"make", "type [any-type!] spec [any-type!]"},
    {"random", "value /seed /secure /only"},
    {"reflect", "value field [word!]"},
    {"to", "type [any-type!] spec [any-type!]"},
    {"form", "value [any-type!] /part limit [integer!]"},
    {"mold", "value [any-type!] /only /all /flat /part limit [integer!]"},
    {nullptr, nullptr}, {nullptr, nullptr}, {nullptr, nullptr},
    {"absolute", "value"},
    {"add", "value1 value2"},
    {"divide", "value1 value2"},
    {"multiply", "value1 value2"},
    {"negate", "number"},
    {"power", "number exponent"},
    {"remainder", "value1 value2"},
    {"round", "n /to scale /even /down /half-down /floor /ceiling /half-ceiling"},
    {"subtract", "value1 value2"},
    {"even?", "number"},
    {"odd?", "number"},
    {"and~", "value1 value2"},
    {"complement", "value"},
    {"or~", "value1 value2"},
    {"xor~", "value1 value2"},
    {"append", "series value [any-type!] /part length /only /dup count"},
    {"at", "series index"},
    {"back", "series"},
    {"change", "series value [any-type!] /part range /only /dup count"},
    {"clear", "series"},
    {"copy", "value /part length /deep /types kind"},
    {"find", "series value [any-type!] /part length /only /case /same /any /with wild /skip size /last /reverse "
             "/tail /match"},
    {"head", "series"},
    {"head?", "series"},
    {"index?", "series"},
    {"insert", "series value [any-type!] /part length /only /dup count"},
    {"length?", "series"},
    {"move", "origin target /part length"},
    {"next", "series"},
    {"pick", "series index"},
    {"poke", "series index value [any-type!]"},
    {"put", "series key value /case"},
    {"remove", "series /part length /key key-arg"},
    {"reverse", "series /part length /skip size"},
    {"select", "series value [any-type!] /part length /only /case /same /any /with wild /skip size /last "
               "/reverse"},
    {"sort", "series /case /skip size /compare comparator /part length /all /reverse /stable"},
    {"skip", "series offset"},
    {"swap", "series1 series2"},
    {"tail", "series"},
    {"tail?", "series"},
    {"take", "series /part length /deep /last"},
    {"trim", "series /head /tail /auto /lines /all /with str"},
    {"create", "port"},
    {"close", "port"},
    {"delete", "file"},
    {"modify", "target field value /case"},
    {"open", "port /new /read /write /seek /allow access"},
    {"open?", "port"},
    {"query", "target"},
    {"read", "source /part length /seek index /binary /lines /info /as encoding"},
    {"rename", "from to"},
    {"update", "port"},
    {"write", "destination data /binary /lines /info /append /part length /seek index /allow access /as encoding"},
};

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

// A type name of a spec: a datatype, or one of the type groups.
Cell type_cell(std::string_view name) {
  Cell ts{T_TYPESET, 0, 0, 0};
  auto add = [&](std::initializer_list<int> ids) {
    for (int id : ids) typeset::set_bit(&ts, id);
  };
  const std::initializer_list<int> kBlocks = {T_BLOCK, T_PAREN, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH, T_HASH};
  const std::initializer_list<int> kStrings = {T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF};
  if (name == "any-type!") {
    for (int id = 1; id <= T_LAST; id++) typeset::set_bit(&ts, id);
  } else if (name == "any-word!") {
    add({T_WORD, T_SET_WORD, T_GET_WORD, T_LIT_WORD, T_REFINEMENT});
  } else if (name == "any-block!" || name == "any-list!") {
    add(kBlocks);
  } else if (name == "any-path!") {
    add({T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH});
  } else if (name == "series!") {
    add(kBlocks);
    add(kStrings);
    add({T_BINARY, T_VECTOR, T_IMAGE});
  } else if (name == "any-function!") {
    add({T_NATIVE, T_ACTION, T_OP, T_FUNCTION, T_ROUTINE});
  } else if (name == "any-object!") {
    add({T_OBJECT, T_ERROR, T_PORT});
  } else {
    // After the group names: series! also names the abstract series datatype.
    for (int id = 1; id <= datatype::highest; id++)
      if (datatype::entries[id].name && name == datatype::entries[id].name) return datatype::make_cell(id);
  }
  return ts;
}

// Builds the spec block of a built-in on the data stack.
Cell* build_spec(std::string_view text) {
  Cell* spec = block::push_only(8);
  Cell* types = nullptr;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      i++;
      continue;
    }
    if (text[i] == '[') {
      types = block::push_only(2);
      i++;
      continue;
    }
    if (text[i] == ']') {
      Cell t = *types;
      stack::pop(1);
      types = nullptr;
      block::xs_append(spec, &t);
      i++;
      continue;
    }
    size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != ']') j++;
    std::string_view tok = text.substr(i, j - i);
    i = j;
    if (types) {
      Cell t = type_cell(tok);
      block::xs_append(types, &t);
      continue;
    }
    TypeId kind = T_WORD;
    if (tok[0] == '\'') kind = T_LIT_WORD;
    else if (tok[0] == ':') kind = T_GET_WORD;
    else if (tok[0] == '/') kind = T_REFINEMENT;
    if (kind != T_WORD) tok.remove_prefix(1);
    Cell w{kind, 0, static_cast<uint32_t>(symbol::make(tok)), static_cast<uint32_t>(-1)};
    block::xs_append(spec, &w);
  }
  return spec;
}

// Makes the built-in through its type's make slot and sets its word.
void define(const char* name, std::string_view spec_text, TypeId type, int index) {
  Cell* saved = stack::top();
  Cell* spec = build_spec(spec_text);
  Cell* arg = block::push_only(2);
  block::xs_append(arg, spec);
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(index), 0};
  block::xs_append(arg, &n);
  Cell proto = datatype::make_cell(type);
  Cell* p = stack::push(&proto);
  Cell* value = datatype::slot<act::Make>(type, A_MAKE)(p, arg, type);
  Cell v = *value;
  Cell* held = stack::push(&v);
  Cell* w = stack::push(word::load(name));
  context::set(w, held);
  if (type == T_NATIVE) natives::set_value(index, held);
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

void eval_hook_function(Cell* fn, Node, int32_t, int) {
  interpreter::trace::Suspend quiet;
  interpreter::eval_function(fn);
}

}  // namespace

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
  for (int i = 0; i < natives::COUNT; i++) define(kNatives[i].name, kNatives[i].spec, T_NATIVE, i + 1);
  for (int k = 0; k < ACTION_COUNT; k++)
    if (kActions[k].name) define(kActions[k].name, kActions[k].spec, T_ACTION, k + 1);
  for (const Operator& o : kOperators) define_operator(o);
}

}  // namespace xeb::evaluator
