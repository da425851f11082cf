// Hash tables of every kind through growth, removal and rebuild, checked
// against plain scans of the same data; hashing rules; the collector hooks.
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "tests/runtime/hashsort/fixture.h"

namespace xeb::test {
namespace {

namespace ht = hashtable;

// First index >= from holding value v in an integer block, or -1.
int32_t scan(uint32_t slot, int32_t v, int32_t from, int32_t skip = 1) {
  for (int32_t i = from; i < len(slot); i++)
    if (get_int(cells(slot) + i) == v && (i - from) % skip == 0) return i;
  return -1;
}

int32_t found_index(uint32_t slot, const Cell* c) { return c ? static_cast<int32_t>(c - cells(slot)) : -1; }

// Indexes the whole block, growing (and rebuilding) as it goes.
void put_block(Node t, uint32_t slot) {
  for (int32_t i = 0; i < len(slot); i++) {
    int status;
    ht::put_key(t, cells(slot) + i, &status);
    if (status == 2) return;  // the rebuild indexed everything
  }
}

using BlockIndex = HashHeap;

TEST_F(BlockIndex, FindsLikeAScanThroughGrowthRemovalAndShifts) {
  uint32_t b = new_block(16);
  std::mt19937 rng(3);
  const int n = 3000;
  for (int i = 0; i < n; i++) append(b, int_cell(int32_t(rng() % 400)));  // many groups share a chain
  uint32_t ts = keep_table(ht::init(0, root(b), ht::Kind::block, 0), blk(b));
  put_block(tab(ts), b);
  EXPECT_GT(ht::table(tab(ts))->n_buckets, 8);  // grew from 8 buckets

  auto check = [&](const char* when) {
    for (int32_t v = 0; v < 400; v += 7)
      for (int32_t from : {0, 1, 500, len(b) - 1}) {
        Cell key = int_cell(v);
        ASSERT_EQ(scan(b, v, from), found_index(b, ht::find(tab(ts), &key, from, 1, 0, false, false)))
            << when << " v=" << v << " from=" << from;
        ASSERT_EQ(scan(b, v, from, 2), found_index(b, ht::find(tab(ts), &key, from, 2, 0, false, false)))
            << when << " skip 2, v=" << v << " from=" << from;
      }
  };
  check("after puts");

  // Remove cells [100, 400): release them, shift the rest down, move the block.
  ht::remove_range(tab(ts), 100, 300);
  ASSERT_EQ(0, ht::refresh_range(tab(ts), -300, 400, len(b) - 400, false));
  {
    SeriesBuf* s = buf_of(blk(b));
    std::memmove(cells(b) + 100, cells(b) + 400, (len(b) - 400) * sizeof(Cell));
    s->tail -= 300 * sizeof(Cell);
  }
  // The per-cell entries move with the cells.
  {
    Node ix = static_cast<Node>(ht::table(tab(ts))->indexes);
    auto* e = reinterpret_cast<int32_t*>(buf_of(ix)->head_ptr());
    std::memmove(e + 100, e + 400, (n - 400) * 4);
  }
  check("after removing a range");

  // Single removals, then new cells appended and put.
  for (int32_t i = len(b) - 1; i >= len(b) - 50; i--) ht::delete_key(tab(ts), cells(b) + i);
  buf_of(blk(b))->tail -= 50 * sizeof(Cell);
  for (int i = 0; i < 500; i++) {
    append(b, int_cell(int32_t(rng() % 400)));
    int status;
    ht::put_key(tab(ts), cells(b) + len(b) - 1, &status);
  }
  check("after deletes and appends");
}

TEST_F(BlockIndex, CaseVariantsShareAChainAndStrictFindIsExact) {
  uint32_t b = new_block(4);
  append_string(b, "Alpha");
  append_string(b, "beta");
  append_string(b, "ALPHA");
  append_string(b, "alpha");
  uint32_t ts = keep_table(ht::init(4, root(b), ht::Kind::block, 0), blk(b));
  put_block(tab(ts), b);
  EXPECT_EQ(2, ht::table(tab(ts))->count);  // two buckets: the alpha group and beta
  uint32_t k = new_block(1);
  append_string(k, "alpha");
  Cell key = cells(k)[0];
  EXPECT_EQ(0, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, false)));
  EXPECT_EQ(3, found_index(b, ht::find(tab(ts), &key, 0, 1, ht::OP_STRICT, false, false)));
  EXPECT_EQ(3, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, true, false)));    // last
  EXPECT_EQ(2, found_index(b, ht::find(tab(ts), &key, 3, 1, 0, false, true)));    // reverse from 3
  EXPECT_EQ(-1, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, true)));   // nothing before 0
}

