// The routine table: one array of every registered module's routines,
// searched by name at start-up only (calls go by index).
#include "evaluator/routines.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace xeb::routines {

namespace {

std::vector<Def> table;
// The table indexed by name, open addressing, at most half full: each slot
// holds a table index + 1, 0 when empty. Start-up looks every routine up by
// name (add's check, the library's binding), which scans made quadratic.
// Two bytes a slot: the table stays far below 65,535 routines, and the
// index's pages are written at every start.
std::vector<uint16_t> by_name;

size_t hash_name(std::string_view s) {
  uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  return h;
}

void index_entry(int32_t i) {
  size_t mask = by_name.size() - 1;
  size_t k = hash_name(table[i].name) & mask;
  while (by_name[k]) k = (k + 1) & mask;
  by_name[k] = static_cast<uint16_t>(i + 1);
}

}  // namespace

void add(std::span<const Def> defs) {
  if (table.empty()) table.reserve(1024);
  for (const Def& d : defs) {
    // Two routines under one name would make the binding by name ambiguous.
    if (find(d.name) >= 0) {
      std::fprintf(stderr, "routine defined twice: %.*s\n", static_cast<int>(d.name.size()), d.name.data());
      std::abort();
    }
    if (table.size() >= UINT16_MAX) {
      std::fprintf(stderr, "routine table full at: %.*s\n", static_cast<int>(d.name.size()), d.name.data());
      std::abort();
    }
    table.push_back(d);
    if (2 * table.size() > by_name.size()) {
      by_name.assign(std::max<size_t>(2048, 4 * table.size()), 0);
      for (size_t i = 0; i < table.size(); i++) index_entry(static_cast<int32_t>(i));
    } else {
      index_entry(static_cast<int32_t>(table.size() - 1));
    }
  }
}

int32_t find(std::string_view name) {
  if (by_name.empty()) return -1;
  size_t mask = by_name.size() - 1;
  for (size_t k = hash_name(name) & mask; by_name[k]; k = (k + 1) & mask)
    if (table[by_name[k] - 1].name == name) return by_name[k] - 1;
  return -1;
}

Fn entry(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < table.size() ? table[index].fn : nullptr;
}

std::string_view name(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < table.size() ? table[index].name : std::string_view{};
}

int32_t count() { return static_cast<int32_t>(table.size()); }

}  // namespace xeb::routines
