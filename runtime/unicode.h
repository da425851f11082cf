// Unicode conversion: UTF-8 and UTF-16LE to and from the string storage
// (units of 1, 2 or 4 bytes per code point), in-place widening of string
// buffers, and the display width of a code point in terminal columns.
//
// Code points are plain integers. Decoders answer -1 for "no code point".
// Functions taking a string cell read its head (word 1), node (word 2) and
// conversion-scratch node (word 3).
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::unicode {

// Language errors are raised by the error module, which fills these in at
// start-up. None of them returns; unset, the process ends with runtime
// error 99. The byte span is a copy on the C++ stack, never series data.
struct ErrorHooks {
  void (*invalid_utf8)(std::span<const uint8_t> bytes);  // access invalid-utf8, a binary! of the bytes
  void (*invalid_char)(int64_t cp);                      // script invalid-char, an integer!
  void (*invalid_part)(const Cell* part);                // script invalid-refine-arg, word part
};
extern ErrorHooks error_hooks;

// --- Decoding and counting -------------------------------------------------

// The table-driven decoder's automaton: 256 byte classes, then 108
// transitions over states that are multiples of 12 (0 accept, 12 reject).
constexpr int UTF8_ACCEPT = 0;
constexpr int UTF8_REJECT = 12;
extern const std::array<uint8_t, 364> utf8_dfa;

// Decodes one sequence of [p, end) (p < end). Stores the code point, or -1
// for an invalid sequence, and returns the position after the bytes consumed:
// the byte that made a sequence invalid is consumed with it. A sequence cut
// by end is invalid and consumes the rest.
const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp);
// Sequences in [start, end); an invalid one counts as one.
int32_t count_chars(const uint8_t* start, const uint8_t* end);
// Advances over n sequences, never beyond end.
const uint8_t* skip_chars(const uint8_t* p, const uint8_t* end, int32_t n);
// 4, 3 or 2 for a lead byte whose top 4, 3 or 2 bits are set, else 0.
int utf8_length(uint8_t lead);

// Strict decoding: *len holds the bytes available on entry, the sequence's
// length on return. Answers -1 when the input ends inside a sequence whose
// bytes so far are valid; raises invalid-utf8 on an invalid sequence (bad
// lead or continuation byte, overlong form, above 0x10FFFF). A surrogate
// code point is taken, as the encoder writes it.
int32_t decode_utf8_checked(const uint8_t* p, int32_t* len);

// --- Encoding and sizes ------------------------------------------------------
// A code point above 0x10FFFF raises invalid-char in all four.

int cp_utf8_size(int64_t cp);
// UTF-8 bytes of the units of width unit (1, 2 or 4) in [start, end).
int64_t utf8_size(const std::byte* start, const std::byte* end, int unit);
int encode_utf8(int64_t cp, uint8_t* out);  // 1 to 4 bytes written
// Appends c as UTF-8 to terminal output; a surrogate or a value past
// 0x10FFFF becomes U+FFFD instead of raising.
void append_utf8(std::string& out, char32_t c);
// Writes only the leading bytes that fit in room; answers how many.
int encode_utf8_bounded(int64_t cp, uint8_t* out, int64_t room);
// One little-endian unit, or a surrogate pair above 0xFFFF; answers the
// units written, 0 (nothing written) above 0x10FFFF.
int encode_utf16(int64_t cp, uint8_t* out);

// --- String to external text ---------------------------------------------------
// These convert from the string's head into the string's scratch buffer
// (made on first use, kept in word 3 of the cell), so the text lives until
// the next conversion of the same value. They allocate: the cell must stay
// where it is (on the data stack or in a rooted block that does not grow).
// *count: characters to take (-1 for all) on entry.

// NUL-terminated UTF-8; *count becomes the bytes without the NUL. With crlf,
// each LF is written as CR LF.
const uint8_t* to_utf8(Cell* str, int32_t* count);
const uint8_t* to_utf8_part(Cell* str, int32_t* count, bool crlf);
// NUL-terminated UTF-16LE; *count becomes the units written. Answers null
// when a code point above 0x10FFFF is met.
const uint8_t* to_utf16(Cell* str, int32_t* count, bool crlf);
const uint8_t* to_utf16_cstr(Cell* str);  // all of it, LF as CR LF

// UTF-8 of the string into a caller's buffer; count -1 for all characters.
// Answers the bytes written (the NUL not counted). The bounded form never
// writes more than room bytes, the NUL included: a character that does not
// fit whole is cut and later ones write nothing.
int32_t encode_string(const Cell* str, uint8_t* out, int32_t count, bool nul);
int32_t encode_string_bounded(const Cell* str, uint8_t* out, int32_t room, int32_t count, bool nul);

// --- External text to strings ----------------------------------------------------
// The loaders allocate. The bytes may lie in a series buffer: they are copied
// first when they do. A target is a string cell that stays where it is and
// is reachable by the collector (its buffer is re-read through it after each
// allocation). A new string is held on the data stack while it is filled;
// its node is returned unrooted, so the caller roots it before it allocates
// again.

// Appends the UTF-8 text at the target's tail (target null: a new unit-1
// string), widening as needed; a leading byte order mark is skipped. With cr,
// CR LF and a lone CR become LF. When the input ends inside a sequence,
// loading stops there: with remaining given, the bytes left go there (more
// input is expected then, so a final CR is kept back too, to pair with an LF
// that starts the next block). Answers the buffer's node.
Node load_utf8(const uint8_t* bytes, int32_t len, Cell* target, int32_t* remaining, bool cr);
Node load_utf8_new(const uint8_t* bytes, int32_t len);
Node load_utf8_into(const uint8_t* bytes, int32_t len, Cell* str, int32_t* remaining);

// Appends n UTF-16LE units (a new string when target is null), in the
// narrowest unit that holds them and the target's text; with cr every CR is
// dropped. An unpaired high surrogate ends the process (exit 0) with an
// input error message.
Node load_utf16le(const uint8_t* bytes, int32_t n, Cell* target, bool cr);
constexpr uint32_t SER_FROM_UTF16 = 0x40000;  // set on buffers the UTF-16LE loader fills

// Widen a text buffer in place (its node keeps pointing at it, and must be
// reachable by the collector); answer the buffer, which may have moved.
SeriesBuf* widen_1_2(SeriesBuf* b);
SeriesBuf* widen_1_4(SeriesBuf* b);
SeriesBuf* widen_2_4(SeriesBuf* b);

// --- Width ---------------------------------------------------------------------------

// Whether cp lies in one of the inclusive [low, high] ranges (flattened).
bool width_in_ranges(uint32_t cp, std::span<const uint32_t> ranges);

}  // namespace xeb::unicode

namespace xeb {
// Columns a code point takes on a terminal: 0, 1 or 2.
int char_display_width(uint32_t cp);
}  // namespace xeb
