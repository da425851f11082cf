// The call specs of the built-ins, made at compile time from the specs a
// user reads (builtin_docs.h), and the slot of each refinement in the array
// a built-in receives, found by name in its spec at compile time. One text
// per built-in: the types help shows are the types its calls are checked by.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "datatypes/actions.h"
#include "evaluator/builtin_docs.h"
#include "evaluator/native_list.h"
#include "runtime/types.h"

namespace xeb::natives {

// The datatype names a spec may use, and the type groups with their
// datatypes: the same sets as the library's words of these names, so that a
// spec checks what its words show (a test holds them together).
struct TypeName {
  std::string_view name;
  TypeId id;
};
inline constexpr TypeName kTypeNames[] = {
    {"datatype!", T_DATATYPE}, {"unset!", T_UNSET}, {"none!", T_NONE}, {"logic!", T_LOGIC}, {"block!", T_BLOCK},
    {"paren!", T_PAREN}, {"string!", T_STRING}, {"file!", T_FILE}, {"url!", T_URL}, {"char!", T_CHAR},
    {"integer!", T_INTEGER}, {"float!", T_FLOAT}, {"word!", T_WORD}, {"set-word!", T_SET_WORD},
    {"lit-word!", T_LIT_WORD}, {"get-word!", T_GET_WORD}, {"refinement!", T_REFINEMENT}, {"issue!", T_ISSUE},
    {"native!", T_NATIVE}, {"action!", T_ACTION}, {"op!", T_OP}, {"function!", T_FUNCTION}, {"path!", T_PATH},
    {"lit-path!", T_LIT_PATH}, {"set-path!", T_SET_PATH}, {"get-path!", T_GET_PATH}, {"routine!", T_ROUTINE},
    {"bitset!", T_BITSET}, {"triple!", T_TRIPLE}, {"object!", T_OBJECT}, {"typeset!", T_TYPESET},
    {"error!", T_ERROR}, {"vector!", T_VECTOR}, {"hash!", T_HASH}, {"pair!", T_PAIR}, {"percent!", T_PERCENT},
    {"tuple!", T_TUPLE}, {"map!", T_MAP}, {"binary!", T_BINARY}, {"time!", T_TIME}, {"tag!", T_TAG},
    {"email!", T_EMAIL}, {"handle!", T_HANDLE}, {"date!", T_DATE}, {"port!", T_PORT}, {"money!", T_MONEY},
    {"ref!", T_REF}, {"point2D!", T_POINT2D}, {"point3D!", T_POINT3D}, {"image!", T_IMAGE}, {"event!", T_EVENT},
};

struct TypeGroup {
  std::string_view name;
  TypeId ids[16];  // ended by 0 when fewer
};
#define XEB_BLOCKS T_BLOCK, T_PAREN, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH, T_HASH
#define XEB_STRINGS T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF
inline constexpr TypeGroup kTypeGroups[] = {
    {"any-word!", {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD}},
    {"all-word!", {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD, T_REFINEMENT, T_ISSUE}},
    {"any-path!", {T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}},
    {"any-block!", {XEB_BLOCKS}},
    {"any-list!", {T_BLOCK, T_PAREN, T_HASH}},
    {"any-string!", {XEB_STRINGS}},
    {"any-function!", {T_NATIVE, T_ACTION, T_OP, T_FUNCTION, T_ROUTINE}},
    {"any-object!", {T_OBJECT, T_ERROR}},
    {"series!", {XEB_BLOCKS, XEB_STRINGS, T_BINARY, T_VECTOR, T_IMAGE}},
    {"number!", {T_INTEGER, T_FLOAT, T_PERCENT}},
    {"scalar!", {T_CHAR, T_INTEGER, T_FLOAT, T_PAIR, T_PERCENT, T_TUPLE, T_TIME, T_DATE, T_MONEY, T_POINT2D, T_POINT3D}},
    {"any-point!", {T_POINT2D, T_POINT3D}},
    {"planar!", {T_PAIR, T_POINT2D}},
};
#undef XEB_BLOCKS
#undef XEB_STRINGS

// A typeset's bitmap: type id i at byte i / 8, mask 0x80 >> i % 8.
using TypeMask = std::array<uint8_t, 12>;

// The datatypes a type name of a spec stands for. A name that is neither a
// datatype nor a group does not compile.
constexpr TypeMask type_mask(std::string_view name) {
  TypeMask m{};
  auto set = [&](int id) { m[id >> 3] |= static_cast<uint8_t>(0x80 >> (id & 7)); };
  if (name == "any-type!") {
    for (int id = 1; id <= T_LAST; id++) set(id);
    return m;
  }
  for (const TypeGroup& g : kTypeGroups)
    if (g.name == name) {
      for (TypeId id : g.ids)
        if (id) set(id);
      return m;
    }
  for (const TypeName& t : kTypeNames)
    if (t.name == name) {
      set(t.id);
      return m;
    }
  throw "a built-in's spec names an unknown type";
}

struct Def {
  const char* name;  // null for the action slots no word reaches
  const char* spec;  // its call spec: arguments, [] and refinements
  const TypeMask* types;  // the types of each [] in turn
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
// answered: the argument and refinement words, each typed one followed by
// an empty [] whose types are the next mask written to masks (when given);
// one space apart. The {doc strings} and the return: entry with its types
// are left out (a call never checks its result, and its fast path wants
// none). *blocks counts the type blocks.
constexpr size_t call_spec(std::string_view doc, char* out, TypeMask* masks, size_t* blocks) {
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
      size_t j = doc.find(']', i);
      if (!skip_types) {
        put("[]");
        TypeMask m{};
        std::string_view types = doc.substr(i + 1, j - i - 1);
        for (size_t k = 0; k < types.size();) {
          size_t e = types.find(' ', k);
          if (e == std::string_view::npos) e = types.size();
          if (e > k) {
            TypeMask t = type_mask(types.substr(k, e - k));
            for (size_t b = 0; b < m.size(); b++) m[b] |= t[b];
          }
          k = e + 1;
        }
        if (masks) masks[*blocks] = m;
        ++*blocks;
      }
      skip_types = false;
      i = j + 1;
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

struct CallSizes {
  size_t text = 0, blocks = 0;
};
constexpr CallSizes call_sizes() {
  CallSizes z;
  for (size_t k = 0; k < kNativeCount + kActionCount; k++)
    if (doc_text(k)) z.text += call_spec(doc_text(k), nullptr, nullptr, &z.blocks) + 1;
  return z;
}

// Every call spec, each ended by a null; where each starts; the masks of
// their type blocks in order, and where each built-in's first is.
struct CallText {
  std::array<char, call_sizes().text> text{};
  std::array<TypeMask, call_sizes().blocks> masks{};
  std::array<uint16_t, kNativeCount + kActionCount> at{}, first_mask{};
};
inline constexpr CallText kCallText = [] {
  CallText t;
  size_t n = 0, blocks = 0;
  for (size_t k = 0; k < kNativeCount + kActionCount; k++) {
    t.at[k] = static_cast<uint16_t>(n);
    t.first_mask[k] = static_cast<uint16_t>(blocks);
    if (doc_text(k)) n += call_spec(doc_text(k), t.text.data() + n, t.masks.data(), &blocks) + 1;
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
    d[k] = {names[k], names[k] ? kCallText.text.data() + kCallText.at[first + k] : nullptr,
            kCallText.masks.data() + kCallText.first_mask[first + k]};
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
