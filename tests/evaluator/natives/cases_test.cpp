// The natives through source text (cases/*.txt): results, errors, the words
// they set, run by the evaluator without the library. In the GC-stress build
// the collector moves buffers at nearly every allocation.
#include <gtest/gtest.h>

#include <string>

#include "runtime/collector.h"
#include "tests/evaluator/cases.h"
#include "tests/support/evaluator_init.h"
#include "tests/support/library_words.h"

namespace xeb::test {
namespace {

class Natives : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    init_evaluator();
    define_library_words();
  }
  void SetUp() override {
    LanguageCases::SetUp();
#ifdef XEB_GC_STRESS
    collector::stress_every = 3;
#endif
  }

  static void run_file(const char* name) {
    std::string path = XEB_NATIVES_CASES_DIR "/";
    path += name;
    EXPECT_GT(check_file(path), 0u) << name;
  }
};

TEST_F(Natives, Loops) { run_file("loops.txt"); }
TEST_F(Natives, Math) { run_file("math.txt"); }
TEST_F(Natives, Text) { run_file("text.txt"); }

}  // namespace
}  // namespace xeb::test
