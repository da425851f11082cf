// The names and spec texts of the built-ins, from the native and action
// lists, and the slot of each refinement in the array a built-in receives,
// found by name in its spec at compile time.
#pragma once
#include <string_view>

#include "datatypes/actions.h"
#include "evaluator/native_list.h"

namespace xeb::natives {

struct Def {
  const char* name;  // null for the action slots no word reaches
  const char* spec;
};

// By native index - 1.
inline constexpr Def kDefs[] = {
#define XEB_X(id, entry, name, spec) {name, spec},
    XEB_NATIVES(XEB_X)
#undef XEB_X
};

// By action number - 1.
inline constexpr Def kActionDefs[] = {
#define XEB_X(id, entry, name, spec) {name, spec},
    XEB_ACTIONS(XEB_X)
#undef XEB_X
};

// The ordinal from 0 of /name among the refinements of a spec text, skipping
// {doc strings} and [type blocks]. A name the spec lacks does not compile.
consteval int refinement_slot(std::string_view spec, std::string_view name) {
  int slot = 0;
  size_t i = 0;
  while (i < spec.size()) {
    char c = spec[i];
    if (c == '{' || c == '[') {
      i = spec.find(c == '{' ? '}' : ']', i) + 1;
      continue;
    }
    if (c == ' ') {
      i++;
      continue;
    }
    size_t j = i;
    while (j < spec.size() && spec[j] != ' ' && spec[j] != '[' && spec[j] != '{') j++;
    if (c == '/') {
      if (spec.substr(i + 1, j - i - 1) == name) return slot;
      slot++;
    }
    i = j;
  }
  throw "no such refinement in the spec";
}

}  // namespace xeb::natives
