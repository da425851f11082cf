// Child processes: a child that writes without end to a captured pipe is
// killed once its output passes the caller's limit.
#include <gtest/gtest.h>

#include "platform/process.h"

namespace xeb::platform::process {
namespace {

TEST(Process, EndlessOutputStopsAtTheLimit) {
  Request r;
  r.argv = {"yes"};
  r.out.route = Route::pipe;
  r.max_output = 1 << 20;
  Outcome o = run(r);
  EXPECT_EQ(o.failure, Failure::none);
  EXPECT_TRUE(o.too_long);
  EXPECT_FALSE(o.timed_out);
  EXPECT_LE(r.out.data.size(), r.max_output);
}

}  // namespace
}  // namespace xeb::platform::process
