// Language tests as scripts, run on the evaluator alone: every .txt file in
// cases/ holds cases in the form tests/evaluator/cases.h reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "evaluator/boot.h"
#include "tests/support/evaluator_init.h"
#include "tests/evaluator/cases.h"

namespace xeb::test {
namespace {

class Cases : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    init_evaluator();
    define_library_words();
  }
};

TEST_F(Cases, Scripts) {
  std::vector<std::filesystem::path> files;
  for (auto& e : std::filesystem::directory_iterator(XEB_EVAL_CASES_DIR))
    if (e.path().extension() == ".txt") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  size_t cases = 0;
  for (auto& f : files) cases += check_file(f);
  EXPECT_GT(cases, 0u);
}

}  // namespace
}  // namespace xeb::test
