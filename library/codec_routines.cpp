// Routines of the codec objects in system/codecs: the Xebbin codec's encoder
// and decoder, the JSON reader and writer, the CSV writer's lines.
#include <algorithm>
#include <vector>

#include "codec/json.h"
#include "codec/xebbin.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/dispatch.h"
#include "evaluator/actions.h"
#include "library/routines.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

// _xebbin-encode [data [any-type!] compact? [logic!]]: a new binary! holding
// data as a Xebbin stream of the layout.
void xebbin_encode() {
  Cell* base = stack::base();
  bool compact = !is_false(base + 1);
  Cell bin = *xebbin::encode(base, compact);
  *base = bin;
}

// _xebbin-decode [payload [any-type!]]: the value a stream holds, or the
// block of its values when it holds other than one.
void xebbin_decode() {
  Cell* base = stack::base();
  if (!is_type(base, T_BINARY) || binary::xs_length_q(base) <= 10) fire(Err::invalid_data, base);
  // Decoding allocates: the bytes must not move under the reader.
  const uint8_t* head = reinterpret_cast<const uint8_t*>(binary::xs_head(base));
  std::vector<uint8_t> bytes(head, head + binary::xs_length_q(base));
  Cell* out = block::push_only(1);
  xebbin::codec_q = true;
  xebbin::decode(bytes, out, true, base);
  Cell r = block::buf(out)->cell_count() == 1 ? block::buf(out)->cells()[0] : *out;
  clear_new_line(&r);
  *base = r;
}

// _json-read [text [string!]]: a block holding the value the JSON text
// denotes, or, for a text that is not JSON, a block of three integers: the
// line count, and the offsets from the text's head of the position after
// the last complete part and of the position after the last line feed.
void json_read() {
  Cell* base = stack::base();
  json::Refusal refused;
  Cell* value = stack::push_new();
  set_unset(value);
  bool ok = json::read(base, value, refused);
  Cell* r = block::push_only(ok ? 1 : 3);
  if (ok) {
    block::xs_append(r, value);
  } else {
    for (int32_t v : {refused.line, refused.mark, refused.last_lf}) {
      Cell c{T_INTEGER, 0, static_cast<uint32_t>(v), 0};
      block::xs_append(r, &c);
    }
  }
  *base = *r;
  stack::pop(2);
}

// _json-write [data [any-type!] indent [string! none!] ascii [logic!]]: the
// JSON text of data, pretty with an indent string.
void json_write() {
  Cell* base = stack::base();
  const Cell* indent = is_type(base + 1, T_STRING) ? base + 1 : nullptr;
  Cell* out = stack::push_new();
  json::write(base, indent, !is_false(base + 2), out);
  *base = *out;
  stack::pop(1);
}

// _csv-line [out data delimiter quote quotable]: appends to out the CSV
// line of data's values and a line feed. Each value is formed; one holding a
// character of quotable is put in quotes, its quote characters doubled.
// Runs between quotes are copied whole. Answers false, having written
// nothing, when the one-pass text routines are off.
void csv_line() {
  Cell* base = stack::base();
  Cell *out = base, *data = base + 1, *dlm = base + 2, *quote = base + 3, *quotable = base + 4;
  if (!string::fast_text || !is_type(out, T_STRING) || !series::block_like(type_of(data)) ||
      !is_type(quote, T_CHAR) || !is_type(quotable, T_BITSET) || !(is_type(dlm, T_CHAR) || is_type(dlm, T_STRING))) {
    *base = fixed_false;
    return;
  }
  const int32_t q = get_int(quote);
  Cell* text = string::push_new(16);
  Cell* run = stack::push(text);  // text from the start of the run being copied
  for (int32_t i = 0, n = std::max(block::xs_length_q(data), 0); i < n; i++) {
    if (i > 0) {
      if (is_type(dlm, T_CHAR)) string::append_char(out, get_int(dlm));
      else string::concatenate(out, dlm, -1, 0, true, string::Mode::append);
    }
    string::xs_reset(text);
    Cell* v = stack::push(block::buf(data)->cells() + series::head(data) + i);
    actions::direct::form(v, text, nullptr, actions::NO_LIMIT);
    stack::pop(1);
    const int32_t len = string::xs_length_q(text);
    int32_t k = 0;
    while (k < len && !bitset::has(quotable, string::char_at(text, k))) k++;
    if (k == len) {
      string::concatenate(out, text, -1, 0, true, string::Mode::append);
      continue;
    }
    string::append_char(out, q);
    int32_t from = 0;
    for (k = 0; k < len; k++) {
      if (string::char_at(text, k) != q) continue;
      *run = *text;
      series::set_head(run, from);
      string::concatenate(out, run, k + 1 - from, 0, true, string::Mode::append);
      string::append_char(out, q);
      from = k + 1;
    }
    *run = *text;
    series::set_head(run, from);
    string::concatenate(out, run, -1, 0, true, string::Mode::append);
    string::append_char(out, q);
  }
  string::append_char(out, '\n');
  stack::pop(2);
  *base = fixed_true;
}

constexpr Def kCodecs[] = {
    {"_csv-line", &csv_line},
    {"_json-read", &json_read},
    {"_json-write", &json_write},
    {"_xebbin-encode", &xebbin_encode},
    {"_xebbin-decode", &xebbin_decode},
};

}  // namespace

std::span<const Def> codec_routines() { return kCodecs; }

}  // namespace xeb::routines
