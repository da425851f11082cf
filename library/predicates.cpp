// The type predicates (`integer?`, `block?`, `any-string?` ...): routines
// of one argument answering whether its type id is a given one, or is in a
// typeset. One C++ function per predicate, stamped from a template, so the
// table stays a plain list.
#include "library/routines.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "runtime/cell.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace xeb::routines {

namespace {

template <TypeId T>
void is_type_routine() {
  Cell* base = stack::base();
  bool yes = type_of(base) == T;
  *base = Cell{T_LOGIC, yes ? 1u : 0u, 0, 0};
}

// The typeset predicates: true when the argument's type is in the typeset
// the global word of the same name holds at the call (so redefining that
// word changes the predicate); false when it holds no typeset.
struct TypesetPredicate {
  std::string_view name, typeset;
};
constexpr TypesetPredicate kTypesets[] = {
    {"any-list?", "any-list!"},       {"any-block?", "any-block!"},   {"any-function?", "any-function!"},
    {"any-object?", "any-object!"},   {"any-path?", "any-path!"},     {"any-string?", "any-string!"},
    {"any-word?", "any-word!"},       {"series?", "series!"},         {"number?", "number!"},
    {"immediate?", "immediate!"},     {"scalar?", "scalar!"},         {"all-word?", "all-word!"},
    {"any-point?", "any-point!"},     {"planar?", "planar!"},
};

template <int I>
void in_typeset_routine() {
  int32_t sym = symbol::make(kTypesets[I].typeset);  // interned once; a lookup after
  Cell* base = stack::base();
  Node g = context::global();
  int32_t i = context::find_word(g, sym, true);
  const Cell* ts = i >= 0 ? context::values(g) + i : nullptr;
  bool yes = ts && is_type(ts, T_TYPESET) && typeset::has(ts, type_of(base));
  *base = Cell{T_LOGIC, yes ? 1u : 0u, 0, 0};
}

constexpr Def kPredicates[] = {
    {"bitset?", &is_type_routine<T_BITSET>},     {"binary?", &is_type_routine<T_BINARY>},
    {"block?", &is_type_routine<T_BLOCK>},       {"char?", &is_type_routine<T_CHAR>},
    {"email?", &is_type_routine<T_EMAIL>},       {"file?", &is_type_routine<T_FILE>},
    {"float?", &is_type_routine<T_FLOAT>},       {"get-path?", &is_type_routine<T_GET_PATH>},
    {"get-word?", &is_type_routine<T_GET_WORD>}, {"hash?", &is_type_routine<T_HASH>},
    {"integer?", &is_type_routine<T_INTEGER>},   {"issue?", &is_type_routine<T_ISSUE>},
    {"lit-path?", &is_type_routine<T_LIT_PATH>}, {"lit-word?", &is_type_routine<T_LIT_WORD>},
    {"logic?", &is_type_routine<T_LOGIC>},       {"map?", &is_type_routine<T_MAP>},
    {"none?", &is_type_routine<T_NONE>},         {"pair?", &is_type_routine<T_PAIR>},
    {"paren?", &is_type_routine<T_PAREN>},       {"path?", &is_type_routine<T_PATH>},
    {"percent?", &is_type_routine<T_PERCENT>},   {"refinement?", &is_type_routine<T_REFINEMENT>},
    {"set-path?", &is_type_routine<T_SET_PATH>}, {"set-word?", &is_type_routine<T_SET_WORD>},
    {"string?", &is_type_routine<T_STRING>},     {"tag?", &is_type_routine<T_TAG>},
    {"time?", &is_type_routine<T_TIME>},         {"typeset?", &is_type_routine<T_TYPESET>},
    {"tuple?", &is_type_routine<T_TUPLE>},       {"unset?", &is_type_routine<T_UNSET>},
    {"url?", &is_type_routine<T_URL>},           {"word?", &is_type_routine<T_WORD>},
    {"image?", &is_type_routine<T_IMAGE>},       {"date?", &is_type_routine<T_DATE>},
    {"money?", &is_type_routine<T_MONEY>},       {"ref?", &is_type_routine<T_REF>},
    {"point2D?", &is_type_routine<T_POINT2D>},   {"point3D?", &is_type_routine<T_POINT3D>},
    {"handle?", &is_type_routine<T_HANDLE>},     {"error?", &is_type_routine<T_ERROR>},
    {"action?", &is_type_routine<T_ACTION>},     {"native?", &is_type_routine<T_NATIVE>},
    {"datatype?", &is_type_routine<T_DATATYPE>}, {"function?", &is_type_routine<T_FUNCTION>},
    {"object?", &is_type_routine<T_OBJECT>},     {"op?", &is_type_routine<T_OP>},
    {"routine?", &is_type_routine<T_ROUTINE>},   {"vector?", &is_type_routine<T_VECTOR>},
    {"event?", &is_type_routine<T_EVENT>},
    {"any-list?", &in_typeset_routine<0>},       {"any-block?", &in_typeset_routine<1>},
    {"any-function?", &in_typeset_routine<2>},   {"any-object?", &in_typeset_routine<3>},
    {"any-path?", &in_typeset_routine<4>},       {"any-string?", &in_typeset_routine<5>},
    {"any-word?", &in_typeset_routine<6>},       {"series?", &in_typeset_routine<7>},
    {"number?", &in_typeset_routine<8>},         {"immediate?", &in_typeset_routine<9>},
    {"scalar?", &in_typeset_routine<10>},        {"all-word?", &in_typeset_routine<11>},
    {"any-point?", &in_typeset_routine<12>},     {"planar?", &in_typeset_routine<13>},
};

}  // namespace

std::span<const Def> predicate_routines() { return kPredicates; }

}  // namespace xeb::routines
