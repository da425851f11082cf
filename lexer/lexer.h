// The lexer: turns UTF-8 source text into values. A table-driven automaton
// (machine.h) delimits each token; structure (blocks, parens, maps, paths,
// braced strings, point separators) is handled here, and every value is made
// by a load action taken from a table indexed by token type, so the value
// loaders stay in their own modules.
//
// Scans nest: a load action or a trace callback may start another scan. Each
// running scan has a State on its caller's stack, linked into one chain that
// the collector walks (mark_buffers). Values live in one value buffer shared
// by all scans and are addressed by index, never by pointer, because a nested
// scan may grow (and so move) the buffer.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "lexer/machine.h"
#include "runtime/cell.h"

namespace xeb::lexer {

struct State;

// One token as the automaton delimits it. [start, end) covers the whole token
// including a closing delimiter it owns (the quote of a string, the `>` of a
// tag, the `)` of a point or construction), so actions never step over bytes.
struct Token {
  Tok type = Tok::none;
  uint8_t value_type = 0;  // TypeId of the value it makes, 0 for none; scan actions may change it
  uint8_t prev_state = 0;  // working state before the final one
  uint8_t start_state = 0;
  uint32_t flags = 0;      // flag bits of every byte of the token
  const uint8_t* start = nullptr;
  const uint8_t* end = nullptr;
  int line = 1;            // line of the token's first byte
};

// Scan and load actions. With load false they only check; with load true they
// push the value (push_value). Answers false when the token is rejected: the
// action raised a syntax error (syntax_error) and must return at once.
using Action = bool (*)(State& s, Token& t, bool load);
struct ActionPair {
  Action scan = nullptr;
  Action load = nullptr;
};

// Builds the value of a closed series in load mode: the cells from `marker`
// to the top of the value buffer are the series marker and its contents; the
// hook must leave exactly one cell at `marker` (the new value, keeping the
// marker's new-line flag) and set the top to marker + 1, or reject through
// syntax_error. `series` is the marker's type word: a TypeId (block!, paren!,
// map!, a path type or point2D!) with the comma count in bits 16 and up.
using CloseAction = bool (*)(State& s, uint32_t series, uint32_t marker);

// Starts the lexer: the value buffer and the action table (one pair per token
// type 1-36; pass none for a machine that only recognises tokens). Structural
// tokens use only the scan slot, and only types 8 (braced string, called with
// the whole text between the outer braces) and 11 (construction) have one.
// May be called again to replace the actions while no scan runs.
void init(std::span<const ActionPair> actions = {}, CloseAction close = nullptr);
void shutdown();  // frees the value buffer (tests)

// Syntax errors. `code` is a datatype id (invalid), or one of these.
enum ErrorCode : int { E_BAD_CHAR = -1, E_MALCONSTRUCT = -2, E_WRONG_CLOSER = -3, E_MISSING_END = -4 };
enum class ErrorId : uint8_t { invalid, bad_char, malconstruct, missing };
struct SyntaxError {
  ErrorId id = ErrorId::invalid;
  uint8_t type = 0;      // invalid: the datatype named
  char missing = 0;      // missing: the character that is missing
  int line = 1;
  std::string where;     // "(line N)": always the error's first argument
  std::string text;      // the offending text, valid UTF-8
};
// The sink raises the error: once the language's error path exists it is
// `fire` with category syntax and the id above, arguments (where, type, text)
// for invalid, (where, text) for bad-char and malconstruct, (where, missing
// char as a string, text) for missing; it does not return. A sink that does
// return (tests) ends the scan, which then reports ok = false.
using ErrorSink = void (*)(void* ctx, const SyntaxError& e);

// Trace events, one bit each in the callback's mask.
enum Event : uint32_t { EV_PRESCAN = 1, EV_SCAN = 2, EV_LOAD = 4, EV_OPEN = 8, EV_CLOSE = 16, EV_ERROR = 32 };
struct TraceEvent {
  Event event;
  uint32_t index;    // byte offset into the input; a callback that changes it resumes the scan there
  int type;          // TypeId of the token's value, or minus the token type when it makes none
  int line;
  uint32_t start, end;  // 0-based byte offsets of the token, end exclusive
  const Cell* value;    // load: the value just made (valid during the call only)
};
// The callback answers false to skip the token (prescan), not load it (scan),
// drop the value (load) or suppress the error (error).
struct Trace {
  uint32_t mask = 0;
  bool (*fn)(void* ctx, State& s, TraceEvent& ev) = nullptr;
  void* ctx = nullptr;
};

enum class Mode : uint8_t {
  load,   // make values
  check,  // recognise and check one value, make nothing (prescan, scan)
  walk,   // recognise every token, make nothing (token listeners, tools)
};

struct Options {
  Mode mode = Mode::load;
  bool one = false;  // stop after one complete top-level value (next, one)
  Trace trace{};
  ErrorSink on_error = nullptr;
  void* error_ctx = nullptr;
  // Sees every token the automaton delimits, before its actions run.
  void (*on_token)(void* ctx, const State& s, const Token& t) = nullptr;
  void* token_ctx = nullptr;
  // Load mode: takes the values made (values()) while they are still rooted.
  void (*finish)(void* ctx, State& s) = nullptr;
  void* finish_ctx = nullptr;
  // A syntax error still hands finish the complete top-level values read
  // before it (appending to an existing block), before the error is raised.
  bool finish_on_error = false;
  // Kept for the collector while the scan runs: the string! or binary! being
  // scanned and the trace callback's function! or routine!.
  Cell input_series{};
  Cell callback{};
  bool input_is_string = false;  // consumed is then counted in characters
};

struct Result {
  bool ok = true;        // false when a syntax error ended the scan
  uint8_t type = 0;      // value type of the last token (0 = none)
  uint32_t consumed = 0; // bytes, or characters when input_is_string
  int lines = 1;         // line number where the scan stopped
};

// lexer-state!: one per running scan.
struct State {
  State* next = nullptr;  // scan started during this one
  State* prev = nullptr;  // scan that was innermost when this one started
  uint32_t base = 0;          // first value-buffer cell of this scan
  uint32_t series_start = 0;  // first cell of the innermost open series
  uint32_t top = 0;           // next free cell
  const uint8_t* begin = nullptr;
  const uint8_t* end = nullptr;
  const uint8_t* pos = nullptr;        // next byte to read
  const uint8_t* token_end = nullptr;
  int line = 1;
  int token_lines = 0;     // line breaks in the current token and the blanks before it
  int type_override = -1;  // TypeId the load action must give the value, -1 = none
  uint8_t value_type = 0;
  uint8_t start_state = S_BETWEEN;
  uint8_t prev_state = 0;
  uint8_t pending_path = 0;  // path type being built, 0 when none
  const uint8_t* brace_start = nullptr;  // outermost `{` of a braced string
  int brace_depth = 0;
  uint32_t brace_flags = 0;
  int brace_lines = 0;
  bool point = false;     // inside a point literal read as one token
  bool load = true;       // values are made
  bool stopped = false;   // a syntax error ended the scan
  const Options* opts = nullptr;
  Cell input_series{};
  Cell callback{};
  const uint8_t* cache_byte = nullptr;  // char_index cache
  uint32_t cache_char = 0;
};

// Scans UTF-8 bytes (not NUL-terminated; a NUL ends the input).
Result scan(std::span<const uint8_t> text, const Options& o);
// Scans text held as units of 1, 2 or 4 bytes (a string!'s buffer, from its
// head over `count` units), encoded to UTF-8 in a shared scratch area first.
Result scan_units(const void* units, int unit, size_t count, const Options& o);

// For actions: raises a syntax error for the current token. `at` is where the
// offending text starts. Always answers false, so `return syntax_error(...)`.
// The error event carries event_type, or when 0 the error's own type: the
// datatype of an invalid token, the open series' type for a missing closer,
// error! otherwise (the console tells open series from hard errors by it).
bool syntax_error(State& s, int code, const uint8_t* at, char missing = 0, uint8_t event_type = 0);
// New cell on the value buffer, unset, with the new-line flag when the token
// began on a new line. The pointer is valid until the next push or nested scan.
Cell* push_value(State& s);
Cell* cell_at(uint32_t index);  // valid until the next push or nested scan

// The marker cell an open series leaves on the value buffer before its
// contents: [triple! header, distance back to the enclosing series' first
// cell, series type (plus comma units), offset of its opener in the input].
inline uint32_t marker_back(const Cell* m) { return m->w1; }
inline uint32_t marker_type(const Cell* m) { return m->w2; }
inline void set_marker_type(Cell* m, uint32_t type) { m->w2 = type; }
inline uint32_t marker_opener(const Cell* m) { return m->w3; }
inline void set_marker(Cell* m, uint32_t back, uint32_t type, uint32_t opener) {
  m->w1 = back;
  m->w2 = type;
  m->w3 = opener;
}
std::span<Cell> values(const State& s);  // this scan's values, same validity
// Character index of a byte position of the input, for string! input.
uint32_t char_index(State& s, const uint8_t* p);
// Collector hook: hands every live cell of every running scan to `mark`.
void mark_buffers(void (*mark)(Cell* first, Cell* end));
const State* innermost();  // the running scan most recently started, or null

}  // namespace xeb::lexer
