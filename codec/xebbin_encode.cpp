// The Xebbin encoder: one walk over a value writes the records of either
// layout. The walk writes into native buffers only and allocates nothing
// managed, so the value's buffers stay where they are until the stream is
// assembled into a binary! at the end.
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "codec/xebbin.h"
#include "codec/xebbin_format.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/char.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "platform/bytes.h"
#include "runtime/collector.h"
#include "runtime/shapes.h"

namespace xeb::xebbin {

bool codec_q = false;

bool float_as_int(double v, int32_t* n) {
  if (!(v >= -2147483000.0 && v <= 2147483000.0)) return false;
  int32_t t = static_cast<int32_t>(v);
  if (static_cast<double>(t) != v || (t == 0 && std::signbit(v))) return false;
  *n = t;
  return true;
}

bool percent_as_int(double v, int32_t* n) {
  if (!(v >= -21474836.0 && v <= 21474836.0)) return false;
  double scaled = v * 100.0;
  double r = scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5);  // half away from zero
  int32_t t = static_cast<int32_t>(r);
  if (t / 100.0 != v || (t == 0 && std::signbit(v))) return false;
  *n = t;
  return true;
}

namespace {

struct Encoder {
  explicit Encoder(bool compact) : compact(compact) {}
  bool compact;
  std::vector<uint8_t> out;            // the payload
  int32_t index = 0;                   // position of the next record in its series
  std::vector<int32_t> enclosing;      // positions of the enclosing records, outermost first
  std::unordered_map<Node, std::pair<uint32_t, uint32_t>> seen;  // buffer or context -> its path
  std::vector<int32_t> paths;
  std::unordered_map<int32_t, int32_t> symbols;  // symbol id -> index in the table
  std::vector<uint8_t> names;
  std::vector<uint32_t> offsets;
  uint32_t new_line = 0;  // fixed layout: bit 31 for the next header word
  int depth = 0;

  // --- Fields --------------------------------------------------------------

