// The one-type predicates (`integer?`, `block?`, ...): routines of one
// argument answering whether its type id is a given one. One C++ function
// per type, stamped from a template, so the table stays a plain list.
#include "library/routines.h"
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
};

}  // namespace

std::span<const Def> predicate_routines() { return kPredicates; }

}  // namespace xeb::routines
