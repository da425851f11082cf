// The names and spec texts of the built-ins, from the native and action
// lists (the specs a user reads are in builtin_docs.h), and the slot of each
// refinement in the array a built-in receives, found by name in its spec at
// compile time.
#pragma once
#include <iterator>
#include <string_view>

#include "datatypes/actions.h"
#include "evaluator/builtin_docs.h"
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

// The next argument or refinement word of a spec text from i ({doc
// strings}, [type blocks] and return: skipped), "" at the end.
consteval std::string_view next_param(std::string_view spec, size_t& i) {
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
    std::string_view tok = spec.substr(i, j - i);
    i = j;
    if (tok != "return:") return tok;
  }
  return "";
}

// Whether two spec texts name the same arguments and refinements in order.
consteval bool same_params(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  for (;;) {
    std::string_view x = next_param(a, i), y = next_param(b, j);
    if (x != y) return false;
    if (x.empty()) return true;
  }
}

// Each built-in's spec a user reads names the arguments and refinements its
// calls are checked and made by.
consteval bool docs_match() {
  static_assert(std::size(kDefs) == std::size(kNativeDocs) && std::size(kActionDefs) == std::size(kActionDocs));
  for (size_t k = 0; k < std::size(kDefs); k++)
    if (std::string_view(kDefs[k].name) != kNativeDocs[k].name || !same_params(kDefs[k].spec, kNativeDocs[k].spec))
      return false;
  for (size_t k = 0; k < std::size(kActionDefs); k++) {
    if (!kActionDefs[k].name) {
      if (kActionDocs[k].name) return false;
      continue;
    }
    if (!kActionDocs[k].name || std::string_view(kActionDefs[k].name) != kActionDocs[k].name ||
        !same_params(kActionDefs[k].spec, kActionDocs[k].spec))
      return false;
  }
  return true;
}
static_assert(docs_match(), "builtin_docs.h and the native or action list disagree");

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
