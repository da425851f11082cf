// JSON text to values and back, the work behind load-json and to-json.
//
// The reader follows the library's JSON grammar rule for rule, and keeps its
// report: on a text it refuses it answers the line count, the position after
// the last complete value, key and colon, or line feed, and the position
// after the last line feed, as the grammar's rules leave them. The writer
// writes what the library's emitter writes, character for character.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace xeb::json {

struct Refusal {
  int32_t line;     // line feeds matched as whitespace, plus one
  int32_t mark;     // characters from the text's head
  int32_t last_lf;  // likewise
};

// Reads the text from the string's head into out. Answers false, with
// refused filled, for a text that is not JSON. A bad surrogate escape raises
// invalid-data with the escaped text; nesting beyond 1000 containers raises
// too-deep.
bool read(const Cell* text, Cell* out, Refusal& refused);

// The JSON escapes of the text decoded into out; false on a malformed
// escape or a high surrogate without its low half.
bool unescape(const uint32_t* text, int32_t n, std::vector<uint32_t>& out);

// The JSON text of the value, a new string! written into out. indent: the
// string repeated once per level for pretty output, or null for compact.
// A container that holds itself raises no-cycle.
void write(const Cell* value, const Cell* indent, bool ascii, Cell* out);

}  // namespace xeb::json
