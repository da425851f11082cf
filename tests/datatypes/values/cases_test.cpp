// The value model seen from the language (cases/*.txt), run by the evaluator
// without the library.
#include <gtest/gtest.h>

#include <string>

#include "tests/evaluator/cases.h"
#include "tests/support/evaluator_init.h"
#include "tests/support/library_words.h"

namespace xeb::test {
namespace {

class ValueCases : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    init_evaluator();
    define_library_words();
  }

  static void run_file(const char* name) {
    std::string path = XEB_VALUES_CASES_DIR "/";
    path += name;
    EXPECT_GT(check_file(path), 0u) << name;
  }
};

TEST_F(ValueCases, Values) { run_file("values.txt"); }
TEST_F(ValueCases, Functions) { run_file("functions.txt"); }
TEST_F(ValueCases, Objects) { run_file("objects.txt"); }

}  // namespace
}  // namespace xeb::test
