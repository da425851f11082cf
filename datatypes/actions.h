// The 62 actions: their numbers and the signature every datatype's slot for
// each action takes. Arguments are cells on the data stack (stable across
// collections); a refinement without argument is an int flag, one with an
// argument is a pointer to its cell, nullptr when the refinement is absent.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb {

enum Action : int {
  A_MAKE = 1, A_RANDOM, A_REFLECT, A_TO, A_FORM, A_MOLD, A_EVAL_PATH, A_NONE_8,
  A_COMPARE, A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER,
  A_REMAINDER, A_ROUND, A_SUBTRACT, A_EVEN_Q, A_ODD_Q, A_AND_T, A_COMPLEMENT,
  A_OR_T, A_XOR_T, A_APPEND, A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND,
  A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK,
  A_POKE, A_PUT, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL,
  A_TAIL_Q, A_TAKE, A_TRIM, A_CREATE, A_CLOSE, A_DELETE, A_MODIFY, A_OPEN,
  A_OPEN_Q, A_QUERY, A_READ, A_RENAME, A_UPDATE, A_WRITE,
  ACTION_COUNT = A_WRITE
};

// Comparison op codes passed to slot 9.
enum CompOp : int {
  COMP_EQUAL = 0, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_LESSER, COMP_LESSER_EQUAL,
  COMP_GREATER, COMP_GREATER_EQUAL, COMP_SORT, COMP_CASE_SORT, COMP_SAME,
  COMP_SAME_10, COMP_SAME_11, COMP_FIND
};
constexpr int COMPARE_INVALID = -2;  // the two values cannot be compared

// The ops a type without an order still answers: equalities, sorting and
// find. Under the others its values cannot be compared.
constexpr bool equality_op(int op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND:
      return true;
    default:
      return false;
  }
}

// Arithmetic op codes, continued by the set operations.
enum MathOp : int {
  OP_ADD = 0, OP_SUB, OP_MUL, OP_DIV, OP_REM, OP_OR, OP_AND, OP_XOR,
  OP_UNIQUE, OP_UNION, OP_INTERSECT, OP_EXCLUDE, OP_DIFFERENCE
};

// Extra arguments of a path step (slot 7), those the interpreter passes on.
struct PathStep {
  Cell* path;      // the whole path, or nullptr
  Cell* gparent;   // the value before the parent, or nullptr
  Cell* p_item;    // the path item that reached the parent, or nullptr
  int index;       // position of the element in the path
  bool case_;      // case-sensitive selection
  bool get;        // get-path
  bool tail;       // the element is the path's last
  bool lenient;    // answer none instead of raising for a missing field
};

namespace act {
using AnyFn = void (*)();
using Make = Cell* (*)(Cell* proto, Cell* spec, int type);
using Random = Cell* (*)(Cell* value, int seed, int secure, int only);
using Reflect = Cell* (*)(Cell* value, int field_symbol);
using To = Cell* (*)(Cell* proto, Cell* spec, int type);
// Form and mold append to the buffer string and answer the part budget minus
// the characters they added; a negative answer means the text overshot.
using Form = int (*)(Cell* value, Cell* buffer, Cell* arg, int part);
using Mold = int (*)(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
using EvalPath = Cell* (*)(Cell* parent, Cell* element, Cell* value, const PathStep& step);
using Compare = int (*)(Cell* value1, Cell* value2, int op);
using StackOnly = void (*)();  // absolute add divide multiply power remainder subtract and~ or~ xor~ at back head head? index? next skip tail tail?
using Negate = Cell* (*)(Cell* number);
using Round = Cell* (*)(Cell* n, Cell* scale, int even, int down, int half_down, int floor, int ceiling, int half_ceiling);
using EvenOdd = int (*)(Cell* number);
using Complement = Cell* (*)(Cell* value);
// append and insert share one slot: last = 1 appends at the tail.
using Insert = Cell* (*)(Cell* series, Cell* value, int part, int only, int dup, int last);
using Change = Cell* (*)(Cell* series, Cell* value, int part, int only, int dup);
using Clear = Cell* (*)(Cell* series);
using Copy = Cell* (*)(Cell* value, Cell* result, Cell* part, int deep, Cell* types);
using Find = Cell* (*)(Cell* series, Cell* value, Cell* part, int only, int case_, int same, int any,
                       Cell* with, Cell* skip, int last, int reverse, int tail, int match);
using LengthQ = int (*)(Cell* series);  // -1 answers none
using Move = Cell* (*)(Cell* origin, Cell* target, int part);
using Pick = Cell* (*)(Cell* series, int index, Cell* boxed);
using Poke = Cell* (*)(Cell* series, int index, Cell* data, Cell* boxed);
using Put = Cell* (*)(Cell* series, Cell* key, Cell* value, int case_);
using Remove = Cell* (*)(Cell* series, Cell* part, Cell* key);
using Reverse = Cell* (*)(Cell* series, Cell* part, Cell* skip);
using Select = Cell* (*)(Cell* series, Cell* value, Cell* part, int only, int case_, int same, int any,
                         Cell* with, Cell* skip, int last, int reverse);
using Sort = Cell* (*)(Cell* series, int case_, Cell* skip, Cell* compare, Cell* part, int all, int reverse, int stable);
using Swap = Cell* (*)(Cell* series1, Cell* series2);
using Take = Cell* (*)(Cell* series, Cell* part, int deep, int last);
using Trim = Cell* (*)(Cell* series, int head, int tail, int auto_, int lines, int all, Cell* with);
using Port1 = Cell* (*)(Cell* port);  // create close delete open? query update
using Modify = Cell* (*)(Cell* target, Cell* field, Cell* value, int case_);
using Open = Cell* (*)(Cell* port, int new_, int read, int write, int seek, Cell* allow);
using Read = Cell* (*)(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as);
using Rename = Cell* (*)(Cell* from, Cell* to);
using Write = Cell* (*)(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part,
                        Cell* seek, Cell* allow, Cell* as);
}  // namespace act

}  // namespace xeb
