// Strings: storage at 1, 2 or 4 bytes per code point with in-place widening,
// the character primitives every text builder uses (mold and form of every
// type append through them), comparison, loading external text, and the
// string! action slots.
//
// Invariant: all characters of a buffer share its unit, and a unit only
// grows (1 to 2, 1 to 4, 2 to 4), before a character that does not fit is
// stored; only xs_reset narrows a buffer, by emptying it.
//
// Buffer-level primitives take the buffer and answer it: it may have moved
// (widening, growth, a collection), so callers carry on with the answer.
// Cell-level helpers re-read the buffer through the cell's node, so the cell
// must stay where it is (data stack, a rooted block) and be reachable.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/actions.h"
#include "datatypes/series.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace xeb::string {

// String-like cells (string! file! url! tag! email! ref!): word 2 the text,
// word 3 a series the type keeps beside it, or 0.
constexpr collector::Layout layout{collector::Holds::nothing, collector::Holds::series, collector::Holds::series};

// --- Making and reading cells ------------------------------------------------

// An empty string! with room for n characters (0 taken as 1) at the unit.
Cell* xs_make_at(Cell* c, int32_t n);
Cell* make_at(Cell* c, int32_t n, int unit);
// The same with another string-like type.
Cell* make_typed(Cell* c, int32_t n, int unit, TypeId type);
Cell* push(const Cell* s);
// A new empty string! pushed on the data stack.
Cell* push_new(int32_t n);

int32_t xs_length_q(const Cell* s);      // from the head; a head past the tail counts 0
int32_t xs_abs_length_q(const Cell* s);  // the whole buffer
std::byte* xs_head(Cell* s);             // clamps a head past the tail, in the cell
std::byte* xs_tail(const Cell* s);
bool xs_tail_q(const Cell* s);
int32_t xs_abs_at(const Cell* s, int32_t i);  // code point at i from the first unit
int32_t char_at(const Cell* s, int32_t i);    // code point at i from the head
void xs_reset(Cell* s);                       // empties in place, unit back to 1

// A symbol cell reads as its cached string at head 0: resolves it (into
// out) or answers s itself.
const Cell* text_of(const Cell* s, Cell* out);

// UTF-8 of the text from the head (count -1 for all): for tests and for
// callers that hand text to the platform. Allocates nothing managed.
std::string utf8_of(const Cell* s, int32_t count = -1);

// --- Character primitives on buffers ---------------------------------------------

int32_t get_char(const std::byte* p, int unit);
// Writes cp at p, widening first when it does not fit (up to 255 stays at
// unit 1); p must lie inside b's data.
SeriesBuf* set_char(SeriesBuf* b, std::byte* p, int32_t cp);
// At the tail; unit 1 keeps only code points up to 127 (wider ones widen to
// unit 2 first, so appended Latin-1 text never mixes with ASCII bytes).
SeriesBuf* append_char(SeriesBuf* b, int32_t cp);
// Indexes count units from the buffer's first used unit.
SeriesBuf* overwrite_char(SeriesBuf* b, int32_t index, int32_t cp);
SeriesBuf* insert_char(SeriesBuf* b, int32_t index, int32_t cp);
SeriesBuf* remove_char(SeriesBuf* b, int32_t index);
SeriesBuf* remove_part(SeriesBuf* b, int32_t index, int32_t n);
SeriesBuf* truncate_buffer(SeriesBuf* b, int32_t n);
SeriesBuf* widen_to(SeriesBuf* b, int unit);
// Room for n more bytes at the tail (memory::reserve_tail).
SeriesBuf* reserve(SeriesBuf* b, int64_t n);
// Latin-1 bytes, each through append_char.
SeriesBuf* append_literal(SeriesBuf* b, const char* lit);
SeriesBuf* append_literal_n(SeriesBuf* b, const char* lit, int32_t n);
// Exchanges the adjacent byte runs [p, p+n1) and [p+n1, p+n1+n2) in place.
void swap_runs(std::byte* p, int32_t n1, int32_t n2);
// Moves n characters from the head of from into to at to's head.
void move_chars(Cell* from, Cell* to, int32_t n);

// --- Cell-level appending (the text builders' interface) ---------------------------

void append_char(Cell* s, int32_t cp);
void append_ascii(Cell* s, std::string_view text);   // Latin-1 bytes
int32_t append_utf8(Cell* s, std::string_view text);  // decoded, checked; answers the characters added
void append_utf8_lossy(Cell* s, std::string_view text);  // decoded, each byte of no valid sequence as U+FFFD
void append_int(Cell* s, int64_t n);                 // decimal

