// deflate_tables.h: the fixed tables of the DEFLATE format, shared by the
// encoder and the decoder.
#pragma once

#include <array>
#include <cstdint>

namespace xeb::codec::dtab {

constexpr int kLitLenSyms = 288;  // 286 and 287 take part in the fixed code only
constexpr int kDistSyms = 32;     // 30 and 31 likewise
constexpr int kUsedLitLen = 286;
constexpr int kUsedDist = 30;
constexpr int kEndOfBlock = 256;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kWindow = 32768;
constexpr int kMaxCodeLen = 15;
constexpr int kMaxPrecodeLen = 7;

// Length codes 257..285: base length and extra bits.
constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Distance codes 0..29: base distance and extra bits.
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which code-length code lengths are sent.
constexpr uint8_t kPrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Code lengths of the fixed code.
constexpr int fixed_litlen_len(int sym) { return sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8; }
constexpr int kFixedDistLen = 5;

}  // namespace xeb::codec::dtab
