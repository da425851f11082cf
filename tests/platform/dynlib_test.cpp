// Libraries loaded on first use: a table is filled only when the library and
// every entry are there, and a missing one answers null every time.
#include "platform/dynlib.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace xeb::platform;

namespace {

#define LIBC_ENTRIES(X) X(strlen) X(snprintf)
struct Libc {
  LIBC_ENTRIES(XEB_DYNLIB_ENTRY)
};
const Libc* libc() {
  return dynlib::load<Libc>("libc.so.6", [](void* lib, Libc& api) { return true LIBC_ENTRIES(XEB_DYNLIB_FIND); });
}

struct Absent {
  size_t (*strlen)(const char*);
};
int absent_tries = 0;
const Absent* absent() {
  return dynlib::load<Absent>("libxeb-no-such-library.so.0", [](void* lib, Absent& api) {
    absent_tries++;
    return dynlib::find(lib, "strlen", api.strlen);
  });
}

struct MissingEntry {
  size_t (*strlen)(const char*);
  void (*nothing)();
};
const MissingEntry* missing_entry() {
  return dynlib::load<MissingEntry>("libc.so.6", [](void* lib, MissingEntry& api) {
    return dynlib::find(lib, "strlen", api.strlen) && dynlib::find(lib, "xeb_no_such_entry", api.nothing);
  });
}

}  // namespace

TEST(Dynlib, TableOfALibraryIsFilledOnceAndCalls) {
  const Libc* a = libc();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, libc());
  EXPECT_EQ(a->strlen("four"), 4u);
  char buf[16];
  a->snprintf(buf, sizeof buf, "%d-%s", 7, "x");  // variadic, through its own type
  EXPECT_STREQ(buf, "7-x");
}

TEST(Dynlib, MissingLibraryOrEntryGivesNullEveryTime) {
  EXPECT_EQ(absent(), nullptr);
  EXPECT_EQ(absent(), nullptr);
  EXPECT_EQ(absent_tries, 0);  // never filled: the library did not load
  EXPECT_EQ(missing_entry(), nullptr);
  EXPECT_EQ(missing_entry(), nullptr);
}
