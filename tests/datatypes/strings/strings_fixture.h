// Shared set-up of the string tests: the runtime once per process, the
// collector on (and, in the stress build, sliding every few allocations),
// and small builders for values held on the data stack.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "datatypes/binary.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/series.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/tag.h"
#include "datatypes/url.h"
#include "datatypes/words.h"
#include "runtime/collector.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::test {

class Strings : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    datatypes::init();
    // Until runtime init registers them, the string-like children.
    if (!datatype::slot_of(T_URL, A_MOLD)) {
      url::init();
      file::init();
      tag::init();
      email::init();
      ref::init();
    }
    collector::enabled = 1;
#ifdef XEB_GC_STRESS
    collector::stress_every = 7;
#endif
  }
  void SetUp() override { mark_ = stack::top(); }
  void TearDown() override { stack::set_top(mark_); }

  // A new string! holding the UTF-8 text, on the data stack.
  static Cell* str(std::string_view utf8, TypeId t = T_STRING) {
    Cell* s = string::push_new(static_cast<int32_t>(utf8.size()));
    string::append_utf8(s, utf8);
    set_type(s, t);
    return s;
  }
  static Cell* bin(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> v(bytes);
    return binary::load(v.data(), static_cast<int32_t>(v.size()));
  }
  static Cell* push(Cell c) { return stack::push(&c); }
  static Cell* integer(int32_t n) { return push(Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0}); }
  static Cell* character(int32_t c) { return push(Cell{T_CHAR, 0, static_cast<uint32_t>(c), 0}); }
  static std::string text(const Cell* s) { return string::utf8_of(s); }
  static std::string mold(Cell* v, int all = 0) { return actions::mold_text(v, all); }
  static int unit(const Cell* s) { return series::buf(s)->unit(); }

  // Runs f under a try frame; answers the error code it raised, or -1.
  template <class F>
  static int32_t raised(F f) {
    Cell* top = stack::top();
    Cell w = words::word(words::W::try_);
    stack::mark_try(&w);
    CatchPoint cp(CatchLevel::all);
    int32_t code = -1;
    try {
      f();
      stack::unwind();
    } catch (const LangError&) {
      cp.land();
      code = error::code_of(stack::top_cell());
    }
    stack::set_top(top);
    return code;
  }
  static int32_t code(Err e) { return static_cast<int32_t>(e); }

 private:
  Cell* mark_ = nullptr;
};

}  // namespace xeb::test
