// Hostile input with the whole library booted: the cases of cases.txt (the
// format of the language tests: source lines, then "== molded result" or
// "== error: <id>", printed text first with "\n" for line ends), and every
// built-in of the global context called with unusual arguments. Everything
// runs on a thread with the interpreter's big stack, so that the language's
// own depth limits are what stops deep recursion, as in the program.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/interpreter.h"
#include "start/start.h"
#include "library/boot.h"
#include "datatypes/print_hooks.h"
#include "runtime/collector.h"
#include "runtime/startup.h"
#include "tests/evaluator/cases.h"
#include "tests/evaluator/support.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

void capture(const Cell* str, bool new_line) {
  printed += string::utf8_of(str);
  if (new_line) printed += "\n";
}

void on_big_stack(const std::function<void()>& body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, startup::INTERPRETER_STACK);
  pthread_t t;
  auto run = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&t, &attr, run, const_cast<std::function<void()>*>(&body)), 0);
  pthread_attr_destroy(&attr);
  pthread_join(t, nullptr);
}

class Robust : public Runtime {
  friend void probe_builtins(int);

 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    library::set_command_line(0, nullptr);
    start::boot();
    collector::enabled = collect_in_cases();
  }
  // Output is captured, not shown: the probes print whatever they are given.
  void SetUp() override {
    Runtime::SetUp();
    print_hooks::remove(&print_hooks::default_printer, nullptr);
    print_hooks::add(&capture, nullptr);
  }
  void TearDown() override {
    print_hooks::remove(&capture, nullptr);
    print_hooks::add(&print_hooks::default_printer, nullptr);
    Runtime::TearDown();
  }

  // The printed text and the molded result or the error's id; the stacks
  // must come back as they were whatever happened.
  static std::string run(const std::string& src) {
    std::string out;
    on_big_stack([&] {
      Cell err;
      printed.clear();
      Cell* start = stack::top();
      uint32_t frames = stack::depth();
      int32_t code = error_code_of(
          [&] {
            interpreter::eval_block(load(src), false);
            out = throwing() ? "pending exit" : actions::mold_text(stack::top() - 1);
          },
          &err);
      if (code != -1) out = "error: " + std::string(symbol::name(error::get_id(&err)));
      EXPECT_EQ(stack::depth(), frames) << src;
      EXPECT_FALSE(throwing()) << src;
      stack::set_top(start);
      cycles::reset();
    });
    return printed + out;
  }
};

TEST_F(Robust, Cases) {
  std::vector<Case> cases = read_cases(XEB_ROBUST_CASES_DIR "/cases.txt");
  ASSERT_FALSE(cases.empty());
  for (const Case& c : cases) EXPECT_EQ(run(c.src), c.expected) << "cases.txt:" << c.line << ": " << c.src;
}

// The names of every function value in the global context.
std::vector<std::string> builtin_names() {
  std::vector<std::string> names;
  Node g = context::global();
  for (int32_t i = 0, n = context::size(g); i < n; i++) {
    switch (type_of(context::values(g) + i)) {
      case T_NATIVE: case T_ACTION: case T_OP: case T_ROUTINE: case T_FUNCTION:
        names.emplace_back(symbol::name(word_symbol(context::word_at(g, i))));
        break;
      default: break;
    }
  }
  return names;
}

// Left out: what waits (a window's event loop among them), reads the terminal, ends the process, touches files,
// the environment or other processes, and loops whose end is the caller's
// business (a count of 2147483647 or a condition that stays true), and
// tracers whose printing grows with the depth of their argument, and what,
// which takes no argument and lists the whole global context on every call.
const std::set<std::string> kLeftOut = {
    "wait", "quit", "quit-return", "halt", "ask", "input", "launch", "run", "call", "browse", "write",
    "delete", "rename", "create", "open", "read", "save", "save-cfg", "load-cfg", "change-dir", "set-current-dir",
    "set-env", "q", "forever", "while", "until", "loop", "repeat", "do-command", "eval-command", "read-argument",
    "init", "trapper", "recycle", "save", "load", "make-dir", "do-file", "extract-boot-args", "clock",
    "parse-trace", "transcode-trace", "trace", "profile", "debug", "about", "what",
    "view", "do-events", "alert", "request-file", "request-dir"};

