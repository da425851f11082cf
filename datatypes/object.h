// object!: a context of kind object as a value, [32, context node, class id,
// hook record node]. Class ids name an object's shape; the hook record lets
// an object watch its fields (on-change*) and the series they hold
// (on-deep-change*).
#pragma once
#include <cstdint>
#include <type_traits>

#include "datatypes/words.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace xeb::object {

// Object-like cells (object! error! port!): word 1 the context, word 3 a
// series kept beside it, or 0.
constexpr collector::Layout layout{collector::Holds::cells, collector::Holds::nothing, collector::Holds::series};

constexpr int32_t FIRST_CLASS = 1000000;

// The payload of an object! cell (error! and port! cells hold their context
// the same way).
inline Node context_of(const Cell* obj) { return obj->w1; }
inline int32_t class_of(const Cell* obj) { return static_cast<int32_t>(obj->w2); }
inline Node hooks_of(const Cell* obj) { return obj->w3; }
inline void set_class_id(Cell* obj, int32_t id) { obj->w2 = static_cast<uint32_t>(id); }

void init();
int32_t new_class_id();
// The last id handed out, kept with a heap image.
int32_t last_class_id();
void set_last_class_id(int32_t id);
Cell* make_at(Cell* cell, int32_t slots);
Cell* push(Node ctx, int32_t class_id);
Cell* push_with_hooks(Node ctx, Node hooks, int32_t class_id);
Node make_hooks(uint32_t key1, uint32_t key2, int32_t index1, int32_t count1, int32_t index2, int32_t count2);
Node find_hooks(Node ctx);
void attach_hooks(Cell* obj);
bool deep_hook_q(const Cell* obj);
// obj, word, old and new on the data stack or another root.
void fire_on_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value);
void fire_on_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index, int32_t part);
Cell* get_field(const Cell* obj, const Cell* word);  // the field's value or the fixed none cell
int32_t find_field(const Cell* obj, const Cell* word);
int32_t field_count(const Cell* obj);
Cell* get_values(const Cell* obj);
void clear_changed(Node ctx);
Cell* clone(Cell* src, Cell* dst, bool deep, Cell* types, bool recompute_hooks);

// Steps of make, copy and construct. Cells given are roots (data stack).
// A copy of the function bound to the object (with self) and to a copy of
// its own context; it always runs its body. Replaces *fn.
Cell* rebind_function(Cell* fn, const Cell* obj);
// Sets every word of src into dst's object, then deep-copies dst's series
// fields and rebinds its functions; true when dst's word list grew.
bool extend_from_object(Cell* dst, Node src);
// Deep copies of src's series fields into the same slots of dst, block-like
// ones bound to dst with self; other fields only with copy_all.
void copy_series_fields(Node src, Node dst, bool copy_all);
// Each set-word of spec added with the value after its run of set-words
// (none past the end), nothing evaluated; unless only, the words true yes on
// false no off none become their values. True when the word list grew.
bool construct_fields(Node ctx, const Cell* spec, bool only);
// The native construct: a new object pushed (proto may be null).
Cell* construct(const Cell* spec, const Cell* proto, bool only);
// The native set on an object: fields from a block (by position), an object
// (by name) or one value.
void set_many(Cell* obj, const Cell* value, bool any, bool only, bool some);
// Hooks of the object on the data stack's top, set by the boot library.
void set_hooks(Node ctx, int32_t index1, int32_t count1, int32_t index2, int32_t count2);
// on-change* after a set that left the new value then the old one on top of
// the data stack (word::set_in_keep_old).
void fire_on_set(Cell* obj, Cell* word);
void fire_on_set_word(Cell* obj_word, Cell* word);
// Shape checks of compiled code before it uses a field index directly.
bool of_class_q(Cell* word, int32_t class_id);
bool field_of_class_q(Node ctx, int32_t index, int32_t class_id);
Cell* first_word(const Cell* obj);          // valid until the next allocation
Cell* get_word(Node ctx, int32_t index);    // likewise
void clear_new_lines(Node ctx);
int serialize(Cell* obj, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int newline_mode,
              int indent, int lead);

// Slots error! shares.
Cell* make(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
int compare(Cell* value1, Cell* value2, int op);
// The comparison of error! and port! values: two of type t compare as the
// objects they are; another value cannot be compared.
int compare_as_objects(const Cell* value1, const Cell* value2, TypeId t, int op);

// Runs body (a hook's or comparator's call) behind a try/all frame named by
// name. Its C++ callers are in the middle of a change or a sort and never
// look for a pending exit, so a break, continue or throw leaving the call
// becomes its throw error there; errors go on to the caller's try. The data
// stack top is restored.
void behind_barrier(words::W name, void (*body)(void* env), void* env);
template <class Body>
void behind_barrier(words::W name, Body&& body) {
  using B = std::remove_reference_t<Body>;
  behind_barrier(name, [](void* env) { (*static_cast<B*>(env))(); }, &body);
}

// Evaluates a spec block in the object's context (the interpreter); null
// until the evaluator exists, then set-words are assigned from the values
// that directly follow them.
extern void (*eval_block_hook)(Cell* block);
// Calls a hook function with its arguments already pushed after a function
// frame (the interpreter); null until the evaluator exists.
extern void (*eval_function_hook)(Cell* fn, Node ctx, int32_t name_sym, int trace_mask);

}  // namespace xeb::object
