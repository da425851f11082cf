// Hash tables: hashing, probing, growth, index upkeep, records, symbols and
// words, and the collector hooks.
#include "runtime/hashtable.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/array.h"
#include "runtime/casemap.h"
#include "runtime/collector.h"
#include "runtime/counts.h"
#include "runtime/exit.h"
#include "runtime/shapes.h"

namespace xeb::hashtable {

namespace {

// Fixed for every run: a seed taken from an address would change the bucket
// order, and so the iteration order of tables, from run to run.
constexpr uint32_t SEED = 0x5A17C3E9u;

constexpr double LOAD = 0.77;
constexpr int32_t REFRESH_MAX = 30000;
// The most buckets a table takes: its keys buffer (4 bytes a bucket) must fit
// the 32-bit layout's series size limit with room to spare. A table at this
// size fills past its load limit instead of growing.
constexpr int32_t MAX_BUCKETS = 1 << 28;

// ---------------------------------------------------------------------------
// Temporary roots. A node made inside an operation stays reachable through
// this small stack until it is stored in a rooted record. Nodes do not move
// while it is in use (operations switch node compaction off).

constexpr int MAX_HOLDS = 16;
Off holds[MAX_HOLDS];
bool hold_is_table[MAX_HOLDS];
int n_holds = 0;

void mark_holds() {
  for (int i = 0; i < n_holds; i++) {
    if (hold_is_table[i]) mark(&holds[i]);
    else collector::mark_node(&holds[i]);
  }
}

struct Hold {
  explicit Hold(Node n, bool is_table = false) {
    collector::add_root_marker_once<mark_holds>();
    holds[n_holds] = n;
    hold_is_table[n_holds] = is_table;
    n_holds++;
  }
  ~Hold() { n_holds--; }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
};

// Node compaction is deferred while a table operation allocates, so that the
// nodes held in its locals stay valid; buffers may still move.
using NoCompaction = collector::KeepNodes;

// ---------------------------------------------------------------------------
// Buffers of a table, re-read through their nodes on every call.

uint32_t* flags_of(const Table* h) { return reinterpret_cast<uint32_t*>(buf_of(h->flags)->head_ptr()); }
int32_t* keys_of(const Table* h) { return reinterpret_cast<int32_t*>(buf_of(h->keys)->head_ptr()); }
int32_t* indexes_of(const Table* h) {
  return reinterpret_cast<int32_t*>(buf_of(static_cast<Node>(h->indexes))->head_ptr());
}
int32_t indexes_len(const Table* h) {
  return static_cast<int32_t>(buf_of(static_cast<Node>(h->indexes))->used() / 4);
}
Cell* cells_of(const Table* h) { return buf_of(h->blk)->cells(); }
int32_t blk_len(const Table* h) { return static_cast<int32_t>(buf_of(h->blk)->cell_count()); }

// Two bits per bucket: high = empty, low = deleted, none = occupied.
uint32_t bits(const uint32_t* f, int32_t i) { return (f[i >> 4] >> ((i & 15) * 2)) & 3; }
bool is_empty(const uint32_t* f, int32_t i) { return bits(f, i) & 2; }
bool is_deleted(const uint32_t* f, int32_t i) { return bits(f, i) & 1; }
bool is_live(const uint32_t* f, int32_t i) { return bits(f, i) == 0; }
void set_live(uint32_t* f, int32_t i) { f[i >> 4] &= ~(3u << ((i & 15) * 2)); }
void set_deleted(uint32_t* f, int32_t i) { f[i >> 4] |= 1u << ((i & 15) * 2); }

// A bucket count: the power of two at or above v, within [4, MAX_BUCKETS].
// Takes any request (products of counts included) without overflowing.
int32_t round_up(int64_t v) {
  if (v >= MAX_BUCKETS) return MAX_BUCKETS;
  uint32_t x = static_cast<uint32_t>(std::max<int64_t>(v, 4)) - 1;
  x |= x >> 1;
  x |= x >> 2;
  x |= x >> 4;
  x |= x >> 8;
  x |= x >> 16;
  return static_cast<int32_t>(x + 1);
}

Node new_flags(int32_t n) { return memory::alloc_filled(std::max(n / 4, 4), 0xAA); }

Node new_keys(int32_t n) {
  Node k = memory::alloc_filled(int64_t{n} * 4, 0);
  SeriesBuf* b = buf_of(k);
  b->tail = b->head + static_cast<Off>(n) * 4;
  return k;
}

uint32_t stamp_now() { return collector::node_compactions + 1; }

// ---------------------------------------------------------------------------
// Text access for hashing and the default comparison.

bool string_like(uint8_t t) {
  switch (t) {
    case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
      return true;
    default:
      return false;
  }
}

struct Text {
  const std::byte* p;
  int unit;
  int32_t len;
  uint32_t at(int32_t i) const {
    switch (unit) {
      case 1: return static_cast<uint8_t>(p[i]);
      case 2: { uint16_t v; std::memcpy(&v, p + 2 * i, 2); return v; }
      default: { uint32_t v; std::memcpy(&v, p + 4 * i, 4); return v; }
    }
  }
};

Text text_of(const Cell* c) {
  SeriesBuf* b = buf_of(series_node(c));
  int unit = b->unit() ? b->unit() : 1;
  int32_t len = static_cast<int32_t>(b->used() / unit) - series_head(c);
  if (len < 0) len = 0;
  return {b->head_ptr() + static_cast<size_t>(series_head(c)) * unit, unit, len};
}

std::string_view name_of(Node name) {
  SeriesBuf* b = buf_of(name);
  return {reinterpret_cast<const char*>(b->head_ptr()), b->used()};
}

// Case folding for the default comparison: ASCII only.
uint32_t fold_upper(uint32_t cp) { return cp >= 'a' && cp <= 'z' ? cp - 32 : cp; }

// Case folding for text hashes. Strings that compare equal ignoring case map
// every code point to the same lower case, so the hash folds through that
// mapping too; folding to upper case alone would split pairs such as U+0130
// and 'i'. Upper-cased after, so ASCII text hashes as its upper-case form.
uint32_t hash_fold(uint32_t cp) {
  if (cp < 0x80) return fold_upper(cp);
  return unicode::to_case(unicode::to_case(cp, false), true);
}
uint8_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? b | 0x60 : b; }

bool ascii_ieq(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (ascii_lower(static_cast<uint8_t>(a[i])) != ascii_lower(static_cast<uint8_t>(b[i]))) return false;
  return true;
}

// ---------------------------------------------------------------------------
// MurmurHash3 x86_32, one block at a time so that folded text and code
// points stream through without a copy.

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

struct Murmur {
  uint32_t h = SEED;
  void block(uint32_t k) {
    k *= 0xCC9E2D51u;
    k = rotl(k, 15);
    k *= 0x1B873593u;
    h ^= k;
    h = rotl(h, 13);
    h = h * 5 + 0xE6546B64u;
  }
  void tail(uint32_t k) {  // 1 to 3 leftover bytes
    k *= 0xCC9E2D51u;
    k = rotl(k, 15);
    k *= 0x1B873593u;
    h ^= k;
  }
  uint32_t finish(uint32_t length) const { return hash_pointer(h ^ length); }
};

template <class Byte>
uint32_t murmur_bytes(size_t len, Byte byte) {
  Murmur m;
  size_t i = 0;
  for (; i + 4 <= len; i += 4)
    m.block(byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | uint32_t{byte(i + 3)} << 24);
  uint32_t k = 0;
  switch (len & 3) {
    case 3: k ^= byte(i + 2) << 16; [[fallthrough]];
    case 2: k ^= byte(i + 1) << 8; [[fallthrough]];
    case 1: k ^= byte(i); m.tail(k);
  }
  return m.finish(static_cast<uint32_t>(len));
}

}  // namespace

