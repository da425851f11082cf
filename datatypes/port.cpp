// port!: making a port from its scheme, its text, and the slots that hand
// every series and I/O action to the port's actor.
#include "datatypes/port.h"

#include <initializer_list>
#include <vector>

#include "datatypes/actions.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/init.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/cycle.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::port {

Cell* (*call_hook)(const Cell*, const Cell*, std::span<const Cell>, uint32_t) = nullptr;

namespace {

using words::W;

// A field of an object by name, or none.
Cell field(const Cell* obj, const char* name) {
  if (!is_type(obj, T_OBJECT) && !is_type(obj, T_PORT)) return fixed_none;
  Cell w = *word::load(name);
  return *object::get_field(obj, &w);
}

// The scheme named by the word in a registry block of name / scheme pairs,
// or none.
Cell scheme_in(const Cell* registry, const Cell* name) {
  if (!is_type(registry, T_BLOCK)) return fixed_none;
  const int32_t sym = symbol::resolve(word_symbol(name));
  const Cell* cells = block::buf(registry)->cells();
  const uint32_t n = block::buf(registry)->cell_count();
  for (uint32_t i = static_cast<uint32_t>(block::head_of(registry)); i + 1 < n; i += 2)
    if (is_type(cells + i, T_WORD) && symbol::resolve(word_symbol(cells + i)) == sym) return cells[i + 1];
  return fixed_none;
}

Cell system_object() {
  Cell w = *word::load("system");
  return *word::get(&w);
}

Cell standard(const char* name) {
  Cell sys = system_object();
  Cell std_ = field(&sys, "standard");
  Cell r = field(&std_, name);
  if (!is_type(&r, T_OBJECT)) fire(Err::not_done);
  return r;
}

Cell* make(Cell*, Cell* spec_in, int) {
  collector::KeepNodes keep;  // cells held in C++ locals keep their nodes
  Cell* saved = stack::top();
  Cell* spec = stack::push(spec_in);
  Cell* obj = stack::push_new();
  if (is_type(spec, T_OBJECT)) {
    object::clone(spec, obj, false, nullptr, true);
  } else {
    Cell* proto = stack::push_new();
    *proto = standard("url-parts");
    Cell* r = datatype::slot<act::Make>(T_OBJECT, A_MAKE)(proto, spec, T_OBJECT);
    *obj = *r;
  }
  Cell scheme = object::field_count(obj) > 0 ? object::get_values(obj)[0] : fixed_none;
  if (!is_type(&scheme, T_WORD)) fire(Err::no_scheme, spec_in);
  Cell* port = stack::push_new();
  Cell* proto = stack::push_new();
  *proto = standard("port");
  object::clone(proto, port, false, nullptr, true);
  set_type(port, T_PORT);
  object::set_class_id(port, CLASS_ID);
  object::get_values(port)[F_SPEC] = *obj;
  object::get_values(port)[F_SCHEME] = scheme;
  Cell sys = system_object();
  Cell schemes = field(&sys, "schemes");
  Cell* sw = stack::push(&scheme);
  Cell sch = is_type(&schemes, T_OBJECT) ? *object::get_field(&schemes, sw) : scheme_in(&schemes, sw);
  if (!is_type(&sch, T_OBJECT)) fire(Err::unknown_scheme, spec_in);
  Cell actor = field(&sch, "actor");
  if (!is_type(&actor, T_OBJECT) && !is_type(&actor, T_HANDLE)) fire(Err::invalid_actor, spec_in);
  object::get_values(port)[F_ACTOR] = actor;
  Cell r = *port;
  stack::set_top(saved);
  return stack::push(&r);
}

int mold(Cell* p, Cell* out, int only, int all, int flat, Cell* arg, int part, int indent) {
  if (cycles::find(object::context_of(p))) return actions::emit(out, "make port! [...]", part);
  part = actions::emit(out, "make port! [", part);
  part = object::serialize(p, out, only, all, flat, arg, part, 1, indent + 1, 1);
  if (!flat && indent > 0) part = actions::append_indent(out, indent, part);
  return actions::emit(out, "]", part);
}

// Two ports compare as the objects they are.
int compare(Cell* a, Cell* b, int op) { return object::compare_as_objects(a, b, T_PORT, op); }

int form(Cell* p, Cell* out, Cell*, int part) { return mold(p, out, 0, 0, 0, nullptr, part, 0); }

// --- Forwarding ----------------------------------------------------------------------

Cell flag(bool on) { return on ? fixed_true : fixed_false; }
Cell opt(const Cell* c) { return c ? *c : fixed_none; }
Cell count(int32_t n, int32_t from) { return n >= from ? integer::make_cell(n) : fixed_none; }

// Calls the actor's function for the action with the port and the rest of
// the arguments; answers its result on the data stack top (unset when a
// non-local exit is pending, which the caller passes on).
Cell* forward(const Cell* port, W action, std::initializer_list<Cell> rest) {
  // Nothing held here is read after the call: the actor runs with nodes
  // free to move.
  Cell actor = object::get_values(port)[F_ACTOR];
  if (!is_type(&actor, T_OBJECT)) fire(Err::invalid_port);
  Cell name = words::word(action);
  Cell fn = *object::get_field(&actor, &name);
  if (!is_type(&fn, T_FUNCTION) || !call_hook) fire(Err::no_port_action);
  std::vector<Cell> args;
  args.reserve(rest.size() + 1);
  args.push_back(*port);
  args.insert(args.end(), rest);
  Cell* r = call_hook(&name, &fn, args, 32);  // a port actor
  return r ? r : &fixed_unset;
}

Cell* insert(Cell* p, Cell* v, int part, int only, int dup, int last) {
  return forward(p, last ? W::append : W::insert,
                 {*v, flag(part >= 0), count(part, 0), flag(only), flag(dup >= 2), count(dup, 2)});
}
Cell* change(Cell* p, Cell* v, int part, int only, int dup) {
  return forward(p, W::change, {*v, flag(part >= 0), count(part, 0), flag(only), flag(dup >= 2), count(dup, 2)});
}
Cell* clear(Cell* p) { return forward(p, W::clear, {}); }
Cell* copy(Cell* p, Cell*, Cell* part, int deep, Cell* types) {
  return forward(p, W::copy, {flag(part), opt(part), flag(deep), flag(types), opt(types)});
}
Cell* find(Cell* p, Cell* v, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip, int last,
           int reverse, int tail, int match) {
  return forward(p, W::find, {*v, flag(part), opt(part), flag(only), flag(case_), flag(same), flag(any), flag(with),
                              opt(with), flag(skip), opt(skip), flag(last), flag(reverse), flag(tail), flag(match)});
}
Cell* select(Cell* p, Cell* v, Cell* part, int only, int case_, int same, int any, Cell* with, Cell* skip, int last,
             int reverse) {
  return forward(p, W::select, {*v, flag(part), opt(part), flag(only), flag(case_), flag(same), flag(any),
                                flag(with), opt(with), flag(skip), opt(skip), flag(last), flag(reverse)});
}
int length_q(Cell* p) {
  Cell* r = forward(p, W::length_q, {});
  return is_type(r, T_INTEGER) ? get_int(r) : -1;
}
Cell* move(Cell* p, Cell* target, int part) { return forward(p, W::move, {*target, flag(part >= 0), count(part, 0)}); }
Cell* pick(Cell* p, int, Cell* index) { return forward(p, W::pick, {*index}); }
Cell* poke(Cell* p, int, Cell* value, Cell* index) { return forward(p, W::poke, {*index, *value}); }
Cell* put(Cell* p, Cell* key, Cell* value, int case_) { return forward(p, W::put, {*key, *value, flag(case_)}); }
Cell* remove(Cell* p, Cell* part, Cell* key) {
  return forward(p, W::remove, {flag(part), opt(part), flag(key), opt(key)});
}
Cell* reverse(Cell* p, Cell* part, Cell* skip) {
  return forward(p, W::reverse, {flag(part), opt(part), flag(skip), opt(skip)});
}
Cell* sort(Cell* p, int case_, Cell* skip, Cell* cmp, Cell* part, int all, int reverse, int stable) {
  return forward(p, W::sort, {flag(case_), flag(skip), opt(skip), flag(cmp), opt(cmp), flag(part), opt(part),
                              flag(all), flag(reverse), flag(stable)});
}
Cell* swap(Cell* p, Cell* other) { return forward(p, W::swap, {*other}); }
Cell* take(Cell* p, Cell* part, int deep, int last) {
  return forward(p, W::take, {flag(part), opt(part), flag(deep), flag(last)});
}
Cell* trim(Cell* p, int head, int tail, int auto_, int lines, int all, Cell* with) {
  return forward(p, W::trim, {flag(head), flag(tail), flag(auto_), flag(lines), flag(all), flag(with), opt(with)});
}
Cell* modify(Cell* p, Cell* fld, Cell* value, int case_) { return forward(p, W::modify, {*fld, *value, flag(case_)}); }
Cell* open(Cell* p, int new_, int read, int write, int seek, Cell* allow) {
  return forward(p, W::open, {flag(new_), flag(read), flag(write), flag(seek), flag(allow), opt(allow)});
}
Cell* rename(Cell* p, Cell* to) { return forward(p, W::rename, {*to}); }
template <W A>
Cell* port1(Cell* p) {
  return forward(p, A, {});
}
// Actions whose entries work on the arguments base: the port, and for at
// and skip the cell after it.
template <W A, bool Arg>
void stack_only() {
  Cell* base = stack::base();
  Cell* r = Arg ? forward(base, A, {base[1]}) : forward(base, A, {});
  if (!throwing()) stack::set_result(r);
}

// read and write are composed from open, copy, insert and close.
Cell* read(Cell* p, Cell* part, Cell* seek, int, int, int, Cell*) {
  Cell* port = stack::push(p);
  forward(port, W::open, {fixed_false, fixed_true, fixed_false, flag(seek), fixed_false, fixed_none});
  if (throwing()) return &fixed_unset;
  Cell* data = stack::push(forward(port, W::copy, {flag(part), opt(part), fixed_false, fixed_false, fixed_none}));
  if (throwing()) return &fixed_unset;
  forward(port, W::close, {});
  return data;
}
Cell* write(Cell* p, Cell* data, int, int, int, int, Cell* part, Cell*, Cell*, Cell*) {
  Cell* port = stack::push(p);
  Cell* d = stack::push(data);
  forward(port, W::open, {fixed_false, fixed_false, fixed_true, fixed_false, fixed_false, fixed_none});
  if (throwing()) return &fixed_unset;
  bool n = part && is_type(part, T_INTEGER);
  forward(port, W::insert, {*d, flag(n), n ? *part : fixed_none, fixed_false, fixed_false, fixed_none});
  if (throwing()) return &fixed_unset;
  Cell* r = stack::push(forward(port, W::copy, {fixed_false, fixed_none, fixed_false, fixed_false, fixed_none}));
  if (throwing()) return &fixed_unset;
  forward(port, W::close, {});
  return r;
}

}  // namespace

