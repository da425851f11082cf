// Closing a series: the marker and the cells above it in the lexer's buffer
// become one block!, paren! or path value in the marker's place.
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/map.h"
#include "lexer/loaders.h"
#include "runtime/stack.h"

namespace xeb::lexer::load {

void push_from_stack(State& s) {
  Cell v = *stack::top_cell();
  stack::pop(1);
  Cell* c = push_value(s);
  v.header = (v.header & ~HDR_NEW_LINE) | (c->header & HDR_NEW_LINE);
  *c = v;
}

bool close(State& s, uint32_t series, uint32_t marker) {
  const uint32_t type = series & 0xFFFF;
  switch (type) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH:
      break;
    case T_POINT2D:
      return point_close(s, series, marker);
    case T_MAP: {
      // Pairs of a valid key and a value.
      const uint32_t n = s.top - marker - 1;
      bool ok = (n & 1) == 0;
      for (uint32_t i = 0; ok && i < n; i += 2) ok = map::valid_key(type_of(cell_at(marker + 1 + i)));
      if (!ok) return syntax_error(s, T_MAP, s.begin + marker_opener(cell_at(marker)));
      break;
    }
    default:
      return syntax_error(s, static_cast<int>(type), s.begin + marker_opener(cell_at(marker)));
  }
  const uint32_t n = s.top - marker - 1;
  // The block is made on the data stack; the contents stay rooted in the
  // lexer's buffer until they are copied.
  Cell* b = block::make_at(begin_cell(stack::push_new()), static_cast<int32_t>(n));
  SeriesBuf* buf = block::buf(b);
  if (n) std::memcpy(buf->cells(), cell_at(marker + 1), n * sizeof(Cell));
  block::xs_set_tail(b, static_cast<int32_t>(n));
  set_type(b, static_cast<TypeId>(type));
  if (type == T_MAP) map::make_at(b, b, 0);
  Cell v = *b;
  stack::pop(1);
  Cell* m = cell_at(marker);
  v.header = (v.header & ~HDR_NEW_LINE) | (m->header & HDR_NEW_LINE);
  *m = v;
  s.top = marker + 1;
  return true;
}

}  // namespace xeb::lexer::load
