// image!: the record that ties a value to its bitmap, making from specs,
// pixel access by index and pair, the path accessors, the series slots,
// copying rectangles, change, comparison, the text forms, and the bridges
// to the codecs.
#include "datatypes/image.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/pair.h"
#include "datatypes/print_hooks.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/hashtable.h"
#include "runtime/collector.h"
#include "runtime/handles.h"
#include "runtime/stack.h"

namespace xeb::image {

namespace bm = platform::bitmap;

bool (*face_capture)(const Cell* value, Cell* out) = nullptr;

namespace {

uint32_t kind = 0;  // the handle kind "image"

void release_object(void* object) { bm::release(static_cast<bm::Bitmap*>(object)); }

uint32_t record_ref(Node n) {
  uint32_t ref;
  std::memcpy(&ref, buf_of(n)->head_ptr(), 4);
  return ref;
}

void mark(Cell* c) {
  if (!record(c)) return;
  handles::mark_ref(record_ref(record(c)));
}

Cell* set_cell(Cell* c, Node n, int32_t w, int32_t h, int32_t head = 0) {
  begin_cell(c);
  c->w1 = static_cast<uint32_t>(head);
  c->w2 = n;
  c->w3 = static_cast<uint32_t>(w) | static_cast<uint32_t>(h) << 16;
  c->header = T_IMAGE;
  return c;
}

// The bitmap of an image that has pixels; an entry gone stale is bad media.
bm::Bitmap* pixels_of(const Cell* c) {
  bm::Bitmap* b = bitmap(c);
  if (!b && area(c) > 0) fire(Err::bad_media);
  return b;
}

uint32_t& pixel_at(const Cell* c, int64_t i) { return pixels_of(c)->pixels[i]; }

Cell logic(bool yes) { return Cell{T_LOGIC, yes ? 1u : 0u, 0, 0}; }

// --- Positions ---------------------------------------------------------------------

// A position (integer, or pair x y) from the head: 1-based for pick, poke
// and at, 0-based for skip. Answers the index clamped to 0 .. w × h and
// whether the position lies outside the image.
int64_t index_of(const Cell* img, const Cell* pos, bool one_based, bool& out) {
  int64_t w = width(img), h = height(img), p;
  out = false;
  if (is_type(pos, T_PAIR)) {
    int64_t x = pair::x(pos), y = pair::y(pos);
    out = one_based ? (x < 1 || x > w || y < 1 || y > h) : (x < 0 || x >= w || y < 0 || y >= h);
    p = one_based && y > 0 ? x + w * (y - 1) : x + w * y;
  } else if (is_type(pos, T_INTEGER)) {
    p = get_int(pos);
  } else {
    // A float beyond any image (or NaN) is cut to a far position first.
    double d = get_double(pos);
    p = d != d ? 0 : static_cast<int64_t>(std::clamp(d, -4294967296.0, 4294967296.0));
  }
  int64_t i = one_based ? head(img) + p - 1 : p + head(img);
  if (one_based && p <= 0) i += 1;
  if ((one_based && p == 0) || i < 0 || i >= w * h) out = true;
  return std::clamp<int64_t>(i, 0, w * h);
}

// --- Making -------------------------------------------------------------------------

[[noreturn]] void invalid_arg(const Cell* v) {
  Cell c = *v;
  fire(Err::invalid_arg, &c);
}

// Fills a new bitmap from a colour, or from rgb triples and alpha bytes
// (transparency; missing ones leave white, opaque pixels).
void fill(bm::Bitmap* b, const Cell* colour, const Cell* rgb, const Cell* alpha) {
  if (!b || !b->pixels) return;
  size_t n = size_t(b->width) * size_t(b->height);
  if (colour) {
    std::fill(b->pixels, b->pixels + n, tuple_pixel(colour));
    return;
  }
  std::span<const uint8_t> c, a;
  if (rgb) c = {reinterpret_cast<const uint8_t*>(binary::xs_head(rgb)), size_t(binary::xs_length_q(rgb)) / 3 * 3};
  if (alpha) a = {reinterpret_cast<const uint8_t*>(binary::xs_head(alpha)), size_t(binary::xs_length_q(alpha))};
  for (size_t i = 0; i < n; i++) {
    uint32_t A = i < a.size() ? 255u - a[i] : 255u;
    uint32_t R = 255, G = 255, B = 255;
    if (i * 3 < c.size()) R = c[i * 3], G = c[i * 3 + 1], B = c[i * 3 + 2];
    b->pixels[i] = A << 24 | R << 16 | G << 8 | B;
  }
}

Cell* copy_whole(Cell* img, Cell* out);

Cell* make(Cell* proto, Cell* spec, int) {
  const Cell* size = nullptr;
  const Cell *colour = nullptr, *rgb = nullptr, *alpha = nullptr;
  if (is_type(spec, T_PAIR)) {
    size = spec;
  } else if (is_type(spec, T_BLOCK)) {
    int32_t n = series::get_length(spec, false);
    if (n == 0) {
      if (is_type(proto, T_IMAGE)) return copy_whole(proto, stack::push_new());
      invalid_arg(spec);
    }
    // The items are cells of the block: copied onto the stack, where they stay put.
    Cell* items = stack::push(block::buf(spec)->cells() + block::head_of(spec));
    for (int32_t i = 1; i < std::min(n, 3); i++) stack::push(block::buf(spec)->cells() + block::head_of(spec) + i);
    if (!is_type(items, T_PAIR)) invalid_arg(items);
    size = items;
    if (n >= 2) {
      if (is_type(items + 1, T_BINARY)) rgb = items + 1;
      else if (is_type(items + 1, T_TUPLE)) colour = items + 1;
      else invalid_arg(items + 1);
    }
    if (n >= 3) {
      if (!is_type(items + 2, T_BINARY)) invalid_arg(items + 2);
      alpha = items + 2;
    }
  } else {
    return nullptr;  // to image!
  }
  int64_t w = std::max(pair::x(size), 0), h = std::max(pair::y(size), 0);
  if (w > bm::MAX_SIDE || h > bm::MAX_SIDE) {
    Cell s = *size;
    fire(Err::size_limit, &s);
  }
  bm::Bitmap* b = new_bitmap(w, h);
  fill(b, colour, rgb, alpha);
  return push(b, static_cast<int32_t>(w), static_cast<int32_t>(h));
}

Cell* to(Cell* proto, Cell* spec, int type) {
  if (is_type(spec, T_IMAGE)) return copy_whole(spec, stack::push_new());
  if (is_type(spec, T_OBJECT) && face_capture) {
    Cell got = fixed_none;
    if (face_capture(spec, &got)) return stack::push(&got);
  }
  Cell t = datatype::make_cell(T_IMAGE), s = *spec;
  fire(Err::bad_to_arg, &t, &s);
}

Cell* make_slot(Cell* proto, Cell* spec, int type) {
  Cell* r = make(proto, spec, type);
  return r ? r : to(proto, spec, type);
}

// --- Text ------------------------------------------------------------------------------

// make image! [WxH #{rgb...}] and, when a pixel is not opaque, #{alpha...}
// after it; both sections from the head. Ten pixels to a line unless flat.
int mold_core(Cell* img, Cell* out, bool only, bool flat, Cell* arg, int part, int indent) {
  if (!only) part = actions::emit(out, "make image! [", part);
  int32_t before = actions::length_of(out);
  string::append_int(out, width(img));
  string::append_char(out, 'x');
  string::append_int(out, height(img));
  part -= actions::length_of(out) - before;
  bm::Bitmap* b = bitmap(img);
  int64_t from = std::clamp<int64_t>(head(img), 0, area(img));
  int64_t n = b ? area(img) - from : 0;
  auto newline = [&](int levels) {
    string::append_char(out, '\n');
    part = actions::append_indent(out, levels, part - 1);
  };
  auto section = [&](bool alpha, bool lines) {
    part = actions::emit(out, " #{", part);
    if (lines) newline(indent + 1);
    for (int64_t i = 0; i < n; i++) {
      uint32_t p = b->pixels[from + i];
      char hex[6];
      if (alpha) {
        string::byte_to_hex(static_cast<uint8_t>(255 - (p >> 24)), hex);
      } else {
        string::byte_to_hex(static_cast<uint8_t>(p >> 16), hex);
        string::byte_to_hex(static_cast<uint8_t>(p >> 8), hex + 2);
        string::byte_to_hex(static_cast<uint8_t>(p), hex + 4);
      }
      string::append_ascii(out, std::string_view(hex, alpha ? 2 : 6));
      part -= alpha ? 2 : 6;
      if (arg && part <= 0) return false;
      if (lines && (i + 1) % 10 == 0 && i + 1 < n) newline(indent + 1);
    }
    if (lines) newline(indent);
    part = actions::emit(out, "}", part);
    return !(arg && part <= 0);
  };
  if (!b) {
    part = actions::emit(out, " #{}", part);
  } else {
    if (!section(false, !flat && n * 3 > 30)) return part;
    bool has_alpha = false;
    for (int64_t i = 0; i < n && !has_alpha; i++) has_alpha = (b->pixels[from + i] >> 24) != 255;
    if (has_alpha && !section(true, !flat)) return part;
  }
  if (!only) part = actions::emit(out, "]", part);
  return part;
}

int form(Cell* img, Cell* out, Cell* arg, int part) { return mold_core(img, out, false, false, arg, part, 0); }
int mold(Cell* img, Cell* out, int only, int, int flat, Cell* arg, int part, int indent) {
  return mold_core(img, out, only != 0, flat != 0, arg, part, indent);
}

// --- Series slots -------------------------------------------------------------------------

int length_q(Cell* img) { return static_cast<int>(area(img)); }

void at() {
  Cell* img = stack::base();
  bool out;
  set_head(img, static_cast<int32_t>(index_of(img, img + 1, true, out)));
}
void skip() {
  Cell* img = stack::base();
  bool out;
  set_head(img, static_cast<int32_t>(index_of(img, img + 1, false, out)));
}
void next() {
  Cell* img = stack::base();
  if (head(img) + int64_t{1} <= area(img)) set_head(img, head(img) + 1);
}
void tail() { set_head(stack::base(), static_cast<int32_t>(area(stack::base()))); }
void tail_q() {
  Cell* img = stack::base();
  *img = logic(head(img) >= area(img));
}

// The position: the index cell when it is one, else the index itself.
int64_t position(const Cell* img, int index, const Cell* boxed, bool& out) {
  Cell at = is_type(boxed, T_INTEGER) || is_type(boxed, T_PAIR) || is_type(boxed, T_FLOAT) ? *boxed : integer::make_cell(index);
  return index_of(img, &at, true, out);
}

Cell* pick(Cell* img, int index, Cell* boxed) {
  bool out;
  int64_t i = position(img, index, boxed, out);
  if (out) return &fixed_none;
  Cell t = pixel_tuple(pixel_at(img, i));
  return stack::push(&t);
}

Cell* poke(Cell* img, int index, Cell* value, Cell* boxed) {
  bool out;
  int64_t i = position(img, index, boxed, out);
  if (out) {
    Cell c = *boxed;
    fire(Err::out_of_range, &c);
  }
  if (!is_type(value, T_TUPLE)) invalid_arg(value);
  bool owned = series::notify_before(img, series::Notice::poke, value, static_cast<int32_t>(i), 1);
  pixel_at(img, i) = tuple_pixel(value);
  if (owned) series::notify_after(img, series::Notice::poke, value, static_cast<int32_t>(i), 1);
  return value;
}

// --- Copying -----------------------------------------------------------------------------

// A new image of the rectangle into out (empty when it has no area).
Cell* clip_into(Cell* img, Cell* out, int64_t x, int64_t y, int64_t w, int64_t h) {
  if (w < 1 || h < 1) return make_at(out, nullptr);
  bm::Bitmap* b = bm::clip(*pixels_of(img), static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w),
                           static_cast<int32_t>(h));
  if (!b) fire(Err::no_memory);
  return make_at(out, b, b->width, b->height);
}

Cell* copy_whole(Cell* img, Cell* out) {
  if (area(img) == 0) return make_at(out, nullptr);
  return clip_into(img, out, 0, 0, width(img), height(img));
}

Cell* copy(Cell* img, Cell* out, Cell* part, int, Cell*) {
  int64_t w = width(img), h = height(img);
  if (w == 0 || h == 0) return make_at(out, nullptr);
  int64_t hd = head(img);
  int64_t x0 = hd % w, y0 = hd / w;
  if (!part) {
    if (hd <= 0) return copy_whole(img, out);
    if (hd >= w * h) return make_at(out, nullptr);
    return clip_into(img, out, x0, y0, w - x0, h - y0);
  }
  if (is_type(part, T_PAIR)) {
    int64_t px = pair::x(part), py = pair::y(part);
    if (px >= 1 && py >= 1) {
      if (hd < 0 || hd >= w * h) return make_at(out, nullptr);
      return clip_into(img, out, x0, y0, std::min(w - x0, px), std::min(h - y0, py));
    }
    if (px < 0 && py < 0 && hd > 0) {
      // Up and to the left of the head.
      int64_t cw = -px, ch = -py;
      if (x0 == 0) x0 = w;
      if (x0 >= cw) x0 -= cw;
      else cw = x0, x0 = 0;
      if (y0 < h) y0 += 1;
      if (y0 >= ch) y0 -= ch;
      else ch = y0, y0 = 0;
      return clip_into(img, out, x0, y0, cw, ch);
    }
    return make_at(out, nullptr);
  }
  if (is_type(part, T_INTEGER)) fire(Err::not_done);
  if (!is_type(part, T_IMAGE) || record(part) != record(img)) {
    Cell w = words::word(words::W::part), v = *part;  // "invalid part argument:"
    fire(Err::invalid_refine_arg, &w, &v);
  }
  int64_t a = std::clamp<int64_t>(std::min(hd, int64_t{head(part)}), 0, w * h);
  int64_t z = std::clamp<int64_t>(std::max(hd, int64_t{head(part)}), 0, w * h);
  int64_t ax = a % w, ay = a / w, zx = z % w, zy = z / w;
  int64_t lx = std::min(ax, zx);
  return clip_into(img, out, lx, ay, std::max(ax, zx) - lx, zy - ay);
}

// --- change -----------------------------------------------------------------------------

Cell* change(Cell* img, Cell* value, int part, int, int dup) {
  if (part >= 0 || dup > 1) fire(Err::not_done);
  int64_t w = width(img), h = height(img);
  if (is_type(value, T_TUPLE)) {
    bool out;
    Cell one = integer::make_cell(1);
    int64_t i = index_of(img, &one, true, out);
    if (out) {
      Cell c = integer::make_cell(head(img) + 1);
      fire(Err::out_of_range, &c);
    }
    bool owned = series::notify_before(img, series::Notice::change, value, static_cast<int32_t>(i), 1);
    pixel_at(img, i) = tuple_pixel(value);
    set_head(img, static_cast<int32_t>(i + 1));
    if (owned) series::notify_after(img, series::Notice::change, value, static_cast<int32_t>(i), 1);
    return img;
  }
  if (!is_type(value, T_IMAGE)) {
    Cell d = datatype::make_cell(type_of(value));
    fire(Err::invalid_type, &d);
  }
  int64_t hd = head(img);
  if (hd < 0 || hd >= w * h) return img;
  bool owned = series::notify_before(img, series::Notice::change, value, static_cast<int32_t>(hd), 1);
  int64_t x0 = hd % w, y0 = hd / w;
  int64_t sw = width(value), sh = height(value);
  int64_t cols = std::min(sw, w - x0), rows = std::min(sh, h - y0);
  bm::Bitmap* dst = pixels_of(img);
  bm::Bitmap* src = pixels_of(value);
  if (cols > 0 && rows > 0) {
    // memmove: the source may be this very image.
    for (int64_t r = 0; r < rows; r++)
      std::memmove(dst->pixels + (y0 + r) * w + x0, src->pixels + r * sw, size_t(cols) * 4);
    set_head(img, static_cast<int32_t>((y0 + rows - 1) * w + std::min(x0 + sw, w)));
  }
  if (owned) series::notify_after(img, series::Notice::change, value, static_cast<int32_t>(hd), 1);
  return img;
}

// --- Comparison --------------------------------------------------------------------------

// Equal when the sizes and every pixel are; the head does not count.
int compare(Cell* a, Cell* b, int op) {
  if (!is_type(b, T_IMAGE)) return COMPARE_INVALID;
  bool same = record(a) == record(b) && head(a) == head(b);
  if (op == COMP_SAME) return same ? 0 : -1;
  if (same && (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL)) return 0;
  if (!(op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_SORT ||
        op == COMP_CASE_SORT || op == COMP_FIND))
    return COMPARE_INVALID;
  int64_t na = area(a), nb = area(b);
  if (na != nb) return na < nb ? -1 : 1;
  if (width(a) != width(b)) return width(a) < width(b) ? -1 : 1;
  if (na == 0) return 0;
  int r = std::memcmp(pixels_of(a)->pixels, pixels_of(b)->pixels, size_t(na) * 4);
  return (r > 0) - (r < 0);
}

// --- Paths -----------------------------------------------------------------------------------

Cell* eval_path(Cell* img, Cell* element, Cell* value, const PathStep& step) {
  if (is_type(element, T_INTEGER) || is_type(element, T_PAIR)) {
    if (value) return poke(img, get_int(element), value, element);
    return pick(img, get_int(element), element);
  }
  if (is_type(element, T_WORD)) {
    int32_t sym = word_symbol(element);
    int data_kind = words::is(sym, words::W::argb) ? 2 : words::is(sym, words::W::rgb) ? 1 : words::is(sym, words::W::alpha) ? 0 : -1;
    if (words::is(sym, words::W::size) && !value) return pair::push(width(img), height(img));
    if (data_kind >= 0) {
      if (!value) return extract_data(img, data_kind);
      set_data(img, value, data_kind);
      return value;
    }
  }
  series::fail_path(Err::invalid_path, step, element);
}

}  // namespace