TEST_F(BlockIndex, FullTableRebuildsAndReportsIt) {
  uint32_t b = new_block(8);
  uint32_t ts = keep_table(ht::init(0, root(b), ht::Kind::block, 0), blk(b));
  EXPECT_EQ(8, ht::table(tab(ts))->n_buckets);
  EXPECT_EQ(6, ht::table(tab(ts))->limit);
  int status = 0;
  for (int i = 0; i < 7; i++) {
    append(b, int_cell(i * 11));
    ht::put_key(tab(ts), cells(b) + i, &status);
    EXPECT_EQ(i == 6 ? 2 : 0, status) << i;
  }
  Cell key = int_cell(66);
  EXPECT_EQ(6, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, false)));
  EXPECT_GT(ht::table(tab(ts))->n_buckets, 8);
}

TEST_F(BlockIndex, MostlyDeletedTableIsCleanedNotGrown) {
  uint32_t b = new_block(8);
  uint32_t ts = keep_table(ht::init(64, root(b), ht::Kind::block, 0), blk(b));
  int32_t buckets = ht::table(tab(ts))->n_buckets;
  for (int round = 0; round < 200; round++) {
    int32_t i = len(b);
    append(b, int_cell(round));
    int status;
    ht::put_key(tab(ts), cells(b) + i, &status);
    ht::delete_key(tab(ts), cells(b) + i);
    buf_of(blk(b))->tail -= sizeof(Cell);
    Cell gone = int_cell(round);
    ASSERT_EQ(nullptr, ht::find(tab(ts), &gone, 0, 1, 0, false, false));
  }
  EXPECT_EQ(buckets, ht::table(tab(ts))->n_buckets);
}

TEST_F(BlockIndex, LazyRebuildOnlyAfterNodesMoved) {
  uint32_t b = new_block(8);
  for (int i = 0; i < 5; i++) {
    uint32_t inner = new_block(1);
    append(b, *root(inner));
  }
  uint32_t ts = keep_table(ht::init(8, root(b), ht::Kind::block, 0), blk(b));
  put_block(tab(ts), b);
  int32_t stamp = ht::table(tab(ts))->stamp;
  EXPECT_EQ(int32_t(collector::node_compactions + 1), stamp);
  Cell key = cells(b)[3];
  EXPECT_EQ(3, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, false)));
  Node flags_before = ht::table(tab(ts))->flags;
  EXPECT_EQ(flags_before, ht::table(tab(ts))->flags);  // no rebuild without a move
  collector::node_compactions++;  // as after a collection that moved nodes
  key = cells(b)[4];
  EXPECT_EQ(4, found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, false)));
  EXPECT_EQ(int32_t(collector::node_compactions + 1), ht::table(tab(ts))->stamp);
  EXPECT_NE(flags_before, ht::table(tab(ts))->flags);
}

TEST_F(BlockIndex, MoveRangeAndCopyKeepIndexesRight) {
  uint32_t b = new_block(64);
  for (int i = 0; i < 60; i++) append(b, int_cell(i % 10));
  uint32_t ts = keep_table(ht::init(60, root(b), ht::Kind::block, 0), blk(b));
  put_block(tab(ts), b);
  // Move cells [40, 50) to 5, in the block and in the index.
  std::vector<Cell> v(cells(b), cells(b) + 60);
  std::rotate(v.begin() + 5, v.begin() + 40, v.begin() + 50);
  ht::move_range(tab(ts), 5, 40, 10);
  std::copy(v.begin(), v.end(), cells(b));
  // And back the other way: [5, 15) to 40.
  std::rotate(v.begin() + 5, v.begin() + 15, v.begin() + 50);
  ht::move_range(tab(ts), 40, 5, 10);
  std::copy(v.begin(), v.end(), cells(b));
  std::rotate(v.begin() + 5, v.begin() + 40, v.begin() + 50);
  ht::move_range(tab(ts), 5, 40, 10);
  std::copy(v.begin(), v.end(), cells(b));
  for (int32_t x = 0; x < 10; x++)
    for (int32_t from : {0, 7, 33}) {
      Cell key = int_cell(x);
      ASSERT_EQ(scan(b, x, from), found_index(b, ht::find(tab(ts), &key, from, 1, 0, false, false)))
          << x << " from " << from;
    }

  // A copy over a copied block is independent of the original.
  Node nb = memory::copy_series(buf_of(blk(b)));
  uint32_t nbs = push_root(Cell{T_BLOCK, 0, nb, 0});
  uint32_t cs = keep_table(ht::copy(tab(ts), blk(nbs)), blk(nbs));
  ht::delete_key(tab(cs), cells(nbs) + scan(nbs, 3, 0));
  Cell key = int_cell(3);
  EXPECT_EQ(scan(b, 3, 0), found_index(b, ht::find(tab(ts), &key, 0, 1, 0, false, false)));
  EXPECT_NE(scan(nbs, 3, 0), found_index(nbs, ht::find(tab(cs), &key, 0, 1, 0, false, false)));
}

