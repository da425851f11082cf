// What the Xebbin encoder and decoder share: field bits of the fixed
// layout, prefix and header bytes of the compact one, and the limits both
// hold.
#pragma once
#include <cstdint>

namespace xeb::xebbin {

constexpr char MAGIC[6] = {'X', 'E', 'B', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;

// Compact layout: prefix bytes and the header bytes of inline values.
constexpr uint8_t P_NEW_LINE = 0xC0;
constexpr uint8_t P_SHARED = 0xC1;
constexpr uint8_t P_SET = 0xC4;
constexpr uint8_t H_INT_FIRST = 0x80;  // 0x80 + n for the integers 0..63
constexpr uint8_t H_TRUE = 0xC2;
constexpr uint8_t H_FALSE = 0xC3;
constexpr uint8_t H_BACKREF = 0xFF;
constexpr uint8_t H_EXT = 0x40;
constexpr uint8_t H_TYPE_MASK = 0x3F;
constexpr uint8_t H_TYPE_FOLLOWS = 63;

// Context flags byte of the compact layout.
constexpr uint8_t C_KIND_MASK = 3;
constexpr uint8_t C_STACK = 4;
constexpr uint8_t C_SELF = 8;
constexpr uint8_t C_VALUES = 16;

// Fixed layout: header word bits.
constexpr uint32_t F_TYPE_MASK = 0xFF;
constexpr uint32_t F_BACKREF = 255;
constexpr int F_UNIT_SHIFT = 8;
constexpr int F_OP_SHIFT = 16;
constexpr uint32_t F_SHARED = 1u << 19;
constexpr uint32_t F_MONEY_NEG = 1u << 22;
constexpr uint32_t F_COMPLEMENT = 1u << 23;
constexpr uint32_t F_ON_CHANGE = 1u << 24;
constexpr uint32_t F_GLOBAL_OR_SET = 1u << 25;
constexpr int F_KIND_SHIFT = 26;
constexpr uint32_t F_SELF = 1u << 28;
constexpr uint32_t F_STACK = 1u << 29;
constexpr uint32_t F_VALUES = 1u << 30;
constexpr uint32_t F_NEW_LINE = 1u << 31;

// Nesting depth both sides accept: a deeper value is refused by the
// encoder (too-deep) and a deeper stream by the decoder, so neither the
// native stack nor the data stack can overflow.
constexpr int MAX_DEPTH = 4000;
constexpr uint32_t MAX_PATH = 65536;

// The compact layout's integer forms of float!, time! and percent!.
bool float_as_int(double v, int32_t* n);
bool percent_as_int(double v, int32_t* n);

}  // namespace xeb::xebbin