  void u8(uint8_t b) { out.push_back(b); }
  void le32(uint32_t v) { platform::append_le32(out, v); }
  void varint(uint32_t v) {
    while (v >= 0x80) {
      out.push_back(static_cast<uint8_t>(v | 0x80));
      v >>= 7;
    }
    out.push_back(static_cast<uint8_t>(v));
  }
  void zigzag(int32_t n) { varint((static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31)); }
  // A field: a varint (signed: zigzag) in the compact layout, a word in the
  // fixed one.
  void field(uint32_t v) { compact ? varint(v) : le32(v); }
  void sfield(int32_t v) { compact ? zigzag(v) : le32(static_cast<uint32_t>(v)); }
  void raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
    if (!compact)
      while (out.size() % 4) out.push_back(0);
  }
  // shared: the record's contents were written before (prefix 0xC1, bit 19).
  void header(TypeId t, bool ext, uint32_t fixed_bits = 0, bool shared = false) {
    if (compact && shared) u8(P_SHARED);
    if (compact) u8(static_cast<uint8_t>(t | (ext ? H_EXT : 0)));
    else le32(t | fixed_bits | (shared ? F_SHARED : 0) | new_line);
    new_line = 0;
  }
  void double_halves(double d, bool low_first) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    uint32_t lo = static_cast<uint32_t>(bits), hi = static_cast<uint32_t>(bits >> 32);
    le32(low_first ? lo : hi);
    le32(low_first ? hi : lo);
  }

  int32_t symbol_index(int32_t sym) {
    auto it = symbols.find(sym);
    if (it != symbols.end()) return it->second;
    int32_t i = static_cast<int32_t>(symbols.size());
    symbols.emplace(sym, i);
    std::string_view name = symbol::name(sym);
    offsets.push_back(static_cast<uint32_t>(names.size()));
    names.insert(names.end(), name.begin(), name.end());
    names.push_back(0);
    if (!compact)
      while (names.size() % 8) names.push_back(0);
    return i;
  }

  // --- Sharing ----------------------------------------------------------------

  // Answers true when the key was met before (the record is shared);
  // otherwise records the path of the record being written and opens its
  // contents at position 0.
  void image(const Cell* v) {
    int32_t head = image::head(v);
    Node record = image::record(v);
    bool shared = record && enter(record);  // an image without pixels shares nothing
    header(T_IMAGE, head != 0, 0, shared);
    if (head != 0 || !compact) field(static_cast<uint32_t>(head));
    if (shared) return path_of(record);
    uint32_t w = static_cast<uint32_t>(image::width(v)), h = static_cast<uint32_t>(image::height(v));
    if (compact) {
      varint(w);
      varint(h);
    } else {
      le32(w | h << 16);
    }
    size_t n = size_t{w} * h * 4;
    platform::bitmap::Bitmap* b = image::bitmap(v);
    if (b && b->pixels) raw(b->pixels, n);  // the words as they are: B G R A
    else out.insert(out.end(), n, 0);
    if (record) leave();
  }

  bool enter(Node key) {
    auto it = seen.find(key);
    if (it != seen.end()) return true;
    enclosing.push_back(index);
    seen.emplace(key, std::make_pair(static_cast<uint32_t>(paths.size()), static_cast<uint32_t>(enclosing.size())));
    paths.insert(paths.end(), enclosing.begin(), enclosing.end());
    index = 0;
    return false;
  }
  void leave() {
    index = enclosing.back();
    enclosing.pop_back();
  }
  void path_of(Node key) {
    auto [at, n] = seen.at(key);
    if (compact) {
      varint(n);
    } else {
      le32(F_BACKREF);
      le32(n);
    }
    for (uint32_t i = 0; i < n; i++) field(static_cast<uint32_t>(paths[at + i]));
  }

  // --- Records ----------------------------------------------------------------

  [[noreturn]] void refuse(const Cell* v) { fire(Err::no_codec, v); }

  // The symbol table holds names ended by NUL: a name holding a NUL (an
  // issue made from such a string) could not be read back whole.
  int32_t name_of(const Cell* v) {
    int32_t sym = word_symbol(v);
    if (symbol::name(sym).find('\0') != std::string_view::npos) refuse(v);
    return symbol_index(sym);
  }

  void value(const Cell* v) {
    if (++depth > MAX_DEPTH) fire(Err::too_deep);
    bool nl = (v->header & HDR_NEW_LINE) != 0;
    if (nl) {
      if (compact) u8(P_NEW_LINE);
      else new_line = F_NEW_LINE;
    }
    record(v);
    new_line = 0;
    index++;
    depth--;
  }

  void record(const Cell* v) {
    TypeId t = type_of(v);
    switch (t) {
      case T_UNSET: case T_NONE:
        header(t, false);
        return;
      case T_DATATYPE:
        header(t, false);
        field(static_cast<uint32_t>(datatype::id_of(v)));
        return;
      case T_LOGIC:
        if (compact) {
          u8(logic::get(v) ? H_TRUE : H_FALSE);
        } else {
          header(t, false);
          le32(logic::get(v) ? 1 : 0);
        }
        return;
      case T_INTEGER: {
        int32_t n = integer::get(v);
        if (compact && n >= 0 && n <= 63) {
          u8(static_cast<uint8_t>(H_INT_FIRST + n));
          return;
        }
        header(t, false);
        sfield(n);
        return;
      }
      case T_CHAR:
        header(t, false);
        field(static_cast<uint32_t>(char_::code_point(v)));
        return;
      case T_FLOAT: case T_TIME: case T_PERCENT: {
        double d = get_double(v);
        if (compact) {
          int32_t n;
          bool ext = t == T_PERCENT ? percent_as_int(d, &n) : float_as_int(d, &n);
          header(t, ext);
          if (ext) zigzag(n);
          else double_halves(d, true);
        } else {
          if (out.size() % 8) le32(0);  // the header on a multiple of 8
          header(t, false);
          double_halves(d, false);
        }
        return;
      }
      case T_DATE: {
        int32_t p = date::packed(v);
        bool time = date::has_time(p);
        header(t, compact && time);
        le32(static_cast<uint32_t>(p));
        if (compact) {
          if (time) double_halves(date::time_of(v), true);
        } else {
          double_halves(date::time_of(v), false);
        }
        return;
      }
      case T_MONEY: {
        bool neg = money::negative(v);
        header(t, compact && neg, neg ? F_MONEY_NEG : 0);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(v) + 4;
        out.insert(out.end(), bytes, bytes + 12);
        return;
      }
      case T_PAIR:
        header(t, false);
        sfield(pair::x(v));
        sfield(pair::y(v));
        return;
      case T_POINT2D: case T_POINT3D: {
        header(t, false);
        int n = t == T_POINT3D ? 3 : 2;
        for (int i = 0; i < n; i++) {
          float f = point::coord(v, i);
          uint32_t bits;
          std::memcpy(&bits, &f, 4);
          le32(bits);
        }
        return;
      }
      case T_TUPLE: {
        int n = tuple::count(v);
        if (compact) {
          header(t, n != 3);
          if (n != 3) u8(static_cast<uint8_t>(n));
          out.insert(out.end(), tuple::bytes(v), tuple::bytes(v) + n);
        } else {
          header(t, false, static_cast<uint32_t>(n) << F_UNIT_SHIFT);
          out.insert(out.end(), tuple::bytes(v), tuple::bytes(v) + 12);
        }
        return;
      }
      case T_TYPESET: {
        const uint8_t* b = typeset::bits(v);
        header(t, false);
        if (compact) {
          int n = 12;
          while (n > 0 && b[n - 1] == 0) n--;
          u8(static_cast<uint8_t>(n));
          out.insert(out.end(), b, b + n);
        } else {
          out.insert(out.end(), b, b + 12);
        }
        return;
      }
      case T_ISSUE:
        header(t, false);
        field(static_cast<uint32_t>(name_of(v)));
        return;
      case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT:
        return word(v);
      case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
        return block(v);
      case T_MAP: return map(v);
      case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
        return text(v);
      case T_VECTOR: return vector(v);
      case T_BITSET: return bitset(v);
      case T_OBJECT: return object(v, false);
      case T_FUNCTION: return function(v, false);
      case T_NATIVE: case T_ACTION: {
        header(t, false);
        field(native::index(v));
        // No collection runs here: making the spec moves no buffer.
        Cell spec{T_BLOCK, 0, native::shown_spec(v), 0};
        value(&spec);
        index--;  // the spec does not count
        return;
      }
      case T_OP: {
        int wrapped = native::wrapped_type(v);
        if (wrapped != T_NATIVE && wrapped != T_ACTION && wrapped != T_FUNCTION) refuse(v);
        header(t, false, static_cast<uint32_t>(wrapped) << F_OP_SHIFT);
        Cell inner = *v;
        inner.header = static_cast<uint32_t>(wrapped);
        value(&inner);
        index--;
        return;
      }
      case T_ERROR: return error(v);
      case T_IMAGE: return image(v);
      default:
        // routine! triple! handle! port! event!, and the internal types
        refuse(v);
    }
  }

  void block(const Cell* v) {
    TypeId t = type_of(v);
    int32_t head = series::head(v);
    Node node = series::node_of(v);
    bool shared = enter(node);
    header(t, head != 0, 0, shared);
    if (head != 0 || !compact) field(static_cast<uint32_t>(head));
    if (shared) return path_of(node);
    SeriesBuf* b = buf_of(node);
    uint32_t n = b->cell_count();
    field(n);
    for (uint32_t i = 0; i < n; i++) value(buf_of(node)->cells() + i);
    leave();
  }

  void map(const Cell* v) {
    Node node = map::block_node(v);
    bool shared = enter(node);
    header(T_MAP, false, 0, shared);
    if (shared) return path_of(node);
    uint32_t cells = buf_of(node)->cell_count(), live = 0;
    for (uint32_t i = 0; i + 1 < cells; i += 2)
      if (!map::removed(buf_of(node)->cells() + i + 1)) live++;
    field(2 * live);
    for (uint32_t i = 0; i + 1 < cells; i += 2) {
      if (map::removed(buf_of(node)->cells() + i + 1)) continue;
      value(buf_of(node)->cells() + i);
      value(buf_of(node)->cells() + i + 1);
    }
    leave();
  }

  void text(const Cell* v) {
    TypeId t = type_of(v);
    int32_t head = series::head(v);
    Node node = series::node_of(v);
    SeriesBuf* b = buf_of(node);
    int unit = b->unit();
    bool shared = enter(node);
    header(t, head != 0, static_cast<uint32_t>(unit) << F_UNIT_SHIFT, shared);
    if (head != 0 || !compact) field(static_cast<uint32_t>(head));
    if (shared) return path_of(node);
    uint32_t units = b->used() / static_cast<uint32_t>(unit);
    if (compact && t != T_BINARY) varint(units * 4 + static_cast<uint32_t>(series::log2_unit(unit)));
    else field(units);
    raw(b->head_ptr(), b->used());
    leave();
  }

  void vector(const Cell* v) {
    int32_t head = vector::head(v);
    Node node = vector::node_of(v);
    SeriesBuf* b = buf_of(node);
    int unit = b->unit();
    bool shared = enter(node);
    header(T_VECTOR, head != 0, static_cast<uint32_t>(unit) << F_UNIT_SHIFT, shared);
    if (head != 0 || !compact) field(static_cast<uint32_t>(head));
    if (shared) return path_of(node);
    uint32_t count = b->used() / static_cast<uint32_t>(unit);
    if (compact) {
      u8(static_cast<uint8_t>(vector::elem_type(v) * 4 + series::log2_unit(unit)));
      varint(count);
    } else {
      le32(count);
      le32(vector::elem_type(v));
    }
    raw(b->head_ptr(), b->used());
    leave();
  }

  void bitset(const Cell* v) {
    Node node = bitset::node_of(v);
    bool comp = bitset::complemented(v);
    bool shared = enter(node);
    header(T_BITSET, compact && comp, comp ? F_COMPLEMENT : 0, shared);
    if (shared) return path_of(node);
    SeriesBuf* b = buf_of(node);
    field(b->used());
    raw(b->head_ptr(), b->used());
    leave();
  }

  // The context body; its values are the records at positions 0.. of the
  // enclosing object.
  void context_record(Node ctx) {
    int32_t n = context::size(ctx);
    bool stack = context::on_stack(ctx);
    uint32_t kind = static_cast<uint32_t>(context::kind_of(ctx));
    bool self = (context::cell(ctx)->header & HDR_CTX_SELF) != 0;
    bool values = false;
    if (!stack && context::values(ctx))
      for (int32_t i = 0; i < n && !values; i++) values = !is_type(context::values(ctx) + i, T_UNSET);
    if (compact) {
      u8(T_CONTEXT);
      u8(static_cast<uint8_t>(kind | (stack ? C_STACK : 0) | (self ? C_SELF : 0) | (values ? C_VALUES : 0)));
    } else {
      le32(T_CONTEXT | kind << F_KIND_SHIFT | (self ? F_SELF : 0) | (stack ? F_STACK : 0) | (values ? F_VALUES : 0));
    }
    field(static_cast<uint32_t>(n));
    for (int32_t i = 0; i < n; i++) field(static_cast<uint32_t>(symbol_index(word_symbol(context::word_at(ctx, i)))));
    if (values)
      for (int32_t i = 0; i < n; i++) value(context::values(ctx) + i);
  }

  // inline_owner: the body of the owner of a word's context, whose key the
  // word has already entered.
  void object(const Cell* v, bool inline_owner) {
    Node ctx = object::context_of(v);
    bool hooks = object::hooks_of(v) != 0;
    bool shared = !inline_owner && enter(ctx);
    if (inline_owner && !compact) new_line = 0;
    header(T_OBJECT, compact && hooks, hooks ? F_ON_CHANGE : 0, shared);
    if (shared) return path_of(ctx);
    sfield(object::class_of(v));
    if (hooks) {
      Cell* h = buf_of(object::hooks_of(v))->cells();
      sfield(get_int(&h[0]));
      sfield(get_int(&h[1]));
    }
    context_record(ctx);
    if (!inline_owner) leave();
  }

  void function(const Cell* v, bool inline_owner) {
    Node ctx = function::context_of(v);
    bool shared = !inline_owner && enter(ctx);
    header(T_FUNCTION, false, 0, shared);
    if (shared) return path_of(ctx);
    Cell spec{T_BLOCK, 0, function::spec_node(v), 0};
    Cell body = function::more(v)[0];
    if (!series::block_like(type_of(&body))) refuse(v);
    body.header = T_BLOCK | (body.header & HDR_NEW_LINE);
    field(buf_of(series::node_of(&spec))->cell_count());
    field(buf_of(series::node_of(&body))->cell_count());
    context_record(ctx);
    int32_t saved = index;
    index = 0;
    value(&spec);
    index = 1;
    value(&body);
    index = saved;
    if (!inline_owner) leave();
  }

  void error(const Cell* v) {
    Node ctx = object::context_of(v);
    bool again = seen.count(ctx) != 0;
    if (again) {
      enclosing.push_back(index);
      index = 0;
    } else {
      enter(ctx);
    }
    header(T_ERROR, false);
    field(static_cast<uint32_t>(error::code_of(v)));
    for (int i = error::F_ARG1; i <= error::F_STACK; i++) value(context::values(ctx) + i);
    leave();
  }

  void word(const Cell* v) {
    TypeId t = type_of(v);
    int32_t sym = name_of(v);
    Node ctx = word_context(v);
    // A context owned by no object or function is written as global: its
    // index would mean nothing anywhere else.
    bool global = !ctx || ctx == context::global();
    if (!global) {
      Cell* own = context::owner(ctx);
      global = !(is_type(own, T_OBJECT) || is_type(own, T_FUNCTION)) || object_context(own) != ctx;
    }
    if (global) {
      header(t, false, F_GLOBAL_OR_SET);
      field(static_cast<uint32_t>(sym));
      if (!compact) le32(static_cast<uint32_t>(word_index(v)));
      return;
    }
    bool shared = enter(ctx);
    header(t, compact, 0, shared);
    field(static_cast<uint32_t>(sym));
    sfield(word_index(v));
    if (shared) return path_of(ctx);
    Cell owner = *context::owner(ctx);
    if (is_type(&owner, T_OBJECT)) object(&owner, true);
    else function(&owner, true);
    leave();
  }
};

}  // namespace

