// The lexer's tables: byte classes with their flag bits, the transition
// table of the token automaton, and the per-state skip, line and type
// tables. Everything here is constant data; the scanning loop is in lexer.cpp.
#pragma once
#include <cstdint>

#include "runtime/types.h"

namespace xeb::lexer {

constexpr int CLASS_COUNT = 40;
constexpr int WORKING_STATES = 65;  // states 0-64; 65 never occurs
constexpr int FINAL_BASE = 65;      // final state = FINAL_BASE + token type
constexpr int STATE_COUNT = 102;
constexpr int TOKEN_TYPES = 36;

// Byte classes that the scanner's own code tests by name.
enum Class : uint8_t {
  C_BLANK = 0, C_LF = 1, C_OPEN_BLOCK = 4, C_CLOSE_BLOCK = 5, C_OPEN_PAREN = 6,
  C_CLOSE_PAREN = 7, C_OPEN_BRACE = 8, C_CLOSE_BRACE = 9, C_QUOTE = 10,
  C_COLON = 13, C_SLASH = 21, C_PERCENT = 26, C_LT = 23, C_GT = 24, C_COMMA = 27, C_SEMI = 28,
  C_CONTROL = 35, C_CONT = 36, C_OTHER = 37, C_BAD = 38, C_END = 39,
};

// Flag bits of the class table, ORed over every byte of a token.
enum Flag : uint32_t {
  F_PERCENT = 0x00040000, F_GT = 0x00080000, F_LT = 0x00100000,
  F_SIGN = 0x00200000, F_NUL = 0x00400000, F_HASH = 0x00800000,
  F_EXP = 0x01000000, F_APOS = 0x02000000, F_COLON = 0x04000000,
  F_COMMA = 0x08000000, F_DOT = 0x10000000, F_CARET = 0x20000000,
  F_UTF8_3 = 0x40000000,  // a 2- or 3-byte UTF-8 lead byte is present
  F_UTF8_4 = 0x80000000,  // a 4-byte UTF-8 lead byte is present
};
constexpr uint32_t CLASS_MASK = 0xFF;

// Unit width a string loader needs for a token with these flags: 1, 2 or 4.
constexpr int unit_width(uint32_t flags) {
  int w = 1 << (flags >> 30);
  return w > 4 ? 4 : w;
}

// Token types; the final state of each is FINAL_BASE + its number.
enum class Tok : uint8_t {
  none = 0,
  end = 1, error, block_open, block_close, paren_open, paren_close,
  brace_open, brace_close, map_open, path_slash, construct, comment, comma,
  string, word, issue, integer, refinement, character, file, binary, percent,
  decimal, decimal_special, tuple, date, pair, point, time, money, tag, url,
  email, hex_integer, raw_string, ref,
};
constexpr bool is_structural(Tok t) { return t >= Tok::end && t <= Tok::comma; }

// Start states the scan actions select for the next token.
enum StartState : uint8_t { S_BETWEEN = 0, S_BRACED = 4, S_POINT = 35, S_PATH = 59 };

extern const uint32_t char_class[256];       // class | flags
extern const uint8_t transition[WORKING_STATES][CLASS_COUNT];
extern const uint8_t state_type[STATE_COUNT];  // TypeId, 0 = no type
extern const uint8_t skip_state[STATE_COUNT];  // 1 only for state 0
extern const uint8_t line_class[CLASS_COUNT];  // 1 only for LF
// Class of the closing byte a token owns (its end is past that byte), or
// 0xFF when the byte that stopped the automaton belongs to the next token.
extern const uint8_t closing_class[TOKEN_TYPES + 1];
// Value type of each token type, 0 for structural tokens.
extern const uint8_t token_value_type[TOKEN_TYPES + 1];

constexpr bool is_final(uint8_t state) { return state > FINAL_BASE; }
constexpr Tok token_of(uint8_t final_state) { return static_cast<Tok>(final_state - FINAL_BASE); }

// Classes that end a path element when they follow it.
constexpr bool is_delimiter_class(uint8_t c) {
  switch (c) {
    case 0: case 1: case 4: case 5: case 6: case 7: case 8: case 10:
    case 13: case 23: case 28: case 37: case 38: case 39:
      return true;
    default:
      return false;
  }
}

}  // namespace xeb::lexer
