// Change stamps: every edit of a block moves its node's stamp, every change
// of what a word may be called as moves the binding epoch, and reading
// moves neither. A write path that forgets to bump shows here as a cache
// that would run stale code.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/context.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/stamp.h"
#include "tests/language/booted_cases.h"

namespace xeb::test {
namespace {

class Stamps : public BootedCases {
 protected:
  // The node of the block a global word holds.
  static Node node_of_word(const char* name) {
    Cell* v = context::get(word::load(name));
    EXPECT_TRUE(series::block_like(type_of(v))) << name;
    return series::node_of(v);
  }

  struct Edit {
    const char* code;
    const char* word = "b";  // the block whose stamp must move
  };

  // Runs setup, then code with the collector off (so the node stays the
  // same), and answers whether the word's block's stamp moved.
  static bool moves(const std::string& setup, const Edit& e) {
    EXPECT_EQ(run(setup).rfind("error", 0), std::string::npos) << setup;
    Node n = node_of_word(e.word);
    uint32_t before = stamp::of(n);
    int was = collector::enabled;
    collector::enabled = 0;
    std::string out = run(e.code);
    collector::enabled = was;
    EXPECT_EQ(out.rfind("error", 0), std::string::npos) << e.code << " -> " << out;
    EXPECT_EQ(node_of_word(e.word), n) << e.code;
    return stamp::of(n) != before;
  }
};

constexpr const char* kSetup =
    "b: [1 none 3 [4 5] x y none] c: b/4 o: make object! [x: 10 y: 20] h: make hash! [a 1 b 2] b2: [a 1 b 2]";

TEST_F(Stamps, EveryEditOfABlockMovesItsStamp) {
  const Edit edits[] = {
      {"append b 9"},
      {"append/only b [9]"},
      {"insert b 9"},
      {"insert/dup b 0 3"},
      {"insert at b 3 [7 8]"},
      {"change b 9"},
      {"change/part b [7 8 9] 2"},
      {"remove b"},
      {"remove/part next b 2"},
      {"clear at b 3"},
      {"poke b 2 'z"},
      {"b/2: 'z"},
      {"b/4/1: 0", "c"},
      {"b2/a: 7", "b2"},
      {"put b2 'c 3", "b2"},
      {"put h 'a 7", "h"},
      {"h/b: 8", "h"},
      {"reverse b"},
      {"reverse/part b 2"},
      {"sort [3 1 2] sort b2", "b2"},
      {"sort/skip b2 2", "b2"},
      {"sort/compare b2 func [a b] [(mold a) > (mold b)]", "b2"},
      {"swap b next b"},
      {"take b"},
      {"take/last b"},
      {"move b next next b"},
      {"trim b"},
      {"random b"},
      {"alter b 'x"},
      {"replace b 'x 'q"},
      {"replace/all b [x y] 0"},
      {"remove-each v b [integer? v]"},
      {"bind b o"},
      {"bind c o", "c"},
      {"new-line b true"},
      {"new-line/all b false"},
      {"reduce/into [1 + 1] b"},
      {"compose/into [(1 + 1)] b"},
      {"parse b [some [change integer! (0) | skip]]"},
      {"parse b [to end insert 9]"},
      {"parse b [remove skip to end]"},
      {"repend b [1 + 2]"},
      {"collect/into [keep 1] b"},
      {"append c 6", "c"},
      {"forall b [b/1: 0]"},
      {"foreach [v] b [c/1: v]", "c"},
  };
  for (const Edit& e : edits) EXPECT_TRUE(moves(kSetup, e)) << e.code;
}

TEST_F(Stamps, ReadingLeavesTheStampAlone) {
  // Otherwise every check would miss and the test above would prove nothing.
  const Edit reads[] = {
      {"pick b 2"},
      {"b/4/2"},
      {"find b 'x"},
      {"select b2 'b", "b2"},
      {"copy b"},
      {"length? b"},
      {"mold b"},
      {"do [1 + 2] first b"},
      {"foreach v b [v]"},
      {"parse b [some skip]"},
      {"sort copy b2", "b2"},
      {"reduce c", "c"},
      {"next b"},
  };
  for (const Edit& e : reads) EXPECT_FALSE(moves(kSetup, e)) << e.code;
}

TEST_F(Stamps, ANewNodeNeverShowsAStampSeenBefore) {
  // A node handed out again, or taken by compaction, gets a fresh stamp.
  run("b: [1 2]");
  uint32_t seen = stamp::of(node_of_word("b"));
  run("b: none recycle b: [3 4]");
  EXPECT_NE(stamp::of(node_of_word("b")), seen);
  EXPECT_GT(stamp::of(node_of_word("b")), 0u);
}

TEST_F(Stamps, TheBindingEpochMovesWhenACallableComesOrGoes) {
  struct Case {
    const char* setup;
    const char* code;
    bool moves;
  };
  const Case cases[] = {
      {"f: 1", "f: func [a] [a]", true},
      {"f: func [a] [a]", "f: 2", true},
      {"f: func [a] [a]", "f: :print", true},
      {"f: 1", "set 'f :append", true},
      {"f: 1", "set [g f] reduce [1 :append]", true},
      {"f: :print", "unset 'f", true},
      {"o: make object! [m: 1]", "o/m: func [] [1]", true},
      {"o: make object! [m: func [] [1]]", "o/m: 5", true},
      {"o: make object! [m: func [] [1]]", "set in o 'm 5", true},
      {"", "o: make object! [m: func [] [1]]", true},
      {"o: context [m: 1]", "o: make o [m: func [] [2]]", true},
      {"", "the-new-word-of-this-test: 1", true},
      // Plain values over plain values: a cache reads them afresh.
      {"x: 1", "x: 2", false},
      {"x: 1", "x: x + 1", false},
      {"o: make object! [m: 1]", "o/m: 2", false},
      {"x: 1", "set 'x 3", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.setup).rfind("error", 0), std::string::npos) << c.setup;
    uint32_t before = stamp::bindings();
    std::string out = run(c.code);
    EXPECT_EQ(out.rfind("error", 0), std::string::npos) << c.code << " -> " << out;
    EXPECT_EQ(stamp::bindings() != before, c.moves) << c.setup << " | " << c.code;
  }
}

TEST_F(Stamps, AWrapRunsTheHooksAndNeverHandsOutZero) {
  static int wraps = 0;
  static bool registered = false;
  if (!registered) stamp::on_wrap([] { wraps++; });
  registered = true;
  int before = wraps;
  uint32_t keep = stamp::clock;
  run("b: [1]");
  Node n = node_of_word("b");
  stamp::clock = 0xFFFFFFFFu;
  stamp::bump(n);
  EXPECT_EQ(wraps, before + 1);
  EXPECT_NE(stamp::of(n), 0u);
  stamp::clock = std::max(keep, stamp::clock);
}

}  // namespace
}  // namespace xeb::test