// --- The record ------------------------------------------------------------------------

bm::Bitmap* bitmap(const Cell* c) {
  if (!record(c)) return nullptr;
  const handles::Entry* e = handles::resolve(record_ref(record(c)));
  return e ? static_cast<bm::Bitmap*>(e->object) : nullptr;
}

void pressure();

bm::Bitmap* new_bitmap(int64_t w, int64_t h) {
  if (w > bm::MAX_SIDE || h > bm::MAX_SIDE) {
    Cell s = pair::make_cell(static_cast<int32_t>(std::min<int64_t>(w, INT32_MAX)), static_cast<int32_t>(std::min<int64_t>(h, INT32_MAX)));
    fire(Err::size_limit, &s);
  }
  if (w <= 0 || h <= 0) return nullptr;
  pressure();
  bm::Bitmap* b = bm::make(static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (!b) {  // unreachable images may hold what the limit counts
    collector::collect_if_enabled();
    b = bm::make(static_cast<int32_t>(w), static_cast<int32_t>(h));
  }
  if (!b) fire(Err::no_memory);
  return b;
}

Cell* make_at(Cell* c, bm::Bitmap* b, int32_t w, int32_t h) {
  if (!b || !b->pixels) {
    if (b) w = b->width, h = b->height;
    bm::release(b);
    return set_cell(c, 0, std::max(w, 0), std::max(h, 0));
  }
  std::unique_ptr<bm::Bitmap, void (*)(bm::Bitmap*)> owner(b, bm::release);
  Node n = memory::alloc_bytes(4);  // may collect: the bitmap is not in the table yet
  int32_t index = handles::store(b, kind);
  owner.release();
  uint32_t ref = handles::reference(index);
  SeriesBuf* s = buf_of(n);
  std::memcpy(s->head_ptr(), &ref, 4);
  s->tail = s->head + 4;
  return set_cell(c, n, b->width, b->height);
}

Cell* push(bm::Bitmap* b, int32_t w, int32_t h) {
  Cell* c = stack::push_new();
  set_unset(c);
  return make_at(c, b, w, h);
}

Cell pixel_tuple(uint32_t p) {
  uint8_t v[4] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                  static_cast<uint8_t>(255 - (p >> 24))};
  return tuple::make_cell(4, v);
}