uint32_t hash_text(const std::byte* units, int unit, int32_t length, bool case_sensitive) {
  Text t{units, unit, length};
  Murmur m;
  for (int32_t i = 0; i < t.len; i++) m.block(case_sensitive ? t.at(i) : hash_fold(t.at(i)));
  return m.finish(static_cast<uint32_t>(t.len) * 4);
}

// Four bytes at once, ASCII capitals lowered as ascii_lower lowers them:
// a byte gets 0x20 where it lies in 'A'..'Z' (bytes from 0x80 never).
uint32_t ascii_lower4(uint32_t w) {
  uint32_t low7 = w & 0x7F7F7F7Fu;
  uint32_t from_a = low7 + 0x3F3F3F3Fu;  // high bit set from 'A' (0x41) on
  uint32_t past_z = low7 + 0x25252525u;  // high bit set from '[' (0x5B) on
  return w | (((from_a & ~past_z & ~w) & 0x80808080u) >> 2);
}

uint32_t hash_symbol_name(std::string_view s) {
  Murmur m;
  const char* p = s.data();
  size_t len = s.size(), i = 0;
  for (; i + 4 <= len; i += 4) {
    uint32_t w;
    std::memcpy(&w, p + i, 4);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    m.block(ascii_lower4(w));
  }
  uint32_t k = 0;
  auto byte = [&](size_t j) -> uint32_t { return ascii_lower(static_cast<uint8_t>(p[j])); };
  switch (len & 3) {
    case 3: k ^= byte(i + 2) << 16; [[fallthrough]];
    case 2: k ^= byte(i + 1) << 8; [[fallthrough]];
    case 1: k ^= byte(i); m.tail(k);
  }
  return m.finish(static_cast<uint32_t>(len));
}

uint32_t hash_words(const Cell* c, int first, int count) {
  return murmur3(payload(c) + (first - 1), static_cast<size_t>(count) * 4);
}