Cell* from_url(Cell* url) {
  collector::KeepNodes keep;  // cells held in C++ locals keep their nodes
  Cell* u = stack::push(url);
  Cell parser = *context::get(word::load("url-parser"));
  Cell name = *word::load("parse-url");
  Cell fn = is_type(&parser, T_OBJECT) ? field(&parser, "parse-url") : fixed_none;
  if (!is_type(&fn, T_FUNCTION) || !call_hook) fire(Err::not_done);  // before the library is
  Cell* parts = call_hook(&name, &fn, std::span<const Cell>(u, 1), 0);
  if (!parts) return &fixed_unset;
  if (!is_type(parts, T_OBJECT)) fire(Err::invalid_arg, u);
  return make(nullptr, parts, T_PORT);
}

void init() {
  datatype::Registration r{T_PORT, T_OBJECT, "port!"};
  r.hashes(&hashtable::by_word<1>, true);
  r.marks(object::layout);
  r.set(A_MAKE, &make).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_APPEND, &insert).set(A_INSERT, &insert).set(A_CHANGE, &change).set(A_CLEAR, &clear).set(A_COPY, &copy);
  r.set(A_FIND, &find).set(A_SELECT, &select).set(A_LENGTH_Q, &length_q).set(A_MOVE, &move).set(A_PICK, &pick);
  r.set(A_POKE, &poke).set(A_PUT, &put).set(A_REMOVE, &remove).set(A_REVERSE, &reverse).set(A_SORT, &sort);
  r.set(A_SWAP, &swap).set(A_TAKE, &take).set(A_TRIM, &trim).set(A_MODIFY, &modify).set(A_OPEN, &open);
  r.set(A_RENAME, &rename).set(A_READ, &read).set(A_WRITE, &write);
  r.set(A_CREATE, &port1<W::create>).set(A_CLOSE, &port1<W::close>).set(A_DELETE, &port1<W::delete_>);
  r.set(A_QUERY, &port1<W::query>).set(A_UPDATE, &port1<W::update>);
  r.set(A_AT, &stack_only<W::at, true>).set(A_SKIP, &stack_only<W::skip, true>);
  r.set(A_BACK, &stack_only<W::back, false>).set(A_HEAD, &stack_only<W::head, false>);
  r.set(A_HEAD_Q, &stack_only<W::head_q, false>).set(A_INDEX_Q, &stack_only<W::index_q, false>);
  r.set(A_NEXT, &stack_only<W::next, false>).set(A_TAIL, &stack_only<W::tail, false>);
  r.set(A_TAIL_Q, &stack_only<W::tail_q, false>);
  r.set(A_COMPARE, &compare);
  r.inherit({A_REFLECT, A_EVAL_PATH});
  datatype::register_type(r);
}

}  // namespace xeb::port