// Each built-in with every pair of the unusual values as its first two
// arguments (the pair again after them), then each refinement with one
// value per first argument. The values are made afresh for every call,
// since calls change them; the deep and self-holding ones once per name.
constexpr const char* kProbe = R"xeb(
probe-builtin: func [nm /local zb zd zo fresh vals refs i j a b n] [
  zb: copy [] append/only zb zb
  zd: copy [] loop 1200 [zd: reduce [zd]]
  zo: make object! [a: 1 b: "x"] zo/a: zo
  fresh: does [
    reduce [
      none 0 -1 2147483647 -2147483648 1.5 1e308 -0.0 #"^(0)" #"^(10FFFF)" copy "" copy "ab^(0)c" copy []
      copy [a b 1] zb zd 'w quote w: quote :w quote /r copy 'a/b zo make error! 300 copy #{00FF}
      copy %no-such-file copy http://x copy <t> #iss :append :if integer! make typeset! [integer!] true 3
      copy [1 2 3 4 5 6] copy "xyz"
    ]
  ]
  refs: copy []
  foreach x reflect get nm 'spec [if refinement? x [append refs to word! x]]
  n: length? fresh
  repeat i n [
    repeat j n [
      vals: fresh a: pick vals i b: pick vals j
      try [do reduce [nm :a :b :b :a]]
    ]
  ]
  foreach r refs [
    repeat i n [
      vals: fresh a: pick vals i b: pick vals (i * 7 // n) + 1
      try [do reduce [to path! reduce [nm r] :a :b :b :a :b]]
    ]
  ]
  n
]
)xeb";

// The built-ins are probed in shards of every fourth name, each a test of
// its own, so that ctest runs them side by side: in one test they were the
// longest of the sanitizer build by far.
constexpr int kShards = 4;

// Every built-in whose place in the global context is shard modulo kShards.
void probe_builtins(int shard) {
#ifdef XEB_GC_STRESS
  // Each collection marks the whole library; one every 64 allocations made
  // this probe of every built-in take close to its time limit. One every 512
  // still collects inside the calls that allocate.
  const uint32_t every = collector::stress_every;
  collector::stress_every = 512;
  struct Restore {
    uint32_t every;
    ~Restore() { collector::stress_every = every; }
  } restore{every};
#endif
  std::string first = kProbe;
  first += "1";
  ASSERT_EQ(Robust::run(first), "1");
  int probed = 0, index = 0;
  for (const std::string& name : builtin_names()) {
    if (kLeftOut.count(name) || name[0] == '_') continue;  // "_" names: the library's internals
    if (index++ % kShards != shard) continue;
    // A crash or a hang fails the whole test; errors are what is expected.
    if (std::getenv("XEB_ROBUST_VERBOSE")) std::fprintf(stderr, "> %s\n", name.c_str());
    std::string r = Robust::run("probe-builtin '" + name);
    if (std::getenv("XEB_ROBUST_VERBOSE")) std::fprintf(stderr, "%s: %s\n", name.c_str(), r.substr(r.size() > 60 ? r.size() - 60 : 0).c_str());
    probed++;
  }
  EXPECT_GT(probed, 150 / kShards);
}

TEST_F(Robust, EveryBuiltinWithUnusualArguments0) { probe_builtins(0); }
TEST_F(Robust, EveryBuiltinWithUnusualArguments1) { probe_builtins(1); }
TEST_F(Robust, EveryBuiltinWithUnusualArguments2) { probe_builtins(2); }
TEST_F(Robust, EveryBuiltinWithUnusualArguments3) { probe_builtins(3); }

}  // namespace
}  // namespace xeb::test
