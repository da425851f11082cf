// The call specs of the built-ins, made at compile time from the specs a
// user reads (builtin_docs.h), and the slot of each refinement in the array
// a built-in receives, found by name in its spec at compile time. One text
// per built-in: the types help shows are the types its calls are checked by.
#pragma once
#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "datatypes/actions.h"
#include "evaluator/builtin_docs.h"
#include "evaluator/native_list.h"

namespace xeb::natives {

struct Def {
  const char* name;  // null for the action slots no word reaches
  const char* spec;  // its call spec: arguments, [types] and refinements
};

// The list's name of each built-in, by native index - 1 and action number - 1.
inline constexpr const char* kNativeNames[] = {
#define XEB_X(id, entry, name) name,
    XEB_NATIVES(XEB_X)
#undef XEB_X
};
inline constexpr const char* kActionNames[] = {
#define XEB_X(id, entry, name) name,
    XEB_ACTIONS(XEB_X)
#undef XEB_X
};

// The call spec of a docs text, written to out (when given) and its length
// answered: the argument and refinement words and the [type blocks], one
// space apart; the {doc strings} and the return: entry with its types left
// out (a call never checks its result, and its fast path wants none).
constexpr size_t call_spec(std::string_view doc, char* out) {
  size_t n = 0, i = 0;
  auto put = [&](std::string_view s) {
    if (n && out) out[n] = ' ';
    if (n) n++;
    for (char c : s) {
      if (out) out[n] = c;
      n++;
    }
  };
  bool skip_types = false;
  while (i < doc.size()) {
    char c = doc[i];
    if (c == ' ') {
      i++;
    } else if (c == '{') {
      i = doc.find('}', i) + 1;
    } else if (c == '[') {
      size_t j = doc.find(']', i) + 1;
      if (!skip_types) put(doc.substr(i, j - i));
      skip_types = false;
      i = j;
    } else {
      size_t j = i;
      while (j < doc.size() && doc[j] != ' ' && doc[j] != '[' && doc[j] != '{') j++;
      std::string_view tok = doc.substr(i, j - i);
      skip_types = tok == "return:";
      if (!skip_types) put(tok);
      i = j;
    }
  }
  return n;
}

constexpr size_t kNativeCount = std::size(kNativeNames), kActionCount = std::size(kActionNames);

// Each built-in's docs text, natives first, then actions by number (null
// for the slots no word reaches).
constexpr const char* doc_text(size_t k) {
  return k < kNativeCount ? kNativeDocs[k].spec : kActionDocs[k - kNativeCount].spec;
}

consteval size_t call_text_size() {
  size_t n = 0;
  for (size_t k = 0; k < kNativeCount + kActionCount; k++)
    if (doc_text(k)) n += call_spec(doc_text(k), nullptr) + 1;
  return n;
}

// Every call spec, each ended by a null; and where each starts.
struct CallText {
  std::array<char, call_text_size()> text{};
  std::array<uint16_t, kNativeCount + kActionCount> at{};
};
inline constexpr CallText kCallText = [] {
  CallText t;
  size_t n = 0;
  for (size_t k = 0; k < kNativeCount + kActionCount; k++) {
    t.at[k] = static_cast<uint16_t>(n);
    if (doc_text(k)) n += call_spec(doc_text(k), t.text.data() + n) + 1;
  }
  return t;
}();
static_assert(std::size(kCallText.text) < 65536);

consteval bool same_name(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::string_view(a) == b;
}

// The docs name each built-in of the lists, in their order.
consteval bool docs_match() {
  static_assert(kNativeCount == std::size(kNativeDocs) && kActionCount == std::size(kActionDocs));
  for (size_t k = 0; k < kNativeCount; k++)
    if (!kNativeNames[k] || !same_name(kNativeNames[k], kNativeDocs[k].name)) return false;
  for (size_t k = 0; k < kActionCount; k++)
    if (!same_name(kActionNames[k], kActionDocs[k].name)) return false;
  return true;
}
static_assert(docs_match(), "builtin_docs.h and the native or action list disagree");

template <size_t N>
constexpr std::array<Def, N> defs(const char* const (&names)[N], size_t first) {
  std::array<Def, N> d{};
  for (size_t k = 0; k < N; k++)
    d[k] = {names[k], names[k] ? kCallText.text.data() + kCallText.at[first + k] : nullptr};
  return d;
}

// By native index - 1.
inline constexpr std::array<Def, kNativeCount> kDefs = defs(kNativeNames, 0);
// By action number - 1.
inline constexpr std::array<Def, kActionCount> kActionDefs = defs(kActionNames, kNativeCount);

// The ordinal from 0 of /name among the refinements of a call spec. A name
// the spec lacks does not compile.
consteval int refinement_slot(std::string_view spec, std::string_view name) {
  int slot = 0;
  size_t i = 0;
  while (i < spec.size()) {
    char c = spec[i];
    if (c == '[') {
      i = spec.find(']', i) + 1;
      continue;
    }
    if (c == ' ') {
      i++;
      continue;
    }
    size_t j = i;
    while (j < spec.size() && spec[j] != ' ' && spec[j] != '[') j++;
    if (c == '/') {
      if (spec.substr(i + 1, j - i - 1) == name) return slot;
      slot++;
    }
    i = j;
  }
  throw "no such refinement in the spec";
}

}  // namespace xeb::natives
