// Symbols: records [13, alias, cached string node, name node] in one block,
// indexed by a word-kind hash table over the names (ASCII case folded).
#include "datatypes/symbol.h"

#include <string>

#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/region_kept.h"
#include "runtime/stack.h"

namespace xeb::symbol {

Node records = 0;
XEB_KEPT_WITH_HEAP(records);

namespace {

Node table = 0;  // the hash index
XEB_KEPT_WITH_HEAP(table);

void mark_roots() {
  if (records) collector::mark_node(&records);
  if (table) hashtable::mark(&table);
}

int compare(Cell* v1, Cell* v2, int op) {
  if (!is_type(v2, T_SYMBOL)) return COMPARE_INVALID;
  return string::compare_strings(v1, v2, op, false);
}

// Case-insensitively, by the name's bytes.
uint32_t hash(const Cell* c, bool) {
  SeriesBuf* b = buf_of(symbol_name(c));
  return hashtable::hash_symbol_name({reinterpret_cast<const char*>(b->head_ptr()), b->used()});
}

}  // namespace

void adopt_table() {
  collector::add_root_marker_once<mark_roots>();
  hashtable::resolve_symbol = &resolve;
}

void create_table() {
  adopt_table();
  records = memory::alloc_cell_buffer(TABLE_SIZE);  // append-only: the room is never read
  Cell blk{T_BLOCK, 0, records, 0};
  table = hashtable::init(TABLE_SIZE, &blk, hashtable::Kind::word, 0);
}

void init() {
  datatype::Registration r{T_SYMBOL, 0, "symbol!"};
  r.hashes(&hash);
  r.marks({collector::Holds::nothing, collector::Holds::series, collector::Holds::series});
  r.set(A_COMPARE, &compare);
  datatype::register_type(r);
}

int32_t make(std::string_view utf8) { return hashtable::find_symbol(table, utf8, false); }
int32_t make_nocase(std::string_view utf8) { return hashtable::find_symbol(table, utf8, true); }

int32_t make_from_string(const Cell* str) {
  std::string s = string::utf8_of(str);
  return make(s);
}

void cache_string(int32_t id) {
  if (record(id)->w2) return;
  std::string s(name(id));  // the name's buffer may move while loading
  Cell* saved = stack::top();
  Cell* str = string::load_new(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()),
                               string::ENC_UTF8);
  record(id)->w2 = str->w2;
  stack::set_top(saved);
}

Cell* get(int32_t id) {
  cache_string(id);
  return record(id);
}

std::string_view name(int32_t id) {
  SeriesBuf* b = buf_of(record(id)->w3);
  return std::string_view(reinterpret_cast<const char*>(b->head_ptr()), b->used());
}

int32_t count() { return records ? static_cast<int32_t>(buf_of(records)->cell_count()) : 0; }
Node table_block() { return records; }
Node index() { return table; }

}  // namespace xeb::symbol