uint32_t tuple_pixel(const Cell* t) {
  uint32_t a = tuple::count(t) > 3 ? 255u - tuple::byte(t, 3) : 255u;
  return a << 24 | uint32_t{tuple::byte(t, 0)} << 16 | uint32_t{tuple::byte(t, 1)} << 8 | tuple::byte(t, 2);
}

// --- Raw data -----------------------------------------------------------------------------

Cell* extract_data(const Cell* img, int data_kind) {
  int64_t n = area(img);
  int unit = data_kind == 0 ? 1 : data_kind == 1 ? 3 : 4;
  if (n * unit > INT32_MAX) fire(Err::no_memory);
  Cell* r = binary::make_at(stack::push_new(), static_cast<int32_t>(n * unit));
  if (n == 0) return r;
  const uint32_t* px = pixels_of(img)->pixels;
  SeriesBuf* s = series::buf(r);
  uint8_t* o = reinterpret_cast<uint8_t*>(s->head_ptr());
  for (int64_t i = 0; i < n; i++) {
    uint32_t p = px[i];
    if (data_kind == 0) {
      o[i] = static_cast<uint8_t>(255 - (p >> 24));
    } else if (data_kind == 1) {
      o[3 * i] = static_cast<uint8_t>(p >> 16), o[3 * i + 1] = static_cast<uint8_t>(p >> 8), o[3 * i + 2] = static_cast<uint8_t>(p);
    } else {
      std::memcpy(o + 4 * i, &p, 4);
    }
  }
  s->tail = s->head + static_cast<Off>(n * unit);
  return r;
}

