// Output, time, environment and system natives: stats and recycle over the
// memory manager and the collector, wait, the environment, size?, and the
// transcode entry over the lexer (its trace callback runs through the
// evaluator).
#include <sys/stat.h>

#include <optional>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "evaluator/internal.h"
#include "evaluator/interpreter.h"
#include "evaluator/trace.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives.h"
#include "evaluator/natives_support.h"
#include "lexer/load.h"
#include "io/call.h"
#include "io/files.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/services.h"
#include "runtime/collector.h"
#include "runtime/memstats.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::natives {

namespace {

// Bytes in use: an integer!, or a float! past the 32-bit range.
void bytes_in_use_result() {
  double n = memory::stats(nullptr, 1);
  Cell c{T_FLOAT, 0, 0, 0};
  if (n > 2147483647.0) put_double(&c, n);
  else c = Cell{T_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(n)), 0};
  stack::set_result_trim(&c);
}

// The text of a string-like value or a word's spelling, as UTF-8.
// Environment variables are host names: their names and values need not be
// UTF-8, and what get-env or list-env gives, set-env puts back byte for byte.
std::string name_text(int32_t param, const Cell* v) {
  if (series::string_like(type_of(v))) return io::host_text(v);
  if (any_word(type_of(v))) {
    Cell* s = word::push_string(v);
    std::string t = string::utf8_of(s);
    stack::pop(1);
    return t;
  }
  refuse_arg(param, v);
}

}  // namespace

void stats(bool, const int32_t* refs) {
  if (!present(refs[ref(Id::stats, "show")]) && !present(refs[ref(Id::stats, "info")])) return bytes_in_use_result();
  Cell* detail = block::push_only(5);
  memory::stats(detail, 2);
  if (present(refs[ref(Id::stats, "info")])) {
    stack::set_result_trim(detail);
    return;
  }
  // /show: the library prints it.
  Cell* show = interpreter::bound_value(word::load("show-memory-stats"));
  if (!show || !interpreter::callable(type_of(show))) fire(Err::not_done);
  Cell fn = *show, name = *word::load("show-memory-stats");
  Cell* start = stack::push(detail);
  stack::push_new();  // room for the call's shift
  stack::set_top(start + 1);
  interpreter::call_evaluated(&fn, &name, start, 1, true);
  if (throwing()) return;
  stack::set_result_trim(&fixed_unset);
}

void recycle(bool, const int32_t* refs) {
  if (present(refs[ref(Id::recycle, "on")]) || present(refs[ref(Id::recycle, "off")])) {
    collector::enabled = present(refs[ref(Id::recycle, "on")]) ? 1 : 0;
    stack::set_result_trim(&fixed_unset);
    return;
  }
  collector::collect();
  bytes_in_use_result();
}

bool (*wait_poll_hook)() = nullptr;

void wait(bool, const int32_t*) {
  Cell* v = arg(0);
  double seconds;
  switch (type_of(v)) {
    case T_INTEGER: seconds = get_int(v); break;
    case T_FLOAT: case T_TIME: seconds = get_double(v); break;
    default: fire(Err::invalid_arg, v);
  }
  if (seconds > 0) platform::sleep(seconds);
  if (wait_poll_hook) wait_poll_hook();
  stack::set_result_trim(&fixed_none);
}

void get_env(bool, const int32_t*) {
  std::optional<std::string> value = platform::get_env(name_text(0, arg(0)));
  if (!value) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  Cell* s = string::push_new(static_cast<int32_t>(value->size()));
  io::append_host_name(s, *value);
  stack::set_result_trim(s);
}

void set_env(bool, const int32_t*) {
  std::string name = name_text(0, arg(0));
  Cell* v = arg(1);
  std::optional<std::string> value;
  if (series::string_like(type_of(v))) value = io::host_text(v);
  else if (!is_type(v, T_NONE)) refuse_arg(1, v);
  // The environment holds C strings of name=value: an empty name, one with
  // "=" or a NUL in either cannot be set, and must not pass for set.
  if (!platform::set_env(name, value)) {
    Cell bad = value && value->find('\0') != std::string::npos ? *v : *arg(0);
    fire(Err::invalid_arg, &bad);
  }
  stack::set_result_trim(v);
}

