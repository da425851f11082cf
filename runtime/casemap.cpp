// Case mapping.
#include "runtime/casemap.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "runtime/exit.h"
#include "runtime/memory.h"
#include "runtime/shapes.h"
#include "runtime/unicode.h"

namespace xeb::unicode {

void (*case_change_hook)(const Cell* v, bool upper, int32_t index, int32_t count) = nullptr;

namespace {

#include "runtime/unicode_tables_case.inc"

// A case table of the BMP in two stages: the block of 256 code points a
// code point falls in names a row of the pool, whose entry holds the
// mapping, 0 when the code point maps to itself. Row 0 is all zeros and
// serves every block without a mapping, so the table holds only the few
// blocks that have one. The compiler makes both tables: they are read-only
// data, paged in when first read, instead of memory to allocate and fill
// at start. Every BMP mapping stays in the BMP, so an entry is 16 bits.
template <size_t N>
constexpr size_t count_rows(const uint32_t (&pairs)[N]) {
  bool used[256] = {};
  size_t rows = 1;
  for (size_t i = 0; i + 1 < N; i += 2)
    if (!used[pairs[i] >> 8]) used[pairs[i] >> 8] = true, rows++;
  return rows;
}

template <size_t Rows>
struct Table {
  uint8_t row[256];
  uint16_t pool[Rows][256];
};

template <size_t Rows, size_t N>
constexpr Table<Rows> make_table(const uint32_t (&pairs)[N]) {
  static_assert(Rows <= 256);
  Table<Rows> t{};
  uint8_t rows = 1;
  for (size_t i = 0; i + 1 < N; i += 2)
    if (!t.row[pairs[i] >> 8]) t.row[pairs[i] >> 8] = rows++;
  for (size_t i = 0; i + 1 < N; i += 2) t.pool[t.row[pairs[i] >> 8]][pairs[i] & 255] = static_cast<uint16_t>(pairs[i + 1]);
  return t;
}

template <size_t N>
constexpr bool within_bmp(const uint32_t (&pairs)[N]) {
  for (uint32_t c : pairs)
    if (c > 0xFFFF) return false;
  return true;
}
static_assert(within_bmp(kUpperBmp) && within_bmp(kLowerBmp));

constexpr auto upper_table = make_table<count_rows(kUpperBmp)>(kUpperBmp);
constexpr auto lower_table = make_table<count_rows(kLowerBmp)>(kLowerBmp);

// Pairs above the BMP are few; a scan of the sorted pairs is enough.
uint32_t astral(uint32_t cp, std::span<const uint32_t> pairs) {
  if (cp < pairs.front() || cp > pairs[pairs.size() - 2]) return cp;
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (pairs[i] > cp) break;
    if (pairs[i] == cp) return pairs[i + 1];
  }
  return cp;
}

uint32_t get_unit(const std::byte* p, int unit) {
  switch (unit) {
    case 1: return static_cast<uint8_t>(*p);
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    default: runtime_error(101);
  }
}

void put_unit(std::byte* p, int unit, uint32_t c) {
  if (unit == 1) *p = static_cast<std::byte>(c);
  else if (unit == 2) { uint16_t v = static_cast<uint16_t>(c); std::memcpy(p, &v, 2); }
  else std::memcpy(p, &c, 4);
}

bool string_like(const Cell* c) {
  switch (type_of(c)) {
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: return true;
    default: return false;
  }
}

}  // namespace

void init_case_tables() {}

uint32_t to_case(uint32_t cp, bool upper) {
  if (cp <= 0xFFFF) {
    uint32_t m = upper ? upper_table.pool[upper_table.row[cp >> 8]][cp & 255]
                       : lower_table.pool[lower_table.row[cp >> 8]][cp & 255];
    return m ? m : cp;
  }
  return upper ? astral(cp, kUpperAstral) : astral(cp, kLowerAstral);
}

Cell* to_case_string(Cell* v, const Cell* part, bool upper) {
  if (is_type(v, T_CHAR)) {
    set_int(v, static_cast<int32_t>(to_case(static_cast<uint32_t>(get_int(v)), upper)));
    return v;
  }
  SeriesBuf* b = buf_of(series_node(v));
  int32_t len = static_cast<int32_t>(b->used() >> (b->unit() >> 1));
  int32_t head = std::clamp(series_head(v), 0, len);
  set_series_head(v, head);
  int32_t count = len - head;
  if (part) {
    if (is_type(part, T_INTEGER)) count = std::clamp(get_int(part), 0, count);
    else if (type_of(part) == type_of(v) && string_like(part) && series_node(part) == series_node(v))
      count = std::clamp(series_head(part), head, len) - head;
    else if (error_hooks.invalid_part) error_hooks.invalid_part(part);
    else runtime_error(99);
  }
  for (int32_t i = head; i < head + count; i++) {
    b = buf_of(series_node(v));
    int unit = b->unit();
    uint32_t c = get_unit(b->head_ptr() + int64_t{i} * unit, unit);
    uint32_t m = to_case(c, upper);
    if (m == c) continue;
    // Widen before a code point that does not fit; the loop goes on in the
    // new unit at the same character.
    if (unit == 1 && m > 0xFF) b = m > 0xFFFF ? widen_1_4(b) : widen_1_2(b);
    else if (unit == 2 && m > 0xFFFF) b = widen_2_4(b);
    unit = b->unit();
    put_unit(b->head_ptr() + int64_t{i} * unit, unit, m);
  }
  if (case_change_hook) case_change_hook(v, upper, head, count);
  return v;
}

}  // namespace xeb::unicode
