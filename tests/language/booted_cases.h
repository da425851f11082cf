// A fixture for cases that need the whole system: the library booted once
// per suite, with no command line, and the collector left to the cases.
// Each test starts from the global words and the active directory as the
// boot left them, so that the tests of one process see what each sees run
// alone.
#pragma once

#include <string>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "start/start.h"
#include "tests/evaluator/cases.h"

namespace xeb::test {

class BootedCases : public LanguageCases {
 protected:
  static void SetUpTestSuite() {
    LanguageCases::SetUpTestSuite();
    library::set_command_line(0, nullptr);
    start::boot();
    collector::enabled = collect_in_cases();
    keep_boot_globals();
  }
  void SetUp() override {
    LanguageCases::SetUp();
    restore_boot_globals();
    // The active directory too: cases change it, and the directories that
    // some tests run in are removed after them.
    static std::string boot_path = run("system/options/path");
    run("system/options/path: " + boot_path);
  }

 private:
  // The values of the global words after the boot, a block kept as a root.
  static inline Cell boot_globals{};
  static void mark_boot_globals() { collector::mark_cell(&boot_globals); }

  static void keep_boot_globals() {
    static bool registered = false;
    if (!registered) collector::add_root_marker(mark_boot_globals);
    registered = true;
    Node g = context::global();
    block::make_at(&boot_globals, context::size(g));
    for (int32_t i = 0; i < context::size(g); i++) block::xs_append(&boot_globals, context::values(g) + i);
  }

  // Words made since the boot become unset; the others take their boot
  // values back (series changed in place stay changed).
  static void restore_boot_globals() {
    Node g = context::global();
    int32_t kept = block::xs_length_q(&boot_globals);
    for (int32_t i = 0; i < context::size(g); i++) {
      Cell* v = context::values(g) + i;
      if (i < kept) *v = *block::xs_abs_at(&boot_globals, i);
      else set_unset(v);
    }
  }
};

}  // namespace xeb::test
