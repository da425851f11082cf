// event!: make, the facets and their dispatch to the GUI hooks, and the
// stand-in that serves the hooks until the GUI layer sets its own.
#include "datatypes/event.h"

#include <cstring>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/series.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"

namespace xeb::event {

const char* const kTypeNames[38] = {
    "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "click", "dbl-click",
    "wheel", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus", "enter", "zoom",
    "pan", "rotate", "two-tap", "press-tap", "select", "change", "menu", "close", "move", "resize",
    "moving", "resizing", "time", "drawing", "scroll", "minimize", "maximize", "restore"};

std::vector<std::string> stand_in_calls;

namespace {

struct FlagWord {
  const char* name;
  uint32_t bit;
};
constexpr FlagWord kFlags[] = {
    {"control", FLAG_CONTROL}, {"shift", FLAG_SHIFT}, {"alt", FLAG_ALT}, {"command", FLAG_COMMAND},
    {"away", FLAG_AWAY}, {"down", FLAG_DOWN}, {"mid-down", FLAG_MID_DOWN}, {"alt-down", FLAG_ALT_DOWN},
    {"aux-down", FLAG_AUX_DOWN}};

// Facet words in index order.
constexpr words::W kFacets[FACET_COUNT] = {
    words::W::type, words::W::face, words::W::window, words::W::offset, words::W::key, words::W::picked,
    words::W::flags, words::W::away_q, words::W::down_q, words::W::mid_down_q, words::W::alt_down_q,
    words::W::aux_down_q, words::W::ctrl_q, words::W::shift_q, words::W::orientation};

// Facet masks of the flag tests away? to shift?.
constexpr uint32_t kFlagFacets[] = {FLAG_AWAY, FLAG_DOWN, FLAG_MID_DOWN, FLAG_ALT_DOWN, FLAG_AUX_DOWN,
                                    FLAG_CONTROL, FLAG_SHIFT};

bool word_type(int t) { return t == T_WORD || t == T_SET_WORD || t == T_LIT_WORD || t == T_GET_WORD; }

std::string_view name_of(const Cell* word) { return symbol::name(word_symbol(word)); }

// --- The stand-in: answers from the cell, records each question. ---------------

void note(const char* what) { stand_in_calls.emplace_back(what); }

void s_type_word(const Cell* e, Cell* out) {
  note("type");
  uint32_t id = type_id(e);
  if (id < 1 || id > 38) *out = fixed_none;
  else *out = *word::load(kTypeNames[id - 1]);
}
void s_face(const Cell*, Cell* out) { note("face"), *out = fixed_none; }
void s_window(const Cell*, Cell* out) { note("window"), *out = fixed_none; }
void s_offset(const Cell*, Cell* out) { note("offset"), *out = pair::make_cell(0, 0); }
void s_key(const Cell* e, Cell* out) {
  note("key");
  uint32_t k = key_and_flags(e) & KEY_MASK;
  *out = k ? char_::make_cell(static_cast<int32_t>(k)) : fixed_none;
}
void s_picked(const Cell*, Cell* out) { note("picked"), *out = integer::make_cell(0); }
void s_flags(const Cell* e, Cell* out) {
  note("flags");
  Cell held = *e;
  Cell* r = block::push_only(4);
  for (const FlagWord& f : kFlags)
    if (key_and_flags(&held) & f.bit) block::xs_append(r, word::load(f.name));
  *out = *r;
  stack::pop(1);
}
bool s_flag_q(const Cell* e, uint32_t mask) { return note("flag?"), (key_and_flags(e) & mask) != 0; }
void s_orientation(const Cell*, Cell* out) { note("orientation"), *out = fixed_none; }
uint32_t s_type_of_word(const Cell* w) {
  note("set-type");
  for (uint32_t i = 0; i < 38; i++)
    if (symbol::same_nocase(name_of(w), kTypeNames[i])) return i + 1;
  return 0;
}
void s_post(const Cell*, const Cell*) { note("post"); }

// --- The type's slots ---------------------------------------------------------------

// The type facet set from a word; an unknown word is an error.
void set_type_word(Cell* e, const Cell* w) {
  uint32_t id = gui.type_of_word(w);
  if (!id) {
    Cell c = *w;
    fire(Err::not_event_type, &c);
  }
  set_type_id(e, id);
}

int facet_of_word(const Cell* w) {
  if (!word_type(type_of(w))) return -1;
  return facet_index(w);
}

Cell* make(Cell*, Cell* spec, int) {
  collector::KeepNodes keep;  // cells held in C++ locals keep their nodes
  Cell* e = stack::push_new();
  *e = Cell{T_EVENT | HDR_EVENT_HOLDS_NODE, 0, 0, 0};
  if (!is_type(spec, T_BLOCK)) return e;
  Cell* s = stack::push(spec);
  Cell vals[4] = {fixed_none, fixed_none, pair::make_cell(0, 0), integer::make_cell(0)};
  bool any = false;
  int32_t n = static_cast<int32_t>(block::buf(s)->cell_count());
  for (int32_t i = block::head_of(s); i + 1 < n; i++) {
    Cell key = block::buf(s)->cells()[i];
    if (!is_type(&key, T_SET_WORD)) continue;
    Cell v = block::buf(s)->cells()[i + 1];
    // A bound word stands for its value, read without raising: a word
    // with no value gives unset, which no facet takes.
    if ((is_type(&v, T_WORD) || is_type(&v, T_GET_WORD)) && word_context(&v) && word_index(&v) >= 0) {
      Cell* w = stack::push(&v);
      v = *context::get(w);
      stack::pop(1);
    }
    switch (facet_index(&key)) {
      case F_TYPE:
        if (is_type(&v, T_WORD) || is_type(&v, T_LIT_WORD)) set_type_word(e, &v);
        break;
      case F_KEY:
        if (is_type(&v, T_CHAR)) e->w3 |= static_cast<uint32_t>(get_int(&v)) & KEY_MASK;
        break;
      case F_FLAGS:
        if (!is_type(&v, T_BLOCK)) break;
        for (uint32_t j = static_cast<uint32_t>(block::head_of(&v)); j < block::buf(&v)->cell_count(); j++) {
          const Cell* f = block::buf(&v)->cells() + j;
          if (!is_type(f, T_WORD)) continue;
          for (const FlagWord& fw : kFlags)
            if (symbol::same_nocase(name_of(f), fw.name)) e->w3 |= fw.bit;
        }
        break;
      case F_FACE: case F_WINDOW:
        if (is_type(&v, T_OBJECT)) vals[facet_index(&key) - F_FACE] = v, any = true;
        break;
      case F_OFFSET:
        if (is_type(&v, T_PAIR) || is_type(&v, T_POINT2D)) vals[2] = v, any = true;
        break;
      case F_PICKED:
        if (is_type(&v, T_INTEGER)) vals[3] = v, any = true;
        break;
      default:
        break;
    }
  }
  if (any) {
    Cell* b = block::push_only(4);
    for (const Cell& c : vals) block::xs_append(b, &c);
    e->w2 = series::node_of(b);
  }
  stack::set_top(e + 1);
  return e;
}

int form(Cell*, Cell* out, Cell*, int part) { return actions::emit(out, "event", part); }
int mold(Cell* e, Cell* out, int, int, int, Cell* arg, int part, int) { return form(e, out, arg, part); }

// Any two events are equal and the same.
int compare(Cell*, Cell* b, int op) {
  if (!is_type(b, T_EVENT)) return COMPARE_INVALID;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND:
      return 0;
    default:
      return COMPARE_INVALID;
  }
}

Cell* pick(Cell* e, int, Cell* index) {
  int i;
  if (is_type(index, T_INTEGER)) {
    i = get_int(index);
    if (i < 1 || i > FACET_COUNT) {
      Cell c = *index;
      fire(Err::out_of_range, &c);
    }
  } else {
    i = facet_of_word(index);
    if (i < 0) {
      Cell c = *index, ev = *e;  // "cannot use zz on event value"
      fire(Err::cannot_use, &c, &ev);
    }
  }
  return get_facet(e, i);
}

Cell* eval_path(Cell* e, Cell* element, Cell* value, const PathStep& step) {
  int i = facet_of_word(element);
  Cell p = step.path ? *step.path : fixed_none, el = *element;
  if (!value) {
    if (i < 0) fire(Err::invalid_path, &p, &el);
    return get_facet(e, i);
  }
  if (i != F_TYPE || !is_type(value, T_WORD)) fire(Err::bad_path_set, &p, &el);
  set_type_word(e, value);
  return value;
}

}  // namespace

