// Start-up: floating-point state, the fault and interrupt handlers on an
// alternate signal stack, and the big stack the interpreter runs on.
#include "runtime/startup.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <exception>
#include <cstdint>

#include "platform/math_lib.h"
#include "runtime/exit.h"
#include "runtime/interrupt.h"
#include "runtime/throw.h"

namespace xeb::startup {

namespace {

constexpr size_t ALT_STACK_SIZE = 256 * 1024;
constexpr size_t GUARD_SIZE = 256 * 1024;  // wide enough that no frame jumps over it
constexpr uintptr_t OVERFLOW_SLACK = 64 * 1024;

// Lowest address of the interpreter thread's stack; a fault at or just
// below it is a native stack overflow.
uintptr_t stack_low = 0;

void install_alt_stack() {
  void* p = mmap(nullptr, ALT_STACK_SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;
  stack_t ss{};
  ss.ss_sp = p;
  ss.ss_size = ALT_STACK_SIZE;
  sigaltstack(&ss, nullptr);
}

bool near_stack_end(uintptr_t a) {
  return stack_low && a < stack_low + OVERFLOW_SLACK && a + GUARD_SIZE + OVERFLOW_SLACK >= stack_low;
}

// The runtime-error number of a fault, as the Windows exception codes map.
int fault_code(int sig, const siginfo_t* si, uintptr_t sp) {
  switch (sig) {
    case SIGSEGV:
      return near_stack_end(reinterpret_cast<uintptr_t>(si->si_addr)) || near_stack_end(sp) ? 19 : 1;
    case SIGBUS:
      return si->si_code == BUS_ADRALN ? 2 : 34;
    case SIGFPE:
      switch (si->si_code) {
        case FPE_INTDIV: return 13;
        case FPE_INTOVF: return 14;
        case FPE_FLTDIV: return 7;
        case FPE_FLTOVF: return 10;
        case FPE_FLTUND: return 12;
        case FPE_FLTRES: return 8;
        case FPE_FLTINV: return 9;
        case FPE_FLTSUB: return 5;
        default: return 33;
      }
    case SIGILL:
      switch (si->si_code) {
        case ILL_PRVOPC: return 15;
        case ILL_PRVREG: return 31;
        case ILL_ILLOPN: return 23;
        case ILL_ILLADR: return 24;
        case ILL_ILLTRP: return 25;
        case ILL_COPROC: return 26;
        case ILL_BADSTK: return 19;
        default: return 17;
      }
    default:
      return 99;
  }
}

void on_fault(int sig, siginfo_t* si, void* ucp) {
  auto* uc = static_cast<ucontext_t*>(ucp);
  uintptr_t pc = 0, sp = 0;
#if defined(__x86_64__)
  pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
  sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
  pc = uc->uc_mcontext.pc;
  sp = uc->uc_mcontext.sp;
#endif
  runtime_error(fault_code(sig, si, sp), pc);
}

void on_interrupt(int) { interrupt::on_signal(); }

// A request to end (SIGTERM) or a vanished terminal (SIGHUP): the cleanups
// run, then the process ends by that signal; while the console's loop runs,
// after the console has ended as `quit` ends it.
void on_end_request(int sig) {
  if (!interrupt::defer_end(sig)) die_of_signal(sig);
}

// An exception nothing catches: the cleanups run before the abort.
[[noreturn]] void on_terminate() { die_of_signal(SIGABRT); }

void install_handlers() {
  struct sigaction sa{};
  sa.sa_sigaction = on_fault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(sig, &sa, nullptr);
  struct sigaction si{};
  si.sa_handler = on_interrupt;
  sigemptyset(&si.sa_mask);
  sigaction(SIGINT, &si, nullptr);
  struct sigaction se{};
  se.sa_handler = on_end_request;
  sigemptyset(&se.sa_mask);
  sigaction(SIGTERM, &se, nullptr);
  sigaction(SIGHUP, &se, nullptr);
  std::set_terminate(on_terminate);
}

struct Run {
  int argc;
  char** argv;
  int (*body)(int, char**);
  int status;
};

// The top-level catch: whatever reaches it found no catching point.
int top_level(Run* r) {
  try {
    int status = r->body(r->argc, r->argv);
    if (throwing()) runtime_error(95);
    return status;
  } catch (const LangError&) {
    runtime_error(95);
  }
}

#if defined(XEB_SANITIZE)
// The sanitizers follow threads, not stacks switched under them: there the
// interpreter gets a thread of its own.
void* interpreter_main(void* p) {
  install_alt_stack();
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* lo;
    size_t size;
    if (pthread_attr_getstack(&attr, &lo, &size) == 0) stack_low = reinterpret_cast<uintptr_t>(lo);
    pthread_attr_destroy(&attr);
  }
  auto* r = static_cast<Run*>(p);
  r->status = top_level(r);
  return nullptr;
}

int run_on_big_stack(Run& r) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, INTERPRETER_STACK);
  pthread_attr_setguardsize(&attr, GUARD_SIZE);
  pthread_t t;
  if (pthread_create(&t, &attr, interpreter_main, &r) != 0) runtime_error(94);
  pthread_attr_destroy(&attr);
  pthread_join(t, nullptr);
  return r.status;
}
#else
// The main thread itself runs the interpreter on a stack mapped here: a
// second thread cost a clone, its own malloc arena and a cross-CPU wake-up
// at every start, and bought nothing (nothing else runs beside it).
Run* running = nullptr;

void interpreter_entry() { running->status = top_level(running); }

int run_on_big_stack(Run& r) {
  // Address space only: pages are committed as the stack reaches them.
  void* p = mmap(nullptr, GUARD_SIZE + INTERPRETER_STACK, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (p == MAP_FAILED || mprotect(p, GUARD_SIZE, PROT_NONE) != 0) runtime_error(94);
  stack_low = reinterpret_cast<uintptr_t>(p) + GUARD_SIZE;
  ucontext_t back, interp;
  getcontext(&interp);
  interp.uc_stack.ss_sp = reinterpret_cast<void*>(stack_low);
  interp.uc_stack.ss_size = INTERPRETER_STACK;
  interp.uc_link = &back;
  running = &r;
  makecontext(&interp, interpreter_entry, 0);
  if (swapcontext(&back, &interp) != 0) runtime_error(94);
  return r.status;
}
#endif

}  // namespace

[[noreturn]] void run(int argc, char** argv, int (*body)(int, char**)) {
  // Round to nearest, every floating-point exception masked: a division by
  // zero gives an infinity, never a trap.
  platform::reset_float_env();
  install_alt_stack();
  install_handlers();
  Run r{argc, argv, body, 0};
  exit_process(run_on_big_stack(r));
}

}  // namespace xeb::startup
