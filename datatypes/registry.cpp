#include "datatypes/registry.h"

#include <cstdio>
#include <cstring>

#include "runtime/exit.h"
#include "runtime/region_kept.h"

namespace xeb::datatype {

Entry entries[MAX_TYPES];
SlotRef action_table[MAX_TYPES][ROW_SLOTS];
int highest = 0;
void (*make_word_hook)(int) = nullptr;
static bool words_made = false;
// The types' words, made with the heap.
XEB_KEPT_PIECES("entries.word", &entries[0].word, sizeof(Cell), sizeof(Entry), MAX_TYPES);
XEB_KEPT_WITH_HEAP(words_made);

void inherit_marker() {}

void register_type(int count, const Registration& r) {
  if (r.id > highest) highest = r.id;
  Entry& e = entries[r.id];
  e.name = r.name;
  e.length = static_cast<int32_t>(std::strlen(r.name)) - 1;
  e.word = Cell{T_UNSET, 0, 0, 0};
  collector::set_layout(r.id, r.layout);
  hashtable::set_hashing(r.id, r.hasher, r.by_address);
  if (count - 3 != ACTION_COUNT) {
    std::printf("*** Datatype Error: invalid actions count for type: %d\n*** Found: %d\n*** Expected: %d\n",
                r.id, count - 3, ACTION_COUNT);
    exit_process(0);
  }
  // Types registered after the word phase (event!) get their word at once.
  if (words_made && make_word_hook) make_word_hook(r.id);
  for (int k = 0; k < ACTION_COUNT; k++) {
    act::AnyFn s = r.slots[k];
    action_table[r.id][k] = s == &inherit_marker ? (r.parent ? action_table[r.parent][k] : 0) : slot_ref(s);
  }
}

void make_words() {
  words_made = true;
  if (!make_word_hook) return;
  for (int id = 1; id <= highest; id++)
    if (entries[id].name) make_word_hook(id);
}

void reset_for_tests() {
  std::memset(entries, 0, sizeof entries);
  std::memset(action_table, 0, sizeof action_table);
  highest = 0;
  words_made = false;
}

}  // namespace xeb::datatype
