// Language tests as scripts: each file in cases/ holds cases of one or more
// source lines followed by a line "== expected", the molded result or
// "error: <id>" for the error the source raised. Lines starting with ";"
// are comments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/symbol.h"
#include "evaluator/boot.h"
#include "evaluator/interpreter.h"
#include "lexer/load.h"
#include "runtime/output_hooks.h"
#include "tests/evaluator/support.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

std::string printed;
void capture(const Cell* str, bool new_line) {
  printed += string::utf8_of(str);
  if (new_line) printed += "\n";
}

class Cases : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    evaluator::init();
    define_library_words();
  }

  // The molded result, "error: <id>", or with a print the printed text
  // before it.
  static std::string run(const std::string& src) {
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
    return printed + out;
  }
};

struct Case {
  std::string file, src, expected;
  int line;
};

std::vector<Case> load_cases() {
  std::vector<Case> cases;
  std::vector<std::filesystem::path> files;
  for (auto& e : std::filesystem::directory_iterator(XEB_EVAL_CASES_DIR))
    if (e.path().extension() == ".txt") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (auto& f : files) {
    std::ifstream in(f);
    std::string line, src;
    int n = 0, start = 0;
    while (std::getline(in, line)) {
      n++;
      if (line.rfind(";", 0) == 0 || (src.empty() && line.empty())) continue;
      if (line.rfind("== ", 0) == 0) {
        cases.push_back({f.filename().string(), src, line.substr(3), start});
        src.clear();
        continue;
      }
      if (src.empty()) start = n;
      else src += "\n";
      src += line;
    }
  }
  return cases;
}

TEST_F(Cases, Scripts) {
  print_hooks::add(&capture, nullptr);
  std::vector<Case> cases = load_cases();
  EXPECT_GT(cases.size(), 0u);
  for (const Case& c : cases) {
    std::string expected = c.expected;
    for (size_t p; (p = expected.find("\\n")) != std::string::npos;) expected.replace(p, 2, "\n");
    EXPECT_EQ(run(c.src), expected) << c.file << ":" << c.line << ": " << c.src;
  }
  print_hooks::remove(&capture, nullptr);
}

}  // namespace
}  // namespace xeb::test
