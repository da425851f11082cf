// Loading text into values: installs the token loaders into the lexer,
// turns whole texts into blocks (transcode), and offers the number scanners
// that the `to` conversions share with the loaders.
//
// Input text is copied out of managed memory before the scan starts, since
// every value a loader makes may move every series buffer.
#pragma once
#include <cstdint>
#include <span>

#include "lexer/lexer.h"
#include "runtime/cell.h"

namespace xeb::lexer {

// Installs the loaders, the series close action, the collector's root
// marker over the lexer's buffers and the text-loading hooks of the word and
// block modules. Once, after the datatypes are registered; later calls do
// nothing.
void init_loaders();

struct TranscodeOptions {
  Mode mode = Mode::load;
  bool one = false;       // stop after one complete value
  Trace trace{};
  Cell callback{};        // the trace callback's function!, kept for the collector
  int32_t part = -1;      // characters (string!) or bytes (binary!) to read; -1: to the tail
  Cell* into = nullptr;   // a block the values are appended to (rooted), else a new one
  bool quiet = false;     // syntax errors end the scan (ok = false) instead of raising
};

struct Transcoded {
  bool ok = true;
  uint8_t type = 0;        // value type of the last token
  uint32_t consumed = 0;   // characters of string! input, bytes otherwise
  int lines = 1;           // line the scan ended on
};

// Scans a string! or binary! from its head. In load mode out (a rooted cell,
// e.g. on the data stack) receives the block of values, or with `one` and
// exactly one value that value. Raises syntax errors through fire unless
// quiet.
Transcoded transcode(const Cell* input, Cell* out, const TranscodeOptions& o = {});
// The same over UTF-8 bytes that lie outside managed memory.
Transcoded transcode_bytes(std::span<const uint8_t> text, Cell* out, const TranscodeOptions& o = {});

// The error sink that raises syntax errors through fire.
void raise_syntax_error(void* ctx, const SyntaxError& e);

// --- Number scanners of the `to` conversions ---------------------------------
// They read text of any unit width (1, 2 or 4 bytes per character) and never
// raise: *error is 0 on success, -1 on bad syntax, -2 on overflow.

// Optional sign, decimal digits, single `'` marks between digits.
int32_t scan_integer(const void* text, int32_t length, int unit, int32_t* error);
// At most 312 characters, `,` read as `.`; the quiet NaN on failure.
double scan_float(const void* text, int32_t length, int unit, int32_t* error);

}  // namespace xeb::lexer
