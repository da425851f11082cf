// Language behaviour with the whole library booted, as the program runs it.
// Each .txt file here holds cases: one or more source lines, then a line
// "== expected": the molded result, "error: <id>" for the error the source
// raised, or with a print the printed text before either ("\n" stands for a
// line end). Lines starting with ";" are comments.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "datatypes/error.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "evaluator/interpreter.h"
#include "library/boot.h"
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

class Language : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    library::set_command_line(0, nullptr);
    library::boot();
    collector::enabled = 0;
  }
  void SetUp() override {
    Runtime::SetUp();
    print_hooks::add(&capture, nullptr);
  }
  void TearDown() override {
    print_hooks::remove(&capture, nullptr);
    Runtime::TearDown();
  }

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
    cycles::reset();
    return printed + out;
  }

  // Runs every case of the file; a failure names its first line.
  void run_file(const char* name) {
    std::ifstream in(std::string(XEB_LANGUAGE_CASES_DIR) + "/" + name);
    ASSERT_TRUE(in) << name;
    std::string line, src;
    int n = 0, start = 0, cases = 0;
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
      EXPECT_EQ(run(src), expected) << name << ":" << start << ": " << src;
      src.clear();
      cases++;
    }
    EXPECT_GT(cases, 0) << name;
  }
};

TEST_F(Language, Values) { run_file("values.txt"); }
TEST_F(Language, Series) { run_file("series.txt"); }
TEST_F(Language, Numbers) { run_file("numbers.txt"); }
TEST_F(Language, Lexer) { run_file("lexer.txt"); }

}  // namespace
}  // namespace xeb::test
