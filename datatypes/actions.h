// The 62 actions: their numbers and the signature every datatype's slot for
// each action takes. Arguments are cells on the data stack (stable across
// collections); a refinement without argument is an int flag, one with an
// argument is a pointer to its cell, nullptr when the refinement is absent.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb {

// The action list: every action once, in number order (an action's number
// is its row, from 1). The ids, the names of the action! values and the
// evaluator's generic entries all come from here; the spec of each, read by
// a user and checked at call time, is in evaluator/builtin_docs.h. A row is
// X(id, entry, name): entry is the evaluator's generic entry (a name only
// this layer never expands), name is null for the slots no word reaches
// (path element, comparison).
#define XEB_ACTIONS(X) \
  X(A_MAKE, g_make, "make") \
  X(A_RANDOM, g_random, "random") \
  X(A_REFLECT, g_reflect, "reflect") \
  X(A_TO, g_to, "to") \
  X(A_FORM, g_form, "form") \
  X(A_MOLD, g_mold, "mold") \
  X(A_EVAL_PATH, nullptr, nullptr) \
  X(A_NONE_8, nullptr, nullptr) \
  X(A_COMPARE, nullptr, nullptr) \
  X(A_ABSOLUTE, g_stack<A_ABSOLUTE>, "absolute") \
  X(A_ADD, g_stack<A_ADD>, "add") \
  X(A_DIVIDE, g_stack<A_DIVIDE>, "divide") \
  X(A_MULTIPLY, g_stack<A_MULTIPLY>, "multiply") \
  X(A_NEGATE, g_negate, "negate") \
  X(A_POWER, g_stack<A_POWER>, "power") \
  X(A_REMAINDER, g_stack<A_REMAINDER>, "remainder") \
  X(A_ROUND, g_round, "round") \
  X(A_SUBTRACT, g_stack<A_SUBTRACT>, "subtract") \
  X(A_EVEN_Q, g_even_q, "even?") \
  X(A_ODD_Q, g_odd_q, "odd?") \
  X(A_AND_T, g_stack<A_AND_T>, "and~") \
  X(A_COMPLEMENT, g_complement, "complement") \
  X(A_OR_T, g_stack<A_OR_T>, "or~") \
  X(A_XOR_T, g_stack<A_XOR_T>, "xor~") \
  X(A_APPEND, g_append, "append") \
  X(A_AT, g_stack<A_AT>, "at") \
  X(A_BACK, g_stack<A_BACK>, "back") \
  X(A_CHANGE, g_change, "change") \
  X(A_CLEAR, g_clear, "clear") \
  X(A_COPY, g_copy, "copy") \
  X(A_FIND, g_find, "find") \
  X(A_HEAD, g_stack<A_HEAD>, "head") \
  X(A_HEAD_Q, g_stack<A_HEAD_Q>, "head?") \
  X(A_INDEX_Q, g_stack<A_INDEX_Q>, "index?") \
  X(A_INSERT, g_insert, "insert") \
  X(A_LENGTH_Q, g_length_q, "length?") \
  X(A_MOVE, g_move, "move") \
  X(A_NEXT, g_stack<A_NEXT>, "next") \
  X(A_PICK, g_pick, "pick") \
  X(A_POKE, g_poke, "poke") \
  X(A_PUT, g_put, "put") \
  X(A_REMOVE, g_remove, "remove") \
  X(A_REVERSE, g_reverse, "reverse") \
  X(A_SELECT, g_select, "select") \
  X(A_SORT, g_sort, "sort") \
  X(A_SKIP, g_stack<A_SKIP>, "skip") \
  X(A_SWAP, g_swap, "swap") \
  X(A_TAIL, g_stack<A_TAIL>, "tail") \
  X(A_TAIL_Q, g_stack<A_TAIL_Q>, "tail?") \
  X(A_TAKE, g_take, "take") \
  X(A_TRIM, g_trim, "trim") \
  X(A_CREATE, g_create, "create") \
  X(A_CLOSE, g_close, "close") \
  X(A_DELETE, g_delete, "delete") \
  X(A_MODIFY, g_modify, "modify") \
  X(A_OPEN, g_open, "open") \
  X(A_OPEN_Q, g_open_q, "open?") \
  X(A_QUERY, g_query, "query") \
  X(A_READ, g_read, "read") \
  X(A_RENAME, g_rename, "rename") \
  X(A_UPDATE, g_update, "update") \
  X(A_WRITE, g_write, "write")

enum Action : int {
  A_NO_ACTION = 0,
#define XEB_X(id, entry, name) id,
  XEB_ACTIONS(XEB_X)
#undef XEB_X
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