TEST_F(BlockIndex, RefreshOfTooManyCellsLeavesTableAlone) {
  uint32_t b = new_block(4);
  uint32_t ts = keep_table(ht::init(4, root(b), ht::Kind::block, 0), blk(b));
  EXPECT_EQ(1, ht::refresh_range(tab(ts), 1, 0, 30001, true));
}

using MapIndex = HashHeap;

TEST_F(MapIndex, LaterPairWinsAndIsRemoved) {
  ht::normalize_map_key = [](Cell* k) {
    if (is_type(k, T_WORD)) set_type(k, T_SET_WORD);
  };
  uint32_t b = new_block(6);
  for (auto [sym, v] : {std::pair{1, 1}, {2, 2}, {1, 3}}) {
    append(b, word_cell(T_WORD, sym));
    append(b, int_cell(v));
  }
  uint32_t ts = keep_table(ht::init(3, root(b), ht::Kind::map, 0), blk(b));
  ht::put_all(tab(ts), 0, 2);
  ASSERT_EQ(4, len(b));
  EXPECT_TRUE(is_type(cells(b) + 0, T_SET_WORD));
  EXPECT_EQ(3, get_int(cells(b) + 1));
  EXPECT_EQ(2, get_int(cells(b) + 3));
  EXPECT_EQ(2, ht::table(tab(ts))->count);
  Cell key = word_cell(T_GET_WORD, 2);  // any word type finds the set-word key
  EXPECT_EQ(2, found_index(b, ht::find(tab(ts), &key, 0, 1, ht::OP_STRICT, false, false)));
  ht::normalize_map_key = [](Cell*) {};
}

TEST_F(MapIndex, GrowsAndKeepsRemovedKeysIndexed) {
  uint32_t b = new_block(8);
  uint32_t ts = keep_table(ht::init(0, root(b), ht::Kind::map, 0), blk(b));
  for (int i = 0; i < 2000; i++) {
    append(b, int_cell(i * 3));
    append(b, int_cell(i));
    ht::put(tab(ts), cells(b) + len(b) - 2);
  }
  for (int i = 0; i < 2000; i += 2) ht::delete_key(tab(ts), cells(b) + 2 * i);
  EXPECT_EQ(1000, ht::table(tab(ts))->count);
  for (int i = 0; i < 2000; i++) {
    Cell key = int_cell(i * 3);
    Cell* c = ht::find(tab(ts), &key, 0, 1, ht::OP_STRICT, false, false);
    ASSERT_EQ(2 * i, found_index(b, c));
    EXPECT_EQ(i % 2 == 0 ? 0u : uint32_t(T_INTEGER), c[1].header & HDR_TYPE_MASK);
  }
  Cell absent = int_cell(1);
  EXPECT_EQ(nullptr, ht::find(tab(ts), &absent, 0, 1, ht::OP_STRICT, false, false));
}

TEST_F(MapIndex, FindNextWalksKeysEqualIgnoringCase) {
  uint32_t b = new_block(8);
  for (const char* k : {"key", "KEY", "other", "Key"}) {
    append_string(b, k);
    append(b, int_cell(0));
  }
  uint32_t ts = keep_table(ht::init(4, root(b), ht::Kind::map, 0), blk(b));
  ht::put_all(tab(ts), 0, 2);
  ASSERT_EQ(8, len(b));  // strictly different keys all stay
  Cell key = cells(b)[0];
  std::set<int32_t> seen;
  int32_t pos = -1, end = 0, step = 0;
  while (Cell* c = ht::find_next(tab(ts), &key, &pos, &end, &step)) seen.insert(found_index(b, c));
  EXPECT_EQ((std::set<int32_t>{0, 2, 6}), seen);
}

using WordIndex = HashHeap;

