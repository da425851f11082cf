// Start-up and the exit path, each case in a child process: faults, the
// interrupt, the top-level catch and the interpreter's big stack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "runtime/startup.h"
#include "runtime/throw.h"

namespace xeb {
namespace {

volatile int* volatile g_null = nullptr;
volatile int g_zero = 0, g_seven = 7;

// The trap itself is the point, not a sanitizer's report of it.
__attribute__((no_sanitize("undefined"))) int divide_by_zero(int, char**) { return g_seven / g_zero; }

int overflow_natively(int n) {
  volatile char pad[512];
  pad[0] = static_cast<char>(n);
  return g_zero == 0 ? overflow_natively(n + 1) + pad[0] : 0;
}

// Bytes of the mapping holding this frame's stack, below the frame: read
// from the process's map, whichever way the big stack was made.
size_t stack_room_below() {
  volatile char here = 0;
  const auto at = reinterpret_cast<uintptr_t>(&here);
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (!maps) return 0;
  unsigned long lo = 0, hi = 0;
  size_t room = 0;
  char line[512];
  while (std::fgets(line, sizeof line, maps))
    if (std::sscanf(line, "%lx-%lx", &lo, &hi) == 2 && lo <= at && at < hi) room = at - lo;
  std::fclose(maps);
  return room;
}

using ::testing::ContainsRegex;
using ::testing::HasSubstr;

::testing::Matcher<const std::string&> Quiet() { return ::testing::Not(HasSubstr("***")); }

struct ExitCase {
  const char* name;
  int (*body)(int, char**);
  int status;
  ::testing::Matcher<const std::string&> output;
};

const ExitCase kExits[] = {
  {"fault", [](int, char**) { return *g_null; }, 1,
   ContainsRegex("\\*\\*\\* Runtime Error 1: access violation\n\\*\\*\\* at: [0-9A-F]{8}h\n")},
  {"integer_divide", divide_by_zero, 13, HasSubstr("*** Runtime Error 13: integer divide by zero\n")},
  {"native_overflow", [](int, char**) { return overflow_natively(0); }, 19,
   HasSubstr("*** Runtime Error 19: stack error or overflow\n")},
  {"interrupt", [](int, char**) { return raise(SIGINT); }, 130, Quiet()},
  {"pending_exit_at_top", [](int, char**) {
     pending_throw = ThrowCode::break_loop;
     return 0;
   }, 95, HasSubstr("*** Runtime Error 95: no CATCH for THROW\n*** at: ")},
  {"error_at_top", [](int, char**) -> int { throw LangError{}; }, 95, HasSubstr("*** Runtime Error 95: no CATCH for THROW\n")},
  {"status", [](int, char**) { return 7; }, 7, Quiet()},
  {"big_stack", [](int, char**) { return stack_room_below() + (1 << 20) >= startup::INTERPRETER_STACK ? 0 : 3; },
   0, Quiet()},
};

class ExitPath : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitPath, EndsWithItsStatusAndText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const ExitCase& c = GetParam();
  auto run = [&] {
    dup2(STDERR_FILENO, STDOUT_FILENO);  // the messages go to standard output
    startup::run(0, nullptr, c.body);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(c.status), c.output);
}

INSTANTIATE_TEST_SUITE_P(Startup, ExitPath, ::testing::ValuesIn(kExits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xeb
