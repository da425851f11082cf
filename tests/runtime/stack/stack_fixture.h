// A fresh heap and empty stacks per test. Raised errors are stood in for
// without the error module: internal errors throw at once (so the state at
// the failure can be inspected); throw-category errors go through the real
// raiser as error! cells whose word 2 is the catalogue id.
#pragma once
#include <gtest/gtest.h>

#include "runtime/collector.h"
#include "tests/support/fresh_heap.h"
#include "runtime/cycle.h"
#include "runtime/exit.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::test {

constexpr uint32_t SYM_BODY = 1, SYM_ANON = 2, SYM_SELF = 3, SYM_NOT_FOUND = 4;

inline Cell word(uint32_t sym, Node ctx = 0) { return Cell{T_WORD, ctx, sym, 0xFFFFFFFF}; }
inline Cell integer(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

// The where of the last annotated error (symbol id), and the depth then.
inline uint32_t g_where = 0, g_annotated_depth = 0;

inline void mark_stacks() {
  collector::mark_cells(stack::bottom(), stack::top());
  stack::mark_gc_frames();
}

class Stacks : public ::testing::Test {
 protected:
  void SetUp() override {
    begin_fresh_heap();
    stack::alloc_buffers();
    stack::init();
    stack::names = stack::Names{SYM_BODY, SYM_ANON, SYM_SELF, SYM_NOT_FOUND, nullptr};
    raise_internal_hook = [](InternalError e) {
      throw LangError{Cell{T_INTEGER, 0, static_cast<uint32_t>(e), 0}};
    };
    error_hooks.raise_throw = [](ThrowError id, const Cell* arg) {
      Cell e{T_ERROR, 0, static_cast<uint32_t>(id), arg ? arg->w2 : 0};
      stack::throw_error(&e);
    };
    error_hooks.annotate = [](Cell* e) {
      g_annotated_depth = stack::depth();
      Cell w;
      stack::caller_word(&w);
      g_where = w.w2;
    };
    error_hooks.print_uncaught = nullptr;
    static bool registered = false;
    if (!registered) collector::add_root_marker(mark_stacks);
    registered = true;
    start_collector();
  }
  void TearDown() override {
    stop_collector();
    raise_internal_hook = nullptr;
    error_hooks = {};
  }

  // A function context keeping its values on the data stack.
  static Node stack_context() {
    Node n = memory::alloc_cells(2);
    buf_of(n)->tail = buf_of(n)->head + 32;
    Cell* c = buf_of(n)->cells();
    c[0] = Cell{T_CONTEXT | HDR_CTX_ON_STACK, 0, 0, 0};
    return n;
  }
};

}  // namespace xeb::test
