// Symbols: interned spellings with 1-based ids, held as records of one block
// with a hash index. Spellings differing only in ASCII case are distinct ids,
// but a later spelling records the first one met as its alias.
#pragma once
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace xeb::symbol {

constexpr int TABLE_SIZE = 4000;

void create_table();  // the record block (in the root block) and its index
void adopt_table();   // create_table but for the heap: the table a heap image brings
void init();          // registers the symbol type (comparison only)

int32_t make(std::string_view utf8);
inline int32_t make_len(const char* bytes, int32_t length) { return make(std::string_view(bytes, length)); }
int32_t make_nocase(std::string_view utf8);
int32_t make_from_string(const Cell* str);

// The record block's node (binding resolves a symbol per word it meets, so
// the lookups below are inline).
extern Node records;

// The record of id, its string cache filled. Valid until the next allocation.
Cell* get(int32_t id);
// Without filling the cache.
inline Cell* record(int32_t id) { return buf_of(records)->cells() + (id - 1); }
void cache_string(int32_t id);
// The first spelling met among those differing only in case.
inline int32_t resolve(int32_t id) {
  int32_t a = static_cast<int32_t>(record(id)->w1);
  return a > 0 ? a : id;
}
inline int32_t alias(int32_t id) { return static_cast<int32_t>(record(id)->w1); }
// The UTF-8 spelling; valid until the next allocation.
std::string_view name(int32_t id);
// Two spellings equal but for ASCII case.
inline bool same_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}
int32_t count();

Node table_block();
Node index();

}  // namespace xeb::symbol
