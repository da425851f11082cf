// Set operation natives: union, intersect, unique, difference and exclude
// share one dispatcher that checks the two sets agree and hands the work to
// the datatype that owns the algorithm; complement? reads a bitset's flag.
#include "datatypes/actions.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/date.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "runtime/stack.h"

namespace xeb::natives {

namespace {

// Blocks and hashes mix freely, and a typeset takes a datatype as the set
// of that one type; any other pair must be of one datatype.
bool compatible(TypeId a, TypeId b) {
  auto blockish = [](TypeId t) { return t == T_BLOCK || t == T_HASH; };
  return a == b || (blockish(a) && blockish(b)) || (a == T_TYPESET && b == T_DATATYPE);
}

void set_op(const int32_t* refs, int op) {
  Cell* set1 = arg(0);
  int case_ = present(refs[ref(Id::union_, "case")]);
  Cell* skip = opt(refs[ref(Id::union_, "skip")]);
  TypeId t = type_of(set1);
  if (op != OP_UNIQUE && !compatible(t, type_of(arg(1)))) {
    Cell a = datatype::make_cell(t), b = datatype::make_cell(type_of(arg(1)));
    fire(Err::expect_val, &a, &b);
  }
  switch (t) {
    case T_BLOCK: case T_HASH: block::do_set_op(case_, skip, op); break;
    case T_STRING: string::do_set_op(case_, skip, op); break;
    case T_TYPESET:
      if (op == OP_UNIQUE) refuse_arg(0, set1);
      typeset::do_bitwise(op);
      break;
    case T_BITSET: bitset::do_bitwise(op); break;
    case T_DATE:
      if (op != OP_DIFFERENCE) refuse_arg(0, set1);
      date::difference(set1, arg(1));
      break;
    default: refuse_arg(0, set1);
  }
  stack::set_top(stack::base() + 1);
}

}  // namespace

void union_(bool, const int32_t* refs) { set_op(refs, OP_UNION); }
void intersect(bool, const int32_t* refs) { set_op(refs, OP_INTERSECT); }
void unique(bool, const int32_t* refs) { set_op(refs, OP_UNIQUE); }
void difference(bool, const int32_t* refs) { set_op(refs, OP_DIFFERENCE); }
void exclude(bool, const int32_t* refs) { set_op(refs, OP_EXCLUDE); }

void complement_q(bool, const int32_t*) {
  Cell* v = arg(0);
  if (!is_type(v, T_BITSET)) refuse_arg(0, v);
  stack::set_result(bitset::complemented(v) ? &fixed_true : &fixed_false);
}

}  // namespace xeb::natives
