// Loaders of the word-like tokens (the word kinds, issues, refinements) and
// of constructions `#(...)`, which name a constant or a datatype.
#include <string_view>

#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "lexer/internal.h"
#include "lexer/loaders.h"

namespace xeb::lexer::load {
namespace {

// Symbols are UTF-8: a word holding a malformed sequence is rejected.
bool valid_utf8(const uint8_t* p, const uint8_t* e) {
  while (p < e) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    int len;
    if (detail::decode_utf8(p, e, len) < 0) return false;
    p += len;
  }
  return true;
}

// Makes the word of the kind from the spelling [p, e) into a new cell.
bool push_word(State& s, Token& t, const uint8_t* p, const uint8_t* e, int type, bool load) {
  if (p >= e || !valid_utf8(p, e)) return syntax_error(s, type, t.start);
  if (!load) return true;
  std::string_view name(reinterpret_cast<const char*>(p), static_cast<size_t>(e - p));
  int32_t sym = symbol::make(name);
  Cell* c = push_value(s);
  uint32_t new_line = c->header & HDR_NEW_LINE;
  word::make_at(sym, c);
  c->header = new_line | static_cast<uint32_t>(type);
  return true;
}

}  // namespace

bool word(State& s, Token& t, bool load) {
  const uint8_t* p = t.start;
  const uint8_t* e = t.end;
  // Sigils are stripped whatever kind the word becomes: a path head or a
  // set-path element is a plain word spelled without them.
  if (e - p > 1 && (*p == '\'' || *p == ':')) ++p;
  if (e - p > 1 && e[-1] == ':') --e;
  int type = value_type(s, t);
  if (p == e - 1 && (*p == '\'' || *p == ':') && t.end - t.start == 1) return syntax_error(s, type, t.start);
  return push_word(s, t, p, e, type, load);
}

bool issue(State& s, Token& t, bool load) {
  if (t.end - t.start < 2 || t.start[0] != '#') return syntax_error(s, T_ISSUE, t.start);
  return push_word(s, t, t.start + 1, t.end, value_type(s, t), load);
}

bool refinement(State& s, Token& t, bool load) {
  const uint8_t* p = t.start;
  size_t n = static_cast<size_t>(t.end - p);
  static constexpr uint8_t slash[] = {'/'};
  if (n == 1 && p[0] == '/') return push_word(s, t, slash, slash + 1, T_WORD, load);
  if (n == 2 && p[1] == '/' && (p[0] == '\'' || p[0] == ':'))
    return push_word(s, t, slash, slash + 1, p[0] == '\'' ? T_LIT_WORD : T_GET_WORD, load);
  if (n == 2 && p[0] == '/' && p[1] == ':') return push_word(s, t, slash, slash + 1, T_SET_WORD, load);
  if (n < 2 || p[0] != '/') return syntax_error(s, T_REFINEMENT, t.start);
  return push_word(s, t, p + 1, t.end, T_REFINEMENT, load);
}

bool construct(State& s, Token& t, bool load) {
  auto same = [](std::string_view text, std::string_view name) {
    if (text.size() != name.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      char a = text[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
      if (a != name[i]) return false;
    }
    return true;
  };
  if (t.end - t.start < 3 || t.end[-1] != ')') return syntax_error(s, E_MALCONSTRUCT, t.start);
  std::string_view text(reinterpret_cast<const char*>(t.start + 2), static_cast<size_t>(t.end - t.start - 3));
  Cell v;
  if (same(text, "true")) v = fixed_true;
  else if (same(text, "false")) v = fixed_false;
  else if (same(text, "none")) v = fixed_none;
  else if (same(text, "unset")) v = fixed_unset;
  else {
    int found = 0;
    for (int id = 1; id <= datatype::highest && !found; ++id)
      if (datatype::entries[id].name && same(text, datatype::entries[id].name)) found = id;
    if (!found) return syntax_error(s, E_MALCONSTRUCT, t.start);
    v = datatype::make_cell(found);
  }
  if (!load) return true;
  Cell* c = push_value(s);
  uint32_t new_line = c->header & HDR_NEW_LINE;
  *c = v;
  c->header = (c->header & ~HDR_NEW_LINE) | new_line;
  return true;
}

}  // namespace xeb::lexer::load