enum class Mode { append = 0, insert = 1, overwrite = 2 };
// Puts (part of, part < 0: all) source's text from its head into target
// (mode append: at the tail; insert/overwrite: at target's head). keep: the
// source's own buffer is never widened.
void concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset, bool keep, Mode mode);

// --- Searching and comparing ----------------------------------------------------------

int32_t find_char(const Cell* s, int32_t cp);  // index from the head, -1 when absent
bool find_char_skip_q(const Cell* s, int32_t cp, int32_t skip, bool case_);
bool starts_with_literal_q(const Cell* s, const char* lit);
bool head_in_bitset_q(const Cell* s, const Cell* bitset);
bool tag_enclosed_q(const Cell* s, const Cell* tag);
bool match_at_head_q(const Cell* s, const Cell* value, int op);
// -1, 0 or 1 (0: equal, or matched with match = true).
int compare_strings(const Cell* v1, const Cell* v2, int op, bool match);
// Hash-table key hash of a string-like value: its code points from the head,
// folded to upper case unless case_sensitive.
uint32_t hash(const Cell* s, bool case_sensitive);

// --- Text formatting --------------------------------------------------------------------

// Two upper-case hex digits.
void byte_to_hex(uint8_t b, char out[2]);
// Upper-case hex of v: padded to 8 digits ("F" for negatives) or, nopad,
// minimal with 0 giving "00". out holds 9 bytes; answers the text.
std::string_view to_hex(int32_t v, bool nopad, char out[9]);
double text_to_float(const char* text, int32_t len, int32_t* left);

// The character escape of mold: appends cp escaped to buf. all: every code
// point of 128 or more escapes. Shared by char! and vector! molds.
void mold_char(Cell* buf, int32_t cp, bool all);
bool is_whitespace(int32_t cp);
bool is_hwhitespace(int32_t cp);

// --- Loading external text --------------------------------------------------------------

constexpr int ENC_UTF8 = 0;
constexpr int ENC_UTF16LE = -1;
// Into target (null: a new cell pushed on the data stack); answers the cell.
Cell* load(const uint8_t* bytes, int32_t len, Cell* target, int encoding);
Cell* load_in(const uint8_t* bytes, int32_t len, Cell* block, int encoding);
Cell* load_new(const uint8_t* bytes, int32_t len, int encoding);

// --- Slots of string! ----------------------------------------------------------------------
// part and dup counts are -1 when their refinement is absent; cells are
// nullptr when theirs is.

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
int compare(Cell* value1, Cell* value2, int op);
Cell* insert(Cell* s, Cell* value, int part, int only, int dup, int last);
Cell* change(Cell* s, Cell* value, int part, int only, int dup);
// replace of pattern by value from s's head (every match with all), in one
// pass for a string or binary s and a text pattern; answers false, having
// done nothing, where the generic walk must run (an owned series, a pattern
// or value whose text is not fixed across matches).
bool replace_text(Cell* s, Cell* pattern, Cell* value, bool all, bool case_);
// split of a string! at each char or string (case folded) or character of
// a bitset, as a new block of new strings in out; false, having made
// nothing, for the cases the generic split keeps.
bool split_text(Cell* s, Cell* dlm, Cell* out);
// The one-pass text routines (replace_text, split_text) answer false when
// this is off: the environment variable XEB_NO_FAST_TEXT turns it off at
// start, and the tests that compare both paths switch it.
extern bool fast_text;
Cell* find(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
           int last, int reverse, int tail, int match);
Cell* select(Cell* s, Cell* value, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip,
             int last, int reverse);
Cell* sort(Cell* s, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable);
Cell* swap(Cell* s1, Cell* s2);
Cell* take(Cell* s, Cell* part, int deep, int last);
Cell* trim(Cell* s, int head, int tail, int auto_, int lines, int all, Cell* with);
// unique union intersect exclude difference: operands at the arguments base
// (base[0], base[1]); the result replaces base[0]. skip: nullptr or the size.
void do_set_op(int case_, Cell* skip, int op);

// Removes every character of the set (/with value, nullptr: tab LF CR space)
// from the head on; shared with binary!'s trim.
void trim_with(Cell* s, Cell* with);

void init();

}  // namespace xeb::string
