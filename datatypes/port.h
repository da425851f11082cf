// port!: an object standing for an I/O channel. It does no I/O itself: its
// series and I/O actions go to the actor of its scheme, an object whose
// function of the action's name is called with the port and the action's
// arguments (refinements as logic!, absent arguments as none!).
//
// A port is an object cell of type port! and class id 2 whose fields are,
// in order: spec scheme actor awake state data extra.
#pragma once
#include <span>

#include "runtime/cell.h"

namespace xeb::port {

constexpr int32_t CLASS_ID = 2;
enum Field : int32_t { F_SPEC = 0, F_SCHEME, F_ACTOR, F_AWAKE, F_STATE, F_DATA, F_EXTRA };

// Calls a function! with arguments for its first slots; answers the result
// on the data stack top, or null with a non-local exit pending. kind: the
// tracing kind of a runtime callback (32 for an actor's function), 0 for
// another call. Set by the library at start-up (the datatypes cannot reach
// the evaluator).
extern Cell* (*call_hook)(const Cell* name, const Cell* fn, std::span<const Cell> args, uint32_t kind);

// The port through which a URL of a scheme other than HTTP is opened, read
// or written: the URL taken apart by the library's url-parser/parse-url and
// made into a port! of its scheme, answered on the data stack (unset when a
// non-local exit is pending). A URL that does not parse raises invalid-arg.
Cell* from_url(Cell* url);

void init();

}  // namespace xeb::port
