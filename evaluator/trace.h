// Evaluation tracing: while a do/trace run is on, the interpreter reports
// each step (values fetched and produced, calls opened and returned, blocks
// entered and left, assignments, errors, throws and catches) to a callback
// function. Every event site tests `tracing` first, so tracing off costs one
// flag test; a site whose event is masked out costs one more.
//
// While tracing is on the interpreter leaves its short paths (values read in
// place, integer operators without a call, calls of plain specs) for the
// general ones, which fire every event; the test is made at each use, so
// tracing switched on in the middle of a loop takes effect at once.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::interpreter::trace {

enum Event : uint32_t {
  init = 1, end = 2, prolog = 4, epilog = 8, enter = 16, exit = 32, open = 64, return_ = 128,
  fetch = 256, push = 512, set = 1024, call = 2048, error = 4096, throw_ = 8192, catch_ = 16384, expr = 32768,
};
constexpr uint32_t ALL_EVENTS = 0x1FFFF;

extern uint32_t tracing;  // events are delivered now
extern uint32_t active;   // a do/trace run is on (its callback is installed)

// Delivers one event when its bit is in the run's mask. code: the block or
// path the event is about (null: none), pos: an absolute index in it (-1:
// none); ref and value may be null (none!). Each pointer may lie anywhere:
// the cells are copied before anything allocates.
void fire(Event e, const Cell* code, int32_t pos, const Cell* ref, const Cell* value);
inline void event(Event e, const Cell* code, int32_t pos, const Cell* ref, const Cell* value) {
  if (tracing) [[unlikely]] fire(e, code, pos, ref, value);
}

// The events a callback asks for: the words of a block that starts its body,
// else every event.
uint32_t mask_of(const Cell* callback);

// Starts a run with the callback (a function! on the data stack) over code
// and sends init; answers false, changing nothing, when a run is on already.
bool start(const Cell* callback, const Cell* code);
// Sends end and ends the run; a pending exit is kept across it.
void finish();
// Ends the run without an event (an error left the traced code).
void abandon();

// `trace on/off` from the traced code: the library function that asks
// returns with tracing switched (and it stays off outside a run). 0 when
// nothing is asked, else 1 + the state wanted.
extern uint32_t switch_request;
inline void request_switch(bool on) { switch_request = on ? 2 : 1; }
void apply_switch();

// Per-function attributes: the tracing state a function's body runs with.
// Answers the state to restore afterwards, KEEP when the body runs with the
// caller's (its end then leaves the state as the body left it).
constexpr uint32_t KEEP = 0xFFFFFFFF;
uint32_t enter_function(uint32_t fn_header);
inline void leave_function(uint32_t saved) {
  if (saved == KEEP) return;
  tracing = saved;
  if (switch_request) [[unlikely]] apply_switch();
}

// A callback the runtime runs (object hooks, comparators, parse and lexer
// callbacks, port actors) names its kind by one bit. While tracing is on, a
// kind whose bit is not in `system/state/callbacks/bits` runs with tracing
// suspended; a kind switched on is reported: `call` (with the function)
// before it, `return` (with its result) after it.
enum Kind : uint32_t { lexer_cb = 1, parse_cb = 2, sort_cb = 4, change_cb = 8, deep_cb = 16, port_cb = 32 };

// The bits of the callback kinds switched on; 0 when the switch object is
// missing or its `bits` is no integer.
uint32_t callback_bits();

class RuntimeCallback {
 public:
  // name: the word naming the call; fn: the callback. Both are read at once.
  RuntimeCallback(uint32_t kind, const Cell* name, const Cell* fn);
  // The callback returned with result (a pending exit sends nothing).
  void returned(const Cell* result);
  ~RuntimeCallback() {
    if (suspended_) tracing = saved_;
  }
  RuntimeCallback(const RuntimeCallback&) = delete;
  RuntimeCallback& operator=(const RuntimeCallback&) = delete;

 private:
  Cell name_;
  uint32_t saved_ = tracing;
  bool suspended_ = false;
  bool reported_ = false;
};

// Library calls that are no runtime callback of a kind above (the console's
// and the GUI's calls into the language) run with tracing suspended.
struct Suspend {
  uint32_t saved = tracing;
  Suspend() { tracing = 0; }
  ~Suspend() { tracing = saved; }
};

void setup();  // the callback cell, a root

}  // namespace xeb::interpreter::trace
