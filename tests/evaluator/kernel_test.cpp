// The evaluator's C++ entries: fast paths, the comparison entry, and
// pending exits against frames set up by hand.
#include <gtest/gtest.h>

#include "datatypes/integer.h"
#include "evaluator/boot.h"
#include "evaluator/compare.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

class Kernel : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    evaluator::init();
  }
};

}  // namespace
}  // namespace xeb::test
