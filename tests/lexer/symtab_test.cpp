// The symbol table and the global context under many distinct words: every
// loaded word keeps its spelling and its binding through growth of the
// tables and through collections that slide buffers and move nodes.
#include <cstdlib>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "lexer/load.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

class Symtab : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    lexer::init_loaders();
  }
  static Cell* load(const std::string& utf8) {
    Cell* s = string::push_new(static_cast<int32_t>(utf8.size()));
    string::append_utf8(s, utf8);
    Cell* out = begin_cell(stack::push_new());
    lexer::transcode(s, out, {});
    return out;
  }
  // A block of n strings on the data stack: live nodes among which the
  // names of words loaded meanwhile are laid, so that node frames are left
  // sparse once it goes.
  static void hold_strings(int n) {
    Cell* b = block::push_only(n);
    for (int i = 0; i < n; i++) {
      Cell* s = string::push_new(4);
      string::append_utf8(s, "x");
      block::xs_append(b, s);
      stack::pop(1);
    }
  }
};

std::string spelling(int i) { return "w" + std::to_string(i) + "-" + std::to_string(i * 7919 % 1000); }

// Enough words to take the symbol table past a resize; XEB_SYMTAB_WORDS sets
// another count (millions, by hand).
TEST_F(Symtab, LoadedWordsKeepSpellingAndBindingThroughNodeMoves) {
  const char* env = std::getenv("XEB_SYMTAB_WORDS");
  const int total = env ? std::atoi(env) : 14000;
  const uint32_t compactions = collector::node_compactions;
  const int batch = 500;
  std::vector<int32_t> ids;
  for (int start = 0; start < total; start += batch) {
    std::string text;
    for (int i = start; i < start + batch && i < total; i++) text += spelling(i) + " ";
    Cell* saved = stack::top();
    hold_strings(start % 5000 == 0 ? 12000 : 200);
    Cell* b = load(text);
    const Cell* c = block::buf(b)->cells() + block::head_of(b);
    for (int i = 0; i < batch && start + i < total; i++) ids.push_back(static_cast<int32_t>(c[i].w2));
    stack::set_top(saved);
    // Enough collections for frames to turn stable and be emptied; sparser
    // beyond the CI count, where the point is the tables' size.
    if (start < 20000 || start % 20000 == 0)
      for (int k = 0; k < 8; k++) collector::collect();
  }
  EXPECT_GT(collector::node_compactions, compactions);
  for (int i = 0; i < total; i++) {
    ASSERT_EQ(spelling(i), symbol::name(ids[i])) << i;
    ASSERT_EQ(ids[i], symbol::make(spelling(i))) << i;
    ASSERT_GE(context::find_word(context::global(), ids[i], false), 0) << i;
  }
}

}  // namespace
}  // namespace xeb::test
