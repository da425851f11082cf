// error!: the error values of the language and `fire`, the one routine that
// raises them. Ids are the codes of the catalogue (category x 100 + position),
// so the category of an id is its code / 100.
#pragma once
#include <cstdint>
#include <string_view>

#include "datatypes/error_table.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb {

enum class ErrCat : int32_t {
#define XEB_X(cat, pos, word, text) cat = pos,
  XEB_ERROR_CATEGORIES(XEB_X)
#undef XEB_X
};

enum class Err : int32_t {
#define XEB_X(cat, id, code, word, tmpl) id = code,
  XEB_ERROR_CATALOG(XEB_X)
#undef XEB_X
};

constexpr ErrCat category_of(Err e) { return static_cast<ErrCat>(static_cast<int32_t>(e) / 100); }

// Raises the error: builds it from the catalogue with up to three arguments
// (null: none), reports it to the tracer and throws it to the nearest try
// frame. Never returns. Arguments are copied before anything allocates.
[[noreturn]] void fire(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

namespace error {

// Field positions in an error's context.
enum Field : int32_t { F_CODE = 0, F_TYPE, F_ID, F_ARG1, F_ARG2, F_ARG3, F_NEAR, F_WHERE, F_STACK, F_FILES };
constexpr int FIELD_COUNT = 10;

// Registers error!.
void init();
// Makes the catalogue objects and the error prototype (once words exist).
void init_catalog();

// A new error of the id, pushed on the data stack; arguments as for fire.
Cell* create(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3);
// Prints the error text of a new error without raising it.
void print(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

Cell* field(const Cell* err, Field f);  // valid until the next allocation
void set_where(Cell* err, const Cell* value);
int32_t get_type(const Cell* err);  // symbol id of `type`
int32_t get_id(const Cell* err);    // symbol id of `id`
constexpr int32_t get_stack_field() { return F_STACK; }
// The word of parameter n (from 0) of the function being called, or <anon>.
void get_call_argument(int n, Cell* out);
void capture_stack(Cell* value);

// The catalogue: category object cells and the error prototype's context.
Node catalog();                 // context node of the errors object
Cell catalog_value();           // the errors object as a value (system/catalog/errors)
Node category(ErrCat c);        // context node of one category object
int32_t code_of(const Cell* err);

// Appends the error text (the format of uncaught errors) to buffer.
int form(Cell* err, Cell* buffer, Cell* arg, int part);

// Reports a new error to the tracer (the error event) before it is thrown,
// with no throw pending meanwhile; set by the interpreter, which checks
// whether tracing is on. Null: no tracer.
extern void (*trace_hook)(Cell* err);

// The interpreter's current-code cell (the block being evaluated, its head
// at the expression under way): every new error copies it into `near`.
// Null, or a cell that holds no block: `near` stays none.
extern const Cell* (*current_code_hook)();

// Names for the raise helpers of other modules.
[[noreturn]] void raise_script_error_55(const Cell* value, const Cell* type);

}  // namespace error
}  // namespace xeb
