// event!: what happened in the GUI (a type word), to which face and window,
// where, with which key and which buttons and modifiers were held.
//
// Cell: header bit HDR_EVENT_HOLDS_NODE set when the event holds its facets
// itself (made with `make event!`); w1 the event type id (1-38, 0 unset); w2 with
// the bit, the node of a four-cell block [face window offset picked] or 0,
// without it the GUI back-end's record of the event; w3 the key's code point
// in bits 0-15 and the flag bits above.
//
// Every facet the event does not hold itself is read through the GUI hooks,
// which the GUI layer sets at start-up. Until it does, a stand-in answers
// from the cell alone and records which hooks were asked.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace xeb::event {

// Flag bits of w3.
constexpr uint32_t KEY_MASK = 0xFFFF;
constexpr uint32_t FLAG_CONTROL = 0x10000000, FLAG_SHIFT = 0x20000000, FLAG_ALT = 0x40000000,
                   FLAG_COMMAND = 0x80000000, FLAG_AWAY = 0x4000000, FLAG_DOWN = 0x2000000,
                   FLAG_MID_DOWN = 0x1000000, FLAG_ALT_DOWN = 0x800000, FLAG_AUX_DOWN = 0x400000;

inline bool owns_facets(const Cell* e) { return (e->header & HDR_EVENT_HOLDS_NODE) != 0; }
inline uint32_t type_id(const Cell* e) { return e->w1; }
inline void set_type_id(Cell* e, uint32_t id) { e->w1 = id; }
inline uint32_t record_of(const Cell* e) { return e->w2; }  // back-end events only
inline uint32_t key_and_flags(const Cell* e) { return e->w3; }

// The facets in index order, 1-15.
enum Facet : int {
  F_TYPE = 1, F_FACE, F_WINDOW, F_OFFSET, F_KEY, F_PICKED, F_FLAGS, F_AWAY_Q, F_DOWN_Q, F_MID_DOWN_Q,
  F_ALT_DOWN_Q, F_AUX_DOWN_Q, F_CTRL_Q, F_SHIFT_Q, F_ORIENTATION, FACET_COUNT = F_ORIENTATION
};

// The GUI layer's side. Getters write the facet into out.
struct Gui {
  void (*type_word)(const Cell* e, Cell* out);
  void (*face)(const Cell* e, Cell* out);
  void (*window)(const Cell* e, Cell* out);
  void (*offset)(const Cell* e, Cell* out);
  void (*key)(const Cell* e, Cell* out);
  void (*picked)(const Cell* e, Cell* out);
  void (*flags)(const Cell* e, Cell* out);
  bool (*flag_q)(const Cell* e, uint32_t mask);
  void (*orientation)(const Cell* e, Cell* out);
  // The type id of a type word, or 0 when it names no event type.
  uint32_t (*type_of_word)(const Cell* word);
  void (*post)(const Cell* e, const Cell* target);
};
extern Gui gui;
// The hook names the stand-in was asked, in order (for tests).
extern std::vector<std::string> stand_in_calls;
// The stand-in's table of type words, indexed by type id - 1.
extern const char* const kTypeNames[38];

// facet-index: 1-15 for a facet word, else -1.
int facet_index(const Cell* word);
// The facet's value, pushed.
Cell* get_facet(const Cell* e, int index);
// find-flag?: flags a word of the flag's symbol, or a block holding one.
bool find_flag_q(const Cell* flags, const Cell* flag);

void init();

}  // namespace xeb::event