void set_data(Cell* img, Cell* value, int data_kind) {
  int64_t n = area(img);
  if (!is_type(value, T_BINARY) && !is_type(value, T_TUPLE) && !is_type(value, T_INTEGER)) invalid_arg(value);
  if (n == 0) return;
  bool owned = series::notify_before(img, series::Notice::poke, value, head(img), 0);
  uint32_t* px = pixels_of(img)->pixels;
  if (is_type(value, T_BINARY)) {
    const uint8_t* d = reinterpret_cast<const uint8_t*>(binary::xs_head(value));
    int64_t len = binary::xs_length_q(value);
    if (data_kind == 2) {
      std::memcpy(px, d, size_t(std::min(len, n * 4)));
    } else if (data_kind == 1) {
      for (int64_t i = 0, k = std::min(len / 3, n); i < k; i++)
        px[i] = (px[i] & 0xFF000000u) | uint32_t{d[3 * i]} << 16 | uint32_t{d[3 * i + 1]} << 8 | d[3 * i + 2];
    } else {
      for (int64_t i = 0, k = std::min(len, n); i < k; i++) px[i] = (px[i] & 0xFFFFFFu) | uint32_t(255 - d[i]) << 24;
    }
  } else {
    // The value's four bytes R G B A as one little-endian word.
    uint32_t v;
    if (is_type(value, T_TUPLE)) {
      v = uint32_t{tuple::byte(value, 0)} | uint32_t{tuple::byte(value, 1)} << 8 | uint32_t{tuple::byte(value, 2)} << 16;
      if (tuple::count(value) > 3) v |= uint32_t{tuple::byte(value, 3)} << 24;
    } else {
      v = static_cast<uint32_t>(get_int(value));
    }
    uint32_t rgb = (v & 255) << 16 | ((v >> 8) & 255) << 8 | ((v >> 16) & 255);
    for (int64_t i = 0; i < n; i++) {
      if (data_kind == 2) px[i] = (255 - (v >> 24)) << 24 | rgb;
      else if (data_kind == 1) px[i] = (px[i] & 0xFF000000u) | rgb;
      else px[i] = (px[i] & 0xFFFFFFu) | (255 - (v & 255)) << 24;
    }
  }
  if (owned) series::notify_after(img, series::Notice::poke, value, head(img), 0);
}

