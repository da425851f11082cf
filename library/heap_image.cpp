// Heap images. The layout: a header, the region's free and warm ranges, the
// values of the C++ variables kept with the heap (by name), the runs of heap
// bytes kept (offset, length), then their bytes back to back, so that the
// program reads them from its file in one call. The stacks' cells,
// the free tail of each series frame and the ranges the region holds back
// are left out: nothing reads them before writing them.
#include "library/heap_image.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "evaluator/natives.h"
#include "evaluator/routines.h"
#include "library/boot.h"
#include "library/image_hash.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/region.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"

namespace xeb::library::heap_image {

namespace {

constexpr char kMagic[8] = {'X', 'E', 'B', 'H', 'E', 'A', 'P', '3'};

struct Header {
  char magic[8];
  uint64_t key;   // the program's tables and library sources
  uint64_t mark;  // the state init left
  int32_t sources;
  int32_t class_id;
  uint32_t moves, collections, node_compactions;
  uint32_t free_count, warm_count, run_count, kept_bytes;
  uint64_t start, brk, mapped_end, committed, huge_end;
  memory::State state;
  memory::Pace pace;
};

using Hash = ImageHash;

// The variables kept with the heap, in the order of their names: the linker
// may list them in another order in each program.
std::vector<const region::Kept*> kept_by_name() {
  std::vector<const region::Kept*> v;
  for (const region::Kept& k : region::kept()) v.push_back(&k);
  std::sort(v.begin(), v.end(), [](const region::Kept* a, const region::Kept* b) { return std::strcmp(a->name, b->name) < 0; });
  for (size_t i = 1; i < v.size(); i++)
    if (std::strcmp(v[i - 1]->name, v[i]->name) == 0) {
      std::fprintf(stderr, "kept with the heap twice: %s\n", v[i]->name);
      std::abort();
    }
  return v;
}

uint64_t kept_bytes(const std::vector<const region::Kept*>& kept) {
  uint64_t n = 0;
  for (const region::Kept* k : kept) n += uint64_t{k->size} * k->count;
  return n;
}

// What an image is only valid for: the routine, native and datatype tables
// (values hold their indexes), the library's sources and the value layout.
uint64_t key() {
  Hash k;
  for (int32_t i = 0, n = routines::count(); i < n; i++) k.text(routines::name(i));
  k.value(natives::counter);
  for (int id = 1; id <= datatype::highest; id++) k.text(datatype::entries[id].name ? datatype::entries[id].name : "");
  k.value(boot_image_key());
  k.value(sizeof(Cell));
  k.value(sizeof(memory::State));
  for (const region::Kept* v : kept_by_name()) {
    k.text(v->name);
    k.value(v->size);
    k.value(v->count);
  }
#ifdef XEB_GC_STRESS
  k.text("stress");
#endif
#ifdef XEB_REGION_AT
  k.value(region::kFixedBase);
#endif
  return k.h;
}

struct Range {
  uint64_t at, length;
};

// The parts of [start, brk) no reader needs before writing them.
std::vector<Range> holes(const region::Layout& l) {
  std::vector<Range> h;
  for (auto [o, n] : l.free) h.push_back({o, n});
  for (auto [o, n] : l.warm) h.push_back({o, n});
  for (Node n : {stack::buffers().data, stack::buffers().calls}) {
    SeriesBuf* b = buf_of(n);
    h.push_back({off(b->data()), static_cast<uint64_t>(b->size)});
  }
  for (memory::SeriesFrame* f = memory::series_frame(memory::state.first_series_frame); f;
       f = memory::series_frame(f->next))
    h.push_back({f->heap, uint64_t{f->end} - f->heap});
  std::sort(h.begin(), h.end(), [](const Range& a, const Range& b) { return a.at < b.at; });
  return h;
}

void put(std::vector<uint8_t>& out, const void* p, size_t n) {
  auto* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}

}  // namespace

uint64_t start_mark() {
  Hash m;
  m.value(memory::state);
  const region::Layout l = region::layout();
  m.value(l.start);
  m.value(l.brk);
  m.value(l.mapped_end);
  m.value(l.committed);
  m.value(object::last_class_id());
  m.value(collector::collections);
  return m.h;
}

std::vector<uint8_t> write(uint64_t mark, int32_t sources) {
  const region::Layout l = region::layout();
  std::vector<Range> runs;
  uint64_t at_off = l.start;
  for (auto [o, n] : holes(l)) {
    if (o > at_off) runs.push_back({at_off, o - at_off});
    at_off = std::max(at_off, o + n);
  }
  if (l.brk > at_off) runs.push_back({at_off, l.brk - at_off});

  Header h{};
  std::memcpy(h.magic, kMagic, sizeof kMagic);
  h.key = key();
  h.mark = mark;
  h.sources = sources;
  h.class_id = object::last_class_id();
  h.moves = memory::moves;
  h.collections = collector::collections;
  h.node_compactions = collector::node_compactions;
  h.free_count = static_cast<uint32_t>(l.free.size());
  h.warm_count = static_cast<uint32_t>(l.warm.size());
  h.run_count = static_cast<uint32_t>(runs.size());
  h.start = l.start;
  h.brk = l.brk;
  h.mapped_end = l.mapped_end;
  h.committed = l.committed;
  h.huge_end = l.huge_end;
  h.state = memory::state;
  h.pace = memory::pace();

  const std::vector<const region::Kept*> kept = kept_by_name();
  h.kept_bytes = static_cast<uint32_t>(kept_bytes(kept));

  std::vector<uint8_t> out;
  put(out, &h, sizeof h);
  for (auto [o, n] : l.free) put(out, &o, 8), put(out, &n, 8);
  for (auto [o, n] : l.warm) put(out, &o, 8), put(out, &n, 8);
  for (const region::Kept* k : kept)
    for (uint32_t i = 0; i < k->count; i++) put(out, static_cast<const uint8_t*>(k->at) + size_t{i} * k->stride, k->size);
  for (const Range& r : runs) put(out, &r, sizeof r);
  for (const Range& r : runs) put(out, at(static_cast<Off>(r.at)), r.length);
  return out;
}

bool restore(std::span<const uint8_t> image, uint64_t mark, int32_t* sources) {
  Header h;
  if (image.size() < sizeof h) return false;
  std::memcpy(&h, image.data(), sizeof h);
  if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.mark != mark || h.key != key()) return false;
  const uint8_t* p = image.data() + sizeof h;
  const uint8_t* end = image.data() + image.size();
  auto ranges = [&](uint32_t n, std::vector<std::pair<uint64_t, uint64_t>>& into) {
    if (static_cast<size_t>(end - p) / sizeof(Range) < n) return false;
    for (uint32_t i = 0; i < n; i++, p += sizeof(Range)) {
      Range r;
      std::memcpy(&r, p, sizeof r);
      into.emplace_back(r.at, r.length);
    }
    return true;
  };
  region::Layout l{h.start, h.brk, h.mapped_end, h.committed, h.huge_end, {}, {}};
  if (!ranges(h.free_count, l.free) || !ranges(h.warm_count, l.warm)) return false;
  const std::vector<const region::Kept*> kept = kept_by_name();
  if (h.kept_bytes != kept_bytes(kept) || static_cast<size_t>(end - p) < h.kept_bytes) return false;
  const uint8_t* kept_values = p;
  p += h.kept_bytes;
  // Every run must lie inside the image and the image's heap before the
  // region takes its layout: a refused image leaves nothing changed.
  if (static_cast<size_t>(end - p) / sizeof(Range) < h.run_count) return false;
  const uint8_t* bytes = p + size_t{h.run_count} * sizeof(Range);
  std::vector<region::Piece> pieces(h.run_count);
  for (uint32_t i = 0; i < h.run_count; i++, p += sizeof(Range)) {
    Range r;
    std::memcpy(&r, p, sizeof r);
    if (r.at < h.start || r.at > h.brk || r.length > h.brk - r.at || static_cast<size_t>(end - bytes) < r.length)
      return false;
    pieces[i] = {static_cast<Off>(r.at), bytes, r.length};
    bytes += r.length;
  }
  if (!region::adopt(l)) return false;
  region::place(pieces.data(), pieces.size());
  for (const region::Kept* k : kept)
    for (uint32_t i = 0; i < k->count; i++, kept_values += k->size)
      std::memcpy(static_cast<uint8_t*>(k->at) + size_t{i} * k->stride, kept_values, k->size);
  memory::state = h.state;
  memory::set_pace(h.pace);
  memory::count_move();  // no address kept aside holds over new bytes
  memory::moves = h.moves;
  collector::collections = h.collections;
  collector::node_compactions = h.node_compactions;
  object::set_last_class_id(h.class_id);
  *sources = h.sources;
  return true;
}

}  // namespace xeb::library::heap_image
