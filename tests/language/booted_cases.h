// A fixture for cases that need the whole system: the library booted once
// per suite, with no command line, and the collector left to the cases.
#pragma once

#include "library/boot.h"
#include "runtime/collector.h"
#include "start.h"
#include "tests/evaluator/cases.h"

namespace xeb::test {

class BootedCases : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    library::set_command_line(0, nullptr);
    start::boot();
    collector::enabled = 0;
  }
};

}  // namespace xeb::test
