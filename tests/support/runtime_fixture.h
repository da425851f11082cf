// A fixture with the whole runtime built once per process, the collector on
// (collecting every 50 allocations in the GC-stress build), and the data
// stack emptied around each test.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::test {

class Runtime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { datatypes::init(); }
  void SetUp() override {
    stack::init();
    collector::enabled = 1;
#ifdef XEB_GC_STRESS
    collector::stress_every = 50;
#endif
  }
  void TearDown() override {
#ifdef XEB_GC_STRESS
    collector::stress_every = 0;
#endif
    collector::enabled = 0;
    stack::init();
  }

  // Runs body under a try frame; answers the code of the error it raised,
  // or -1 when it raised none. The error stays on the data stack top.
  static int32_t error_code_of(const std::function<void()>& body, Cell* out = nullptr) {
    Cell tw{T_WORD, 0, 0, static_cast<uint32_t>(-1)};
    stack::mark_try(&tw);
    CatchPoint cp(CatchLevel::all);
    try {
      body();
    } catch (const LangError&) {
      cp.land();
      Cell* e = stack::top_cell();
      if (out) *out = *e;
      return error::code_of(e);
    }
    stack::unwind();
    return -1;
  }
};

}  // namespace xeb::test
