// Ctrl-C (SIGINT). While the console's loop evaluates a command, the signal
// only raises a flag; the evaluation stops where the loops look at it, as
// `halt` stops it, and the session goes on. Anywhere else (a script, the
// start-up, a second Ctrl-C before the first was taken) it ends the process
// with status 130, the terminal restored.
#pragma once
#include <atomic>

namespace xeb::interrupt {

// Set by the signal handler; one relaxed load tests it.
extern std::atomic<int> pending;
inline bool is_pending() { return pending.load(std::memory_order_relaxed) != 0; }

// Whether a Ctrl-C halts the evaluation (the console's loop runs).
void set_halts(bool on);
// Clears the flag: a Ctrl-C that nothing took is not kept for the next
// command.
void clear();

// The SIGINT handler's work: async-signal-safe.
void on_signal();

// SIGTERM and SIGHUP while the console's loop runs: the command halts as
// for Ctrl-C, the next line read ends as at the end of the input, and the
// console ends through `quit` (its history saved), by that signal. From
// the handler: answers false when the end cannot wait (no loop runs, or a
// second one came before the first was taken).
bool defer_end(int sig);
// The signal whose end is under way, 0 when none.
int end_signal();
// Called by defer_end so that a wait for input returns (async-signal-safe).
void set_wake(void (*fn)());

constexpr int EXIT_STATUS = 130;  // 128 + SIGINT, as shells report it

}  // namespace xeb::interrupt
