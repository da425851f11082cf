// A fresh heap and data stack per test; the conversion errors stand in for
// the error module by throwing the language error type with the error's
// argument in the cell (id in word 1, code point or byte count in word 2).
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "runtime/collector.h"
#include "tests/support/fresh_heap.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/unicode.h"

namespace xeb::test {

enum : uint32_t { ERR_UTF8 = 1, ERR_CHAR = 2, ERR_PART = 3 };

inline std::vector<uint8_t> g_bad_bytes;

inline void install_error_hooks() {
  unicode::error_hooks.invalid_utf8 = [](std::span<const uint8_t> b) {
    g_bad_bytes.assign(b.begin(), b.end());
    throw LangError{Cell{T_ERROR, ERR_UTF8, static_cast<uint32_t>(b.size()), 0}};
  };
  unicode::error_hooks.invalid_char = [](int64_t cp) {
    throw LangError{Cell{T_ERROR, ERR_CHAR, static_cast<uint32_t>(cp), 0}};
  };
  unicode::error_hooks.invalid_part = [](const Cell*) {
    throw LangError{Cell{T_ERROR, ERR_PART, 0, 0}};
  };
}

// The error id a call raised, 0 for none.
template <class F>
uint32_t raised(F&& f) {
  try {
    f();
  } catch (const LangError& e) {
    return e.error.w1;
  }
  return 0;
}

inline void mark_data_stack() { collector::mark_cells(stack::bottom(), stack::top()); }

class Heap : public ::testing::Test {
 protected:
  void SetUp() override {
    begin_fresh_heap();
    stack::alloc_buffers();
    stack::init();
    static bool registered = false;
    if (!registered) collector::add_root_marker(mark_data_stack);
    registered = true;
    install_error_hooks();
    start_collector();
  }
  void TearDown() override {
    stop_collector();
  }

  // A string of the given code points and unit, on the data stack.
  static Cell* make_string(const std::vector<uint32_t>& cps, int unit) {
    Cell* c = begin_cell(stack::push_new());
    Node n = memory::alloc_string(static_cast<int64_t>(cps.size()), unit);
    *c = Cell{T_STRING, 0, n, 0};
    SeriesBuf* b = buf_of(n);
    for (uint32_t cp : cps) {
      std::memcpy(b->tail_ptr(), &cp, static_cast<size_t>(unit));  // little-endian
      b->tail += static_cast<Off>(unit);
    }
    return c;
  }
  static Cell* push_string(Node n) {
    Cell* c = stack::push_new();
    *c = Cell{T_STRING, 0, n, 0};
    return c;
  }
  // The whole buffer's code points.
  static std::vector<uint32_t> chars(Node n) {
    SeriesBuf* b = buf_of(n);
    std::vector<uint32_t> out;
    for (std::byte* p = b->head_ptr(); p < b->tail_ptr(); p += b->unit()) {
      uint32_t v = 0;
      std::memcpy(&v, p, static_cast<size_t>(b->unit()));
      out.push_back(v);
    }
    return out;
  }
  static int unit_of(Node n) { return buf_of(n)->unit(); }
};

}  // namespace xeb::test
