// The one exit path of the process: runtime errors (faults of the process
// itself) and ordinary exits both end here.
#pragma once
#include <cstdint>

namespace xeb {

// Prints "*** Runtime Error N: message" and "*** at: XXXXXXXXh", then exits
// with N as the status.
[[noreturn]] void runtime_error(int code, uint64_t address = 0);
const char* runtime_error_message(int code);  // nullptr for an unknown number
[[noreturn]] void exit_process(int status);

// Set by the error module once language errors can be raised; until then an
// internal error ends the process as "out of memory".
enum class InternalError { no_memory, wrong_mem, stack_overflow };
extern void (*raise_internal_hook)(InternalError);
[[noreturn]] void raise_internal(InternalError e);

}  // namespace xeb
