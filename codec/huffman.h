// huffman.h: length-limited minimum-redundancy code lengths and canonical
// codes, for the DEFLATE encoder.
#pragma once

#include <cstdint>

namespace xeb::codec::huffman {

// Code lengths (at most max_len bits) for the frequencies of n symbols
// (n <= 320). Unused symbols get 0; at least two symbols get a length, so
// the code is always complete.
void code_lengths(const uint32_t* freq, int n, int max_len, uint8_t* lens);

// The canonical codes of the lengths, bit-reversed for least-significant-
// first output.
void canonical_codes(const uint8_t* lens, int n, uint16_t* codes);

}  // namespace xeb::codec::huffman
