// Evaluation tracing: the run's state, the event mask, and the delivery of
// one event to the callback.
#include "evaluator/trace.h"

#include <cstdint>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "runtime/collector.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::interpreter::trace {

uint32_t tracing = 0;
uint32_t active = 0;
uint32_t switch_request = 0;

namespace {

uint32_t mask = 0;
Cell callback{T_NONE, 0, 0, 0};  // the run's callback, a root; none! outside a run
void (*plain_annotate)(Cell*) = nullptr;

void mark_callback() { collector::mark_cell(&callback); }

struct EventWord {
  Event event;
  words::W word;
};
constexpr EventWord kEvents[] = {
    {init, words::W::init},     {end, words::W::end},         {prolog, words::W::prolog},
    {epilog, words::W::epilog}, {enter, words::W::enter},     {exit, words::W::exit},
    {open, words::W::open},     {return_, words::W::return_}, {fetch, words::W::fetch},
    {push, words::W::push},     {set, words::W::set},         {call, words::W::call},
    {error, words::W::error},   {throw_, words::W::throw_},   {catch_, words::W::catch_},
    {expr, words::W::expr},
};

words::W word_of(Event e) {
  for (const EventWord& w : kEvents)
    if (w.event == e) return w.word;
  return words::W::end;
}

constexpr uint32_t kWithRef = set | prolog | epilog | return_ | call;

// Errors raised while a run is on reach the callback before they unwind.
void annotate_and_trace(Cell* err) {
  if (plain_annotate) plain_annotate(err);
  event(error, nullptr, -1, nullptr, err);
}

}  // namespace

void setup() {
  static bool done = false;
  if (done) return;
  done = true;
  collector::add_root_marker(mark_callback);
}

uint32_t mask_of(const Cell* fn) {
  const Cell* body = function::more(fn);
  if (!is_type(body, T_BLOCK)) return ALL_EVENTS;
  SeriesBuf* b = series::buf(body);
  const Cell* first = b->cells() + series::head(body);
  if (first >= b->cells_tail() || !is_type(first, T_BLOCK)) return ALL_EVENTS;
  SeriesBuf* wb = series::buf(first);
  if (wb->cells() + series::head(first) >= wb->cells_tail()) return ALL_EVENTS;
  uint32_t m = 0;
  for (const Cell *c = wb->cells() + series::head(first), *e = wb->cells_tail(); c < e; c++) {
    if (!is_type(c, T_WORD)) continue;
    for (const EventWord& w : kEvents)
      if (words::is(word_symbol(c), w.word)) m |= w.event;
  }
  return m;
}

bool start(const Cell* fn, const Cell* code) {
  if (active) return false;
  setup();
  mask = mask_of(fn);
  callback = *fn;
  plain_annotate = error_hooks.annotate;
  error_hooks.annotate = &annotate_and_trace;
  active = tracing = 1;
  event(init, code, code ? series::head(code) : -1, nullptr, nullptr);
  return true;
}

void abandon() {
  if (error_hooks.annotate == &annotate_and_trace) error_hooks.annotate = plain_annotate;
  callback = Cell{T_NONE, 0, 0, 0};
  active = tracing = 0;
}

void finish() {
  ThrowCode saved = pending_throw;
  pending_throw = ThrowCode::none;
  event(end, nullptr, -1, nullptr, nullptr);
  abandon();
  pending_throw = saved;
}

uint32_t enter_function(uint32_t header) {
  uint32_t saved = tracing;
  if (header & HDR_NO_TRACE) tracing = 0;
  else if (header & HDR_TRACE) tracing = active;
  else return KEEP;
  return saved;
}

void apply_switch() {
  tracing = (switch_request - 1) & active;
  switch_request = 0;
}

uint32_t callback_bits() {
  // The words of the path, read once: they are in the global context from
  // start-up on, so loading them allocates nothing.
  static Cell path[4];
  static bool loaded = false;
  if (!loaded) {
    constexpr std::string_view names[4] = {"system", "state", "callbacks", "bits"};
    for (int i = 0; i < 4; i++) path[i] = *word::load(names[i]);
    loaded = true;
  }
  Cell v = *context::get(&path[0]);
  for (int i = 1; i < 4; i++) {
    if (!is_type(&v, T_OBJECT)) return 0;
    Cell obj = v;
    v = *object::get_field(&obj, &path[i]);
  }
  return is_type(&v, T_INTEGER) ? static_cast<uint32_t>(get_int(&v)) : 0;
}