void list_env(bool, const int32_t*) {
  std::vector<std::pair<std::string, std::string>> env = platform::environment();
  Cell* b = block::push_only(static_cast<int32_t>(env.size() * 2) + 1);
  for (const auto& [name, value] : env) {
    for (const std::string* text : {&name, &value}) {
      Cell* s = string::push_new(static_cast<int32_t>(text->size()) + 1);
      io::append_host_name(s, *text);
      block::xs_append(b, s);
      stack::pop(1);
    }
  }
  Cell* m = stack::push_new();
  map::make_at(m, b, 0);
  stack::set_result_trim(m);
}

void call_(bool, const int32_t* refs) {
  Cell* cmd = arg(0);
  if (!series::string_like(type_of(cmd))) refuse_arg(0, cmd);
  if (series::get_length(cmd, false) == 0) {  // nothing to run
    Cell zero{T_INTEGER, 0, 0, 0};
    stack::set_result_trim(&zero);
    return;
  }
  Cell* in = opt(refs[ref(Id::call, "input")]);
  Cell* out = opt(refs[ref(Id::call, "output")]);
  Cell* err = opt(refs[ref(Id::call, "error")]);
  for (Cell* c : {in, out, err})
    if (c && !is_type(c, T_STRING) && !is_type(c, T_BINARY) && !is_type(c, T_FILE)) fire(Err::invalid_arg, c);
  io::CallFlags flags{present(refs[ref(Id::call, "wait")]), present(refs[ref(Id::call, "console")]),
                     present(refs[ref(Id::call, "shell")])};
  int32_t status = io::call(cmd, flags, in, out, err);
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(status), 0};
  stack::set_result_trim(&n);
}

void size_q(bool, const int32_t*) {
  Cell* f = arg(0);
  if (!is_type(f, T_FILE) && !is_type(f, T_STRING)) refuse_arg(0, f);
  std::optional<platform::files::Status> st = platform::files::status(io::host_path(f));
  if (!st || st->kind == platform::files::Kind::dir || !platform::files::readable(io::host_path(f))) {
    stack::set_result_trim(&fixed_none);
    return;
  }
  // Past the integer range the size is a float!, as stats gives it.
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(st->size), 0};
  if (st->size > INT32_MAX) {
    n = Cell{T_FLOAT, 0, 0, 0};
    put_double(&n, static_cast<double>(st->size));
  }
  stack::set_result_trim(&n);
}

// browse [url]: the URL, or the file's host path, handed to xdg-open, which
// opens it with the desktop's choice of program; not waited for.
void browse(bool, const int32_t*) {
  Cell* target = arg(0);
  if (!is_type(target, T_URL) && !is_type(target, T_FILE)) refuse_arg(0, target);
  platform::process::Request r;
  r.argv = {"xdg-open", is_type(target, T_FILE) ? io::host_path(target) : string::utf8_of(target)};
  r.wait = false;
  platform::process::Outcome o = platform::process::run(r);
  if (o.failure != platform::process::Failure::none) {
    std::string_view why = o.failure == platform::process::Failure::not_found
                               ? "xdg-open is not installed: cannot open "
                               : "xdg-open cannot start: cannot open ";
    Cell* text = string::push_new(64);
    string::append_utf8(text, why);
    string::append_utf8(text, string::utf8_of(target));
    fire(Err::message, text);
  }
  set_unset(stack::base());
  stack::set_top(stack::base() + 1);
}

// --- transcode ---------------------------------------------------------------------

