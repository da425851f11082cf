// Xebbin: the system's binary serialisation of values. A stream is a header
// ("XEBBIN", version, flags, root count, payload size), an optional symbol
// table and a payload of records, one value each, series records holding
// their contents as nested records. Two layouts share every field's meaning:
// the fixed one (every field a 32-bit little-endian word) and the compact
// one (varints, one-byte headers, inline small integers and logic values).
//
// A buffer or context met a second time is written as a shared record: a
// path of record positions from the top-level record to where it was first
// written, so cycles stay finite and identity is kept.
//
// Two reading modes: codec mode (data that `save` wrote: words carry their
// binding inline or by path; decoded objects get class id -1) and boot mode
// (the boot image: words may name contexts by their position among the
// values this decode appended, and a word may take the record after it as
// its value).
#pragma once
#include <cstdint>
#include <span>

#include "runtime/cell.h"

namespace xeb::xebbin {

// Flag bits of the header.
constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_COMPRESSED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;

// Set by the codec's entry points and by both encoders, cleared by the boot
// load.
extern bool codec_q;

// A new binary! holding the value, with everything it contains, as a stream
// of the layout; pushed on the data stack. Values that have no record form
// (routine!, triple!, handle!, port!, event!, image!, an op! of a routine!)
// raise access no-codec with the value.
Cell* encode(const Cell* value, bool compact);

// Appends the stream's top-level values to the block in target (a rooted
// cell). The bytes must lie outside managed memory: decoding allocates. Any
// malformed field raises script xb-invalid-record with the 1-based offset
// of the failing read (counted in the expanded bytes for a compressed
// stream); a stream shorter than its fixed header or not starting with the
// magic raises invalid-data with what (the caller's argument).
void decode(std::span<const uint8_t> bytes, Cell* target, bool codec_mode, const Cell* what);

// Start-up: decodes the boot image into the root block in boot mode, with
// the collector off; answers the index of the first cell it appended. A
// corrupt image prints "Error: " and the reason and ends the process with
// status 1.
int32_t boot_load(std::span<const uint8_t> image);

}  // namespace xeb::xebbin