Cell* encode(const Cell* value, bool compact) {
  codec_q = true;
  Encoder e{compact};
  {
    collector::NoCollection quiet;  // the walk holds buffer addresses
    e.value(value);
  }
  std::vector<uint8_t> s(MAGIC, MAGIC + 6);
  s.push_back(VERSION);
  bool symbols = !e.symbols.empty();
  uint8_t flags = static_cast<uint8_t>((compact ? FLAG_COMPACT : 0) | (symbols ? FLAG_SYMBOLS : 0));
  s.push_back(flags);
  auto put = [&](uint32_t v) {
    if (compact) {
      while (v >= 0x80) {
        s.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
      }
      s.push_back(static_cast<uint8_t>(v));
    } else {
      for (int i = 0; i < 4; i++) s.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  };
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) s.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(1);
  put(static_cast<uint32_t>(e.out.size()));
  if (symbols) {
    put(static_cast<uint32_t>(e.offsets.size()));
    put(static_cast<uint32_t>(e.names.size()));
    for (uint32_t o : e.offsets) put32(o);
    s.insert(s.end(), e.names.begin(), e.names.end());
  }
  s.insert(s.end(), e.out.begin(), e.out.end());
  if (s.size() > INT32_MAX) fire(Err::no_memory);
  return binary::load(s.data(), static_cast<int32_t>(s.size()));
}

}  // namespace xeb::xebbin
