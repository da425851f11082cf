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

constexpr int EXIT_STATUS = 130;  // 128 + SIGINT, as shells report it

}  // namespace xeb::interrupt
