// Text to values: the loaders' table, transcode over a string!, a binary!
// or plain bytes, the sink that raises syntax errors through fire, and the
// hooks through which the word and block modules load text.
#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "lexer/load.h"
#include "lexer/loaders.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

namespace xeb::lexer {
namespace {

// One (scan, load) pair per token type 1-36, in token order.
constexpr ActionPair kActions[TOKEN_TYPES] = {
    {}, {}, {}, {}, {}, {}, {},            // end error [ ] ( ) {
    {load::braced, nullptr},               // 8 }
    {}, {},                                // 9 #[  10 path /
    {load::construct, nullptr},            // 11 #(...)
    {}, {},                                // 12 comment  13 ,
    {nullptr, load::string},               // 14
    {nullptr, load::word},                 // 15
    {nullptr, load::issue},                // 16
    {nullptr, load::integer},              // 17
    {nullptr, load::refinement},           // 18
    {nullptr, load::character},            // 19
    {nullptr, load::file},                 // 20
    {nullptr, load::binary},               // 21
    {nullptr, load::percent},              // 22
    {nullptr, load::decimal},              // 23
    {nullptr, load::decimal_special},      // 24
    {nullptr, load::tuple},                // 25
    {nullptr, load::date},                 // 26
    {nullptr, load::pair},                 // 27
    {nullptr, load::point},                // 28
    {nullptr, load::time},                 // 29
    {nullptr, load::money},                // 30
    {nullptr, load::tag},                  // 31
    {nullptr, load::url},                  // 32
    {nullptr, load::email},                // 33
    {nullptr, load::hex_integer},          // 34
    {nullptr, load::raw_string},           // 35
    {nullptr, load::ref},                  // 36
};

void mark_lexer() { mark_buffers(collector::mark_cells); }

struct Finish {
  Cell* out;
  Cell* into;
  bool one;
};

// Copies the scan's values out while they are still rooted in its buffer.
void finish(void* ctx, State& s) {
  auto* f = static_cast<Finish*>(ctx);
  const uint32_t n = s.top - s.base;
  if (f->one && n == 1 && !f->into) {
    *f->out = *cell_at(s.base);
    clear_new_line(f->out);
    return;
  }
  if (f->into) {
    for (uint32_t i = 0; i < n; ++i) block::xs_append(f->into, cell_at(s.base + i));
    *f->out = *f->into;
    return;
  }
  block::make_at(f->out, static_cast<int32_t>(n));
  if (n) std::memcpy(block::buf(f->out)->cells(), cell_at(s.base), n * sizeof(Cell));
  block::xs_set_tail(f->out, static_cast<int32_t>(n));
}

void quiet_sink(void*, const SyntaxError&) {}

Options options_of(const TranscodeOptions& t, Finish& f) {
  Options o;
  o.mode = t.mode;
  o.one = t.one;
  o.trace = t.trace;
  o.callback = t.callback;
  o.on_error = t.quiet ? quiet_sink : raise_syntax_error;
  o.finish = finish;
  o.finish_ctx = &f;
  o.finish_on_error = t.into != nullptr;
  return o;
}

Transcoded result_of(const Result& r) { return Transcoded{r.ok, r.type, r.consumed, r.lines}; }

// The hooks of the word and block modules.
void scan_string_into_block(const Cell* str, Cell* out) {
  TranscodeOptions o;
  transcode(str, out, o);
}

void load_one_value(const Cell* str, Cell* out) {
  TranscodeOptions o;
  o.one = true;
  o.quiet = true;
  Cell* held = stack::push(str);
  Cell* slot = begin_cell(stack::push_new());
  Transcoded r = transcode(held, slot, o);
  bool whole = r.ok && static_cast<int32_t>(r.consumed) == string::xs_length_q(held);
  *out = whole ? *slot : Cell{T_UNSET, 0, 0, 0};
  stack::pop(2);
}

int scan_type_of(std::string_view utf8) {
  Options o;
  o.mode = Mode::check;
  o.on_error = quiet_sink;
  Result r = scan({reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size()}, o);
  return r.ok && r.consumed == utf8.size() ? r.type : 0;
}

}  // namespace

void init_loaders() {
  static bool done = false;
  if (done) return;
  done = true;
  init(kActions, load::close);
  collector::add_root_marker(mark_lexer);
  block::scan_hook = scan_string_into_block;
  word::load_value_hook = load_one_value;
  word::scan_type_hook = scan_type_of;
}

void raise_syntax_error(void*, const SyntaxError& e) {
  Cell* where = string::push_new(static_cast<int32_t>(e.where.size()));
  string::append_utf8(where, e.where);
  Cell* text = string::push_new(static_cast<int32_t>(e.text.size()));
  string::append_utf8(text, e.text);
  switch (e.id) {
    case ErrorId::invalid: {
      Cell type = datatype::make_cell(e.type);
      fire(Err::invalid, where, &type, text);
    }
    case ErrorId::bad_char:
      fire(Err::bad_char, where, text);
    case ErrorId::malconstruct:
      fire(Err::malconstruct, where, text);
    case ErrorId::missing: {
      Cell* missing = string::push_new(1);
      string::append_char(missing, e.missing);
      fire(Err::missing, where, missing, text);
    }
  }
  fire(Err::invalid, where, nullptr, text);
}

Transcoded transcode_bytes(std::span<const uint8_t> text, Cell* out, const TranscodeOptions& t) {
  Finish f{out, t.into, t.one};
  Options o = options_of(t, f);
  if (t.part >= 0 && static_cast<size_t>(t.part) < text.size()) text = text.first(static_cast<size_t>(t.part));
  return result_of(scan(text, o));
}

Transcoded transcode(const Cell* input, Cell* out, const TranscodeOptions& t) {
  Cell in = *input;
  const TypeId type = type_of(&in);
  if (type == T_BINARY) {
    // Copied out: loading allocates, and the bytes may move.
    int32_t n = binary::xs_length_q(&in);
    if (t.part >= 0) n = std::min(n, t.part);
    const auto* p = reinterpret_cast<const uint8_t*>(binary::xs_head(&in));
    std::vector<uint8_t> bytes(p, p + std::max(n, 0));
    Finish f{out, t.into, t.one};
    Options o = options_of(t, f);
    o.input_series = in;
    return result_of(scan(bytes, o));
  }
  if (!series::string_like(type)) fire(Err::invalid_arg, &in);
  int32_t n = string::xs_length_q(&in);
  if (t.part >= 0) n = std::min(n, t.part);
  const int unit = series::buf(&in)->unit();
  const std::byte* head = string::xs_head(&in);
  Finish f{out, t.into, t.one};
  Options o = options_of(t, f);
  o.input_series = in;
  return result_of(scan_units(head, unit, static_cast<size_t>(std::max(n, 0)), o));
}

}  // namespace xeb::lexer
