// Routines of the codec objects in system/codecs: the Xebbin codec's encoder
// and decoder.
#include <vector>

#include "codec/xebbin.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
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

constexpr Def kCodecs[] = {
    {"_xebbin-encode", &xebbin_encode},
    {"_xebbin-decode", &xebbin_decode},
};

}  // namespace

std::span<const Def> codec_routines() { return kCodecs; }

}  // namespace xeb::routines
