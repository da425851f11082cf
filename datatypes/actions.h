// The 62 actions: their numbers and the signature every datatype's slot for
// each action takes. Arguments are cells on the data stack (stable across
// collections); a refinement without argument is an int flag, one with an
// argument is a pointer to its cell, nullptr when the refinement is absent.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb {

// The action list: every action once, in number order (an action's number
// is its row, from 1). The ids, the names and specs of the action! values and
// the evaluator's generic entries all come from here. A row is
// X(id, entry, name, spec): entry is the evaluator's generic entry (a name
// only this layer never expands), name and spec are null for the slots no
// word reaches (path element, comparison), spec as a user reads it: {the doc
// string}, then the arguments and refinements with their type words.
#define XEB_ACTIONS(X) \
  X(A_MAKE, g_make, "make", "{Makes a value of a datatype from a spec} type [any-type!] spec [any-type!]") \
  X(A_RANDOM, g_random, "random", "{Returns a random value of the same datatype, or shuffles a series} value /seed /secure /only") \
  X(A_REFLECT, g_reflect, "reflect", "{Returns a field of a value} value field [word!]") \
  X(A_TO, g_to, "to", "{Converts a value to a datatype} type [any-type!] spec [any-type!]") \
  X(A_FORM, g_form, "form", "{Converts a value to human-readable text} value [any-type!] /part limit [integer!]") \
  X(A_MOLD, g_mold, "mold", "{Converts a value to text that loads back as the value} value [any-type!] /only /all /flat /part limit [integer!]") \
  X(A_EVAL_PATH, nullptr, nullptr, nullptr) \
  X(A_NONE_8, nullptr, nullptr, nullptr) \
  X(A_COMPARE, nullptr, nullptr, nullptr) \
  X(A_ABSOLUTE, g_stack<A_ABSOLUTE>, "absolute", "{Returns the absolute value} value") \
  X(A_ADD, g_stack<A_ADD>, "add", "{Returns the sum of the two values} value1 value2") \
  X(A_DIVIDE, g_stack<A_DIVIDE>, "divide", "{Returns the first value divided by the second} value1 value2") \
  X(A_MULTIPLY, g_stack<A_MULTIPLY>, "multiply", "{Returns the product of the two values} value1 value2") \
  X(A_NEGATE, g_negate, "negate", "{Changes the sign of a number} number") \
  X(A_POWER, g_stack<A_POWER>, "power", "{Returns the number raised to the exponent} number exponent") \
  X(A_REMAINDER, g_stack<A_REMAINDER>, "remainder", "{Returns the remainder of the first value divided by the second} value1 value2") \
  X(A_ROUND, g_round, "round", "{Rounds a number} n /to scale /even /down /half-down /floor /ceiling /half-ceiling") \
  X(A_SUBTRACT, g_stack<A_SUBTRACT>, "subtract", "{Returns the second value subtracted from the first} value1 value2") \
  X(A_EVEN_Q, g_even_q, "even?", "{Returns true if the number is even} number") \
  X(A_ODD_Q, g_odd_q, "odd?", "{Returns true if the number is odd} number") \
  X(A_AND_T, g_stack<A_AND_T>, "and~", "{Returns the first value ANDed with the second} value1 value2") \
  X(A_COMPLEMENT, g_complement, "complement", "{Returns the complement of the value} value") \
  X(A_OR_T, g_stack<A_OR_T>, "or~", "{Returns the first value ORed with the second} value1 value2") \
  X(A_XOR_T, g_stack<A_XOR_T>, "xor~", "{Returns the first value XORed with the second} value1 value2") \
  X(A_APPEND, g_append, "append", "{Inserts values at the tail of a series and returns the series head} series value [any-type!] /part length /only /dup count") \
  X(A_AT, g_stack<A_AT>, "at", "{Returns the series at the index} series index") \
  X(A_BACK, g_stack<A_BACK>, "back", "{Returns the series one position back} series") \
  X(A_CHANGE, g_change, "change", "{Changes values of a series and returns the series after the change} series value [any-type!] /part range /only /dup count") \
  X(A_CLEAR, g_clear, "clear", "{Removes the values from the position to the tail} series") \
  X(A_COPY, g_copy, "copy", "{Returns a copy of the value} value /part length /deep /types kind") \
  X(A_FIND, g_find, "find", "{Returns the series where the value is found, or none} series value [any-type!] /part length /only /case /same /any /with wild /skip size /last /reverse /tail /match") \
  X(A_HEAD, g_stack<A_HEAD>, "head", "{Returns the series at its head} series") \
  X(A_HEAD_Q, g_stack<A_HEAD_Q>, "head?", "{Returns true if the series is at its head} series") \
  X(A_INDEX_Q, g_stack<A_INDEX_Q>, "index?", "{Returns the position of the series} series") \
  X(A_INSERT, g_insert, "insert", "{Inserts values into a series and returns the series after the insert} series value [any-type!] /part length /only /dup count") \
  X(A_LENGTH_Q, g_length_q, "length?", "{Returns the number of values from the position to the tail} series") \
  X(A_MOVE, g_move, "move", "{Moves values of a series to another position or series} origin target /part length") \
  X(A_NEXT, g_stack<A_NEXT>, "next", "{Returns the series one position forward} series") \
  X(A_PICK, g_pick, "pick", "{Returns the value at the position} series index") \
  X(A_POKE, g_poke, "poke", "{Replaces the value at the position} series index value [any-type!]") \
  X(A_PUT, g_put, "put", "{Replaces the value following a key, or adds the key and value} series key value /case") \
  X(A_REMOVE, g_remove, "remove", "{Removes values at the position} series /part length /key key-arg") \
  X(A_REVERSE, g_reverse, "reverse", "{Reverses the order of the values} series /part length /skip size") \
  X(A_SELECT, g_select, "select", "{Returns the value after the value found, or none} series value [any-type!] /part length /only /case /same /any /with wild /skip size /last /reverse") \
  X(A_SORT, g_sort, "sort", "{Sorts a series} series /case /skip size /compare comparator /part length /all /reverse /stable") \
  X(A_SKIP, g_stack<A_SKIP>, "skip", "{Returns the series moved forward or back} series offset") \
  X(A_SWAP, g_swap, "swap", "{Swaps the first values of two series} series1 series2") \
  X(A_TAIL, g_stack<A_TAIL>, "tail", "{Returns the series at its tail} series") \
  X(A_TAIL_Q, g_stack<A_TAIL_Q>, "tail?", "{Returns true if the series is at its tail} series") \
  X(A_TAKE, g_take, "take", "{Removes and returns values of a series} series /part length /deep /last") \
  X(A_TRIM, g_trim, "trim", "{Removes space or other values from a series} series /head /tail /auto /lines /all /with str") \
  X(A_CREATE, g_create, "create", "{Creates a new port} port") \
  X(A_CLOSE, g_close, "close", "{Closes a port} port") \
  X(A_DELETE, g_delete, "delete", "{Deletes a file} file") \
  X(A_MODIFY, g_modify, "modify", "{Changes a field of a value} target field value /case") \
  X(A_OPEN, g_open, "open", "{Opens a port} port /new /read /write /seek /allow access") \
  X(A_OPEN_Q, g_open_q, "open?", "{Returns true if the port is open} port") \
  X(A_QUERY, g_query, "query", "{Returns information about a target} target") \
  X(A_READ, g_read, "read", "{Reads from a file, URL or port} source /part length /seek index /binary /lines /info /as encoding") \
  X(A_RENAME, g_rename, "rename", "{Renames a file} from to") \
  X(A_UPDATE, g_update, "update", "{Updates a port} port") \
  X(A_WRITE, g_write, "write", "{Writes to a file, URL or port} destination data /binary /lines /info /append /part length /seek index /allow access /as encoding")

enum Action : int {
  A_NO_ACTION = 0,
#define XEB_X(id, entry, name, spec) id,
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
