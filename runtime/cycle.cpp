// The cycle stack: a fixed array of series nodes outside the managed heap.
#include "runtime/cycle.h"

#include "runtime/collector.h"
#include "runtime/exit.h"
#include "runtime/shapes.h"

namespace xeb::cycles {

namespace detail {
Node entries[SIZE];
int top = 0;

void overflow() {
  top = 0;
  raise_internal(InternalError::too_deep);
}
}  // namespace detail

using detail::entries;
using detail::top;

namespace {
Node series_of(const Cell* v) { return is_type(v, T_OBJECT) ? object_context(v) : series_node(v); }
}  // namespace

void drop(int n) { top = n < top ? top - n : 0; }
void reset() { top = 0; }
uint32_t depth() { return static_cast<uint32_t>(top); }

void cut_to(uint32_t n) {
  if (n < static_cast<uint32_t>(top)) top = static_cast<int>(n);
}

std::string_view detect(const Cell* v, bool mold) {
  if (!find(series_of(v))) return {};
  if (!mold) return "...";
  switch (type_of(v)) {
    case T_BLOCK: case T_HASH: return "[...]";
    case T_PAREN: return "(...)";
    case T_MAP: return "#[...]";
    case T_OBJECT: return "make object! [...]";
    default: return "...";  // the path types
  }
}

void update_moved() {
  for (int i = 0; i < top; i++) collector::redirect(&entries[i]);
}

}  // namespace xeb::cycles
