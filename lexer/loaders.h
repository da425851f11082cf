// The loaders' shared internals: the action of every token type, the text
// decoder (escapes, percent groups, UTF-8) the string-like loaders share,
// and the step that moves a finished value into the lexer's buffer.
//
// Every loader first checks its token without allocating (load false stops
// there), then makes the value on the data stack and only then pushes it
// into the lexer's buffer, so no buffer address is held across an
// allocation.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "lexer/lexer.h"

namespace xeb::lexer::load {

// Token actions, by module.
bool string(State& s, Token& t, bool load);       // "..."
bool braced(State& s, Token& t, bool load);       // {...}
bool raw_string(State& s, Token& t, bool load);   // %{...}%
bool file(State& s, Token& t, bool load);
bool tag(State& s, Token& t, bool load);
bool url(State& s, Token& t, bool load);
bool email(State& s, Token& t, bool load);
bool ref(State& s, Token& t, bool load);
bool character(State& s, Token& t, bool load);
bool binary(State& s, Token& t, bool load);

bool word(State& s, Token& t, bool load);
bool issue(State& s, Token& t, bool load);
bool refinement(State& s, Token& t, bool load);
bool construct(State& s, Token& t, bool load);

bool integer(State& s, Token& t, bool load);
bool hex_integer(State& s, Token& t, bool load);
bool decimal(State& s, Token& t, bool load);
bool decimal_special(State& s, Token& t, bool load);
bool percent(State& s, Token& t, bool load);
// Literals of types that do not exist yet: rejected with their type.
bool not_yet(State& s, Token& t, bool load);

bool pair(State& s, Token& t, bool load);
bool tuple(State& s, Token& t, bool load);
bool time(State& s, Token& t, bool load);
bool date(State& s, Token& t, bool load);
bool money(State& s, Token& t, bool load);
bool point(State& s, Token& t, bool load);  // (x, y) read as one token
// A paren turned into a point by its commas, closed.
bool point_close(State& s, uint32_t series, uint32_t marker);

bool close(State& s, uint32_t series, uint32_t marker);

// Moves the value on top of the data stack into a new cell of the lexer's
// buffer (keeping the cell's new-line flag) and pops it.
void push_from_stack(State& s);
// The type a word-like loader gives: the override when one is in force.
inline int value_type(const State& s, const Token& t) {
  return s.type_override >= 0 ? s.type_override : t.value_type;
}

// --- Text decoding -------------------------------------------------------------

struct TextRules {
  bool escapes = false;  // `^` escapes count
  bool percent = false;  // `%XX` groups are bytes of UTF-8 text
};
// Decodes [p, e) into code points (cleared first); answers false on a
// malformed escape, percent group or UTF-8 sequence.
bool decode_text(const uint8_t* p, const uint8_t* e, TextRules rules, std::vector<char32_t>& out);
// One `^` escape at p (just after the `^`); answers the code point and moves
// p past it, or -1 when it is malformed.
int32_t decode_escape(const uint8_t*& p, const uint8_t* e);
// A new string-like value of the type on the data stack, at the narrowest
// unit that holds the code points.
void push_text(const std::vector<char32_t>& cps, uint8_t type);

// Scratch code points of the current token; never held across a nested scan.
std::vector<char32_t>& scratch();

}  // namespace xeb::lexer::load
