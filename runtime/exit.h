// The one exit path of the process: runtime errors (faults of the process
// itself) and ordinary exits both end here.
#pragma once
#include <cstdint>

namespace xeb {

// Prints "*** Runtime Error N: message" and "*** at: XXXXXXXXh", then exits
// with N as the status. Safe to call from a fault handler.
[[noreturn]] void runtime_error(int code, uint64_t address = 0);
const char* runtime_error_message(int code);  // nullptr for an unknown number
[[noreturn]] void exit_process(int status);
// The same from a signal handler: nothing that can wait on a lock.
[[noreturn]] void exit_on_signal(int status);
// Ends the process as sig would, after the cleanups: the parent sees the
// signal. From a handler of sig.
[[noreturn]] void die_of_signal(int sig);

// Cleanups run on every way out (a terminal left in raw mode, say), most
// recent first. They may run inside a fault handler, so they must be
// async-signal-safe. At most 8; answers false when full.
bool add_exit_cleanup(void (*fn)());

// Set by the error module once language errors can be raised; until then an
// internal error ends the process as a runtime error (19 for the depth
// limits, 94 otherwise).
enum class InternalError { no_memory, wrong_mem, stack_overflow, too_deep };
extern void (*raise_internal_hook)(InternalError);
[[noreturn]] void raise_internal(InternalError e);

}  // namespace xeb
