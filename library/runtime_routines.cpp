// Runtime routines of the library: quiet assignment, bit shifts, colour and
// address tuples, UTF-8 counting, stack introspection, the tracing state,
// standard output, the collector's counters and the JSON reader's string
// unescaping.
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "codec/json.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives.h"
#include "evaluator/interpreter.h"
#include "evaluator/pure.h"
#include "evaluator/trace.h"
#include "io/files.h"
#include "library/routines.h"
#include "platform/fd_io.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::routines {

namespace {

Cell* arg(int n) { return stack::base() + n; }
void result_logic(bool yes) { *stack::base() = Cell{T_LOGIC, yes ? 1u : 0u, 0, 0}; }
void result_int(int32_t n) { *stack::base() = Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// expect-arg with (the routine's word, the value's datatype, the argument's
// word).
[[noreturn]] void refuse(std::string_view routine, std::string_view param, const Cell* value) {
  Cell* r = stack::push(word::load(routine));
  Cell* t = stack::push_new();
  *t = datatype::make_cell(type_of(value));
  Cell* p = stack::push(word::load(param));
  fire(Err::expect_arg, r, t, p);
}

// set-quiet [word value]: sets the word in its own context without the
// owner's change hooks.
void set_quiet() {
  Cell* w = arg(0);
  if (!any_word(type_of(w))) refuse("set-quiet", "word", w);
  Cell* v = arg(1);
  context::set_in(w, v, word_context(w), false);
  *stack::base() = *arg(1);
}

// set-slot-quiet [series value]: the value into the series' head cell,
// unless at its tail, without notifying the owner.
void set_slot_quiet() {
  Cell* s = arg(0);
  if (!series::block_like(type_of(s))) refuse("set-slot-quiet", "series", s);
  int32_t head = series::head(s);
  SeriesBuf* b = series::buf(s);
  if (head >= 0 && static_cast<uint32_t>(head) < b->cell_count()) {
    Cell* slot = b->cells() + head;
    // A hash!'s index follows the cell, or find would miss the new value.
    Node t = is_type(s, T_HASH) ? hash::table_node(s) : 0;
    if (t) hashtable::delete_key(t, slot);
    *slot = *arg(1);
    if (t) hashtable::put(t, slot);
  }
  *stack::base() = *arg(1);
}

// The three shifts run the native's own code, with its refinement set.
void shift_with(int left, int logical) {
  int32_t refs[2];
  refs[natives::ref(natives::Id::shift, "left")] = left ? 2 : -1;
  refs[natives::ref(natives::Id::shift, "logical")] = logical ? 3 : -1;
  natives::shift(false, refs);
}
void shift_right() { shift_with(0, 0); }
void shift_left() { shift_with(1, 0); }
void shift_logical() { shift_with(0, 1); }

void last_lf_q() { result_logic(natives::last_lf()); }

// The components of a tuple from the integer arguments: a negative one, or
// with `bounded` one above 255, is an invalid argument.
void tuple_of(int n, bool bounded) {
  uint8_t bytes[4];
  for (int i = 0; i < n; i++) {
    Cell* v = arg(i);
    int32_t c = get_int(v);
    if (c < 0 || (bounded && c > 255)) fire(Err::invalid_arg, v);
    bytes[i] = static_cast<uint8_t>(c & 255);
  }
  *stack::base() = tuple::make_cell(n, bytes);
}
void as_color() { tuple_of(3, false); }
void as_ipv4() { tuple_of(4, true); }
void as_rgba() { tuple_of(4, true); }

// count-chars [start pos]: the UTF-8 characters from start's head up to
// pos's head, both positions in one buffer.
void count_chars() {
  Cell* start = arg(0);
  Cell* pos = arg(1);
  if (series::node_of(start) != series::node_of(pos)) fire(Err::invalid_arg, pos);
  SeriesBuf* b = series::buf(start);
  int32_t len = static_cast<int32_t>(b->used());
  int32_t from = std::clamp(series::head(start), 0, len), to = std::clamp(series::head(pos), 0, len);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(b->head_ptr());
  result_int(to > from ? unicode::count_chars(p + from, p + to) : 0);
}

// _replace-text [series pattern value all case]: replace's text case in one
// pass; false when the generic walk must do it.
void replace_text() {
  auto truthy = [](const Cell* c) { return !is_false(c); };
  result_logic(string::replace_text(arg(0), arg(1), arg(2), truthy(arg(3)), truthy(arg(4))));
}

// _directives? [code]: whether the preprocessor has anything to do in code
// with no macro registered: an issue! in it or in a block or paren inside
// it (each block looked at once, so one that holds itself ends too).
void directives_q() {
  if (!string::fast_text) return result_logic(true);
  std::vector<std::pair<Node, int32_t>> todo{{series::node_of(arg(0)), std::max(series::head(arg(0)), 0)}};
  std::unordered_set<Node> seen{todo[0].first};
  // Nothing here allocates managed memory: the buffers stay where they are.
  while (!todo.empty()) {
    auto [node, from] = todo.back();
    todo.pop_back();
    SeriesBuf* b = buf_of(node);
    const Cell* c = b->cells();
    for (int32_t i = from, n = static_cast<int32_t>(b->cell_count()); i < n; i++) {
      int t = type_of(c + i);
      if (t == T_ISSUE) return result_logic(true);
      if ((t == T_BLOCK || t == T_PAREN) && seen.insert(series::node_of(c + i)).second)
        todo.push_back({series::node_of(c + i), std::max(series::head(c + i), 0)});
    }
  }
  result_logic(false);
}

// _split-text [series dlm]: split's pieces in one pass, or none where the
// generic split must run.
void split_text() {
  Cell* out = stack::push_new();
  if (!string::split_text(arg(0), arg(1), out)) *out = fixed_none;
  *stack::base() = *out;
  stack::pop(1);
}

void stack_size_q() { result_int(static_cast<int32_t>(stack::top() - stack::bottom())); }

// pick-stack [idx]: the cell idx from the bottom (1 the first), up to and
// including the top one; none outside.
void pick_stack() {
  int32_t idx = get_int(arg(0));
  int32_t size = static_cast<int32_t>(stack::top() - stack::bottom());
  if (idx > 0 && idx <= size) *stack::base() = stack::bottom()[idx - 1];
  else *stack::base() = Cell{T_NONE, 0, 0, 0};
}

void frame_index_q() { result_int(static_cast<int32_t>(stack::base() - stack::bottom())); }

// collect-calls [blk]: appends, newest call first, the word of every call
// frame above the bottom one (bound as at its call) and the frame's saved
// arguments base as a cell index from the data-stack bottom.
void collect_calls() {
  Cell* blk = arg(0);
  for (uint32_t i = stack::depth(); i-- > 1;) {
    CallFrame f = stack::frames()[i];
    if (!stack::reported(f)) continue;
    Cell w;
    stack::names.make_word(&w, f.sym, f.ctx);
    block::xs_append(blk, &w);
    Cell at = integer::make_cell(static_cast<int32_t>(stack::saved_base(&f) - stack::bottom()));
    block::xs_append(blk, &at);
  }
  *stack::base() = *arg(0);
}

// tracing? []: library bodies run with the events held back, as compiled code
// would; asked from one, it answers whether a run is on, which is what the
// code around the library call sees (the tracer's refusal to nest relies on
// it: a second run would reset the first's state halfway).
void tracing_q() {
  bool on = interpreter::trace::tracing != 0;
  if (!on && interpreter::trace::active) {
    const Cell* code = interpreter::code_out(0);
    on = code && (series::buf(code)->flags & function::SER_LIBRARY);
  }
  result_logic(on);
}

// _set-tracing [on]: switches the events of the traced run on or off once
// the library function that calls it returns.
void set_tracing() {
  interpreter::trace::request_switch(!is_false(arg(0)));
  set_unset(stack::base());
}

// write-stdout [data]: a string as UTF-8, a binary as its bytes, any other
// value molded, straight to the standard output.
void write_stdout() {
  std::string bytes = io::value_bytes(arg(0), -1);
  platform::write_all(1, bytes);
  set_unset(stack::base());
}

// _interpreted? []: whether the code that called the function calling this
// routine is interpreted: false for a block of library code (the caller's
// body is one level out from that function's body).
void interpreted_q() {
  const Cell* code = interpreter::code_out(1);
  result_logic(!code || !(series::buf(code)->flags & function::SER_LIBRARY));
}

// _decoded-counts []: the runs from decoded function bodies that held and
// those given up or refused, as [hits misses] (each at most 2147483647).
void decoded_counts() {
  Cell* r = block::push_only(2);
  for (uint64_t n : {interpreter::pure::hits, interpreter::pure::misses}) {
    Cell c{T_INTEGER, 0, static_cast<uint32_t>(n < 2147483647u ? n : 2147483647u), 0};
    block::xs_append(r, &c);
  }
  *stack::base() = *r;
}

void gc_active_q() { result_logic(collector::enabled != 0); }
void gc_series_cycles() { result_int(static_cast<int32_t>(collector::collections)); }
void gc_nodes_cycles() { result_int(static_cast<int32_t>(collector::node_compactions)); }

// unescape [str]: the JSON escapes of the text decoded in place from its
// head (the JSON reader's decoder). A trailing backslash, an unknown
// escape, a bad \u or a high surrogate without its low half is invalid
// data, and leaves the text as it was.
void unescape() {
  Cell* s = arg(0);
  int32_t head = series::head(s), tail = string::xs_abs_length_q(s);
  if (head > tail) head = tail;
  std::vector<uint32_t> text, out;
  for (int32_t i = head; i < tail; i++) text.push_back(static_cast<uint32_t>(string::xs_abs_at(s, i)));
  if (!json::unescape(text.data(), static_cast<int32_t>(text.size()), out)) fire(Err::invalid_data, s);
  // The text only shrinks; indexes count characters, so a buffer widened by
  // a written character keeps them.
  int32_t dst = head;
  for (uint32_t c : out) string::overwrite_char(series::buf(s), dst++, static_cast<int32_t>(c));
  string::truncate_buffer(series::buf(s), dst);
  *stack::base() = *arg(0);
}

// _global-context-object: an object! of the global context (class -1, no
// change hooks), also written into the context's owner cell; the library
// keeps it as system/words.
void global_context_object() {
  Node g = context::global();
  Cell* o = object::push(g, -1);
  *context::owner(g) = *o;
  *stack::base() = *o;
}

constexpr Def kRuntime[] = {
    {"set-quiet", &set_quiet},
    {"set-slot-quiet", &set_slot_quiet},
    {"shift-right", &shift_right},
    {"shift-left", &shift_left},
    {"shift-logical", &shift_logical},
    {"last-lf?", &last_lf_q},
    {"as-color", &as_color},
    {"as-ipv4", &as_ipv4},
    {"as-rgba", &as_rgba},
    {"count-chars", &count_chars},
    {"_replace-text", &replace_text},
    {"_split-text", &split_text},
    {"_directives?", &directives_q},
    {"stack-size?", &stack_size_q},
    {"pick-stack", &pick_stack},
    {"frame-index?", &frame_index_q},
    {"collect-calls", &collect_calls},
    {"tracing?", &tracing_q},
    {"_set-tracing", &set_tracing},
    {"write-stdout", &write_stdout},
    {"_interpreted?", &interpreted_q},
    {"_decoded-counts", &decoded_counts},
    {"active?", &gc_active_q},
    {"series-cycles", &gc_series_cycles},
    {"nodes-cycles", &gc_nodes_cycles},
    {"unescape", &unescape},
    {"_global-context-object", &global_context_object},
};

}  // namespace

std::span<const Def> runtime_routines() { return kRuntime; }

}  // namespace xeb::routines
