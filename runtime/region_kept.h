// C++ variables that belong with the heap: set where start-up builds the
// heap (node ids, symbol ids, word cells) and read against it ever after. A
// heap image carries their values with its bytes, so that a start from an
// image sets them from it instead of building that part of the heap again.
// Each is declared once, where it is defined, with XEB_KEPT_WITH_HEAP; the
// image finds it again by its file and name, whatever order the linker put
// the declarations in.
#pragma once
#include <cstdint>
#include <span>

namespace xeb::region {

struct Kept {
  const char* name;  // "file:variable"
  void* at;          // the first piece
  uint32_t size;     // bytes of each piece
  uint32_t stride;   // from one piece to the next
  uint32_t count;    // pieces
};

// Every declaration the program links, in no particular order.
std::span<const Kept> kept();

}  // namespace xeb::region

// The declarations lie in a section of their own (no code runs to list
// them); a name that is a C identifier gives the linker's bounds and keeps
// the sanitizers from padding its entries.
#define XEB_KEPT_CAT2(a, b) a##b
#define XEB_KEPT_CAT(a, b) XEB_KEPT_CAT2(a, b)
#define XEB_KEPT_PIECES(name, first, size, stride, count)                                                      \
  [[gnu::used, gnu::retain, gnu::section("xeb_kept"), gnu::aligned(8)]] static ::xeb::region::Kept XEB_KEPT_CAT( \
      xeb_kept_, __LINE__) {__FILE_NAME__ ":" name, (first), (size), (stride), (count)}
// A whole variable.
#define XEB_KEPT_WITH_HEAP(var) XEB_KEPT_PIECES(#var, &(var), sizeof(var), sizeof(var), 1)
