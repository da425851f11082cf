// error!: the catalogue (built from the one table of error_table.h), making
// errors by code, spec block or message, `fire`, and the error text.
#include "datatypes/error.h"

#include <algorithm>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/init.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "datatypes/series.h"
#include "runtime/collector.h"
#include "runtime/cycle.h"
#include "runtime/frames.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb {

namespace error {

namespace {

struct Row {
  ErrCat cat;
  int32_t code;
  const char* word;
  const char* tmpl;
};
constexpr Row kRows[] = {
#define XEB_X(cat, id, code, word, tmpl) {ErrCat::cat, code, word, tmpl},
    XEB_ERROR_CATALOG(XEB_X)
#undef XEB_X
};

struct CatRow {
  const char* word;
  const char* text;
};
constexpr CatRow kCats[] = {
#define XEB_X(cat, pos, word, text) {word, text},
    XEB_ERROR_CATEGORIES(XEB_X)
#undef XEB_X
};
constexpr int CAT_COUNT = sizeof kCats / sizeof kCats[0];

constexpr const char* kFields[FIELD_COUNT] = {"code", "type", "id", "arg1", "arg2", "arg3",
                                              "near", "where", "stack", "files"};

// Context nodes kept alive by the collector through mark_roots.
Node catalog_ctx = 0;
Node category_ctx[CAT_COUNT] = {};
Node proto_ctx = 0;
XEB_KEPT_WITH_HEAP(catalog_ctx);
XEB_KEPT_WITH_HEAP(category_ctx);
XEB_KEPT_WITH_HEAP(proto_ctx);

void mark_roots() {
  if (catalog_ctx) collector::mark_context(&catalog_ctx);
  for (Node& n : category_ctx)
    if (n) collector::mark_context(&n);
  if (proto_ctx) collector::mark_context(&proto_ctx);
}

Cell int_cell(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

// A new object context with the named fields; values none.
Node make_object_ctx(int32_t slots) {
  Node ctx = context::create(slots, false, true, 0, context::Kind::object);
  return ctx;
}

int32_t add_field(Node ctx, int32_t sym, const Cell& value) {
  Cell w{T_WORD, ctx, static_cast<uint32_t>(sym), static_cast<uint32_t>(-1)};
  int32_t i = context::add_word(ctx, &w);
  context::values(ctx)[i] = value;
  return i;
}

void set_owner(Node ctx, TypeId t, int32_t class_id) {
  *context::owner(ctx) = Cell{t, ctx, static_cast<uint32_t>(class_id), 0};
}

Cell* push_text(std::string_view s) {
  Cell* str = string::push_new(static_cast<int32_t>(s.size()));
  string::append_utf8(str, s);
  return str;
}

// The template value: a string, or a block of strings and words. Its items
// are walked in place, twice (to count, then to make), rather than listed in
// a vector: the catalogue's every row comes here at each start.
void push_template(const char* tmpl) {
  const std::string_view t(tmpl);
  const size_t count = static_cast<size_t>(std::count(t.begin(), t.end(), '|')) + 1;
  auto for_each_item = [&t](auto&& fn) {
    for (size_t start = 0;;) {
      const size_t bar = t.find('|', start);
      fn(t.substr(start, bar == std::string_view::npos ? bar : bar - start));
      if (bar == std::string_view::npos) break;
      start = bar + 1;
    }
  };
  auto word_of = [](std::string_view item, Cell* out) {
    bool get = item.size() == 5 && item[0] == ':' && item.substr(1, 3) == "arg";
    bool plain = item.size() == 4 && item.substr(0, 3) == "arg";
    if (!get && !plain) return false;
    int32_t sym = symbol::make(get ? item.substr(1) : item);
    *out = Cell{static_cast<uint32_t>(get ? T_GET_WORD : T_WORD), 0, static_cast<uint32_t>(sym),
                static_cast<uint32_t>(-1)};
    return true;
  };
  Cell w;
  if (count == 1 && !word_of(t, &w)) {
    push_text(t);
    return;
  }
  Cell* blk = stack::push_new();
  set_unset(blk);  // marked by a collection inside the allocation
  *blk = Cell{T_BLOCK, 0, memory::alloc_cells(static_cast<int64_t>(count)), 0};
  for_each_item([&](std::string_view item) {
    if (word_of(item, &w)) {
      *memory::new_tail_cell(blk) = w;
    } else {
      Cell* s = push_text(item);
      Cell v = *s;
      *memory::new_tail_cell(blk) = v;
      stack::pop(1);
    }
  });
}

void build_catalog() {
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  catalog_ctx = make_object_ctx(CAT_COUNT);
  set_owner(catalog_ctx, T_OBJECT, 1);
  const int32_t code_sym = symbol::make("code"), type_sym = symbol::make("type");
  for (int c = 0; c < CAT_COUNT; c++) {
    Node ctx = make_object_ctx(8);
    category_ctx[c] = ctx;
    set_owner(ctx, T_OBJECT, 1);
    add_field(ctx, code_sym, int_cell(c * 100));
    Cell* text = push_text(kCats[c].text);
    add_field(ctx, type_sym, *text);
    stack::set_top(saved);
    for (const Row& r : kRows) {
      if (static_cast<int>(r.cat) != c) continue;
      if (r.code == static_cast<int32_t>(Err::message)) {
        // A user error's message is its first argument.
        add_field(ctx, symbol::make("message"),
                  Cell{T_WORD, 0, static_cast<uint32_t>(symbol::make("arg1")), static_cast<uint32_t>(-1)});
        continue;
      }
      push_template(r.tmpl);
      Cell v = stack::top()[-1];
      add_field(ctx, symbol::make(r.word), v);
      stack::set_top(saved);
    }
    add_field(catalog_ctx, symbol::make(kCats[c].word), Cell{T_OBJECT, ctx, 1, 0});
  }
  proto_ctx = make_object_ctx(FIELD_COUNT);
  set_owner(proto_ctx, T_ERROR, 1);
  for (const char* f : kFields) add_field(proto_ctx, symbol::make(f), fixed_none);
}

int32_t category_index(int32_t sym) {
  int32_t i = context::find_word(catalog_ctx, sym, true);
  return i;
}

// The field value of a fresh error cell on a root.
Cell* err_field(const Cell* err, Field f) { return context::values(err->w1) + f; }

// A new error from the prototype, pushed on the data stack.
Cell* push_blank() {
  collector::KeepNodes keep;
  Cell* e = stack::push_new();
  *e = Cell{T_ERROR, proto_ctx, 1, 0};
  Node ctx = context::clone(e, context::Kind::object);
  Cell* vals = context::values(ctx);
  Cell* src = context::values(proto_ctx);
  for (int i = 0; i < FIELD_COUNT; i++) vals[i] = src[i];
  if (current_code_hook) {
    const Cell* code = current_code_hook();
    if (is_type(code, T_BLOCK) || is_type(code, T_PAREN)) vals[F_NEAR] = *code;
  }
  *context::owner(ctx) = *e;
  return e;
}

// Sets code, type and id from a category position and id position.
void set_ids(Cell* err, int cat, int32_t id_pos) {
  Node cctx = category_ctx[cat];
  Cell* vals = context::values(err->w1);
  vals[F_CODE] = int_cell(cat * 100 + id_pos - 2);
  vals[F_TYPE] = *context::word_at(catalog_ctx, cat);
  vals[F_ID] = *context::word_at(cctx, id_pos);
}

[[noreturn]] void spec_field(words::W which) {
  Cell w = words::word(which);
  Cell* p = stack::push(&w);
  fire(Err::invalid_spec_field, p);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  Cell* err = push_blank();
  switch (type_of(spec)) {
    case T_INTEGER: {
      int32_t code = get_int(spec);
      int32_t cat = code / 100, pos = code % 100 + 2;
      if (code < 0 || cat >= CAT_COUNT || pos >= context::size(category_ctx[cat])) fire(Err::out_of_range, spec);
      set_ids(err, cat, pos);
      return err;
    }
    case T_BLOCK: {
      Cell* cells = series::buf(spec)->cells() + series::head(spec);
      int32_t n = static_cast<int32_t>(series::buf(spec)->cell_count()) - series::head(spec);
      if (n > 0 && is_type(cells, T_WORD)) {
        int32_t cat = category_index(word_symbol(cells));
        if (cat < 0) spec_field(words::W::type);
        if (n < 2) spec_field(words::W::id);
        if (!is_type(cells + 1, T_WORD)) fire(Err::invalid_arg, cells + 1);
        int32_t pos = context::find_word(category_ctx[cat], word_symbol(cells + 1), true);
        if (pos < 2) spec_field(words::W::id);
        set_ids(err, cat, pos);
        return err;
      }
      if (n > 0 && is_type(cells, T_SET_WORD)) {
        context::bind(spec, err->w1, true);
        if (object::eval_block_hook) object::eval_block_hook(spec);
        Cell* vals = context::values(err->w1);
        if (!is_type(vals + F_TYPE, T_WORD)) spec_field(words::W::type);
        int32_t cat = category_index(word_symbol(vals + F_TYPE));
        if (cat < 0) spec_field(words::W::type);
        if (!is_type(vals + F_ID, T_WORD)) spec_field(words::W::id);
        int32_t pos = context::find_word(category_ctx[cat], word_symbol(vals + F_ID), true);
        if (pos < 2) spec_field(words::W::id);
        vals[F_CODE] = int_cell(cat * 100 + pos - 2);
        return err;
      }
      fire(Err::invalid_error);
    }
    case T_STRING: {
      Cell s = *spec;
      set_ids(err, static_cast<int>(ErrCat::user), 2);
      context::values(err->w1)[F_ARG1] = s;
      return err;
    }
    default: {
      Cell* t = datatype::push(T_ERROR);
      fire(Err::bad_make_arg, t, spec);
    }
  }
}

// Appends v molded (or formed) on one line, cut at limit characters.
void append_cut(Cell* out, Cell* v, bool formed, bool only, int limit) {
  int32_t start = string::xs_length_q(out);
  Cell* val = stack::push(v);
  if (formed) actions::form(val, out, nullptr, actions::NO_LIMIT);
  else actions::mold(val, out, only, 0, 1, nullptr, actions::NO_LIMIT, 0);
  stack::pop(1);
  if (string::xs_length_q(out) - start > limit) actions::truncate(out, start + limit);
}

int form_message(Cell* tmpl, Cell* out, Cell* err, int part, bool syntax) {
  int32_t n = static_cast<int32_t>(series::buf(tmpl)->cell_count());
  for (int32_t i = series::head(tmpl); i < n; i++) {
    if (i > series::head(tmpl)) part = actions::emit(out, " ", part);
    Cell item = series::buf(tmpl)->cells()[i];
    if (is_type(&item, T_STRING)) {
      int32_t before = string::xs_length_q(out);
      Cell* text = stack::push(&item);  // rooted: growing out may move its node
      string::concatenate(out, text, -1, 0, false, string::Mode::append);
      stack::pop(1);
      part -= string::xs_length_q(out) - before;
    } else if (is_type(&item, T_WORD) || is_type(&item, T_GET_WORD)) {
      int32_t f = context::find_word(err->w1, word_symbol(&item), true);
      Cell v = f >= 0 ? context::values(err->w1)[f] : fixed_none;
      int32_t before = string::xs_length_q(out);
      append_cut(out, &v, syntax, false, 80);
      part -= string::xs_length_q(out) - before;
    }
  }
  return part;
}

// Rewrites the error as internal invalid-error about the unmatched word.
void rewrite_invalid(Cell* err, const Cell* culprit) {
  Cell c = *culprit;
  int cat = static_cast<int>(ErrCat::internal);
  set_ids(err, cat, static_cast<int32_t>(Err::invalid_error) % 100 + 2);
  context::values(err->w1)[F_ARG1] = c;
}

// The level of system/state/stack-trace: 0 unless a positive integer.
int32_t trace_level() {
  const Cell* lv = scalar::system_value({"state", "stack-trace"});
  return lv && is_type(lv, T_INTEGER) && get_int(lv) > 0 ? get_int(lv) : 0;
}

// The symbols of the calls from the bottom of the call stack up to depth
// frames that a trace shows: never <body> or <anon>; at level 1 only words
// whose value where they were called is a function!, above it every call.
// Reads frames only: allocates nothing.
std::vector<uint32_t> trace_symbols(int32_t level, uint32_t depth) {
  std::vector<uint32_t> syms;
  for (uint32_t k = 0; k < depth; k++) {
    const CallFrame& f = stack::cs.bottom[k];
    if (!stack::reported(f)) continue;
    if (level <= 1) {
      Node ctx = f.ctx ? f.ctx : context::global();
      int32_t i = ctx ? context::find_word(ctx, static_cast<int32_t>(f.sym), false) : -1;
      const Cell* vals = i >= 0 ? context::values(ctx) : nullptr;
      if (!vals || !is_type(vals + i, T_FUNCTION)) continue;
    }
    syms.push_back(f.sym);
  }
  return syms;
}

// The trace of the calls still on the stack up to depth, each word followed
// by a space.
int format_trace(Cell* out, int32_t level, uint32_t depth, int part) {
  for (uint32_t sym : trace_symbols(level, std::min(depth, stack::depth()))) {
    std::string_view name = symbol::name(static_cast<int32_t>(sym));
    actions::append_text(out, std::string(name));
    part = actions::emit(out, " ", part - static_cast<int>(name.size()));
  }
  return part;
}

int err_form(Cell* err, Cell* out, Cell*, int part) {
  // An error inside itself (in its near or an argument) is written once; in
  // it, the error shows as "...", or as its mold placeholder where molded.
  if (cycles::find(object::context_of(err))) return actions::emit(out, "...", part);
  collector::KeepNodes keep;
  Cell* saved = stack::top();
  Cell* e = stack::push(err);
  cycles::push(e->w1);
  part = actions::emit(out, "*** ", part);
  Cell* vals = context::values(e->w1);
  int32_t cat = is_type(vals + F_TYPE, T_WORD) ? category_index(word_symbol(vals + F_TYPE)) : -1;
  if (cat < 0) {
    rewrite_invalid(e, vals + F_TYPE);
    cat = static_cast<int>(ErrCat::internal);
  }
  vals = context::values(e->w1);
  int32_t pos = is_type(vals + F_ID, T_WORD) ? context::find_word(category_ctx[cat], word_symbol(vals + F_ID), true) : -1;
  if (pos < 2) {
    rewrite_invalid(e, vals + F_ID);
    cat = static_cast<int>(ErrCat::internal);
    pos = static_cast<int32_t>(Err::invalid_error) % 100 + 2;
  }
  Cell* tmpl = stack::push(context::values(category_ctx[cat]) + pos);
  if (is_type(tmpl, T_WORD)) {
    int32_t f = context::find_word(e->w1, word_symbol(tmpl), true);
    *tmpl = f >= 0 ? context::values(e->w1)[f] : fixed_none;
  }
  // The category text is a field users can set: anything but a string is formed.
  Cell* text = stack::push(context::values(category_ctx[cat]) + 1);
  if (is_type(text, T_STRING)) {
    string::concatenate(out, text, -1, 0, false, string::Mode::append);
    part -= string::xs_length_q(text);
  } else {
    part = actions::form(text, out, nullptr, part);
  }
  part = actions::emit(out, ": ", part);
  if (is_type(tmpl, T_STRING)) {
    string::concatenate(out, tmpl, -1, 0, false, string::Mode::append);
    part -= string::xs_length_q(tmpl);
  } else if (is_type(tmpl, T_BLOCK)) {
    part = form_message(tmpl, out, e, part, cat == static_cast<int>(ErrCat::syntax));
  } else {
    rewrite_invalid(e, context::values(e->w1) + F_TYPE);
  }
  part = actions::emit(out, "\n*** Where: ", part);
  Cell* where = stack::push(context::values(e->w1) + F_WHERE);
  if (is_type(where, T_WORD)) part = actions::form(where, out, nullptr, part);
  else if (is_type(where, T_STRING)) part = actions::form(where, out, nullptr, part);
  else part = actions::emit(out, "???", part);
  part = actions::emit(out, "\n*** Near : ", part);
  Cell* near_v = stack::push(context::values(e->w1) + F_NEAR);
  append_cut(out, near_v, false, true, 40);
  int32_t level = trace_level();
  Cell* st = stack::push(context::values(e->w1) + F_STACK);
  if (level > 0 && is_type(st, T_INTEGER)) {
    part = actions::emit(out, "\n*** Stack: ", part);
    part = format_trace(out, level, static_cast<uint32_t>(get_int(st)), part);
  } else if (level > 0 && is_type(st, T_BLOCK)) {
    part = actions::emit(out, "\n*** Stack: ", part);
    part = actions::form(st, out, nullptr, part);
  }
  Cell* files = stack::push(context::values(e->w1) + F_FILES);
  if (is_type(files, T_BLOCK)) {
    part = actions::emit(out, "\n*** Files: ", part);
    append_cut(out, files, false, true, 40);
  }
  cycles::pop();
  stack::set_top(saved);
  return part;
}

int err_mold(Cell* err, Cell* out, int only, int all, int flat, Cell* arg, int part, int indent) {
  if (cycles::find(object::context_of(err))) return actions::emit(out, "make error! [...]", part);
  if (!only) part = actions::emit(out, "make error! [", part);
  part = object::serialize(err, out, only, all, flat, arg, part, 1, indent + 1, 1);
  if (!flat && indent > 0) part = actions::append_indent(out, indent, part);
  if (!only) part = actions::emit(out, "]", part);
  return part;
}

int err_compare(Cell* v1, Cell* v2, int op) { return object::compare_as_objects(v1, v2, T_ERROR, op); }

void annotate(Cell* err) {
  if (!is_type(err, T_ERROR)) return;
  Cell where;
  stack::caller_word(&where);
  Cell* vals = context::values(err->w1);
  if (is_type(vals + F_WHERE, T_NONE)) vals[F_WHERE] = where;
  stack::record_error_position(vals + F_STACK);
}

}  // namespace

void init() {
  collector::add_root_marker_once<mark_roots>();
  datatype::Registration r{T_ERROR, T_OBJECT, "error!"};
  r.hashes(&hashtable::by_word<1>, true);
  r.marks(object::layout);
  r.set(A_MAKE, &make).set(A_FORM, &err_form).set(A_MOLD, &err_mold).set(A_COMPARE, &err_compare)
      .inherit({A_EVAL_PATH, A_REFLECT, A_COPY, A_FIND, A_SELECT});
  datatype::register_type(r);
  error_hooks.annotate = &annotate;
}

void init_catalog() { build_catalog(); }

Cell* create(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
  Cell args[3];
  const Cell* given[3] = {arg1, arg2, arg3};
  for (int i = 0; i < 3; i++) args[i] = given[i] ? *given[i] : fixed_none;
  Cell* saved = stack::top();
  for (int i = 0; i < 3; i++) stack::push(&args[i]);
  Cell* err = push_blank();
  int32_t code = static_cast<int32_t>(id);
  set_ids(err, code / 100, code % 100 + 2);
  Cell* vals = context::values(err->w1);
  for (int i = 0; i < 3; i++)
    if (given[i]) vals[F_ARG1 + i] = saved[i];
  *saved = *err;
  stack::set_top(saved + 1);
  return saved;
}

void print(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
  Cell* saved = stack::top();
  Cell* err = create(id, arg1, arg2, arg3);
  Cell* out = string::push_new(64);
  err_form(err, out, nullptr, actions::NO_LIMIT);
  if (error_hooks.print_uncaught) {
    // The printer forms errors itself; hand it the error.
    error_hooks.print_uncaught(err);
  }
  stack::set_top(saved);
}

Cell* field(const Cell* err, Field f) { return err_field(err, f); }

void set_where(Cell* err, const Cell* value) {
  Cell* w = err_field(err, F_WHERE);
  if (is_type(w, T_NONE)) *w = *value;
}

int32_t get_type(const Cell* err) { return word_symbol(err_field(err, F_TYPE)); }
int32_t get_id(const Cell* err) { return word_symbol(err_field(err, F_ID)); }
int32_t code_of(const Cell* err) { return get_int(err_field(err, F_CODE)); }

void get_call_argument(int n, Cell* out) {
  Cell fn;
  stack::caller_word(&fn);
  *out = words::word(words::W::anon);
  Node ctx = word_context(&fn);
  if (!ctx || word_index(&fn) < 0) return;
  Cell* vals = context::values(ctx);
  if (!vals) return;
  Cell v = vals[word_index(&fn)];
  switch (type_of(&v)) {
    case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_ROUTINE: break;
    default: return;
  }
  if (!callable::spec_node(&v)) return;
  SeriesBuf* b = buf_of(callable::spec_node(&v));
  int k = 0;
  for (Cell *c = b->cells(), *e = b->cells_tail(); c < e; c++) {
    TypeId t = type_of(c);
    if (t == T_WORD || t == T_LIT_WORD || t == T_GET_WORD || t == T_REFINEMENT) {
      if (k++ == n) {
        *out = *c;
        return;
      }
    }
  }
}

void capture_stack(Cell* value) {
  if (!is_type(value, T_ERROR)) return;
  // Every symbol first: making one may allocate, and the frames above the
  // top are read before anything else can be pushed over them.
  int32_t level = std::max(trace_level(), 1);
  Cell* st = err_field(value, F_STACK);
  if (!is_type(st, T_INTEGER)) return;
  // The frames from the bottom up to the raise are still in place above the
  // top: the catch that calls this has pushed nothing since.
  uint32_t depth = std::min<uint32_t>(static_cast<uint32_t>(get_int(st)), stack::cs.end - stack::cs.bottom);
  std::vector<uint32_t> syms = trace_symbols(level, depth);
  Cell* saved = stack::top();
  Cell* blk = stack::push_new();
  set_unset(blk);  // marked by a collection inside the allocation
  *blk = Cell{T_BLOCK, 0, memory::alloc_cells(std::max<size_t>(20, syms.size())), 0};
  for (uint32_t sym : syms) {
    Cell w;
    if (stack::names.make_word) stack::names.make_word(&w, sym, 0);
    else w = Cell{T_WORD, context::global(), sym, static_cast<uint32_t>(-1)};
    *memory::new_tail_cell(blk) = w;
  }
  *err_field(value, F_STACK) = *blk;
  // The files being run, when any: a shallow copy.
  const Cell* files = scalar::system_value({"state", "source-files"});
  if (files && is_type(files, T_BLOCK) && block::xs_length_q(files) > 0) {
    Cell fc = *files;
    Cell* f = block::clone(&fc, false, false);
    *err_field(value, F_FILES) = *f;
  }
  stack::set_top(saved);
}

Node catalog() { return catalog_ctx; }
Cell catalog_value() { return Cell{T_OBJECT, catalog_ctx, 1, 0}; }
Node category(ErrCat c) { return category_ctx[static_cast<int>(c)]; }

int form(Cell* err, Cell* buffer, Cell* arg, int part) { return err_form(err, buffer, arg, part); }

void (*trace_hook)(Cell* err) = nullptr;
const Cell* (*current_code_hook)() = nullptr;

void raise_script_error_55(const Cell* value, const Cell* type) { fire(Err::bad_make_arg, value, type); }

}  // namespace error

void fire(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
  Cell* err = error::create(id, arg1, arg2, arg3);
  if (error::trace_hook) {
    // The tracer runs language code: no throw may be pending while it does.
    // It may allocate, so the error is re-read from its stack slot.
    Cell* top = stack::top();
    ThrowCode pending = pending_throw;
    pending_throw = ThrowCode::none;
    error::trace_hook(err);
    pending_throw = pending;
    err = top - 1;
  }
  stack::throw_error(err);
}

}  // namespace xeb
