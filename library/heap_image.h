// Heap images: the heap as the library's sources leave it, made at build
// time by running them, and taken back at start in place of decoding and
// running them again. Values hold offsets from the region's base, so the
// bytes need no relocation; what C++ keeps of the heap (the region's layout,
// the memory manager's frames and pace, the collector's counts, the last
// object class id, and every variable declared kept with the heap: node
// ids, symbol ids, word cells) travels with them. The rest of the C++ state
// is what init_tables makes, the same in every process of the same program;
// an image is refused when the tables it was made with or the state
// init_tables left differ.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace xeb::library::heap_image {

// A summary of the state init_tables leaves, taken where both paths have
// built every table below the library and nothing of the heap.
uint64_t start_mark();

// The image of the heap now. mark is start_mark() as it was at that point;
// sources is the index of the sources' block in the root block.
std::vector<uint8_t> write(uint64_t mark, int32_t sources);

// Takes the image back over this process's heap; false, with nothing
// changed, when it is none, was made by another program, or its start
// differs from this process's (mark). Sets *sources.
bool restore(std::span<const uint8_t> image, uint64_t mark, int32_t* sources);

// The image the program embeds (made by tools/heap_image.cpp); empty in the
// tool itself.
std::span<const uint8_t> embedded();

}  // namespace xeb::library::heap_image
