// handle!: text forms and comparison, and the constructors the runtime and
// the GUI back-end use.
#include "datatypes/handle.h"

#include "datatypes/dispatch.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/handles.h"
#include "runtime/stack.h"

namespace xeb::handle {

namespace {

constexpr const char* kClassNames[] = {"", "fd", "monitor", "window", "font", "rich-text"};

// Eight upper-case hexadecimal digits and "h": nine characters.
int form(Cell* h, Cell* out, Cell*, int part) {
  char hex[9];
  std::string_view digits = string::to_hex(static_cast<int32_t>(value_of(h)), false, hex);
  part = actions::emit(out, digits, part);
  return actions::emit(out, "h", part);
}

int mold(Cell* h, Cell* out, int, int all, int, Cell* arg, int part, int) {
  if (!all) return actions::emit(out, "handle!", part);
  part = actions::emit(out, "#[handle! ", part);
  part = form(h, out, arg, part);
  uint32_t cls = static_cast<uint32_t>(class_of(h));
  if (cls > 0 && cls < std::size(kClassNames)) {
    part = actions::emit(out, " ", part);
    part = actions::emit(out, kClassNames[cls], part);
  }
  return actions::emit(out, "]", part);
}

// The values as signed integers, whatever the op; the class takes no part.
int compare(Cell* a, Cell* b, int) {
  if (!is_type(b, T_HANDLE)) return 1;
  int32_t x = static_cast<int32_t>(value_of(a)), y = static_cast<int32_t>(value_of(b));
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

Cell* make_at(Cell* c, uint32_t value, Class cls) {
  begin_cell(c);
  c->w1 = static_cast<uint32_t>(cls);
  c->w2 = value;
  c->w3 = static_cast<uint32_t>(-1);
  c->header = T_HANDLE;
  return c;
}

Cell* box(uint32_t value, Class cls) { return make_at(stack::base(), value, cls); }
Cell* push(uint32_t value, Class cls) { return make_at(stack::push_new(), value, cls); }
Cell* push_null() { return push(0, Class::null); }

Cell* push_object(void* object, uint32_t kind, Class cls) {
  int32_t i = handles::store(object, kind);
  Cell* c = push(handles::reference(i), cls);
  c->w3 = static_cast<uint32_t>(i);  // the entry this handle keeps alive
  return c;
}

void* object_of(const Cell* h) {
  if (entry_of(h) < 0) return nullptr;
  const handles::Entry* e = handles::resolve(value_of(h));
  return e ? e->object : nullptr;
}

// A handle keeps its external entry alive while it lives, and while the
// entry still holds the object it was made for.
void mark_entry(Cell* h) {
  if (entry_of(h) >= 0) handles::mark_ref(value_of(h));
}

void init() {
  datatype::Registration r{T_HANDLE, T_INTEGER, "handle!"};
  r.hashes(&hashtable::by_word<2>);
  r.marks({collector::Holds::nothing, collector::Holds::nothing, collector::Holds::nothing, &mark_entry});
  r.set(A_FORM, &form).set(A_MOLD, &mold).set(A_COMPARE, &compare);
  datatype::register_type(r);
}

}  // namespace xeb::handle
