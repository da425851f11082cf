// Maps and hashes holding many keys through inserts, lookups and removals,
// with the collector sliding buffers under them (every 50 allocations in the
// GC-stress build). XEB_COLLECTION_KEYS sets the key count (default 3000;
// by hand: XEB_COLLECTION_KEYS=1000000 in the release or GC-stress build).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "datatypes/handle.h"
#include "library/boot.h"
#include "runtime/handles.h"
#include "runtime/collector.h"
#include "runtime/stack.h"
#include "start/start.h"
#include "tests/language/booted_cases.h"

namespace xeb::test {
namespace {

class Collections : public BootedCases {
 protected:
  static std::string keys() {
    const char* e = std::getenv("XEB_COLLECTION_KEYS");
    return e && *e ? e : "3000";
  }
};

// Integer and string keys side by side; every odd integer and every third
// string key removed; the survivors read back, the removed ones are none,
// and re-putting a removed key revives it.
TEST_F(Collections, MapInsertsLookupsRemovals) {
  std::string src = "n: " + keys() + R"(
    m: make map! []
    repeat i n [put m i i * 2  put m append copy "k" i i]
    bad: 0
    repeat i n [
      if (select m i) <> (i * 2) [bad: bad + 1]
      if (select m append copy "K" i) <> i [bad: bad + 1]
    ]
    repeat i n [if odd? i [remove/key m i]  if 0 = (i // 3) [remove/key m append copy "k" i]]
    repeat i n [
      if (select m i) <> either odd? i [none] [i * 2] [bad: bad + 1]
      if (select m append copy "k" i) <> either 0 = (i // 3) [none] [i] [bad: bad + 1]
    ]
    kept: 0 repeat i n [if even? i [kept: kept + 1]  if 0 <> (i // 3) [kept: kept + 1]]
    live: 0 foreach [k v] m [live: live + 1]
    counted: (length? m) = kept
    put m 1 'back
    reduce [bad live = kept counted select m 1]
  )";
  EXPECT_EQ(run(src), "[0 true true back]");
#ifdef XEB_GC_STRESS
  EXPECT_GT(collector::collections, 0u);  // the stress build really slid buffers
#endif
}

TEST_F(Collections, HashFindsThroughEdits) {
  std::string src = "n: " + keys() + R"(
    h: make hash! []
    repeat i n [append h i  append h append copy "s" i]
    bad: 0
    repeat i n [if i <> first find h i [bad: bad + 1]]
    remove/part h n
    repeat i n [
      f: find h i
      if (i <= (n / 2)) = (not none? f) [bad: bad + 1]
    ]
    reduce [bad length? h first find h append copy "s" n]
  )";
  std::string n = keys();
  EXPECT_EQ(run(src), "[0 " + n + " \"s" + n + "\"]");
}

// Handles form as eight hex digits and "h", mold by class, compare by value
// alone, and stop resolving once their table entry is freed and reused.
TEST_F(Collections, Handles) {
  Cell* null = handle::push_null();
  Cell* win = handle::push(0xFFFFFFF0u, handle::Class::window);
  Cell* font = handle::push(0xFFFFFFF0u, handle::Class::font);
  EXPECT_EQ(actions::form_text(null), "00000000h");
  EXPECT_EQ(actions::mold_text(null, 1), "#[handle! 00000000h]");
  EXPECT_EQ(actions::mold_text(win), "handle!");
  EXPECT_EQ(actions::mold_text(win, 1), "#[handle! FFFFFFF0h window]");
  EXPECT_EQ(actions::compare(win, font, COMP_EQUAL), 0);
  EXPECT_EQ(actions::compare(null, win, COMP_LESSER), 1);  // -16 < 0
  Cell zero{T_INTEGER, 0, 0, 0};
  EXPECT_NE(actions::compare(null, &zero, COMP_EQUAL), 0);

  static int released = 0;
  int kind = handles::register_kind("coll-test", [](void*) { released++; });
  int obj = 0;
  Cell* h = handle::push_object(&obj, static_cast<uint32_t>(kind), handle::Class::fd);
  EXPECT_EQ(handle::object_of(h), &obj);
  handles::remove(handle::entry_of(h), true);
  Cell* reused = handle::push_object(&released, static_cast<uint32_t>(kind), handle::Class::fd);
  EXPECT_EQ(handle::entry_of(reused), handle::entry_of(h));
  EXPECT_EQ(handle::object_of(h), nullptr) << "a stale handle must not reach the entry's new object";
  EXPECT_EQ(handle::object_of(reused), &released);
  EXPECT_EQ(released, 1);
  // The stale handle, still live, must not keep the entry's new object alive.
  stack::pop(1);
  collector::collect();
  EXPECT_EQ(released, 2) << "a stale handle marked the reused entry";
  EXPECT_EQ(handle::object_of(h), nullptr);
}

}  // namespace
}  // namespace xeb::test
