// binary!: a series of bytes (a unit-1 buffer that never widens), the byte
// helpers the codec, I/O and image code use, the conversions to binary!,
// its text form, and the base 2, 16, 58 and 64 encoders and decoders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "datatypes/actions.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::binary {

// 0-15 for a hexadecimal digit, 0xFF for anything else (codes >= 128 too).
uint8_t hex_digit(int32_t c);

std::byte* xs_head(const Cell* b);
int32_t xs_length_q(const Cell* b);
uint8_t byte_at(const Cell* b, int32_t offset);  // offset from the head
// The first bytes of b from its head, at most max (8 at the most), read as
// a big-endian number.
uint64_t leading_number(const Cell* b, int32_t max);
Cell* make_at(Cell* c, int32_t capacity);
// A new binary! holding a copy of the bytes: appended to block (a block
// cell), or pushed on the data stack when block is null. Answers the cell.
Cell* load_in(const uint8_t* bytes, int32_t len, Cell* block);
Cell* load(const uint8_t* bytes, int32_t len);
// Copies the bytes at the tail / at head + offset; answers where they went
// (valid until the next allocation). The bytes may lie in managed memory.
std::byte* append_bytes(Cell* b, const uint8_t* bytes, int32_t len);
std::byte* insert_bytes(Cell* b, int32_t offset, const uint8_t* bytes, int32_t len);

// The bytes a value contributes to a binary. mode 0 counts, 1 writes to dst,
// 2 writes when dst is given else counts and accepts every type (formed).
// limit >= 1 cuts the count (values of a block, or bytes with in_bytes).
int64_t value_bytes(std::byte* dst, const Cell* value, int32_t limit, bool in_bytes, int mode);
int compare_bytes(const Cell* left, const Cell* right, int op, bool match);
bool match_q(const Cell* b, const Cell* value, int op);
void byte_from_value(std::byte* dst, const Cell* value);

// Encoders write into out (sized by the caller: 8, 2, 2 (at most 138/100 +
// 1) and 4/3 + 4 characters per byte) and answer the end.
char* encode_2(char* out, const uint8_t* bytes, int32_t len);
char* encode_16(char* out, const uint8_t* bytes, int32_t len);
char* encode_58(char* out, const uint8_t* bytes, int32_t len);
char* encode_64(char* out, const uint8_t* bytes, int32_t len);
// Decoders read len characters of the unit; answer the node of a new byte
// buffer, or 0 when the text is invalid. The text may lie in managed memory.
Node decode_2(const std::byte* text, int32_t len, int unit);
Node decode_16(const std::byte* text, int32_t len, int unit);
Node decode_58(const std::byte* text, int32_t len, int unit);
Node decode_64(const std::byte* text, int32_t len, int unit);
Node decode(int base, const std::byte* text, int32_t len, int unit);  // 0 for an unknown base

// Slots.
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* insert(Cell* b, Cell* value, int part, int only, int dup, int last);
Cell* change(Cell* b, Cell* value, int part, int only, int dup);
Cell* trim(Cell* b, int head, int tail, int auto_, int lines, int all, Cell* with);
void and_t();
void or_t();
void xor_t();
Cell* complement(Cell* b);

void init();

}  // namespace xeb::binary
