// compress and decompress: the bytes of a binary! (from its position) or of
// a string (as UTF-8) through the DEFLATE codec, raw or in a zlib or gzip
// wrapper as the method word says. The codec works in buffers outside the
// managed heap, so no collection can move what it reads or writes; the
// result is copied into a new binary! at the end.
#include <algorithm>
#include <cstring>
#include <string>

#include "codec/containers.h"
#include "codec/deflate.h"
#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace xeb::natives {

namespace {

enum class Method { deflate, zlib, gzip };

// The largest binary! the 32-bit layout holds, with room for its header.
constexpr size_t kMaxBinary = 0x7FFF0000;

Method method_of(const Cell* m) {
  if (any_word(type_of(m))) {
    const int32_t sym = word_symbol(m);
    if (words::is(sym, words::W::deflate)) return Method::deflate;
    if (words::is(sym, words::W::zlib)) return Method::zlib;
    if (words::is(sym, words::W::gzip)) return Method::gzip;
  }
  fire(Err::invalid_arg, m);
}

// A new binary! holding the bytes, as the native's result.
void binary_result(const uint8_t* bytes, size_t n) {
  Cell* out = binary::make_at(stack::push_new(), static_cast<int32_t>(n));
  SeriesBuf* b = series::buf(out);
  if (n) std::memcpy(b->head_ptr(), bytes, n);
  b->tail = b->head + static_cast<Off>(n);
  stack::set_result_trim(out);
}

}  // namespace

void compress(bool, const int32_t*) {
  Cell* data = arg(0);
  const Method method = method_of(arg(1));
  std::string text;
  const uint8_t* p;
  size_t n;
  if (is_type(data, T_BINARY)) {
    p = reinterpret_cast<const uint8_t*>(binary::xs_head(data));
    n = static_cast<size_t>(binary::xs_length_q(data));
  } else if (series::string_like(type_of(data))) {
    text = string::utf8_of(data);
    p = reinterpret_cast<const uint8_t*>(text.data());
    n = text.size();
  } else {
    refuse_arg(0, data);
  }
  // Nothing managed is allocated until the result: p stays valid.
  codec::ByteBuffer out;
  const size_t room = codec::gzip_bound(n);
  if (!out.reserve(room)) fire(Err::no_memory);
  std::span<const uint8_t> in(p, n);
  std::span<uint8_t> to(out.data(), room);
  size_t size = 0;
  codec::Status st = method == Method::deflate ? codec::deflate(in, to, size)
                     : method == Method::zlib  ? codec::zlib_compress(in, to, size)
                                               : codec::gzip_compress(in, to, size);
  if (st != codec::Status::ok) fire(Err::invalid_data, arg(1));
  if (size > kMaxBinary) fire(Err::too_long);
  binary_result(out.data(), size);
}

void decompress(bool, const int32_t* refs) {
  Cell* data = arg(0);
  if (!is_type(data, T_BINARY)) refuse_arg(0, data);
  const Method method = method_of(arg(1));
  size_t limit = kMaxBinary;
  if (const Cell* sz = opt(refs[ref(Id::decompress, "size")])) {
    if (!is_type(sz, T_INTEGER) || get_int(sz) < 0) fire(Err::invalid_arg, sz);
    limit = std::min(limit, static_cast<size_t>(get_int(sz)));
  }
  const auto* p = reinterpret_cast<const uint8_t*>(binary::xs_head(data));
  std::span<const uint8_t> in(p, static_cast<size_t>(binary::xs_length_q(data)));
  codec::ByteBuffer out;
  codec::Status st = method == Method::deflate ? codec::inflate(in, out, limit)
                     : method == Method::zlib  ? codec::zlib_decompress(in, out, limit)
                                               : codec::gzip_decompress(in, out, limit);
  // Past the largest binary! is too long; anything else (a /size too small
  // among it) is data the method cannot read.
  if (st == codec::Status::too_small && limit == kMaxBinary) fire(Err::too_long);
  if (st != codec::Status::ok) fire(Err::invalid_data, arg(1));
  binary_result(out.data(), out.size());
}

}  // namespace xeb::natives
