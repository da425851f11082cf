// The routine table: one array of every registered module's routines,
// searched by name at start-up only (calls go by index).
#include "evaluator/routines.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace xeb::routines {

namespace {

std::vector<Def> table;

}  // namespace

void add(std::span<const Def> defs) {
  for (const Def& d : defs) {
    // Two routines under one name would make the binding by name ambiguous.
    if (find(d.name) >= 0) {
      std::fprintf(stderr, "routine defined twice: %.*s\n", static_cast<int>(d.name.size()), d.name.data());
      std::abort();
    }
    table.push_back(d);
  }
}

int32_t find(std::string_view name) {
  for (size_t i = 0; i < table.size(); i++)
    if (table[i].name == name) return static_cast<int32_t>(i);
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