TEST_F(WordIndex, SymbolsInternWithCaseAliases) {
  uint32_t ts = keep_table(ht::init(4000, nullptr, ht::Kind::word, 0));
  EXPECT_EQ(16384, ht::table(tab(ts))->n_buckets);
  EXPECT_EQ(12615, ht::table(tab(ts))->limit);
  Node t = tab(ts);
  int32_t a = ht::find_symbol(t, "append", false);
  EXPECT_EQ(1, a);
  EXPECT_EQ(a, ht::find_symbol(t, "append", false));
  int32_t A = ht::find_symbol(t, "Append", false);
  EXPECT_EQ(2, A);
  const Cell* recs = buf_of(ht::table(t)->blk)->cells();
  EXPECT_EQ(uint32_t(-1), recs[a - 1].w1);
  EXPECT_EQ(uint32_t(a), recs[A - 1].w1);
  EXPECT_EQ(a, ht::find_symbol(t, "APPEND", true));  // any case: answers the first met
  EXPECT_EQ(2, ht::table(t)->count);  // the any-case lookup added nothing
  std::string long_name(300, 'x');
  int32_t l = ht::find_symbol(t, long_name, false);
  EXPECT_EQ(l, ht::find_symbol(t, long_name, false));
  EXPECT_EQ(l + 1, ht::find_symbol(t, "", false));
  EXPECT_EQ(l + 1, ht::find_symbol(t, "", false));
  std::string_view nm(reinterpret_cast<const char*>(buf_of(recs[a - 1].w3)->head_ptr()), 7);
  EXPECT_EQ("append", nm.substr(0, 6));
  EXPECT_EQ('\0', nm[6]);
}

TEST_F(WordIndex, SymbolTableGrowsSixteenfold) {
  uint32_t ts = keep_table(ht::init(0, nullptr, ht::Kind::word, 0));
  std::vector<int32_t> ids;
  for (int i = 0; i < 3000; i++) ids.push_back(ht::find_symbol(tab(ts), "sym-" + std::to_string(i), false));
  EXPECT_EQ(8 * 32 * 32, ht::table(tab(ts))->n_buckets);  // each step 16 or 32 times
  for (int i = 0; i < 3000; i++) {
    ASSERT_EQ(i + 1, ids[i]);
    ASSERT_EQ(ids[i], ht::find_symbol(tab(ts), "SYM-" + std::to_string(i), true));
  }
}

TEST_F(WordIndex, WordsAreAddedAndFoundByCanonicalId) {
  // Symbols 10 and 11 are spellings of one name; 11 aliases 10.
  ht::resolve_symbol = [](int32_t id) { return id == 11 ? 10 : id; };
  uint32_t ts = keep_table(ht::init(0, nullptr, ht::Kind::word, 0));
  Node ctx = blk(new_block(1));  // stands in for a context node
  int32_t index = -5;
  for (int32_t s = 1; s <= 500; s++) {
    if (s == 11) continue;
    ASSERT_EQ(-1, ht::find_word(tab(ts), s, false, ctx, &index));
    const Cell* w = buf_of(ht::table(tab(ts))->blk)->cells() + index;
    ASSERT_TRUE(is_type(w, T_WORD));
    ASSERT_EQ(uint32_t(s), w->w2);
    ASSERT_EQ(uint32_t(index), w->w3);
  }
  EXPECT_EQ(0, ht::find_word(tab(ts), 1, false, 0, nullptr));
  EXPECT_EQ(9, ht::find_word(tab(ts), 10, false, 0, nullptr));
  EXPECT_EQ(-1, ht::find_word(tab(ts), 11, false, 0, nullptr));
  EXPECT_EQ(9, ht::find_word(tab(ts), 11, true, 0, nullptr));
  EXPECT_EQ(-1, ht::find_word(tab(ts), 501, true, 0, nullptr));
  ht::resolve_symbol = [](int32_t id) { return id; };
}

using Records = HashHeap;

TEST_F(Records, PutGetRemoveThroughGrowthAndCleanup) {
  for (ht::Kind kind : {ht::Kind::ptr, ht::Kind::node}) {
    uint32_t ts = keep_table(ht::init(0, nullptr, kind, 2));
    std::map<uint32_t, int32_t> model;
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; i++) {
      uint32_t key = (rng() % 3000) * 4 + 4;
      if (rng() % 3) {
        Cell* v = ht::put_ptr(tab(ts), key);
        ASSERT_NE(nullptr, v);
        v[0] = int_cell(i);
        v[1] = int_cell(-i);
        model[key] = i;
      } else {
        Cell* v = ht::remove_ptr(tab(ts), key);
        ASSERT_EQ(model.count(key) != 0, v != nullptr);
        if (v) {
          EXPECT_EQ(model[key], get_int(v));
        }
        model.erase(key);
      }
    }
    EXPECT_EQ(int32_t(model.size()), ht::table(tab(ts))->count);
    for (uint32_t key = 4; key <= 3000 * 4; key += 4) {
      Cell* v = ht::get_ptr(tab(ts), key);
      ASSERT_EQ(model.count(key) != 0, v != nullptr) << key;
      if (v) {
        EXPECT_EQ(model[key], get_int(v));
        EXPECT_EQ(-model[key], get_int(v + 1));
      }
    }
  }
}

