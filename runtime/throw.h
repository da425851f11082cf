// Non-local exits. Language errors travel as the one C++ exception type,
// LangError. break, continue, return, exit and throw are ordinary control
// flow and must stay cheap: the throw operations set the stacks as their
// target expects, leave a pending throw code and return; every caller on the
// way back checks `throwing()` and returns at once, until a catching point
// whose level accepts the code lands it.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/frames.h"

namespace xeb {

// The code of a non-local exit, ordered by size: a catching point stops
// every code at or below its level (unsigned comparison).
enum class ThrowCode : uint32_t {
  none = 0,
  page_release = 0x7FFFFFF6,  // the system refused to release pages
  page_alloc = 0x7FFFFFF7,    // the system refused pages
  throw_value = 0x7FFFFFFA,
  exit = 0x7FFFFFFB,          // return without a value
  return_value = 0x7FFFFFFC,
  continue_loop = 0x7FFFFFFD,
  break_loop = 0x7FFFFFFE,
  error = 0x7FFFFFFF,
};

enum class CatchLevel : uint32_t {
  all = 0x7FFFFFFF,    // try, function calls: every code
  loop = 0x7FFFFFFE,   // loops: break and continue, and everything below
  catch_ = 0x7FFFFFFA, // catch: throw only
  pages = 0x7FFFFFF8,  // around the page allocator's calls
};

inline bool stops(CatchLevel level, ThrowCode code) {
  return code != ThrowCode::none && static_cast<uint32_t>(code) <= static_cast<uint32_t>(level);
}

// The one C++ exception type. The authoritative error value is the top cell
// of the data stack (a collector root); this copy is valid only until the
// next allocation.
struct LangError {
  Cell error;
};

// The throw in progress (the system record's code). Set by the throw
// operations, carried back through return paths, cleared by the catching
// point that takes it.
extern ThrowCode pending_throw;
inline bool throwing() { return pending_throw != ThrowCode::none; }

// Throw-category error ids, in the catalogue's order.
enum class ThrowError : uint32_t { break_loop = 2, return_value = 3, throw_value = 4, continue_loop = 5 };

// Supplied by the error module; each may be null until it exists.
struct ErrorHooks {
  // Raises the throw-category error (through the error raiser, hence
  // throw_error). arg is the thrown value for throw_value, else null. Never
  // returns. Unset: runtime error 95.
  void (*raise_throw)(ThrowError id, const Cell* arg);
  // Fills the error's where and stack fields before unwinding; the call
  // stack is still as it was at the failure (stack::caller_word,
  // stack::record_error_position).
  void (*annotate)(Cell* error);
  // Prints an error nothing catches (the native print of its form). It sits
  // in the result slot at the data-stack bottom.
  void (*print_uncaught)(Cell* error);
};
extern ErrorHooks error_hooks;

namespace stack {

// Raises a language error: annotates it, unwinds the call stack to the
// nearest try or try/all frame and drops that frame, pushes the error on the
// data stack and throws LangError. With no such frame (or no frame at all)
// prints the error and ends the process with status -2.
[[noreturn]] void throw_error(const Cell* error);

// The pending exits. Each one finds its target frame, sets the stacks as the
// target expects, sets pending_throw and returns; with no target (or a
// try/all frame in the way) it puts the stacks back and raises the matching
// throw-category error instead.
void throw_break(bool with_value, bool is_continue);  // value: the cell at base
void throw_exit(bool with_value, bool direct);        // direct: no frame of its own
void throw_value(ThrowCode code);  // thrown value at base, its name at base + 1

// Static unwinding for compiled code (no code is raised).
void unroll(FrameType type);
void unroll_loop(bool keep);

}  // namespace stack

// A native catching point. Take it right after pushing the catching frame;
// when a pending code (or a LangError) comes back and this point handles it,
// call land(): the throw operations have already set the data stack, so
// landing clears the code and the throw origin, cuts the call stack back to
// the frames it had (never below) and restores the cycle stack.
class CatchPoint {
 public:
  explicit CatchPoint(CatchLevel level);
  // Leaving a catching point is where a stack-overflow reserve closes.
  ~CatchPoint() {
    if (stack::reserve_open()) stack::close_reserve();
  }
  bool takes(ThrowCode code) const { return stops(level_, code); }
  bool takes_pending() const { return stops(level_, pending_throw); }
  ThrowCode land();  // answers the code it took (error for a LangError)

 private:
  CatchLevel level_;
  uint32_t frames_;  // call-stack depth
  uint32_t cycles_;  // cycle-stack depth
};

}  // namespace xeb
