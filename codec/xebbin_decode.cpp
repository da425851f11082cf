// The Xebbin decoder: reads a stream of either layout into values appended
// to a target block. Every read is checked against the end of the input and
// every count against the bytes left, so a hostile stream ends in a
// language error, never a read outside the input or an allocation its
// bytes do not justify.
//
// Records emit their cell into the target before reading their contents, so
// a path in those contents can already reach the record (a block holding
// itself). Cells are re-found by position after each allocation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "codec/lz.h"
#include "codec/xebbin.h"
#include "codec/xebbin_format.h"
#include "datatypes/typeset.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/init.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "platform/bytes.h"
#include "runtime/collector.h"
#include "runtime/exit.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/shapes.h"

namespace xeb::xebbin {

namespace {

// Where records go: appended to a block-like holder, or stored into the
// context values of an object!/error! holder from `slot` on. The holder is
// rooted (data stack).
struct Target {
  Cell* holder;
  int32_t slot = -1;
};

bool valid_utf8(const uint8_t* p, size_t n) {
  const uint8_t* e = p + n;
  // ASCII, as nearly every name is, eight bytes at a time.
  for (uint64_t x; e - p >= 8; p += 8) {
    std::memcpy(&x, p, 8);
    if (x & 0x8080808080808080) break;
  }
  while (p < e && *p < 0x80) p++;
  while (p < e) {
    uint8_t c = *p;
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!len || e - p < len || (len == 2 && c < 0xC2)) return false;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int i = 1; i < len; i++) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (p[i] & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    p += len;
  }
  return true;
}

[[noreturn]] void boot_failure(const char* why, long offset) {
  if (offset > 0) std::fprintf(stderr, "Error: corrupt boot image: %s at index %ld\n", why, offset);
  else std::fprintf(stderr, "Error: corrupt boot image: %s\n", why);
  exit_process(1);
}

struct Decoder {
  const uint8_t* start;  // error offsets count from here
  const uint8_t* p;
  const uint8_t* end;
  bool compact = false;
  bool codec = true;
  const uint8_t* offsets = nullptr;  // the symbol table, in the input
  const uint8_t* names = nullptr;
  uint32_t symbol_count = 0;
  uint32_t names_size = 0;
  // Per symbol of the table, side by side for the leaf reader: the interned
  // id (0 until a record names it) and the word's index in the global
  // context (-2 until known).
  struct Interned {
    int32_t sym = 0;
    int32_t global = -2;
  };
  std::vector<Interned> symbols;
  Cell* deferred = nullptr;      // a block of functions whose context is checked at the end
  Cell* root = nullptr;
  uint32_t root_base = 0;
  Node global_ctx = context::global();
  int depth = 0;
  // Cells reserved ahead for counts the stream states: nested records each
  // claim up to the bytes left, so what is reserved on trust is bounded by
  // the payload once, and the rest grows as records actually arrive.
  uint64_t reserve_budget = 0;

  int32_t reserve(uint32_t n) {
    uint32_t r = static_cast<uint32_t>(std::min<uint64_t>(n, reserve_budget));
    reserve_budget -= r;
    return static_cast<int32_t>(r);
  }

  // --- Reading fields ---------------------------------------------------------

