#include "runtime/exit.h"

#include "runtime/interrupt.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace xeb {

namespace {
struct Msg { int code; const char* text; };
constexpr Msg kMessages[] = {
  {1, "access violation"}, {2, "invalid alignment"}, {3, "breakpoint"},
  {4, "single step"}, {5, "bounds exceeded"}, {6, "float denormal operan"},
  {7, "float divide by zero"}, {8, "float inexact result"},
  {9, "float invalid operation"}, {10, "float overflow"}, {11, "float stack check"},
  {12, "float underflow"}, {13, "integer divide by zero"}, {14, "integer overflow"},
  {15, "privileged instruction"}, {16, "invalid virtual address"},
  {17, "illegal instruction"}, {18, "non-continuable exception"},
  {19, "stack error or overflow"}, {20, "invalid disposition"}, {21, "guard page"},
  {22, "invalid handle"}, {23, "illegal operand"}, {24, "illegal addressing mode"},
  {25, "illegal trap"}, {26, "coprocessor error"},
  {27, "non-existent physical address"}, {28, "object specific hardware error"},
  {29, "hardware memory error consumed AR"}, {30, "hardware memory error consumed AO"},
  {31, "privileged register"}, {32, "segmentation fault"}, {33, "FPU error"},
  {34, "Bus error"}, {94, "out of memory"}, {95, "no CATCH for THROW"},
  {98, "assertion failed"}, {99, "unknown error"},
  {100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
};
void (*cleanups[8])() = {};
int cleanup_count = 0;

void run_cleanups() {
  while (cleanup_count > 0) cleanups[--cleanup_count]();  // each runs once, even if one faults
}

// stdout may be mid-operation in the thread that faulted: flush it only when
// its lock is free (or already ours), never wait for it.
void flush_if_free(std::FILE* f) {
  if (ftrylockfile(f) != 0) return;
  fflush_unlocked(f);
  funlockfile(f);
}
}  // namespace

bool add_exit_cleanup(void (*fn)()) {
  if (cleanup_count == 8) return false;
  cleanups[cleanup_count++] = fn;
  return true;
}

const char* runtime_error_message(int code) {
  for (const Msg& m : kMessages)
    if (m.code == code) return m.text;
  return nullptr;
}

[[noreturn]] void runtime_error(int code, uint64_t address) {
  // Formatted by hand into a stack buffer: this may run in a signal handler
  // or with the heap exhausted.
  char buf[160];
  const char* msg = runtime_error_message(code);
  int n = msg ? std::snprintf(buf, sizeof buf, "*** Runtime Error %d: %s\n*** at: %08Xh\n", code, msg,
                              static_cast<unsigned>(address & 0xFFFFFFFFu))
              : std::snprintf(buf, sizeof buf, "*** Runtime Error %d: unknown error code!\n*** at: %08Xh\n",
                              code, static_cast<unsigned>(address & 0xFFFFFFFFu));
  flush_if_free(stdout);
  run_cleanups();
  ssize_t w = write(STDOUT_FILENO, buf, n > 0 ? static_cast<size_t>(n) : 0);
  (void)w;
  _exit(code);
}

[[noreturn]] void exit_process(int status) {
  if (const int sig = interrupt::end_signal()) die_of_signal(sig);  // the console ended for a signal
  std::fflush(stdout);
  std::fflush(stderr);
  run_cleanups();
  std::_Exit(status);
}

[[noreturn]] void exit_on_signal(int status) {
  flush_if_free(stdout);
  flush_if_free(stderr);
  run_cleanups();
  _exit(status);
}

[[noreturn]] void die_of_signal(int sig) {
  flush_if_free(stdout);
  run_cleanups();
  struct sigaction sa{};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void (*raise_internal_hook)(InternalError) = nullptr;

[[noreturn]] void raise_internal(InternalError e) {
  if (raise_internal_hook) raise_internal_hook(e);  // throws a language error
  runtime_error(e == InternalError::stack_overflow || e == InternalError::too_deep ? 19 : 94);
}

}  // namespace xeb
