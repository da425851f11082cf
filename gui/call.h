// Calls from the GUI back-end into the language: `system/view/awake` and
// the functions of `TUI-helpers`. Each call runs behind a catch-all: an
// error or a pending exit out of the callee is stopped here, never carried
// through the back-end's C++ frames.
//
// Collector safety: arguments are copied onto the data stack before anything
// can allocate; the result is left on the data stack (a root), so the caller
// pops it when done. No series pointer is held across the call.
#pragma once
#include <initializer_list>
#include <span>
#include <string_view>

#include "runtime/cell.h"

namespace xeb::gui {

struct Refinement {
  std::string_view name;
  std::span<const ::xeb::Cell> args;
};

struct CallResult {
  ::xeb::Cell* value;  // on the data stack; none when the call failed
  bool ok;             // false: an error or an exit was stopped
  bool exited;         // a throw, break or halt was pending when stopped
};

// Calls the function value fn: args fill its first slots; each refinement
// given is set true with its arguments. The stack top is the result cell.
CallResult call_function(const ::xeb::Cell* fn, std::string_view name, std::span<const ::xeb::Cell> args,
                         std::initializer_list<Refinement> refinements = {});

// The field `name` of the object at `system/view` (path given as words),
// copied out; none when any step is missing.
::xeb::Cell system_field(std::initializer_list<std::string_view> path);
// A function of TUI-helpers (a global object), or none.
::xeb::Cell tui_helper(std::string_view name);

}  // namespace xeb::gui