Gui gui = {s_type_word, s_face,    s_window,      s_offset,       s_key, s_picked,
           s_flags,     s_flag_q,  s_orientation, s_type_of_word, s_post};

int facet_index(const Cell* w) {
  for (int i = 0; i < FACET_COUNT; i++)
    if (words::is(word_symbol(w), kFacets[i])) return i + 1;
  return -1;
}

Cell* get_facet(const Cell* ev, int index) {
  Cell e = *ev;
  Cell* out = stack::push_new();
  *out = fixed_none;
  if (owns_facets(&e)) {
    Cell* vals = e.w2 ? buf_of(e.w2)->cells() : nullptr;
    switch (index) {
      case F_FACE: *out = vals ? vals[0] : fixed_none; return out;
      case F_WINDOW: *out = vals ? vals[1] : fixed_none; return out;
      case F_OFFSET: *out = vals ? vals[2] : pair::make_cell(0, 0); return out;
      case F_PICKED: *out = vals ? vals[3] : integer::make_cell(0); return out;
      case F_KEY: {
        uint32_t k = e.w3 & KEY_MASK;
        *out = k ? char_::make_cell(static_cast<int32_t>(k)) : fixed_none;
        return out;
      }
      case F_ORIENTATION: return out;
      default: break;
    }
  }
  Cell r = fixed_none;
  switch (index) {
    case F_TYPE: gui.type_word(&e, &r); break;
    case F_FACE: gui.face(&e, &r); break;
    case F_WINDOW: gui.window(&e, &r); break;
    case F_OFFSET: gui.offset(&e, &r); break;
    case F_KEY: gui.key(&e, &r); break;
    case F_PICKED: gui.picked(&e, &r); break;
    case F_FLAGS: gui.flags(&e, &r); break;
    case F_ORIENTATION: gui.orientation(&e, &r); break;
    default: r = gui.flag_q(&e, kFlagFacets[index - F_AWAY_Q]) ? fixed_true : fixed_false; break;
  }
  *out = r;
  return out;
}