// --- Codecs ---------------------------------------------------------------------------------

bool is_encoded(std::span<const uint8_t> bytes) { return bm::sniff(bytes).has_value(); }

namespace {
// A codec that failed for want of its platform library says which one.
void check_library() {
  const char* lib = bm::missing_library();
  if (!lib) return;
  std::string text = std::string("cannot load the image library (") + lib + ")";
  Cell* s = string::push_new(static_cast<int32_t>(text.size()) + 1);
  string::append_utf8(s, text);
  fire(Err::message, s);
}
}  // namespace

Cell* encode(Cell* img, int format) {
  if (width(img) == 0 && height(img) == 0) fire(Err::bad_media);
  if (format < 0 || format >= bm::FORMAT_COUNT) {
    Cell* text = string::push_new(32);
    string::append_utf8(text, "Cannot find image encoder");
    print_hooks::call_print(text, true);
    stack::pop(1);
    return nullptr;
  }
  if (area(img) == 0) return binary::make_at(stack::push_new(), 1);
  std::vector<uint8_t> out;
  bool ok = bm::encode(*pixels_of(img), static_cast<bm::Format>(format), out);
  if (!ok) check_library();
  if (!ok || out.size() > INT32_MAX) fire(Err::bad_media);
  return binary::load(out.data(), static_cast<int32_t>(out.size()));
}