namespace {

// What the trace callback needs; the cells lie on the data stack.
struct TraceCtx {
  Cell* fn;   // the function! or routine!
  Cell* src;  // the input as given (its head is where the scan began)
  bool is_string;
};

// Event mask of a callback: the words of a block at the head of its body
// (none: every event).
uint32_t event_mask(const Cell* fn) {
  constexpr uint32_t ALL = 63;
  if (!is_type(fn, T_FUNCTION)) return ALL;
  Cell* body = function::more(fn);
  if (!is_type(body, T_BLOCK) || block::xs_length_q(body) < 1) return ALL;
  Cell* first = interpreter::cell_at(body, series::head(body));
  if (!is_type(first, T_BLOCK)) return ALL;
  uint32_t mask = 0;
  struct Pair { words::W w; uint32_t bit; };
  constexpr Pair kEvents[] = {{words::W::prescan, lexer::EV_PRESCAN}, {words::W::scan, lexer::EV_SCAN},
                              {words::W::load, lexer::EV_LOAD},       {words::W::open, lexer::EV_OPEN},
                              {words::W::close, lexer::EV_CLOSE},     {words::W::error, lexer::EV_ERROR}};
  for (int32_t i = series::head(first), n = series::buffer_length(first); i < n; i++) {
    Cell* w = interpreter::cell_at(first, i);
    if (!any_word(type_of(w))) continue;
    for (const Pair& p : kEvents)
      if (words::is(word_symbol(w), p.w)) mask |= p.bit;
  }
  return mask;
}

words::W event_word(lexer::Event e) {
  switch (e) {
    case lexer::EV_PRESCAN: return words::W::prescan;
    case lexer::EV_SCAN: return words::W::scan;
    case lexer::EV_LOAD: return words::W::load;
    case lexer::EV_OPEN: return words::W::open;
    case lexer::EV_CLOSE: return words::W::close;
    default: return words::W::error;
  }
}

// Byte offset of the n-th character of UTF-8 text (clamped to its end).
uint32_t byte_of_char(const lexer::State& s, uint32_t n) {
  const uint8_t* p = s.begin;
  for (; p < s.end && n; n--) {
    p++;
    while (p < s.end && (*p & 0xC0) == 0x80) p++;
  }
  return static_cast<uint32_t>(p - s.begin);
}

// Calls the language callback with (event input type line token). A pending
// exit (a throw to the console's catch, say) ends the scan quietly; the
// native then returns with it.
bool trace_event(void* ctx, lexer::State& s, lexer::TraceEvent& ev) {
  auto* t = static_cast<TraceCtx*>(ctx);
  Cell value = ev.value ? *ev.value : fixed_none;  // valid only until the next allocation
  auto offset = [&](uint32_t byte) {
    return t->is_string ? lexer::char_index(s, s.begin + byte) : byte;
  };
  Cell* start = stack::top();
  *stack::push_new() = words::word(event_word(ev.event));
  Cell* input = stack::push(t->src);
  series::set_head(input, series::head(t->src) + static_cast<int32_t>(offset(ev.index)));
  *stack::push_new() = ev.type > 0 ? Cell{T_DATATYPE, static_cast<uint32_t>(ev.type), 0, 0} : fixed_none;
  *stack::push_new() = Cell{T_INTEGER, 0, static_cast<uint32_t>(ev.line), 0};
  Cell* token = stack::push(&value);
  if (ev.event != lexer::EV_LOAD) {
    // No pair! yet: the 1-based start and end offsets as a block of two.
    Cell a{T_INTEGER, 0, offset(ev.start) + 1, 0}, b{T_INTEGER, 0, offset(ev.end) + 1, 0};
    Cell* blk = block::push_only(2);
    block::xs_append(blk, &a);
    block::xs_append(blk, &b);
    *token = *blk;
    stack::set_top(token + 1);
  }
  stack::push_new();  // room for the call's shift
  stack::set_top(token + 1);
  Cell name = words::word(words::W::lexer_callback);
  interpreter::trace::RuntimeCallback traced(interpreter::trace::lexer_cb, &name, t->fn);
  interpreter::call_evaluated(t->fn, &name, start, 5, true);
  traced.returned(start);
  if (throwing()) {
    s.top = s.series_start = s.base;
    s.stopped = true;
    return false;
  }
  bool answer = !is_false(start);
  // A callback that moved its input resumes the scan there. The call
  // shifted the arguments up by one, behind the function; the input cell is
  // the callback's own argument, which it may have reset.
  Cell* moved = start + 2;
  if (is_type(moved, type_of(t->src)) && series::node_of(moved) == series::node_of(t->src)) {
    int32_t at = series::head(moved) - series::head(t->src);
    if (at < 0) at = 0;
    // Only a moved input is converted back: the walk from the text's start
    // is linear, once per event would make the scan quadratic.
    if (t->is_string && static_cast<uint32_t>(at) == offset(ev.index)) at = -1;
    if (at >= 0) ev.index = t->is_string ? byte_of_char(s, static_cast<uint32_t>(at)) : static_cast<uint32_t>(at);
  }
  stack::set_top(start);
  return answer;
}

}  // namespace

