// Language cases in text files, for the evaluator's tests and the language
// tests alike. A case is one or more source lines, then a line
// "== expected": the molded result, "error: <id>" for the error the source
// raised, or with a print the printed text before either ("\n" stands for a
// line end). Lines starting with ";" are comments.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "evaluator/interpreter.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "datatypes/print_hooks.h"
#include "tests/evaluator/support.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {

// The collector during cases: off, so that a suite turns it on where it
// means to, except in the moving stress (XEB_GC_STRESS_MOVES=1 in the stress
// build), where every case runs with it on and every node moves at each
// collection, so that a node handle kept in a C++ local goes stale at once.
inline int collect_in_cases() {
#ifdef XEB_GC_STRESS
  return collector::stress_moves ? 1 : 0;
#else
  return 0;
#endif
}

struct Case {
  std::string src, expected;
  int line;  // the case's first source line
};

// The cases of one file, in order (none when the file cannot be read).
inline std::vector<Case> read_cases(const std::filesystem::path& file) {
  std::vector<Case> cases;
  std::ifstream in(file);
  std::string line, src;
  int n = 0, start = 0;
  while (std::getline(in, line)) {
    n++;
    if (line.rfind(";", 0) == 0 || (src.empty() && line.empty())) continue;
    if (line.rfind("== ", 0) != 0) {
      if (src.empty()) start = n;
      else src += "\n";
      src += line;
      continue;
    }
    std::string expected = line.substr(3);
    for (size_t p; (p = expected.find("\\n")) != std::string::npos;) expected.replace(p, 2, "\n");
    cases.push_back({src, expected, start});
    src.clear();
  }
  return cases;
}

inline std::string printed;  // what print wrote during the running case

// A fixture that runs cases with print captured; a suite deriving from it
// sets up the words the cases lean on.
class LanguageCases : public Runtime {
 protected:
  void SetUp() override {
    Runtime::SetUp();
    print_hooks::add(&capture, nullptr);
  }
  void TearDown() override {
    print_hooks::remove(&capture, nullptr);
    Runtime::TearDown();
  }

  // The printed text, then the molded result or "error: <id>". A case
  // leaves no cycle entries behind for the next one.
  static std::string run(std::string_view src) {
    std::string out;
    Cell err;
    printed.clear();
    int32_t code = error_code_of(
        [&] {
          interpreter::eval_block(load(src), false);
          out = throwing() ? "pending exit" : actions::mold_text(stack::top() - 1);
        },
        &err);
    if (code != -1) out = "error: " + std::string(symbol::name(error::get_id(&err)));
    cycles::reset();
    return printed + out;
  }

  // Runs every case of the file and answers how many there were; a failure
  // names the file and the case's first line.
  static size_t check_file(const std::filesystem::path& file) {
    std::vector<Case> cases = read_cases(file);
    for (const Case& c : cases)
      EXPECT_EQ(run(c.src), c.expected) << file.filename().string() << ":" << c.line << ": " << c.src;
    return cases.size();
  }

 private:
  static void capture(const Cell* str, bool new_line) {
    printed += string::utf8_of(str);
    if (new_line) printed += "\n";
  }
};

}  // namespace xeb::test
