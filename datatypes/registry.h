// The datatype registry: one entry per type id (name, name length without
// "!", the word naming the type) and the action table, one row of slots per
// type id. A slot is an implementation, 0 (unsupported) or, in a registration, the
// inherit marker, resolved by copying the parent's slot at registration. A
// registration also gives what the runtime must know of the type's cells:
// the layout the collector marks by and the hasher of hash tables.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "datatypes/actions.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"

namespace xeb::datatype {

constexpr int MAX_TYPES = 57;
// A row holds every action and no more: registration writes each row, and
// rows padded past the actions would only spread those writes over more
// pages to fault in at start.
constexpr int ROW_SLOTS = 64;
static_assert(ACTION_COUNT <= ROW_SLOTS);

struct Entry {
  const char* name;  // full name with "!"
  int32_t length;    // name length without "!"
  Cell word;         // word! naming the type, unset until made
};

extern Entry entries[MAX_TYPES];
void inherit_marker();  // never called: marks a slot taken from the parent
// A slot holds its function's distance from inherit_marker, 0 for none:
// every action function lies in the program's own code, well within 2 GB
// of it. Half the pages of full pointers, and each of them is a page fault
// at start.
using SlotRef = int32_t;
extern SlotRef action_table[MAX_TYPES][ROW_SLOTS];
inline SlotRef slot_ref(act::AnyFn f) {
  return f ? static_cast<SlotRef>(reinterpret_cast<intptr_t>(f) - reinterpret_cast<intptr_t>(&inherit_marker)) : 0;
}
inline act::AnyFn slot_fn(SlotRef r) {
  return r ? reinterpret_cast<act::AnyFn>(reinterpret_cast<intptr_t>(&inherit_marker) + r) : nullptr;
}
extern int highest;  // largest type id registered so far

struct Registration {
  int id;
  int parent;
  const char* name;
  act::AnyFn slots[ACTION_COUNT] = {};
  // What the payload words hold, for the collector. Never inherited: a child
  // type may keep other things in the same words.
  collector::Layout layout{};

  // How its values hash as keys of hash tables (none: all hash to 0);
  // by_address when the hash stands for the value's identity.
  hashtable::Hasher hasher = nullptr;
  bool by_address = false;

  Registration& marks(const collector::Layout& l) {
    layout = l;
    return *this;
  }
  Registration& hashes(hashtable::Hasher h, bool address = false) {
    hasher = h;
    by_address = address;
    return *this;
  }

  template <class F>
  Registration& set(Action a, F f) {
    slots[a - 1] = reinterpret_cast<act::AnyFn>(f);
    return *this;
  }
  Registration& inherit(std::initializer_list<Action> as) {
    for (Action a : as) slots[a - 1] = &inherit_marker;
    return *this;
  }
};

// count is the item count of the registration record: 3 + the slot count.
void register_type(int count, const Registration& r);
inline void register_type(const Registration& r) { register_type(3 + ACTION_COUNT, r); }

// Makes the word of every name registered so far (once words exist).
void make_words();
extern void (*make_word_hook)(int type_id);  // set by the word layer

inline act::AnyFn slot_of(int type, Action a) { return slot_fn(action_table[type][a - 1]); }
// Fills one slot of a registered type from a layer above (file! I/O from io/).
inline void set_slot(int type, Action a, act::AnyFn f) { action_table[type][a - 1] = slot_ref(f); }
template <class F>
inline F slot(int type, Action a) { return reinterpret_cast<F>(slot_fn(action_table[type][a - 1])); }

void reset_for_tests();

}  // namespace xeb::datatype