bool find_flag_q(const Cell* flags, const Cell* flag) {
  auto canonical = [](const Cell* w) { return hashtable::resolve_symbol(word_symbol(w)); };
  auto same = [&](const Cell* w) {
    return (is_type(w, T_WORD) || is_type(w, T_LIT_WORD)) && canonical(w) == canonical(flag);
  };
  if (is_type(flags, T_WORD)) return same(flags);
  if (!is_type(flags, T_BLOCK)) return false;
  for (uint32_t i = static_cast<uint32_t>(block::head_of(flags)); i < block::buf(flags)->cell_count(); i++)
    if (same(block::buf(flags)->cells() + i)) return true;
  return false;
}

// An event holding its facets itself keeps them in the node of word 2.
void mark_facets(Cell* e) {
  if (owns_facets(e) && e->w2) collector::mark_node(&e->w2);
}

void init() {
  datatype::Registration r{T_EVENT, 0, "event!"};
  r.hashes([](const Cell*, bool) { return 0xE7E27u; });  // all events are equal
  r.marks({collector::Holds::nothing, collector::Holds::nothing, collector::Holds::nothing, &mark_facets});
  r.set(A_MAKE, &make).set(A_FORM, &form).set(A_MOLD, &mold).set(A_EVAL_PATH, &eval_path);
  r.set(A_COMPARE, &compare).set(A_PICK, &pick);
  datatype::register_type(r);
}

}  // namespace xeb::event