// Pixels live outside the collected heap: once enough were made since the
// last time, collect, so that unreachable images let theirs go. Only where
// a collection may run.
void pressure() {
  if (bm::made_bytes() > std::max<int64_t>(int64_t{64} << 20, bm::live_bytes() / 2)) {
    bm::reset_made_bytes();
    collector::collect_if_enabled();
  }
}

Cell* load_binary(std::span<const uint8_t> bytes) {
  if (!is_encoded(bytes)) return stack::push(&fixed_none);
  pressure();
  bm::Bitmap* b = bm::decode(bytes);
  if (!b) check_library();
  if (!b) fire(Err::bad_media);
  return push(b);
}

Cell* decode(Cell* data) {
  if (is_type(data, T_BINARY)) {
    std::vector<uint8_t> copy(reinterpret_cast<const uint8_t*>(binary::xs_head(data)),
                              reinterpret_cast<const uint8_t*>(binary::xs_head(data)) + binary::xs_length_q(data));
    return load_binary(copy);
  }
  // Anything but a binary names a file.
  if (!series::string_like(type_of(data))) invalid_arg(data);
  std::string path = string::utf8_of(data);
  pressure();
  bm::Bitmap* b = bm::decode_file(path);
  if (!b) check_library();
  if (!b) {
    Cell f = *data;
    fire(Err::cannot_open, &f);
  }
  return push(b);
}

void init() {
  kind = static_cast<uint32_t>(handles::register_kind("image", release_object));
  datatype::Registration r{T_IMAGE, T_SERIES, "image!"};
  // The record is a plain series; its handle entry is marked from it.
  r.marks({collector::Holds::nothing, collector::Holds::series, collector::Holds::nothing, &mark});
  r.set(A_MAKE, &make_slot).set(A_TO, &to).set(A_FORM, &form).set(A_MOLD, &mold);
  r.set(A_EVAL_PATH, &eval_path).set(A_COMPARE, &compare);
  // Keyed by record and head, as the block types are.
  r.hashes(&hashtable::by_words<1, 2>, true);
  r.set(A_AT, &at).set(A_CHANGE, &change).set(A_COPY, &copy).set(A_LENGTH_Q, &length_q).set(A_NEXT, &next);
  r.set(A_PICK, &pick).set(A_POKE, &poke).set(A_SKIP, &skip).set(A_TAIL, &tail).set(A_TAIL_Q, &tail_q);
  r.inherit({A_BACK, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_MODIFY});
  datatype::register_type(r);
}

}  // namespace xeb::image
