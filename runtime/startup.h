// Start-up: the machine set-up before anything else runs, and the big-stack
// thread the interpreter lives on.
#pragma once

namespace xeb::startup {

constexpr unsigned long INTERPRETER_STACK = 256ul << 20;  // the language's own limits always trigger first

// Resets the floating-point state, installs the fault and interrupt
// handlers, runs body on the interpreter thread under the top-level catch
// (a throw nothing catches is runtime error 95) and ends the process with
// body's status through the exit path.
[[noreturn]] void run(int argc, char** argv, int (*body)(int, char**));

}  // namespace xeb::startup
