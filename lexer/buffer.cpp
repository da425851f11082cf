// The value buffer shared by all scans, the chain of running scans, and the
// collector hook over both. Scans address the buffer by index, so growing it
// needs no rebasing of the states in the chain.
#include <cstdlib>
#include <cstring>

#include "lexer/internal.h"
#include "runtime/exit.h"

namespace xeb::lexer {
namespace {

constexpr uint32_t INITIAL_CELLS = 1000;

Cell* buffer = nullptr;
uint32_t capacity = 0;
State* head = nullptr;
State* tail = nullptr;

void grow(uint32_t need) {
  uint64_t n = capacity ? capacity : INITIAL_CELLS;
  while (n < need) n *= 2;
  if (n > (1u << 27)) raise_internal(InternalError::no_memory);  // 2 GiB of cells
  void* p = std::realloc(buffer, n * sizeof(Cell));
  if (!p) raise_internal(InternalError::no_memory);
  buffer = static_cast<Cell*>(p);
  capacity = static_cast<uint32_t>(n);
}

}  // namespace

namespace detail {

void link(State& s) {
  s.prev = tail;
  s.next = nullptr;
  if (tail) tail->next = &s;
  else head = &s;
  tail = &s;
}

void unlink(State& s) {
  if (s.prev) s.prev->next = s.next;
  else head = s.next;
  if (s.next) s.next->prev = s.prev;
  else tail = s.prev;
  s.next = s.prev = nullptr;
}

State* chain_tail() { return tail; }

void init_buffer() {
  if (!buffer) grow(INITIAL_CELLS);
}

}  // namespace detail

void shutdown() {
  std::free(buffer);
  buffer = nullptr;
  capacity = 0;
}

Cell* push_value(State& s) {
  if (s.top >= capacity) grow(s.top + 1);
  Cell* c = &buffer[s.top++];
  set_unset(c);
  if (s.token_lines > 0) c->header |= HDR_NEW_LINE;
  return c;
}

Cell* cell_at(uint32_t index) { return &buffer[index]; }

std::span<Cell> values(const State& s) {
  if (!buffer) return {};
  return {buffer + s.base, buffer + s.top};
}

uint32_t char_index(State& s, const uint8_t* p) {
  if (!s.cache_byte) {
    s.cache_byte = s.begin;
    s.cache_char = 0;
  }
  // From the cached position either way: callers ask for a token's start
  // after its end, and a restart from the text's start each time would
  // make a scan quadratic.
  uint32_t n = s.cache_char;
  for (const uint8_t* q = s.cache_byte; q < p; ++q) n += (*q & 0xC0) != 0x80;
  for (const uint8_t* q = p; q < s.cache_byte; ++q) n -= (*q & 0xC0) != 0x80;
  s.cache_byte = p;
  s.cache_char = n;
  return n;
}

void mark_buffers(void (*mark)(Cell* first, Cell* end)) {
  for (State* s = head; s; s = s->next) {
    if (buffer && s->top > s->base) mark(buffer + s->base, buffer + s->top);
    mark(&s->input_series, &s->input_series + 1);
    mark(&s->callback, &s->callback + 1);
  }
}

const State* innermost() { return tail; }

}  // namespace xeb::lexer