void transcode(bool, const int32_t* refs) {
  bool next = present(refs[ref(Id::transcode, "next")]), one = present(refs[ref(Id::transcode, "one")]);
  bool check = present(refs[ref(Id::transcode, "prescan")]) || present(refs[ref(Id::transcode, "scan")]);
  Cell* src = arg(0);
  TypeId st = type_of(src);
  if (st != T_BINARY && !series::string_like(st)) refuse_arg(0, src);
  series::get_length(src, false);  // clamps the head to the tail
  int32_t length = series::get_length(src, false);
  if (Cell* part = opt(refs[ref(Id::transcode, "part")])) {
    if (is_type(part, T_INTEGER)) length = get_int(part);
    else if (type_of(part) == st) length = series::head(part) - series::head(src);
    else fire(Err::not_same_type);
    if (length < 0) length = 0;
  }
  if (st == T_BINARY && length >= 3) {
    const auto* p = reinterpret_cast<const uint8_t*>(binary::xs_head(src));
    if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
      series::set_head(src, series::head(src) + 3);
      length -= 3;
    }
  }
  Cell* out = stack::push_new();
  set_unset(out);
  lexer::TranscodeOptions o;
  o.part = length;
  o.one = next || one;
  o.into = opt(refs[ref(Id::transcode, "into")]);
  if (o.into && !series::block_like(type_of(o.into))) refuse_arg(8, o.into);
  TraceCtx tc{nullptr, src, st != T_BINARY};
  if (Cell* cb = opt(refs[ref(Id::transcode, "trace")])) {
    if (!is_type(cb, T_FUNCTION) && !is_type(cb, T_ROUTINE)) refuse_arg(10, cb);
    tc.fn = cb;
    o.callback = *cb;
    o.trace = lexer::Trace{event_mask(cb), trace_event, &tc};
  }
  if (check) {
    if (length == 0) {
      stack::set_result_trim(&fixed_none);
      return;
    }
    o.mode = lexer::Mode::check;
    o.quiet = true;
  }
  lexer::Transcoded r = lexer::transcode(src, out, o);
  if (throwing()) return;
  if (check) {
    *out = !r.ok ? Cell{T_DATATYPE, T_ERROR, 0, 0} : r.type ? Cell{T_DATATYPE, r.type, 0, 0} : fixed_none;
    if (!next) {
      stack::set_result_trim(out);
      return;
    }
  }
  if (next) {
    // [value-or-type rest-of-input]
    Cell* rest = stack::push(src);
    series::set_head(rest, series::head(src) + static_cast<int32_t>(r.consumed));
    Cell* pair = block::push_only(2);
    block::xs_append(pair, out);
    block::xs_append(pair, rest);
    stack::set_result_trim(pair);
    return;
  }
  stack::set_result_trim(out);
}

}  // namespace xeb::natives