TEST_F(Records, ChurnRebuildsInsteadOfGrowing) {
  uint32_t ts = keep_table(ht::init(16, nullptr, ht::Kind::ptr, 1));
  for (uint32_t i = 1; i <= 100000; i++) {
    ht::put_ptr(tab(ts), i * 16);
    ht::remove_ptr(tab(ts), i * 16);
  }
  EXPECT_LE(ht::table(tab(ts))->n_buckets, 64);
  EXPECT_EQ(0, ht::table(tab(ts))->count);
}

TEST_F(Records, SweepDropsRecordsOfDeadSeries) {
  // The sweeper reads the table through its root cell: the collection
  // moving nodes has corrected that cell by the time sweepers run.
  static uint32_t table_slot = UINT32_MAX;
  uint32_t ts = keep_table(ht::init(8, nullptr, ht::Kind::node, 1));
  table_slot = ts;
  static bool registered = false;
  if (!registered) {
    collector::add_weak_sweeper([] {
      if (table_slot != UINT32_MAX) ht::sweep_records(tab(table_slot));
    });
    registered = true;
  }
  std::vector<uint32_t> kept, dropped;
  for (int i = 0; i < 40; i++) {
    // Every key is live when it goes in: a dead node could be reused.
    Node s = memory::alloc_bytes(8);
    uint32_t r = push_root(Cell{T_BINARY, 0, s, 0});
    (i % 2 == 0 ? kept : dropped).push_back(r);
    Cell* v = ht::put_ptr(tab(ts), s);  // a collection may strike in here
    *v = int_cell(i);
  }
  for (uint32_t r : dropped) *root(r) = Cell{T_NONE, 0, 0, 0};
  collector::collect();
  for (size_t j = 0; j < kept.size(); j++) {
    Cell* v = ht::get_ptr(tab(ts), root(kept[j])->w2);
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(int32_t(2 * j), get_int(v));
  }
  // Read after a lookup: a table whose keys moved is re-indexed (and its
  // count taken afresh) at its next use.
  EXPECT_EQ(20, ht::table(tab(ts))->count);
  table_slot = UINT32_MAX;
}

using Hashing = HashHeap;

TEST_F(Hashing, TextHashRules) {
  // Text hashes as the folded code points written as 32 bits each, whatever
  // the unit width.
  const std::byte* mixed = reinterpret_cast<const std::byte*>("MiXed");
  const std::byte* lower = reinterpret_cast<const std::byte*>("mixed");
  std::vector<uint32_t> cps = {'M', 'I', 'X', 'E', 'D'};
  EXPECT_EQ(ht::murmur3(cps.data(), cps.size() * 4), ht::hash_text(mixed, 1, 5, false));
  EXPECT_EQ(ht::hash_text(mixed, 1, 5, false), ht::hash_text(lower, 1, 5, false));
  EXPECT_NE(ht::hash_text(mixed, 1, 5, true), ht::hash_text(lower, 1, 5, true));
  std::vector<uint16_t> wide = {'m', 'i', 'x', 'e', 'd'};
  EXPECT_EQ(ht::hash_text(lower, 1, 5, false),
            ht::hash_text(reinterpret_cast<const std::byte*>(wide.data()), 2, 5, false));
  // A type that set no hasher hashes to 0.
  Cell event{T_EVENT, 0, 0, 0};
  EXPECT_EQ(0u, ht::hash_value(&event, false));
  // Tail bytes of MurmurHash3 count: lengths 1 to 3 differ from each other.
  const char* s = "abc";
  EXPECT_NE(ht::murmur3(s, 1), ht::murmur3(s, 2));
  EXPECT_NE(ht::murmur3(s, 2), ht::murmur3(s, 3));
  EXPECT_EQ(ht::murmur3(s, 3), ht::murmur3("abc", 3));
}

}  // namespace
}  // namespace xeb::test