  [[noreturn]] void bad() const {
    long offset = static_cast<long>(p - start) + 1;
    if (!codec) boot_failure("invalid record", offset);
    Cell n = integer::make_cell(static_cast<int32_t>(offset));
    fire(Err::xb_invalid_record, &n);
  }
  uint64_t left() const { return static_cast<uint64_t>(end - p); }
  uint8_t u8() {
    if (p >= end) bad();
    return *p++;
  }
  uint32_t varint() {
    uint32_t v = 0;
    for (int i = 0; i < 5; i++) {
      uint8_t b = u8();
      if (i == 4 && (b & 0xF0)) {
        p--;  // the offset names the byte at fault
        bad();
      }
      v |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return v;
    }
    bad();
  }
  int32_t zigzag() {
    uint32_t v = varint();
    return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1)));
  }
  uint32_t le32() {
    if (left() < 4) bad();
    uint32_t v = platform::load_le32(p);
    p += 4;
    return v;
  }
  uint32_t field() { return compact ? varint() : le32(); }
  int32_t sfield() { return compact ? zigzag() : static_cast<int32_t>(le32()); }
  // A count of records or items that each take at least one field: never
  // more than the bytes left can hold.
  uint32_t count() {
    uint32_t n = field();
    if (n > left() / (compact ? 1 : 4)) bad();
    return n;
  }
  // n raw bytes (fixed layout: and the padding to a word).
  const uint8_t* bytes(uint64_t n) {
    if (n > left()) bad();
    const uint8_t* q = p;
    p += n;
    if (!compact) {
      uint64_t pad = (4 - n % 4) % 4;
      if (pad > left()) bad();
      p += pad;
    }
    return q;
  }
  double double_halves(bool low_first) {
    uint32_t a = le32(), b = le32();
    uint64_t bits = low_first ? (uint64_t(b) << 32 | a) : (uint64_t(a) << 32 | b);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }
  int32_t head_field(bool ext) {
    uint32_t h = compact ? (ext ? varint() : 0) : le32();
    if (h > INT32_MAX) bad();
    return static_cast<int32_t>(h);
  }

  int32_t symbol(uint32_t i) {
    if (i >= symbol_count) bad();
    if (symbols[i].sym) return symbols[i].sym;
    const uint8_t* o = offsets + 4 * size_t{i};
    uint32_t off = uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16 | uint32_t(o[3]) << 24;
    if (off >= names_size) bad();
    const char* s = reinterpret_cast<const char*>(names + off);
    size_t n = strnlen(s, names_size - off);  // the buffer ends in a NUL
    if (!valid_utf8(names + off, n)) bad();  // an empty name is an issue made from ""
    return symbols[i].sym = symbol::make(std::string_view(s, n));
  }

  // --- Targets ------------------------------------------------------------------

  int32_t emit(Target& t, Cell c) {
    c.header &= ~HDR_NEW_LINE;
    if (t.slot < 0) {
      *memory::new_tail_cell(t.holder) = c;
      return static_cast<int32_t>(block::buf(t.holder)->cell_count()) - 1;
    }
    Node ctx = object::context_of(t.holder);
    if (t.slot >= context::size(ctx)) bad();
    context::values(ctx)[t.slot] = c;
    return t.slot;
  }
  Cell* at(const Target& t, int32_t pos) {
    if (t.slot < 0) return block::buf(t.holder)->cells() + pos;
    return context::values(object::context_of(t.holder)) + pos;
  }

  // --- Paths ----------------------------------------------------------------------

  // One step into a value: the cell at index i of the buffer it stands for.
  Cell step(const Cell& c, uint64_t i) {
    TypeId t = type_of(&c);
    auto in_block = [&](Node n) -> Cell {
      SeriesBuf* b = buf_of(n);
      if (i >= b->cell_count()) bad();
      return b->cells()[i];
    };
    auto function_part = [&](const Cell& f) -> Cell {
      if (i == 0) return Cell{T_BLOCK, 0, function::spec_node(&f), 0};
      if (i == 1) return function::more(&f)[0];
      bad();
    };
    auto context_values = [&](Node ctx, uint64_t first) -> Cell {
      if (!ctx || context::on_stack(ctx) || !context::values(ctx)) bad();
      if (i + first >= static_cast<uint64_t>(context::size(ctx))) bad();
      return context::values(ctx)[i + first];
    };
    if (series::block_like(t) || t == T_MAP) return in_block(series::node_of(&c));
    if (any_word(t)) {
      Node ctx = word_context(&c);
      Cell* own = ctx ? context::owner(ctx) : nullptr;
      if (own && is_type(own, T_FUNCTION) && object_context(own) == ctx) return function_part(*own);
      return context_values(ctx, 0);
    }
    switch (t) {
      case T_NATIVE: case T_ACTION: return in_block(native::spec_node(&c));
      case T_FUNCTION: return function_part(c);
      case T_OP:
        if (native::wrapped_type(&c) != T_FUNCTION) bad();
        return function_part(c);
      case T_OBJECT: return context_values(object::context_of(&c), 0);
      case T_ERROR: return context_values(object::context_of(&c), error::F_ARG1);
      default: bad();
    }
  }

  Cell path() {
    uint32_t n = field();
    if (n < 1 || n > MAX_PATH || n > left()) bad();
    std::vector<uint32_t> steps(n);
    for (uint32_t k = 0; k < n; k++) steps[k] = field();
    Cell cur = *root;
    for (uint32_t k = 0; k < n; k++) cur = step(cur, steps[k] + uint64_t{k == 0 ? root_base : 0});
    return cur;
  }
  // The path of a shared record (fixed layout: a back-reference record).
  Cell shared_path() {
    if (!compact && le32() != F_BACKREF) bad();
    return path();
  }
  // The context a shared word or owner refers to through a value that has it.
  Node context_from(const Cell& r) {
    TypeId t = type_of(&r);
    Node ctx = 0;
    if (any_word(t)) ctx = word_context(&r);
    else if (t == T_OBJECT) ctx = object::context_of(&r);
    else if (t == T_FUNCTION || (t == T_OP && native::wrapped_type(&r) == T_FUNCTION)) ctx = function::context_of(&r);
    if (!ctx) bad();
    return ctx;
  }

  // --- Records --------------------------------------------------------------------

  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
  };

  void record(Target& t) {
    Depth guard(depth);
    if (depth > MAX_DEPTH) bad();
    bool nl = false, shared = false, set = false, ext = false;
    uint32_t h = 0, type;
    if (compact) {
      uint8_t b;
      for (;;) {
        b = u8();
        if (b == P_NEW_LINE) nl = true;
        else if (b == P_SHARED) shared = true;
        else if (b == P_SET && !codec) set = true;
        else break;
      }
      if (b >= 0x80) {
        if (shared || set) bad();
        Cell c;
        if (b <= 0xBF) c = integer::make_cell(b - H_INT_FIRST);
        else if (b == H_TRUE) c = fixed_true;
        else if (b == H_FALSE) c = fixed_false;
        else if (b == H_BACKREF) c = path();
        else bad();
        finish(t, emit(t, c), nl);
        return;
      }
      type = b & H_TYPE_MASK;
      if (type == H_TYPE_FOLLOWS) type = varint();
      ext = (b & H_EXT) != 0;
      // The commonest record by far, in either mode: a word of the global
      // context, neither shared nor set.
      if (!ext && !shared && !set && any_word(static_cast<TypeId>(type))) {
        finish(t, emit(t, global_word(field(), static_cast<TypeId>(type))), nl);
        return;
      }
    } else {
      do h = le32();
      while (h == 0);  // padding words
      type = h & F_TYPE_MASK;
      if (type == F_BACKREF) {
        Cell c = path();
        finish(t, emit(t, c), false);
        return;
      }
      nl = (h & F_NEW_LINE) != 0;
      shared = type != T_OP && (h & F_SHARED);
      set = !codec && any_word(static_cast<TypeId>(type)) && (h & F_GLOBAL_OR_SET);
    }
    if (type == 0 || type > T_LAST) bad();
    if (set && !(any_word(static_cast<TypeId>(type)) || type == T_ISSUE)) bad();
    if (type == T_ISSUE) set = false;
    int32_t pos = body(t, static_cast<TypeId>(type), ext, h, shared, set);
    if (pos >= 0) finish(t, pos, nl);
  }

  void finish(Target& t, int32_t pos, bool nl) {
    if (nl) at(t, pos)->header |= HDR_NEW_LINE;
  }

  // The record's body; answers the position of the cell it emitted, or -1
  // when it left none (a boot-mode set).
  int32_t body(Target& t, TypeId type, bool ext, uint32_t h, bool shared, bool set) {
    auto scalar_only = [&] {
      if (shared) bad();
    };
    switch (type) {
      case T_UNSET: case T_NONE:
        scalar_only();
        return emit(t, Cell{type, 0, 0, 0});
      case T_DATATYPE: {
        scalar_only();
        uint32_t id = field();
        if (id < 1 || id > static_cast<uint32_t>(datatype::highest) || !datatype::entries[id].name || id == T_SYMBOL ||
            id == T_CONTEXT || id == T_SERIES)
          bad();
        return emit(t, datatype::make_cell(static_cast<int>(id)));
      }
      case T_LOGIC:
        scalar_only();
        if (compact) bad();
        return emit(t, le32() ? fixed_true : fixed_false);
      case T_CHAR: {
        scalar_only();
        uint32_t cp = field();
        if (cp > static_cast<uint32_t>(char_::MAX_CODE_POINT)) bad();
        return emit(t, char_::make_cell(static_cast<int32_t>(cp)));
      }
      case T_INTEGER:
        scalar_only();
        return emit(t, integer::make_cell(sfield()));
      case T_FLOAT: case T_TIME: case T_PERCENT: {
        scalar_only();
        double d;
        if (compact && ext) {
          int32_t n = zigzag();
          d = type == T_PERCENT ? n / 100.0 : static_cast<double>(n);
        } else {
          d = double_halves(compact);
        }
        if (type == T_TIME && !std::isfinite(d)) bad();  // no time is infinite
        Cell c{type, 0, 0, 0};
        put_double(&c, d);
        return emit(t, c);
      }
      case T_DATE: {
        scalar_only();
        int32_t packed = static_cast<int32_t>(le32());
        bool time = date::has_time(packed);
        if (compact && ext != time) bad();
        double secs = compact ? (time ? double_halves(true) : 0.0) : double_halves(false);
        if (!date::valid(packed, secs)) bad();
        return emit(t, date::make_cell(packed, secs));
      }
      case T_MONEY: {
        scalar_only();
        const uint8_t* b = bytes(12);
        uint8_t digits[11];
        for (int i = 0; i < 11; i++) {
          digits[i] = b[1 + i];
          if ((digits[i] >> 4) > 9 || (digits[i] & 15) > 9) bad();
        }
        Cell c;
        money::make_at(&c, compact ? ext : (h & F_MONEY_NEG) != 0, b[0], digits);
        return emit(t, c);
      }
      case T_PAIR: {
        scalar_only();
        int32_t x = sfield();
        int32_t y = sfield();
        return emit(t, pair::make_cell(x, y));
      }
      case T_POINT2D: case T_POINT3D: {
        scalar_only();
        Cell c{type, 0, 0, 0};
        for (int i = 0; i < (type == T_POINT3D ? 3 : 2); i++) {
          uint32_t bits = le32();
          float f;
          std::memcpy(&f, &bits, 4);
          point::set_coord(&c, i, f);
        }
        return emit(t, c);
      }
      case T_TUPLE: {
        scalar_only();
        uint8_t b[12] = {};
        int n;
        if (compact) {
          n = ext ? u8() : 3;
          if (n < 3 || n > tuple::MAX_BYTES) bad();
          std::memcpy(b, bytes(static_cast<uint64_t>(n)), static_cast<size_t>(n));
        } else {
          n = static_cast<int>((h >> F_UNIT_SHIFT) & 0xFF);
          if (n < 3 || n > tuple::MAX_BYTES) bad();
          std::memcpy(b, bytes(12), static_cast<size_t>(n));
        }
        return emit(t, tuple::make_cell(n, b));
      }
      case T_TYPESET: {
        scalar_only();
        uint32_t n = compact ? u8() : 12;
        if (n > 12) bad();
        Cell c{T_TYPESET, 0, 0, 0};
        std::memcpy(typeset::bits(&c), bytes(n), n);
        return emit(t, c);
      }
      case T_ISSUE: {
        scalar_only();
        return emit(t, global_word(field(), T_ISSUE));
      }
      case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT:
        return word(t, type, ext, h, shared, set);
      case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
        return block(t, type, ext, shared);
      case T_MAP: return map(t, shared);
      case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
        return text(t, type, ext, h, shared);
      case T_VECTOR: return vector(t, ext, h, shared);
      case T_BITSET: return bitset(t, ext, h, shared);
      case T_CONTEXT: {
        scalar_only();
        Cell* saved = stack::top();
        bool values;
        Node ctx = context_record(true, h, &values);
        if (context::on_stack(ctx)) bad();
        Cell* obj = object::push(ctx, -1);
        int32_t pos = emit(t, *obj);
        if (values) read_values(obj, 0);
        stack::set_top(saved);
        return pos;
      }
      case T_OBJECT: {
        if (shared) return emit(t, owner_of(context_from(shared_path()), T_OBJECT));
        return object(t, ext, h, nullptr);
      }
      case T_FUNCTION: {
        if (shared) return emit(t, owner_of(context_from(shared_path()), T_FUNCTION));
        return function(t, nullptr);
      }
      case T_NATIVE: case T_ACTION: {
        scalar_only();
        uint32_t index = field();
        uint32_t limit = type == T_NATIVE ? static_cast<uint32_t>(native::table_size) : native::ACTION_ENTRIES;
        if (index < 1 || index > limit) bad();
        Cell* saved = stack::top();
        Cell* scratch = block::make_at(stack::push_new(), 1);
        Target st{scratch};
        record(st);
        if (block::buf(scratch)->cell_count() != 1) bad();
        Cell spec = block::buf(scratch)->cells()[0];
        if (!is_type(&spec, T_BLOCK)) bad();
        Cell* pair = block::make_at(stack::push_new(), 2);
        *memory::new_tail_cell(pair) = spec;
        *memory::new_tail_cell(pair) = integer::make_cell(static_cast<int32_t>(index));
        Cell* proto = stack::push_new();
        *proto = datatype::make_cell(type);
        Cell made = *datatype::slot<act::Make>(type, A_MAKE)(proto, pair, type);
        int32_t pos = emit(t, made);
        stack::set_top(saved);
        return pos;
      }
      case T_OP: {
        scalar_only();
        int32_t pos = record_at(t);
        Cell v = *at(t, pos);
        int wrapped = type_of(&v);
        if (wrapped != T_NATIVE && wrapped != T_ACTION && wrapped != T_FUNCTION) bad();
        if (!native::check_spec(native::spec_node(&v))) bad();
        if (wrapped == T_FUNCTION) function::more(&v)[3] = v;
        v.header = T_OP | static_cast<uint32_t>(wrapped) << HDR_OP_TYPE_SHIFT;
        *at(t, pos) = v;
        return pos;
      }
      case T_ERROR: {
        scalar_only();
        uint32_t code = field();
        if (code > INT32_MAX) bad();
        Cell* saved = stack::top();
        Cell* spec = stack::push_new();
        *spec = integer::make_cell(static_cast<int32_t>(code));
        Cell* proto = stack::push_new();
        *proto = datatype::make_cell(T_ERROR);
        Cell made = *datatype::slot<act::Make>(T_ERROR, A_MAKE)(proto, spec, T_ERROR);
        Cell* err = stack::push(&made);
        int32_t pos = emit(t, made);
        Target et{err, error::F_ARG1};
        for (int i = error::F_ARG1; i <= error::F_STACK; i++) {
          et.slot = i;
          record(et);
        }
        stack::set_top(saved);
        return pos;
      }
      case T_IMAGE: return image(t, ext, shared);
      case T_ROUTINE: case T_TRIPLE: case T_HANDLE: case T_PORT: case T_EVENT: {
        if (!codec) bad();
        Cell d = datatype::make_cell(type);
        fire(Err::no_codec, &d);
      }
      default:
        bad();
    }
  }

  // The two commonest records of a compact block, a word of the global
  // context met before and a small integer (each perhaps after a new-line
  // prefix), read into *c; answers false, having read nothing, for any
  // other record (record() then reads it, and reports it when it is bad).
  bool leaf(Cell* c) {
    // Four bytes cover the longest leaf (a new-line prefix, a header and a
    // symbol index of two bytes); nearer the end record() reads it.
    if (end - p < 4) return false;
    const uint8_t* q = p;
    uint32_t nl = 0;
    uint8_t b = *q++;
    if (b == P_NEW_LINE) {
      nl = HDR_NEW_LINE;
      b = *q++;
    }
    if (b >= H_INT_FIRST) {
      if (b > 0xBF) return false;
      *c = integer::make_cell(b - H_INT_FIRST);
    } else {
      // Below H_EXT: a header of a type without the extension bit.
      if (b >= H_EXT || !any_word(static_cast<TypeId>(b))) return false;
      // The symbol's index, a varint of one or two bytes here.
      uint32_t i = *q++;
      if (i >= 0x80) {
        uint32_t hi = *q++;
        if (hi >= 0x80) return false;
        i = (i & 0x7Fu) | hi << 7;
      }
      if (i >= symbol_count) return false;
      const Interned e = symbols[i];
      if (e.global < 0) return false;
      *c = Cell{b, global_ctx, static_cast<uint32_t>(e.sym), static_cast<uint32_t>(e.global)};
    }
    p = q;
    c->header |= nl;
    return true;
  }

  // A compact block or paren record with neither head nor sharing (perhaps
  // after a new-line prefix), read into t as record() reads it, without
  // its dispatch; answers false, having read nothing, for any other record.
  bool nested_block(Target& t) {
    const uint8_t* q = p;
    bool nl = false;
    if (q < end && *q == P_NEW_LINE) {
      nl = true;
      q++;
    }
    if (q >= end || (*q != T_BLOCK && *q != T_PAREN) || depth >= MAX_DEPTH) return false;
    TypeId type = static_cast<TypeId>(*q);
    p = q + 1;
    Depth guard(depth);
    finish(t, block(t, type, false, false), nl);
    return true;
  }

  // Reads one record into t and answers where its cell went.
  int32_t record_at(Target& t) {
    int32_t n = t.slot < 0 ? static_cast<int32_t>(block::buf(t.holder)->cell_count()) : t.slot;
    record(t);
    if (t.slot < 0 && static_cast<int32_t>(block::buf(t.holder)->cell_count()) != n + 1) bad();
    return n;
  }

  // The object! or function! that owns ctx.
  Cell owner_of(Node ctx, TypeId type) {
    Cell* own = context::owner(ctx);
    if (!is_type(own, type) || object_context(own) != ctx) bad();
    return *own;
  }

  int32_t block(Target& t, TypeId type, bool ext, bool shared) {
    int32_t head = head_field(ext);
    if (shared) {
      Cell r = shared_path();
      TypeId rt = type_of(&r);
      if (type == T_HASH) {
        if (rt != T_HASH) bad();
        series::set_head(&r, head);
        return emit(t, r);
      }
      Node node;
      if (series::block_like(rt) || rt == T_MAP) node = series::node_of(&r);
      else if (rt == T_FUNCTION || rt == T_NATIVE || rt == T_ACTION || rt == T_OP || rt == T_ROUTINE)
        node = callable::spec_node(&r);
      else bad();
      Cell c;
      return emit(t, *series::set_cell(&c, type, node, head));
    }
    uint32_t n = count();
    Cell* saved = stack::top();
    Cell* nb = block::make_at(stack::push_new(), reserve(n));
    if (type == T_HASH) hash::index_at(nb);
    Cell c = *nb;
    set_type(&c, type);
    series::set_head(&c, head);
    int32_t pos = emit(t, c);
    Cell* alias = stack::push_new();
    *alias = Cell{T_BLOCK, 0, series::node_of(nb), 0};
    Target inner{alias};
    if (!compact) {
      for (uint32_t i = 0; i < n; i++) record(inner);
    } else {
      // Leaves go straight into the room reserved; nothing allocates
      // between two of them, so the buffer is found again only after a
      // record that can.
      Node node = series::node_of(alias);
      for (uint32_t i = 0; i < n;) {
        SeriesBuf* b = buf_of(node);
        Cell* out = b->cells_tail();
        Cell* room = reinterpret_cast<Cell*>(b->end());
        while (i < n && out < room && leaf(out)) {
          out++;
          i++;
        }
        b->tail = off(out);
        if (i < n) {
          if (!nested_block(inner)) record(inner);
          i++;
        }
      }
    }
    // The index is built once the cells are all there.
    if (type == T_HASH) hashtable::rehash(hash::table_node(nb), static_cast<int32_t>(n));
    stack::set_top(saved);
    return pos;
  }

  int32_t map(Target& t, bool shared) {
    if (shared) {
      Cell r = shared_path();
      if (!is_type(&r, T_MAP)) bad();
      return emit(t, r);
    }
    uint32_t n = count();
    if (n & 1) bad();
    Cell* saved = stack::top();
    Cell* m = map::make_at(stack::push_new(), nullptr, reserve(n / 2));
    int32_t pos = emit(t, *m);
    Cell* alias = stack::push_new();
    *alias = Cell{T_BLOCK, 0, map::block_node(m), 0};
    Target inner{alias};
    for (uint32_t i = 0; i < n; i++) record(inner);
    // Keys are checked and indexed only once read: a key is a whole value.
    for (uint32_t i = 0; i < n; i += 2)
      if (!map::valid_key(type_of(map::entries(m) + i))) bad();
    hashtable::put_all(map::table_node(m), 0, 2);
    stack::set_top(saved);
    return pos;
  }

  int32_t text(Target& t, TypeId type, bool ext, uint32_t h, bool shared) {
    int32_t head = head_field(ext);
    if (shared) {
      Cell r = shared_path();
      TypeId rt = type_of(&r);
      if (type == T_BINARY ? rt != T_BINARY : !series::string_like(rt)) bad();
      Cell c;
      return emit(t, *series::set_cell(&c, type, series::node_of(&r), head));
    }
    int shift;
    uint32_t units;
    if (compact) {
      uint32_t v = varint();
      shift = type == T_BINARY ? 0 : static_cast<int>(v & 3);
      units = type == T_BINARY ? v : v >> 2;
      if (shift == 3) bad();
    } else {
      uint32_t unit = (h >> F_UNIT_SHIFT) & 0xFF;
      if (unit != 1 && unit != 2 && (unit != 4 || type == T_BINARY)) bad();
      if (type == T_BINARY && unit != 1) bad();
      shift = unit == 4 ? 2 : unit == 2 ? 1 : 0;
      units = le32();
    }
    uint64_t size = uint64_t{units} << shift;
    if (size > left()) bad();
    const uint8_t* src = bytes(size);
    if (shift == 2)
      for (uint64_t i = 0; i < size; i += 4) {
        uint32_t cp;
        std::memcpy(&cp, src + i, 4);
        if (cp > static_cast<uint32_t>(char_::MAX_CODE_POINT)) bad();
      }
    Cell* saved = stack::top();
    Cell* s = type == T_BINARY ? binary::make_at(stack::push_new(), static_cast<int32_t>(units))
                               : string::make_typed(stack::push_new(), static_cast<int32_t>(units), 1 << shift, type);
    return emit_filled(t, s, src, size, head, saved);
  }

  // Fills the new series s (pushed above saved) with the size bytes at src,
  // sets its head and emits it.
  int32_t emit_filled(Target& t, Cell* s, const uint8_t* src, uint64_t size, int32_t head, Cell* saved) {
    SeriesBuf* b = series::buf(s);
    if (size) std::memcpy(b->head_ptr(), src, size);
    b->tail = b->head + static_cast<Off>(size);
    series::set_head(s, head);
    int32_t pos = emit(t, *s);
    stack::set_top(saved);
    return pos;
  }

  int32_t vector(Target& t, bool ext, uint32_t h, bool shared) {
    int32_t head = head_field(ext);
    if (shared) {
      Cell r = shared_path();
      if (!is_type(&r, T_VECTOR)) bad();
      series::set_head(&r, head);
      return emit(t, r);
    }
    uint32_t elem, width, n;
    if (compact) {
      uint8_t b = u8();
      elem = b >> 2;
      width = 1u << (b & 3);
      n = varint();
    } else {
      width = (h >> F_UNIT_SHIFT) & 0xFF;
      n = le32();
      elem = le32();
    }
    bool ok = ((elem == T_CHAR || elem == T_INTEGER) && (width == 1 || width == 2 || width == 4)) ||
              (elem == T_FLOAT && (width == 4 || width == 8)) || (elem == T_PERCENT && width == 8);
    if (!ok) bad();
    uint64_t size = uint64_t{n} * width;
    if (size > left()) bad();
    const uint8_t* src = bytes(size);
    if (elem == T_CHAR && width == 4) {
      for (uint64_t i = 0; i < size; i += 4) {
        uint32_t cp;
        std::memcpy(&cp, src + i, 4);
        if (cp > static_cast<uint32_t>(char_::MAX_CODE_POINT)) bad();
      }
    }
    Cell* saved = stack::top();
    Cell* v = vector::make_at(stack::push_new(), n, static_cast<TypeId>(elem), static_cast<int>(width));
    return emit_filled(t, v, src, size, head, saved);
  }

  int32_t image(Target& t, bool ext, bool shared) {
    int32_t head = head_field(ext);
    if (shared) {
      Cell r = shared_path();
      if (!is_type(&r, T_IMAGE)) bad();
      image::set_head(&r, head);
      return emit(t, r);
    }
    uint32_t w, h;
    if (compact) {
      w = varint();
      h = varint();
    } else {
      uint32_t size = le32();
      w = size & 0xFFFF;
      h = size >> 16;
    }
    if (w > 65535 || h > 65535) bad();
    uint64_t size = uint64_t{w} * h * 4;
    if (size > left()) bad();
    const uint8_t* src = bytes(size);
    platform::bitmap::Bitmap* b = image::new_bitmap(w, h);
    if (b && b->pixels) std::memcpy(b->pixels, src, size);
    Cell* saved = stack::top();
    Cell* img = image::push(b, static_cast<int32_t>(w), static_cast<int32_t>(h));
    image::set_head(img, head);
    int32_t pos = emit(t, *img);
    stack::set_top(saved);
    return pos;
  }

  int32_t bitset(Target& t, bool ext, uint32_t h, bool shared) {
    if (shared) {
      Cell r = shared_path();
      if (!is_type(&r, T_BITSET)) bad();
      return emit(t, r);
    }
    bool comp = compact ? ext : (h & F_COMPLEMENT) != 0;
    uint32_t n = field();
    const uint8_t* src = bytes(n);
    Cell* saved = stack::top();
    Cell* b = bitset::make_at(stack::push_new(), n, false);
    if (n) std::memcpy(bitset::bytes(b), src, n);
    if (comp) memory::set_flags(bitset::node_of(b), bitset::SER_COMPLEMENT);
    int32_t pos = emit(t, *b);
    stack::set_top(saved);
    return pos;
  }

  // A context record: makes the context with its words, kept alive by an
  // object! cell pushed on the data stack (the caller restores the top).
  // header_read: the record's header is already read (h in the fixed layout).
  Node context_record(bool header_read, uint32_t h, bool* values) {
    uint32_t kind;
    bool stack, self;
    if (compact) {
      if (!header_read && u8() != T_CONTEXT) bad();
      uint8_t f = u8();
      kind = f & C_KIND_MASK;
      stack = f & C_STACK;
      self = f & C_SELF;
      *values = (f & C_VALUES) && !stack;
    } else {
      uint32_t hw = header_read ? h : le32();
      if ((hw & F_TYPE_MASK) != T_CONTEXT) bad();
      kind = (hw >> F_KIND_SHIFT) & 3;
      stack = hw & F_STACK;
      self = hw & F_SELF;
      *values = (hw & F_VALUES) && !stack;
    }
    if (kind == 3) bad();
    uint32_t n = count();
    Node ctx = context::create(static_cast<int32_t>(n), stack, self, 0, static_cast<context::Kind>(kind));
    Cell* hold = stack::push_new();
    *hold = Cell{T_OBJECT, ctx, 0, 0};
    for (uint32_t i = 0; i < n; i++) {
      int32_t index;
      if (context::find_word_in(ctx, symbol(field()), true, &index) != -1) bad();  // a word twice
    }
    return ctx;
  }
  // Reads the context's values into the object! or error! holder from slot on.
  void read_values(Cell* holder, int32_t first) {
    Target vt{holder, first};
    int32_t n = context::size(object::context_of(holder));
    for (int32_t i = first; i < n; i++) {
      vt.slot = i;
      record(vt);
    }
  }

  // The word an inline owner is read for: emitted once the owner's context
  // exists, before the owner's contents (which may lead back to it).
  struct OwnerOf {
    TypeId type;
    int32_t sym;
    int32_t index;
  };
  int32_t emit_word(Target& t, const OwnerOf& w, Node ctx) {
    int32_t index = w.index;
    if (index == -1) index = context::find_word(ctx, w.sym, true);
    else if (index < -1 || index >= context::size(ctx)) bad();
    return emit(t, Cell{w.type, ctx, static_cast<uint32_t>(w.sym), static_cast<uint32_t>(index)});
  }

  int32_t object(Target& t, bool ext, uint32_t h, const OwnerOf* word) {
    bool hooks = compact ? ext : (h & F_ON_CHANGE) != 0;
    int32_t cls = sfield();
    if (hooks) {
      sfield();  // the hook positions follow from the fields; see below
      sfield();
    }
    Cell* saved = stack::top();
    bool values;
    Node ctx = context_record(false, 0, &values);
    if (context::on_stack(ctx)) bad();
    Cell* obj = object::push(ctx, codec ? -1 : cls);
    int32_t pos = word ? emit_word(t, *word, ctx) : emit(t, *obj);
    if (values) read_values(obj, 0);
    if (hooks) {
      // Found again from the fields just read: positions given by the
      // stream could point anywhere.
      object::attach_hooks(obj);
      if (!word) *at(t, pos) = *obj;
    }
    stack::set_top(saved);
    return pos;
  }

  int32_t function(Target& t, const OwnerOf* word) {
    uint32_t spec_n = count();
    uint32_t body_n = count();
    Cell* saved = stack::top();
    bool values;
    Node ctx = context_record(false, 0, &values);
    if (!context::on_stack(ctx) || context::kind_of(ctx) != context::Kind::function) bad();
    Cell* spec = block::make_at(stack::push_new(), reserve(spec_n));
    Cell* body = block::make_at(stack::push_new(), reserve(body_n));
    function::push(spec, body, ctx, 0, 0, 0);
    Cell* fn = stack::top() - 1;
    int32_t pos = word ? emit_word(t, *word, ctx) : emit(t, *fn);
    bool spec_shared = function_block(fn, 0);
    function_block(fn, 1);
    *context::owner(ctx) = *fn;
    if (!word) *at(t, pos) = *fn;
    // A shared spec may be a block still being read (the function was met
    // inside its own spec's words): it is checked once the stream is read.
    if (spec_shared) block::xs_append(deferred, fn);
    else check_context(fn);
    stack::set_top(saved);
    return pos;
  }

  // The context must be the one the spec makes: calls index it by the
  // spec's words.
  void check_context(const Cell* fn) {
    Node ctx = function::context_of(fn);
    Cell* s = stack::push_new();
    *s = Cell{T_BLOCK, 0, function::spec_node(fn), 0};
    function::validate(s);
    Node fresh = context::make_from_spec(s, true, false, context::Kind::function);
    int32_t n = context::size(ctx);
    if (context::size(fresh) != n) bad();
    for (int32_t i = 0; i < n; i++)
      if (word_symbol(context::word_at(fresh, i)) != word_symbol(context::word_at(ctx, i))) bad();
    stack::pop(1);
  }
  void check_deferred() {
    for (uint32_t i = 0; i < block::buf(deferred)->cell_count(); i++) {
      Cell* fn = stack::push(block::buf(deferred)->cells() + i);
      check_context(fn);
      stack::pop(1);
    }
  }

  // The spec (0) or body (1) of the function fn (rooted): a block! record,
  // whose contents go into the function's own block unless it is shared.
  // Answers whether the block was a shared one.
  bool function_block(Cell* fn, int which) {
    bool shared = false;
    int32_t head;
    if (compact) {
      uint8_t b;
      for (;;) {
        b = u8();
        if (b == P_NEW_LINE) continue;
        if (b == P_SHARED) shared = true;
        else break;
      }
      if ((b & ~H_EXT) != T_BLOCK) bad();
      head = head_field(b & H_EXT);
    } else {
      uint32_t hw = le32();
      if ((hw & F_TYPE_MASK) != T_BLOCK) bad();
      shared = hw & F_SHARED;
      head = head_field(false);
    }
    if (shared) {
      Cell r = shared_path();
      if (!series::block_like(type_of(&r))) bad();
      if (which == 0) native::set_spec(fn, series::node_of(&r));
      else function::more(fn)[0] = Cell{T_BLOCK, static_cast<uint32_t>(head), series::node_of(&r), 0};
      return true;
    }
    uint32_t n = count();
    Cell* alias = stack::push_new();
    *alias = which == 0 ? Cell{T_BLOCK, 0, function::spec_node(fn), 0}
                        : Cell{T_BLOCK, 0, series::node_of(function::more(fn)), 0};
    Target inner{alias};
    for (uint32_t i = 0; i < n; i++) record(inner);
    if (which == 1) series::set_head(function::more(fn), head);
    stack::pop(1);
    return false;
  }

  // A word of the global context, as the lexer makes it; each symbol is
  // looked up there once per stream.
  Cell global_word(uint32_t table_index, TypeId type) {
    int32_t sym = symbol(table_index);
    int32_t& index = symbols[table_index].global;
    if (index == -2) {
      Cell c;
      word::make_at(sym, &c);
      index = word_index(&c);
    }
    return Cell{type, context::global(), static_cast<uint32_t>(sym), static_cast<uint32_t>(index)};
  }

  int32_t word(Target& t, TypeId type, bool ext, uint32_t h, bool shared, bool set) {
    uint32_t table_index = field();
    int32_t sym = symbol(table_index);
    int32_t pos;
    Node ctx = 0;
    int32_t index = -1;
    bool global;
    if (codec) {
      if (compact) {
        global = !ext;
        if (!global) index = zigzag();
      } else {
        index = static_cast<int32_t>(le32());
        global = h & F_GLOBAL_OR_SET;
      }
      if (!global && !shared) {
        // The owner of the word's context, inline.
        OwnerOf w{type, sym, index};
        uint32_t oh = compact ? u8() : le32();
        uint32_t ot = oh & (compact ? H_TYPE_MASK : F_TYPE_MASK);
        if (compact && (oh & 0x80)) bad();
        if (ot == T_OBJECT) return object(t, compact ? (oh & H_EXT) != 0 : false, oh, &w);
        if (ot == T_FUNCTION && (compact ? !(oh & H_EXT) : true)) return function(t, &w);
        bad();
      }
      if (!global) ctx = context_from(shared_path());
    } else {
      if (compact) {
        global = !ext;
        if (!global) {
          uint32_t at_root = varint();
          index = zigzag();
          ctx = boot_context(at_root);
        }
      } else {
        int32_t at_root = static_cast<int32_t>(le32());
        index = static_cast<int32_t>(le32());
        global = at_root == -1;
        if (!global) ctx = boot_context(static_cast<uint32_t>(at_root));
      }
    }
    if (global) {
      pos = emit(t, global_word(table_index, type));
    } else {
      pos = emit_word(t, OwnerOf{type, sym, index}, ctx);
    }
    if (!set) return pos;
    // Boot mode: the next record is the word's value; both cells go.
    if (t.slot >= 0) bad();
    int32_t vpos = record_at(t);
    Cell* saved = stack::top();
    Cell* w = stack::push(at(t, pos));
    Cell* v = stack::push(at(t, vpos));
    if (!word_context(w) || word_index(w) < 0 || !context::values(word_context(w)) || context::on_stack(word_context(w)))
      bad();
    context::set(w, v);
    stack::set_top(saved);
    block::buf(t.holder)->tail -= 2 * sizeof(Cell);
    return -1;
  }

  Node boot_context(uint32_t at_root) {
    uint64_t i = uint64_t{root_base} + at_root;
    SeriesBuf* b = block::buf(root);
    if (i >= b->cell_count()) bad();
    Cell* c = b->cells() + i;
    if (!is_type(c, T_OBJECT)) bad();
    return object::context_of(c);
  }
};