RuntimeCallback::RuntimeCallback(uint32_t kind, const Cell* name, const Cell* fn) : name_(*name) {
  if (!tracing) return;
  if (!(callback_bits() & kind)) {
    suspended_ = true;
    tracing = 0;
    return;
  }
  reported_ = true;
  fire(call, nullptr, -1, &name_, fn);
}

void RuntimeCallback::returned(const Cell* result) {
  if (reported_ && tracing && !throwing()) fire(return_, nullptr, -1, &name_, result);
}

void fire(Event e, const Cell* code, int32_t pos, const Cell* ref, const Cell* value) {
  if (!(mask & e) || !is_type(&callback, T_FUNCTION)) return;
  // Everything the callback gets, copied before anything allocates.
  Cell args[6];
  args[0] = words::word(word_of(e));
  args[1] = code ? *code : Cell{T_NONE, 0, 0, 0};
  int32_t offset = -1;
  if (code && pos >= 0) {
    int32_t head = series::head(code);
    int32_t tail = static_cast<int32_t>(series::buf(code)->cell_count());
    if (pos >= head && pos <= tail) offset = pos - head;
  }
  args[2] = Cell{T_INTEGER, 0, static_cast<uint32_t>(offset), 0};
  args[3] = value ? *value : Cell{T_NONE, 0, 0, 0};
  args[4] = ref && (e & kWithRef) ? *ref : Cell{T_NONE, 0, 0, 0};
  args[5] = Cell{T_PAIR, 0, stack::index_of(stack::base()), stack::index_of(stack::top())};

  // The traced code's stacks come back exactly as they were.
  Cell* base = stack::base();
  Cell* top = stack::top();
  CallFrame* frames = stack::frame_top();
  uint32_t was = tracing;
  tracing = 0;  // nothing the callback does is traced
  // A routine without arguments leaves its result in its frame's base, which
  // is then the top itself: the callback's cells go above the value, which
  // stays a root while the callback runs.
  auto at = reinterpret_cast<uintptr_t>(value);
  if (at >= reinterpret_cast<uintptr_t>(top) && at < reinterpret_cast<uintptr_t>(stack::ds.end))
    stack::set_top(const_cast<Cell*>(value) + 1);

  Cell* start = stack::push(&callback);
  Node fctx = function::context_of(start);
  // A barrier under the callback: break, continue and throw cannot leave it
  // into the traced code; they become errors, as errors leave from here.
  Cell name = words::word(words::W::interp_callback);
  stack::mark_try_all(&name);
  Cell* more = function::more(start);
  if (is_type(more + 4, T_INTEGER) && get_int(more + 4)) set_word_context(&name, static_cast<Node>(get_int(more + 4)));  // the owner object's context
  stack::push_frame(&name, frame_flags(FrameType::function));
  CallFrame* frame = stack::top_frame();
  frame->fctx = fctx;
  frame->saved = stack::values_of(fctx);
  int32_t slots = context::size(fctx);
  for (int32_t i = 0; i < slots; i++) {
    if (i < 6) {
      stack::push(&args[i]);
    } else {
      bool refinement = is_type(context::word_at(fctx, i), T_REFINEMENT);
      *stack::push_new() = refinement ? Cell{T_LOGIC, 0, 0, 0} : Cell{T_NONE, 0, 0, 0};
    }
  }
  try {
    eval_function(start);
  } catch (const LangError&) {
    // The error landed on the barrier: raise it again from the event site,
    // with tracing left off.
    Cell err = *(stack::top() - 1);
    stack::cut_to(static_cast<uint32_t>(frames - stack::frames().data()));
    stack::set_base(base);
    stack::set_top(top);
    pending_throw = ThrowCode::none;
    stack::throw_error(&err);
  }
  if (throwing()) {
    // Only return and exit could leave the body, and it stopped them.
    pending_throw = ThrowCode::none;
  }
  // Popped, not dropped: the callback's function context gets its values
  // pointer back, or its words would read cells above the stack top.
  stack::cut_to(static_cast<uint32_t>(frames - stack::frames().data()));
  stack::set_base(base);
  stack::set_top(top);
  tracing = was;
}

}  // namespace xeb::interpreter::trace
