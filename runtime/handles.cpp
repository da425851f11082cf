#include "runtime/handles.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/region_kept.h"

namespace xeb::handles {

namespace {
constexpr uint32_t REF_INDEX_MASK = (1u << REF_INDEX_BITS) - 1;
struct Kind { const char* name; Release release; };
Kind kinds[MAX_KINDS];
int kind_count = 0;
constexpr int32_t FIRST_CAPACITY = 1000;
// Empty until the first store: most sessions never store a handle, and the
// table's 24 KB, filled at start, cost a page fault for each of its pages.
// An index the table does not reach yet reads as a free entry.
std::vector<Entry> table;
int32_t used_head = -1;
int32_t free_head = -1;

void chain_free(int32_t from) {
  int32_t n = static_cast<int32_t>(table.size());
  for (int32_t i = from; i < n; i++) table[i] = Entry{FREE_BIT, nullptr, i + 1 < n ? i + 1 : -1, 0};
}
}  // namespace

void init() {
  kind_count = 0;
  table.clear();
  free_head = 0;
  used_head = -1;
  collector::sweep_handles_hook = sweep;
}

int register_kind(const char* name, Release release) {
  if (kind_count >= MAX_KINDS) return 0;
  kinds[kind_count++] = Kind{name, release};
  return kind_count;
}

int32_t store(void* object, uint32_t kind) {
  if (table.empty()) {
    table.resize(FIRST_CAPACITY);
    chain_free(0);
  }
  if (table[free_head].next == -1) {
    // Double before the last free entry goes, so the free list never runs dry.
    int32_t old = static_cast<int32_t>(table.size());
    table.resize(table.size() * 2);
    chain_free(old);
    table[free_head].next = old;
  }
  int32_t i = free_head;
  free_head = table[i].next;
  table[i] = Entry{kind & ~(FREE_BIT | MARK_BIT), object, used_head, table[i].generation};
  used_head = i;
  return i;
}

void release(uint32_t kind, void* object) {
  uint32_t k = kind & KIND_MASK;
  if (k > 0 && static_cast<int>(k) <= kind_count && kinds[k - 1].release) kinds[k - 1].release(object);
}

static void free_entry(int32_t i) {
  table[i] = Entry{FREE_BIT, nullptr, free_head, table[i].generation + 1};
  free_head = i;
}

void remove(int32_t index, bool release_object) {
  if (index < 0 || index >= static_cast<int32_t>(table.size()) || (table[index].kind & FREE_BIT)) return;
  int32_t prev = -1, i = used_head;
  while (i != -1 && i != index) { prev = i; i = table[i].next; }
  if (i == -1) return;  // not on the used list
  if (release_object) release(table[index].kind, table[index].object);
  if (prev == -1) used_head = table[index].next; else table[prev].next = table[index].next;
  free_entry(index);
}

bool mark(int32_t index, void* object) {
  if (index < 0 || index >= static_cast<int32_t>(table.size())) return false;
  Entry& e = table[index];
  if (e.kind & FREE_BIT) return false;
  if (object) e.object = object;
  if (e.kind & MARK_BIT) return false;
  e.kind |= MARK_BIT;
  return true;
}

bool mark_ref(uint32_t ref) {
  return resolve(ref) && mark(static_cast<int32_t>(ref & REF_INDEX_MASK), nullptr);
}

void sweep() {
  int32_t prev = -1;
  int32_t i = used_head;
  while (i != -1) {
    int32_t next = table[i].next;
    if (table[i].kind & MARK_BIT) {
      table[i].kind &= ~MARK_BIT;
      prev = i;
    } else {
      release(table[i].kind, table[i].object);
      if (prev == -1) used_head = next; else table[prev].next = next;
      free_entry(i);
    }
    i = next;
  }
}

const Entry* entry(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(table.size())) return nullptr;
  return &table[index];
}

int32_t capacity() { return table.empty() ? FIRST_CAPACITY : static_cast<int32_t>(table.size()); }

uint32_t reference(int32_t index) {
  return (table[index].generation << REF_INDEX_BITS) | (static_cast<uint32_t>(index) & REF_INDEX_MASK);
}

const Entry* resolve(uint32_t ref) {
  const Entry* e = entry(static_cast<int32_t>(ref & REF_INDEX_MASK));
  if (!e || (e->kind & FREE_BIT)) return nullptr;
  return ((e->generation << REF_INDEX_BITS) >> REF_INDEX_BITS) == (ref >> REF_INDEX_BITS) ? e : nullptr;
}

}  // namespace xeb::handles

namespace xeb::externals {

namespace {
Node store = 0;
int32_t head = -1;
XEB_KEPT_WITH_HEAP(store);
XEB_KEPT_WITH_HEAP(head);
void mark_store() { if (store) collector::mark_node(&store); }
}  // namespace

void adopt() { collector::add_root_marker_once<mark_store>(); }

void init() {
  adopt();
  store = memory::alloc_cells(STORE_CELLS);
  SeriesBuf* b = buf_of(store);
  Cell* c = reinterpret_cast<Cell*>(b->data());
  for (int i = 0; i < STORE_CELLS; i++) c[i] = Cell{T_INTEGER, 0, static_cast<uint32_t>(i + 1 < STORE_CELLS ? i + 1 : -1), 0};
  b->tail = b->head + STORE_CELLS * 16;
  head = 0;
}

Node store_node() { return store; }
int32_t free_head() { return head; }

}  // namespace xeb::externals