[[noreturn]] void not_xebbin(bool codec, const Cell* what, const char* why) {
  if (!codec) boot_failure(why, 0);
  Cell w = what ? *what : fixed_none;
  fire(Err::invalid_data, &w);
}

}  // namespace

void decode(std::span<const uint8_t> in, Cell* target, bool codec_mode, const Cell* what) {
  collector::KeepNodes keep;
  Decoder d;
  d.codec = codec_mode;
  if (in.size() < 8 || std::memcmp(in.data(), MAGIC, 6) != 0) not_xebbin(codec_mode, what, "not a Xebbin stream");
  uint8_t flags = in[7];
  d.compact = flags & FLAG_COMPACT;
  d.start = d.p = in.data() + 8;
  d.end = in.data() + in.size();
  std::vector<uint8_t> expanded;
  if (flags & FLAG_COMPRESSED) {
    auto r = lz::decompress({d.p, d.end});
    if (!r) not_xebbin(codec_mode, what, "compressed data corrupted");
    expanded = std::move(*r);
    d.start = d.p = expanded.data();
    d.end = d.p + expanded.size();
  } else {
    d.start = in.data();
  }
  if (!d.compact && d.left() < 8) not_xebbin(codec_mode, what, "header cut short");
  d.field();  // the root count: not used
  uint32_t payload = d.field();
  if (flags & FLAG_SYMBOLS) {
    uint32_t n = d.field();
    uint32_t s = d.field();
    if (n > d.left() / 4) d.bad();
    d.offsets = d.p;
    d.p += 4 * size_t{n};
    if (s > d.left()) d.bad();
    d.names = d.p;
    d.p += s;
    if (s > 0 && d.names[s - 1] != 0) d.bad();
    d.symbol_count = n;
    d.names_size = s;
    d.symbols.assign(n, Decoder::Interned{});
  }
  if (payload > d.left()) d.bad();
  d.end = d.p + payload;
  d.reserve_budget = payload;
  d.deferred = block::make_at(stack::push_new(), 0);
  Cell* root = stack::push(target);
  d.root = root;
  d.root_base = block::buf(root)->cell_count();
  Target t{root};
  while (d.p < d.end) d.record(t);
  d.check_deferred();
  stack::pop(2);
}

int32_t boot_load(std::span<const uint8_t> image) {
  codec_q = false;
  collector::NoCollection quiet;
  Cell* root = stack::push_new();
  *root = Cell{T_BLOCK, 0, datatypes::root(), 0};
  int32_t first = static_cast<int32_t>(block::buf(root)->cell_count());
  decode(image, root, false, nullptr);
  stack::pop(1);
  return first;
}

}  // namespace xeb::xebbin