namespace {

// ---------------------------------------------------------------------------
// Default comparison, until the datatypes supply theirs.

int sign(int64_t d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

int default_compare(const Cell* a, const Cell* b, int op) {
  uint8_t ta = a->header & HDR_TYPE_MASK, tb = b->header & HDR_TYPE_MASK;
  bool strict = op == OP_STRICT || op == 8;
  if (string_like(ta) && string_like(tb)) {
    Text x = text_of(a), y = text_of(b);
    int32_t n = std::min(x.len, y.len);
    for (int32_t i = 0; i < n; i++) {
      uint32_t p = x.at(i), q = y.at(i);
      if (!strict) p = fold_upper(p), q = fold_upper(q);
      if (p != q) return p < q ? -1 : 1;
    }
    return sign(int64_t{x.len} - y.len);
  }
  if (ta != tb) return -2;
  switch (ta) {
    case T_INTEGER: case T_CHAR:
      return sign(int64_t{get_int(a)} - get_int(b));
    case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE: {
      int32_t x = word_symbol(a), y = word_symbol(b);
      if (!strict) x = resolve_symbol(x), y = resolve_symbol(y);
      return sign(int64_t{x} - y);
    }
    case T_SYMBOL: {
      std::string_view x = name_of(symbol_name(a)), y = name_of(symbol_name(b));
      if (!strict) return ascii_ieq(x, y) ? 0 : (x < y ? -1 : 1);
      return x == y ? 0 : (x < y ? -1 : 1);
    }
    case T_FLOAT: case T_PERCENT: case T_TIME: {
      double x = get_double(a), y = get_double(b);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case T_NONE: case T_UNSET:
      return 0;
    default:
      return std::memcmp(payload(a), payload(b), 12) == 0 ? 0 : 1;
  }
}

int32_t identity(int32_t id) { return id; }
void no_normalize(Cell*) {}

// Types whose equality allows a tolerance (a few units in the last place).
bool tolerant(const Cell* c) {
  switch (c->header & HDR_TYPE_MASK) {
    case T_FLOAT: case T_PERCENT: case T_TIME: case T_DATE: case T_PAIR: case T_POINT2D: case T_POINT3D:
      return true;
    default:
      return false;
  }
}

// Equality as the tables see it: the comparison's, and for values compared
// with a tolerance also equal hashes. No hash can follow a tolerance (it is
// not transitive), so without this a key nearly equal to a stored one would
// be found or missed by where their buckets happened to fall.
bool equal(const Cell* a, const Cell* b, int op) {
  // Two integers, the commonest keys, are equal by value under every op.
  if ((a->header & HDR_TYPE_MASK) == T_INTEGER && (b->header & HDR_TYPE_MASK) == T_INTEGER)
    return get_int(a) == get_int(b);
  if (compare(a, b, op) != 0) return false;
  return (!tolerant(a) && !tolerant(b)) || hash_value(a, false) == hash_value(b, false);
}

// ---------------------------------------------------------------------------
// Probing. Integers hash as themselves, so that a run of keys takes a run
// of buckets and shares cache lines; the probe must then cope with hashes
// that differ only above the bucket index's bits (keys with a stride of a
// power of two). The home bucket is the hash's low bits; the first step adds
// the bits above them, so that keys sharing a home part at once, and each
// later step takes i * 5 + 1 plus the rest of those bits shifted down five
// more. Once they run out the steps alone visit every bucket.

struct Probe {
  int32_t i;
  uint32_t mask, perturb;
  int32_t left;  // steps until every bucket has been seen
  Probe(uint32_t hash, int32_t n)
      : i(static_cast<int32_t>(hash & static_cast<uint32_t>(n - 1))),
        mask(static_cast<uint32_t>(n - 1)),
        perturb(hash >> std::countr_zero(static_cast<uint32_t>(n))),
        left(n + 8) {}
  bool next() {  // false once every bucket has been visited
    i = static_cast<int32_t>((static_cast<uint32_t>(i) * 5 + 1 + perturb) & mask);
    perturb >>= 5;
    return --left > 0;
  }
};

int64_t grow_request(const Table* h) {
  return h->count * 2 < h->n_buckets ? h->n_buckets - 1 : int64_t{h->n_buckets} + 1;
}

// In-place resize for kinds 1 and 2: the occupied keys are re-placed in a
// fresh flags buffer; the keys buffer grows but never shrinks. Everything is
// allocated before the table changes, so an allocation that fails (or that
// collects) meets the table whole.
// Word tables hold the runtime's own records, symbols and words, and hash
// them as find_symbol and find_word probe: a symbol by its name, a word by
// its canonical symbol.
uint32_t record_hash(const Cell* c) {
  if (is_type(c, T_SYMBOL)) return hash_symbol_name(name_of(symbol_name(c)));
  return hash_pointer(static_cast<uint32_t>(resolve_symbol(word_symbol(c))));
}

void resize(Node t, int64_t request) {
  int32_t n = round_up(request);
  int32_t limit = static_cast<int32_t>(0.5 + LOAD * n);
  Table* h = table(t);
  if (h->count >= limit) return;
  if (int64_t{n} * 4 > buf_of(h->keys)->used()) {
    // The keys of the current buckets keep their places: harmless to the
    // table as it stands.
    SeriesBuf* kb = memory::expand_series(buf_of(h->keys), int64_t{n} * 4);
    kb->tail = kb->head + static_cast<Off>(n) * 4;
  }
  Node nf = new_flags(n);
  h = table(t);
  std::vector<int32_t> live;
  {
    const uint32_t* f = flags_of(h);
    const int32_t* k = keys_of(h);
    for (int32_t i = 0; i < h->n_buckets; i++)
      if (is_live(f, i)) live.push_back(k[i]);
  }
  h->flags = nf;
  uint32_t* f = flags_of(h);
  int32_t* k = keys_of(h);
  const Cell* cells = cells_of(h);
  bool words = h->kind == static_cast<int32_t>(Kind::word);
  for (int32_t key : live) {
    Probe p(words ? record_hash(cells + key) : hash_value(cells + key, false), n);
    while (!is_empty(f, p.i)) p.next();
    k[p.i] = key;
    set_live(f, p.i);
  }
  h->n_buckets = n;
  h->limit = limit;
  if (h->kind != static_cast<int32_t>(Kind::map)) h->n_occupied = h->count;
}

// ---------------------------------------------------------------------------
// Kind 0 index upkeep.

Node chain_node(const Table* h, int32_t number) {  // number is 1-based
  return array::pick_int(h->chains, number);
}

// Indexes one more cell. Returns false only when the table is full (never
// at load below 0.77).
bool insert(Node t, int32_t idx) {
  Table* h = table(t);
  Kind kind = static_cast<Kind>(h->kind);
  const Cell* key = cells_of(h) + idx;
  if (kind == Kind::block && h->stamp == 0 && address_keyed(key)) h->stamp = static_cast<int32_t>(stamp_now());
  uint8_t ktype = key->header & HDR_TYPE_MASK;
  Probe p(hash_value(key, false), h->n_buckets);
  int32_t del = -1, target = -1;
  bool joined = false;
  for (;;) {
    const uint32_t* f = flags_of(h);
    if (is_empty(f, p.i)) {
      target = del >= 0 ? del : p.i;
      break;
    }
    if (is_deleted(f, p.i)) {
      del = p.i;
    } else {
      int32_t kv = keys_of(h)[p.i];
      const Cell* cells = cells_of(h);
      if (kind == Kind::block) {
        int32_t first = kv >= 0 ? kv : static_cast<int32_t>(reinterpret_cast<const int32_t*>(
                                           buf_of(chain_node(h, -kv))->head_ptr())[0]);
        const Cell* fc = cells + first;
        if ((fc->header & HDR_TYPE_MASK) == ktype && equal(fc, cells + idx, OP_EQUAL)) {
          int32_t bucket = p.i;
          Node chain;
          if (kv >= 0) {
            chain = array::make(4, 4);
            Hold hc(chain);
            array::append_int(chain, static_cast<uint32_t>(kv));
            array::append_int(table(t)->chains, chain);
            h = table(t);
            keys_of(h)[bucket] = -static_cast<int32_t>(array::length(h->chains));
          } else {
            chain = chain_node(h, -kv);
          }
          array::append_int(chain, static_cast<uint32_t>(idx));
          h = table(t);
          target = bucket;
          joined = true;
          break;
        }
      } else if (equal(cells + kv, cells + idx, OP_STRICT)) {
        target = p.i;
        joined = true;  // already present
        break;
      }
    }
    if (!p.next()) {
      target = del;
      break;
    }
  }
  if (target < 0) return false;
  if (!joined) {
    uint32_t* f = flags_of(h);
    if (is_empty(f, target)) h->n_occupied++;
    keys_of(h)[target] = idx;
    set_live(f, target);
    h->count++;
  }
  if (kind == Kind::block) {
    if (idx >= indexes_len(h)) {
      SeriesBuf* ib = buf_of(static_cast<Node>(h->indexes));
      int32_t old = static_cast<int32_t>(ib->used());
      int64_t want = 2 * (int64_t{idx} + 1) * 4;
      if (want > ib->size) ib = memory::expand_series(ib, want);
      std::memset(ib->head_ptr() + old, 0xFF, static_cast<size_t>(want - old));
      ib->tail = ib->head + static_cast<Off>(want);
      h = table(t);
    }
    indexes_of(h)[idx] = target + 1;
  }
  return true;
}

// Drops one cell of a kind-0 index; a chain keeps its bucket while it has
// entries.
void release_cell(Table* h, int32_t idx) {
  if (idx < 0 || idx >= indexes_len(h)) return;
  int32_t* ix = indexes_of(h);
  int32_t b = ix[idx];
  if (b <= 0) return;
  ix[idx] = -1;
  int32_t i = b - 1;
  int32_t* k = keys_of(h);
  if (k[i] < 0) {
    int32_t number = -k[i];
    Node chain = chain_node(h, number);
    int64_t at = array::find_int(chain, static_cast<uint32_t>(idx));
    if (at >= 0) array::remove_at(chain, at, 4);
    if (array::length(chain) > 0) return;
    array::poke_ptr(h->chains, number, 0);
    k[i] = number;
  }
  set_deleted(flags_of(h), i);
  h->count--;
}

// Applies fn to the key of every cell in [lo, hi) once, chain entries
// included (only those inside the range).
template <class Fn>
void remap(Table* h, int32_t lo, int32_t hi, Fn fn) {
  int32_t nchains = static_cast<int32_t>(array::length(h->chains));
  std::vector<bool> done(static_cast<size_t>(nchains) + 1);
  int32_t* ix = indexes_of(h);
  int32_t* k = keys_of(h);
  int32_t n = std::min(hi, indexes_len(h));
  for (int32_t idx = std::max(lo, 0); idx < n; idx++) {
    int32_t b = ix[idx];
    if (b <= 0) continue;
    int32_t& kv = k[b - 1];
    if (kv >= 0) {
      if (kv >= lo && kv < hi) kv = fn(kv);
      continue;
    }
    int32_t number = -kv;
    if (number > nchains || done[number]) continue;
    done[number] = true;
    Node chain = chain_node(h, number);
    auto* e = reinterpret_cast<int32_t*>(array::data(chain));
    for (int64_t j = 0, m = array::length(chain); j < m; j++)
      if (e[j] >= lo && e[j] < hi) e[j] = fn(e[j]);
  }
}

// ---------------------------------------------------------------------------
// Records (kinds 3 and 4).

int32_t entry_size(const Table* h) { return h->indexes; }
// A record's first cell holds its key in word 1; the value cells follow.
Off& record_key(Cell* rec) { return payload(rec)[0]; }
Off record_key(const Cell* rec) { return payload(rec)[0]; }

Cell* record_at(const Table* h, int32_t offset) {
  return reinterpret_cast<Cell*>(buf_of(h->blk)->head_ptr() + offset);
}

// Bucket of a live record with this key, or -1; *target receives the bucket
// an insertion would take (the last deleted one passed, else the empty one).
int32_t probe_record(const Table* h, uint32_t key, int32_t* target) {
  const uint32_t* f = flags_of(h);
  const int32_t* k = keys_of(h);
  Probe p(hash_pointer(key), h->n_buckets);
  int32_t del = -1;
  for (;;) {
    if (is_empty(f, p.i)) {
      *target = del >= 0 ? del : p.i;
      return -1;
    }
    if (is_deleted(f, p.i)) del = p.i;
    else if (record_key(record_at(h, k[p.i])) == key) return *target = p.i;
    if (!p.next()) {
      *target = del;
      return -1;
    }
  }
}

// Re-places every live record in the current buckets (keys moved by node
// compaction hash elsewhere now). Allocates nothing.
void replace_records(Table* h) {
  uint32_t* f = flags_of(h);
  int32_t* k = keys_of(h);
  std::memset(f, 0xAA, static_cast<size_t>(std::max(h->n_buckets / 4, 4)));
  h->count = h->n_occupied = 0;
  int32_t size = entry_size(h);
  SeriesBuf* rb = buf_of(h->blk);
  for (int32_t off = 0; off + size <= static_cast<int32_t>(rb->used()); off += size) {
    const Cell* rec = record_at(h, off);
    if ((rec->header & HDR_TYPE_MASK) == 0) continue;
    Probe p(hash_pointer(record_key(rec)), h->n_buckets);
    while (!is_empty(f, p.i)) p.next();
    k[p.i] = off;
    set_live(f, p.i);
    h->count++;
    h->n_occupied++;
  }
}

void rebuild_records(Node t, int64_t request) {
  int32_t n = round_up(request);
  Table* h = table(t);
  Node old_blk = h->blk;
  Hold hold_old(old_blk);
  int32_t size = entry_size(h);
  int32_t live = 0;
  {
    SeriesBuf* rb = buf_of(old_blk);
    for (int32_t off = 0; off + size <= static_cast<int32_t>(rb->used()); off += size)
      if ((record_at(h, off)->header & HDR_TYPE_MASK) != 0) live++;
  }
  // The new buffers are made before the table takes any of them.
  Node nf = new_flags(n);
  Hold hold_f(nf);
  Node nk = new_keys(n);
  Hold hold_k(nk);
  Node nb = memory::alloc_series(int64_t{std::max(live, 1)} * (size / 16), 16, 0);
  h = table(t);
  h->flags = nf;
  h->keys = nk;
  h->blk = nb;
  h->n_buckets = n;
  h->limit = static_cast<int32_t>(0.5 + LOAD * n);
  // Copy the live records end to end; the new block has room for all.
  SeriesBuf* from = buf_of(old_blk);
  SeriesBuf* to = buf_of(nb);
  for (Off off = 0; off + size <= from->used(); off += size) {
    const std::byte* rec = from->head_ptr() + off;
    if ((reinterpret_cast<const Cell*>(rec)->header & HDR_TYPE_MASK) == 0) continue;
    std::memcpy(to->tail_ptr(), rec, static_cast<size_t>(size));
    to->tail += static_cast<Off>(size);
  }
  replace_records(h);
  if (h->kind == static_cast<int32_t>(Kind::node)) h->stamp = static_cast<int32_t>(stamp_now());
}

void grow_records_if_due(Node t) {
  Table* h = table(t);
  if (h->n_occupied >= h->limit) rebuild_records(t, grow_request(h));
}

void rebuild_index(Node t, int32_t n);  // kind 0, from the key block, to n buckets

// Rebuilds a stale table whose keys hash by address, before a lookup.
void refresh_if_moved(Node t) {
  Table* h = table(t);
  if (h->stamp == 0 || static_cast<uint32_t>(h->stamp) == stamp_now() || collector::collecting) return;
  NoCompaction nc;
  if (h->kind == static_cast<int32_t>(Kind::block)) {
    rehash(t, blk_len(h));
    return;
  }
  replace_records(h);
  h->stamp = static_cast<int32_t>(stamp_now());
}

}  // namespace

int (*compare)(const Cell*, const Cell*, int) = default_compare;
int32_t (*resolve_symbol)(int32_t) = identity;
void (*normalize_map_key)(Cell*) = no_normalize;

// ---------------------------------------------------------------------------
// Hashes

uint32_t murmur3(const void* bytes, size_t length) {
  auto* p = static_cast<const uint8_t*>(bytes);
  return murmur_bytes(length, [p](size_t i) -> uint32_t { return p[i]; });
}

uint32_t hash_pointer(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

namespace {
Hasher hashers[256];
bool by_address[256];
}  // namespace

void set_hashing(int type, Hasher hash, bool address) {
  hashers[type & 0xFF] = hash;
  by_address[type & 0xFF] = address;
}

uint32_t hash_value(const Cell* c, bool case_sensitive) {
  Hasher h = hashers[c->header & HDR_TYPE_MASK];
  return h ? h(c, case_sensitive) : 0;
}

bool address_keyed(const Cell* c) { return by_address[c->header & HDR_TYPE_MASK]; }

// ---------------------------------------------------------------------------
// Making

Node init(int32_t size, const Cell* blk, Kind kind, int extra) {
  NoCompaction nc;
  if (kind == Kind::word && extra == 2 && blk) {
    Node src = context_table(blk);
    Node nb = memory::copy_series(buf_of(table(src)->blk));
    Hold hb(nb);
    return copy(src, nb);
  }
  Node given = blk ? series_node(blk) : 0;
  if (size < 4) size = 4;
  if (kind == Kind::word && size >= 4000) size *= 2;
  int32_t n = round_up(static_cast<int64_t>(size / LOAD));

  Node t = memory::alloc_filled(sizeof(Table), 0);
  buf_of(t)->tail = buf_of(t)->head + sizeof(Table);
  Hold ht(t, true);
  {
    Table* h = table(t);
    h->kind = static_cast<int32_t>(kind);
    h->n_buckets = n;
    h->limit = static_cast<int32_t>(LOAD * n);
  }
  Node f = new_flags(n);
  table(t)->flags = f;
  Node k = new_keys(n);
  table(t)->keys = k;
  if (kind == Kind::block) {
    Node ix = memory::alloc_filled(int64_t{size} * 4, 0xFF);
    buf_of(ix)->tail = buf_of(ix)->head + static_cast<Off>(size) * 4;
    table(t)->indexes = static_cast<int32_t>(ix);
    Node ch = array::make(4, 4);
    table(t)->chains = ch;
  }
  if (kind == Kind::ptr || kind == Kind::node) {
    table(t)->indexes = (extra + 1) * 16;
    Node rb = memory::alloc_series(size, 16, 0);
    table(t)->blk = rb;
  } else if (given) {
    table(t)->blk = given;
  } else {
    Node kb = memory::alloc_series(size, 16, 0);
    table(t)->blk = kb;
  }
  return t;
}

// ---------------------------------------------------------------------------
// Kinds 0-2: keys in the key block

Cell* put_key(Node t, Cell* key, int* status) {
  NoCompaction nc;
  *status = 0;
  Table* h = table(t);
  int32_t idx = static_cast<int32_t>(key - cells_of(h));
  if (h->n_occupied >= h->limit) {
    int64_t req = grow_request(h);
    switch (static_cast<Kind>(h->kind)) {
      case Kind::block:
        // The rebuild indexes every cell of the block, this one included.
        // A mostly deleted table keeps its size: it only needs cleaning.
        if (req < h->n_buckets) rebuild_index(t, h->n_buckets);
        else rehash(t, static_cast<int32_t>(req));
        *status = 2;
        return cells_of(table(t)) + idx;
      case Kind::map:
        resize(t, int64_t{h->n_buckets} + 1);
        break;
      default:
        resize(t, req);
        break;
    }
  }
  insert(t, idx);
  return cells_of(table(t)) + idx;
}

Cell* put(Node t, Cell* key) {
  int status;
  return put_key(t, key, &status);
}

void put_all(Node t, int32_t start, int32_t step) {
  NoCompaction nc;
  if (step < 1) step = 1;
  Kind kind = static_cast<Kind>(table(t)->kind);
  if (kind != Kind::map) {
    for (int32_t i = start; i < blk_len(table(t)); i = counts::add(i, step)) {
      int status;
      put_key(t, cells_of(table(t)) + i, &status);
      if (status == 2) return;
    }
    return;
  }
  for (int32_t i = start; i + 1 < blk_len(table(t));) {
    Cell key = cells_of(table(t))[i];
    Cell* found = find(t, &key, 0, 1, OP_STRICT, false, false);
    if (!found) {
      put(t, cells_of(table(t)) + i);
      normalize_map_key(cells_of(table(t)) + i);
      i = counts::add(i, step);
      continue;
    }
    // A later pair wins: its value goes to the first key, the pair goes.
    Table* h = table(t);
    Cell* cells = cells_of(h);
    if ((found[1].header & HDR_TYPE_MASK) == 0) h->count++;  // a removed key comes back
    found[1] = cells[i + 1];
    SeriesBuf* b = buf_of(h->blk);
    std::memmove(cells + i, cells + i + 2, (b->cell_count() - i - 2) * sizeof(Cell));
    b->tail -= 2 * sizeof(Cell);
  }
}

// The key is compared first, the stored cell second, as a block's find
// compares its value with each cell (some comparisons are not symmetric: a
// generic amount matches an amount in a currency under find's test).
Cell* find(Node t, const Cell* key, int32_t from, int32_t skip, int op, bool last, bool reverse) {
  Cell k = *key;
  refresh_if_moved(t);
  const Table* h = table(t);
  Kind kind = static_cast<Kind>(h->kind);
  uint8_t kt = k.header & HDR_TYPE_MASK;
  if (kind == Kind::map && (kt == T_WORD || kt == T_GET_WORD || kt == T_LIT_WORD)) {
    set_type(&k, T_SET_WORD);
    kt = T_SET_WORD;
  }
  if (reverse) last = true;
  if (skip == 0) skip = 1;
  int32_t askip = skip < 0 ? counts::neg(skip) : skip;
  Cell* cells = cells_of(h);
  const uint32_t* f = flags_of(h);
  const int32_t* keys = keys_of(h);
  const int32_t none = last ? -1 : blk_len(h);
  // Cells of different types that are equal (a word and a lit-word of the
  // same name) sit in separate groups along one probe sequence, so the
  // winner is chosen across every group, as a block's find would.
  int32_t best = none;
  auto answer = [&]() -> Cell* { return kind == Kind::block && best != none ? cells + best : nullptr; };
  Probe p(hash_value(&k, false), h->n_buckets);
  for (;;) {
    if (is_empty(f, p.i)) return answer();
    if (is_live(f, p.i)) {
      int32_t kv = keys[p.i];
      if (kind != Kind::block) {
        Cell* c = cells + kv;
        if ((c->header & HDR_TYPE_MASK) == kt && equal(&k, c, op)) return c;
      } else {
        const int32_t* group = &kv;
        int64_t m = 1;
        if (kv < 0) {
          Node chain = chain_node(h, -kv);
          group = reinterpret_cast<const int32_t*>(array::data(chain));
          m = array::length(chain);
        }
        if (m > 0 && equal(&k, cells + group[0], OP_EQUAL)) {
          for (int64_t j = 0; j < m; j++) {
            int32_t idx = group[j];
            bool candidate = reverse ? idx < from : idx >= from;
            if (!candidate || !equal(&k, cells + idx, op)) continue;
            int32_t off = last ? from - 1 - idx : idx - from;
            int32_t r = off % askip;
            if (r < 0) r += askip;
            if (r != 0) continue;
            if (last ? idx > best : idx < best) best = idx;
          }
        }
      }
    }
    if (!p.next()) return answer();
  }
}

Cell* find_next(Node t, const Cell* key, int32_t* pos, int32_t* end, int32_t* step) {
  Cell k = *key;
  const Table* h = table(t);
  // The probe's state between calls: the bucket to look at next, its
  // unused hash bits, its steps left.
  Probe p(hash_value(&k, false), h->n_buckets);
  if (*pos >= 0) {
    if (*step <= 0) return nullptr;
    p.i = *pos;
    p.perturb = static_cast<uint32_t>(*end);
    p.left = *step;
  }
  const uint32_t* f = flags_of(h);
  Cell* cells = cells_of(h);
  for (;;) {
    if (is_empty(f, p.i)) {
      *pos = p.i;
      *step = 0;
      return nullptr;
    }
    Cell* c = nullptr;
    if (is_live(f, p.i)) {
      Cell* kc = cells + keys_of(h)[p.i];
      if ((kc->header & HDR_TYPE_MASK) == (k.header & HDR_TYPE_MASK) && equal(kc, &k, OP_EQUAL))
        c = kc;
    }
    bool more = p.next();
    *pos = p.i;
    *end = static_cast<int32_t>(p.perturb);
    *step = more ? p.left : 0;
    if (c) return c;
    if (!more) return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Index upkeep

void delete_key(Node t, const Cell* key) {
  Table* h = table(t);
  int32_t idx = static_cast<int32_t>(key - cells_of(h));
  if (h->kind == static_cast<int32_t>(Kind::map)) {
    Cell* value = cells_of(h) + idx + 1;
    if ((value->header & HDR_TYPE_MASK) != 0) {
      value->header = 0;
      h->count--;
    }
    return;
  }
  if (h->kind == static_cast<int32_t>(Kind::block)) release_cell(h, idx);
}

void remove_range(Node t, int32_t from, int32_t count) {
  Table* h = table(t);
  int32_t len = blk_len(h);
  if (from < 0 || from >= len || count <= 0) return;
  count = std::min(count, len - from);
  if (from == 0 && count == len) {
    h->count = h->n_occupied = 0;
    std::memset(flags_of(h), 0xAA, static_cast<size_t>(std::max(h->n_buckets / 4, 4)));
    std::memset(indexes_of(h), 0xFF, static_cast<size_t>(indexes_len(h)) * 4);
    array::clear(h->chains);
    return;
  }
  for (int32_t i = from; i < from + count; i++) release_cell(h, i);
}

int refresh_range(Node t, int32_t offset, int32_t from, int32_t count, bool move_indexes) {
  if (count > REFRESH_MAX) return 1;
  NoCompaction nc;
  Table* h = table(t);
  if (move_indexes && offset < 0)
    for (int32_t i = from + offset; i < from; i++) release_cell(h, i);
  remap(h, from, from + count, [offset](int32_t e) { return e + offset; });
  if (!move_indexes || offset == 0) return 0;
  if (offset < 0) {
    int32_t n = std::min(from + count, indexes_len(h));
    int32_t* ix = indexes_of(h);
    int32_t lo = std::max(from + offset, 0);
    if (n > from) {
      std::memmove(ix + lo, ix + from, static_cast<size_t>(n - from) * 4);
      std::fill(ix + lo + (n - from), ix + n, -1);
    }
    return 0;
  }
  int32_t need = from + count + offset;
  if (need > indexes_len(h)) {
    SeriesBuf* ib = buf_of(static_cast<Node>(h->indexes));
    int32_t old = static_cast<int32_t>(ib->used());
    int64_t want = int64_t{need} * 8;
    if (want > ib->size) ib = memory::expand_series(ib, want);
    std::memset(ib->head_ptr() + old, 0xFF, static_cast<size_t>(want - old));
    ib->tail = ib->head + static_cast<Off>(want);
    h = table(t);
  }
  int32_t* ix = indexes_of(h);
  int32_t n = std::min(from + count, indexes_len(h) - offset);
  if (n > from) std::memmove(ix + from + offset, ix + from, static_cast<size_t>(n - from) * 4);
  std::fill(ix + from, ix + from + offset, -1);
  return 0;
}

// The run [from, from + count) comes to start at `to`; the cells in between
// shift the other way by count.
void move_range(Node t, int32_t to, int32_t from, int32_t count) {
  if (count <= 0 || (to >= from && to < from + count)) return;
  Table* h = table(t);
  int32_t lo = std::min(to, from), hi = std::max(to, from) + count;
  int32_t d = to - from;
  remap(h, lo, hi, [=](int32_t e) {
    if (e >= from && e < from + count) return e + d;
    return d < 0 ? e + count : e - count;
  });
  int32_t n = indexes_len(h);
  if (hi > n) return;  // cells beyond the index were never put
  int32_t* ix = indexes_of(h);
  if (d < 0) std::rotate(ix + to, ix + from, ix + from + count);
  else std::rotate(ix + from, ix + from + count, ix + to + count);
}

void rehash(Node t, int32_t size) { rebuild_index(t, round_up(int64_t{size} * 3 / 2)); }

namespace {

void rebuild_index(Node t, int32_t n) {
  NoCompaction nc;
  for (;;) {
    if (n < 4) n = 4;
    int32_t limit = static_cast<int32_t>(LOAD * n);
    // Both buffers are made before the table takes either.
    Node f = new_flags(n);
    Hold hold_f(f);
    Node k = new_keys(n);
    Table* h = table(t);
    h->stamp = 0;
    h->count = h->n_occupied = 0;
    array::clear(h->chains);
    h->flags = f;
    h->keys = k;
    h->n_buckets = n;
    h->limit = limit;
    std::memset(indexes_of(h), 0xFF, static_cast<size_t>(indexes_len(h)) * 4);
    bool fits = true;
    for (int32_t i = 0; i < blk_len(table(t)) && fits; i++) {
      if (table(t)->n_occupied >= n - 1) fits = false;  // undersized: start again larger
      else insert(t, i);
    }
    if (fits) return;
    // Undersized for the block (cells appended but not yet put): size by it.
    if (n == MAX_BUCKETS) raise_internal(InternalError::no_memory);
    n = std::max(round_up(int64_t{n} * 2), round_up(int64_t{blk_len(table(t))} * 3 / 2));
  }
}

}  // namespace

Node copy(Node t, Node new_blk) {
  NoCompaction nc;
  Hold hb(new_blk);
  Node nt = memory::copy_series(buf_of(t));
  Hold hn(nt, true);
  Node f = memory::copy_series(buf_of(table(nt)->flags));
  table(nt)->flags = f;
  Node k = memory::copy_series(buf_of(table(nt)->keys));
  table(nt)->keys = k;
  table(nt)->blk = new_blk;
  if (table(nt)->kind == static_cast<int32_t>(Kind::block)) {
    Node ix = memory::copy_series(buf_of(static_cast<Node>(table(nt)->indexes)));
    table(nt)->indexes = static_cast<int32_t>(ix);
    // The copy gets chains of its own: shared ones would let edits of one
    // value disturb the other's index.
    Node ch = array::copy(table(nt)->chains);
    table(nt)->chains = ch;
    for (int64_t i = 1, m = array::length(ch); i <= m; i++) {
      Node c = array::pick_int(table(nt)->chains, i);
      if (!c) continue;
      Node cc = array::copy(c);
      array::poke_ptr(table(nt)->chains, i, cc);
    }
  }
  return nt;
}

void clear(Node t) {
  Table* h = table(t);
  h->count = h->n_occupied = 0;
  SeriesBuf* b = buf_of(h->blk);
  b->tail = b->head;
  std::memset(flags_of(h), 0xAA, static_cast<size_t>(std::max(h->n_buckets / 4, 4)));
  if (h->kind == static_cast<int32_t>(Kind::block)) {
    std::memset(indexes_of(h), 0xFF, static_cast<size_t>(indexes_len(h)) * 4);
    array::clear(h->chains);
  }
}

// ---------------------------------------------------------------------------
// Records

Cell* put_ptr(Node t, uint32_t key) {
  NoCompaction nc;
  refresh_if_moved(t);
  grow_records_if_due(t);
  Table* h = table(t);
  int32_t target;
  int32_t found = probe_record(h, key, &target);
  int32_t size = entry_size(h);
  int32_t off;
  if (found >= 0) {
    off = keys_of(h)[found];
  } else {
    if (target < 0) return nullptr;  // cannot happen below the load limit
    if (is_deleted(flags_of(h), target)) {
      off = keys_of(h)[target];
    } else {
      SeriesBuf* rb = buf_of(h->blk);
      off = static_cast<int32_t>(rb->used());
      memory::alloc_tail(rb, size);
      h = table(t);
      h->n_occupied++;
    }
    keys_of(h)[target] = off;
    set_live(flags_of(h), target);
    h->count++;
    if (h->kind == static_cast<int32_t>(Kind::node) && h->stamp == 0) h->stamp = static_cast<int32_t>(stamp_now());
  }
  Cell* rec = record_at(h, off);
  record_key(rec) = key;
  for (int32_t i = 0; i < size / 16; i++) rec[i].header = T_UNSET;
  return rec + 1;
}

Cell* get_ptr(Node t, uint32_t key) {
  refresh_if_moved(t);
  const Table* h = table(t);
  int32_t target;
  int32_t found = probe_record(h, key, &target);
  return found < 0 ? nullptr : record_at(h, keys_of(h)[found]) + 1;
}

Cell* remove_ptr(Node t, uint32_t key) {
  refresh_if_moved(t);
  Table* h = table(t);
  int32_t target;
  int32_t found = probe_record(h, key, &target);
  if (found < 0) return nullptr;
  set_deleted(flags_of(h), found);
  h->count--;
  Cell* rec = record_at(h, keys_of(h)[found]);
  rec->header = 0;
  return rec + 1;
}

// ---------------------------------------------------------------------------
// Symbols and words

int32_t find_symbol(Node t, std::string_view name, bool any_case) {
  NoCompaction nc;
  Table* h = table(t);
  if (h->n_occupied >= h->limit) resize(t, grow_request(h) * 16);
  h = table(t);
  uint32_t hash = hash_symbol_name(name);
  const uint32_t* f = flags_of(h);
  const int32_t* k = keys_of(h);
  const Cell* cells = cells_of(h);
  int32_t empty = -1;
  // Spellings that differ in case hash alike: the first one met on the way
  // is the alias a new symbol gets.
  int32_t alias = -1;
  Probe p(hash, h->n_buckets);
  for (;;) {
    if (is_empty(f, p.i)) {
      empty = p.i;
      break;
    }
    if (is_live(f, p.i)) {
      std::string_view s = name_of(symbol_name(&cells[k[p.i]]));
      if (any_case ? ascii_ieq(s, name) : s == name) return k[p.i] + 1;
      if (alias < 0 && !any_case && ascii_ieq(s, name)) alias = k[p.i] + 1;
    }
    if (!p.next()) break;
  }
  // Full: only a table at its largest size fills up.
  if (empty < 0) raise_internal(InternalError::no_memory);

  // A new record: made unset!, so that a collection while the name is
  // allocated skips it; typed last.
  int32_t idx = blk_len(h);
  Cell* rec = memory::alloc_tail_cell(buf_of(h->blk));
  set_unset(rec);
  Node nm = memory::alloc_bytes(static_cast<int64_t>(name.size()) + 1);
  SeriesBuf* nb = buf_of(nm);
  std::memcpy(nb->head_ptr(), name.data(), name.size());
  nb->head_ptr()[name.size()] = std::byte{0};
  nb->tail = nb->head + static_cast<Off>(name.size());
  h = table(t);
  rec = cells_of(h) + idx;
  make_symbol(rec, alias, nm);
  keys_of(h)[empty] = idx;
  set_live(flags_of(h), empty);
  h->count++;
  h->n_occupied++;
  return idx + 1;
}

int32_t find_word(Node t, int32_t symbol, bool any_case, Node context, int32_t* index) {
  NoCompaction nc;
  Table* h = table(t);
  int32_t canon = resolve_symbol(symbol);
  const uint32_t* f = flags_of(h);
  const int32_t* k = keys_of(h);
  const Cell* cells = cells_of(h);
  int32_t empty = -1;
  Probe p(hash_pointer(static_cast<uint32_t>(canon)), h->n_buckets);
  for (;;) {
    if (is_empty(f, p.i)) {
      empty = p.i;
      break;
    }
    if (is_live(f, p.i)) {
      // The same spelling matches either way; another only by its
      // canonical symbol, and only when case does not count.
      int32_t id = word_symbol(&cells[k[p.i]]);
      if (id == symbol || (any_case && resolve_symbol(id) == canon)) {
        if (index) *index = k[p.i];
        return k[p.i];
      }
    }
    if (!p.next()) break;
  }
  if (!context) return -1;
  // Grown only when a word is added; the grown table is probed afresh for
  // the slot.
  if (h->n_occupied >= h->limit) {
    resize(t, grow_request(h) * 16);
    h = table(t);
    f = flags_of(h);
    p = Probe(hash_pointer(static_cast<uint32_t>(canon)), h->n_buckets);
    for (empty = -1;; ) {
      if (is_empty(f, p.i)) {
        empty = p.i;
        break;
      }
      if (!p.next()) break;
    }
  }
  if (empty < 0) raise_internal(InternalError::no_memory);  // full at its largest size
  int32_t idx = blk_len(h);
  Cell* w = memory::alloc_tail_cell(buf_of(h->blk));
  make_word_cell(w, T_WORD, context, symbol, idx);
  h = table(t);
  keys_of(h)[empty] = idx;
  set_live(flags_of(h), empty);
  h->count++;
  h->n_occupied++;
  if (index) *index = idx;
  return -1;
}

// ---------------------------------------------------------------------------
// Collector

void mark(Node* ref) {
  if (!collector::mark_series(ref)) return;  // null, or marked already
  Table* h = table(*ref);
  Kind kind = static_cast<Kind>(h->kind);
  if (kind == Kind::block) {
    collector::mark_series(reinterpret_cast<Off*>(&h->indexes));
    if (h->chains && collector::mark_series(&h->chains)) {
      SeriesBuf* cb = buf_of(h->chains);
      auto* e = reinterpret_cast<Off*>(cb->head_ptr());
      for (uint32_t i = 0, n = cb->used() / 4; i < n; i++)
        if (e[i]) collector::mark_series(&e[i]);
    }
  }
  collector::mark_series(&h->flags);
  collector::mark_series(&h->keys);
  if (kind != Kind::node) {
    collector::mark_node(&h->blk);
    return;
  }
  // Weak: the records' keys and cells are only corrected, not marked;
  // sweep_records drops the records of dead series.
  if (!collector::mark_series(&h->blk) || !h->blk) return;
  SeriesBuf* rb = buf_of(h->blk);
  int32_t size = entry_size(h);
  for (Off off = 0; size > 0 && off + size <= rb->used(); off += size) {
    Cell* rec = reinterpret_cast<Cell*>(rb->head_ptr() + off);
    if ((rec->header & HDR_TYPE_MASK) != 0) collector::redirect(&record_key(rec));
  }
}

void sweep_records(Node t) {
  Table* h = table(t);
  int32_t size = entry_size(h);
  bool by_node = h->kind == static_cast<int32_t>(Kind::node);
  SeriesBuf* rb = buf_of(h->blk);
  for (Off off = 0; size > 0 && off + size <= rb->used(); off += size) {
    Cell* rec = reinterpret_cast<Cell*>(rb->head_ptr() + off);
    if ((rec->header & HDR_TYPE_MASK) == 0) continue;
    bool dead = by_node && !collector::is_marked(record_key(rec));
    if (by_node && !dead && size >= 48) {
      Cell* owner = rec + 2;
      uint8_t ot = owner->header & HDR_TYPE_MASK;
      if ((ot == T_OBJECT || ot == T_ERROR || ot == T_PORT) && object_context(owner)) {
        collector::redirect(object_context_ref(owner));
        dead = !collector::is_marked(object_context(owner));
      }
    }
    if (dead) {
      uint32_t key = record_key(rec);
      remove_ptr(t, key);
      // Every cell goes: a dead owner left behind would be a reference to a
      // freed node for whoever marks the whole block (a rebuild holds it).
      std::fill(rec, rec + size / 16, Cell{0, 0, 0, 0});
    } else if (by_node) {
      // Everything a live record holds is reachable already; marking its
      // cells corrects references to nodes that compaction moved.
      collector::mark_cells(rec + 1, rec + size / 16);
    }
  }
}

}  // namespace xeb::hashtable
