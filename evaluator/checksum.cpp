// The native checksum and the Internet checksum.
#include "evaluator/checksum.h"

#include <cstring>
#include <optional>
#include <string>

#include "codec/checksums.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "io/files.h"
#include "platform/digest.h"
#include "platform/files.h"
#include "runtime/stack.h"

namespace xeb {

namespace checksum {

uint32_t tcp(std::span<const uint8_t> data) {
  // Summed as little-endian 32-bit words into 64 bits (no carry is lost below
  // 2^32 words); the ones'-complement sum is independent of byte order up to
  // a final swap (RFC 1071, 2(B)).
  uint64_t sum = 0;
  size_t n = data.size(), i = 0;
  const uint8_t* p = data.data();
  for (; i + 4 <= n; i += 4) {
    uint32_t w;
    std::memcpy(&w, p + i, 4);
    sum += w;
  }
  if (i + 2 <= n) {
    sum += static_cast<uint32_t>(p[i] | p[i + 1] << 8);
    i += 2;
  }
  if (i < n) sum += p[i];  // the high byte of a big-endian word
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  uint32_t s = static_cast<uint32_t>(sum);
  s = ((s & 0xFF) << 8) | (s >> 8);
  return ~s & 0xFFFF;
}

}  // namespace checksum

namespace natives {

namespace {

enum class Method { tcp, md5, sha1, crc32, adler32, sha256, sha384, sha512, hash, none };

// The method a word names, letter case ignored.
Method method_of(const Cell* w) {
  constexpr std::string_view kNames[] = {"tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash"};
  std::string_view name = symbol::name(word_symbol(w));
  for (size_t m = 0; m < std::size(kNames); m++) {
    std::string_view k = kNames[m];
    if (name.size() != k.size()) continue;
    bool same = true;
    for (size_t i = 0; i < k.size() && same; i++) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      same = c == k[i];
    }
    if (same) return static_cast<Method>(m);
  }
  return Method::none;
}

std::optional<platform::digest::Algo> algo_of(Method m) {
  using platform::digest::Algo;
  switch (m) {
    case Method::md5: return Algo::md5;
    case Method::sha1: return Algo::sha1;
    case Method::sha256: return Algo::sha256;
    case Method::sha384: return Algo::sha384;
    case Method::sha512: return Algo::sha512;
    default: return std::nullopt;
  }
}

[[noreturn]] void refuse_with(const Cell* spec) {
  Cell w = words::word(words::W::with), s = *spec;
  fire(Err::invalid_refine_arg, &w, &s);
}

// A user error whose message is the text.
[[noreturn]] void fail_text(std::string_view text) {
  Cell* s = string::push_new(static_cast<int32_t>(text.size()) + 1);
  string::append_utf8(s, text);
  fire(Err::message, s);
}

// The bytes of a string (as UTF-8) or a file (read whole); a binary's bytes
// are read in place, so this is empty for one.
std::string owned_bytes(Cell* data) {
  if (is_type(data, T_FILE)) {
    // As read gives it: at most what a binary holds (one byte more tells a
    // longer file, and a device without an end is not read for ever).
    constexpr int64_t kMax = INT32_MAX;
    std::optional<std::string> bytes = platform::files::read(io::host_path(data), kMax + 1, -1);
    if (!bytes) fire(Err::cannot_open, data);
    if (static_cast<int64_t>(bytes->size()) > kMax) fire(Err::too_long);
    return std::move(*bytes);
  }
  if (is_type(data, T_STRING)) return string::utf8_of(data);
  return {};
}

}  // namespace

void checksum(bool, const int32_t* refs) {
  Cell* data = arg(0);
  Cell* method = arg(1);
  Cell* spec = opt(refs[ref(Id::checksum, "with")]);
  TypeId t = type_of(data);
  if (t != T_BINARY && t != T_STRING && t != T_FILE) fire(Err::invalid_arg, data);
  if (!is_type(method, T_WORD)) refuse_arg(1, method);
  Method m = method_of(method);
  if (m == Method::none) fire(Err::invalid_arg, method);
  if (spec && !is_type(spec, T_INTEGER) && !is_type(spec, T_BINARY) && !series::string_like(type_of(spec)))
    refuse_arg(3, spec);

  // Nothing below allocates until the result is made: the bytes of a binary
  // are read in place.
  std::string owned = owned_bytes(data);
  std::span<const uint8_t> bytes;
  if (t == T_BINARY) {
    int32_t n = binary::xs_length_q(data);
    bytes = {reinterpret_cast<const uint8_t*>(binary::xs_head(data)), static_cast<size_t>(n > 0 ? n : 0)};
  } else {
    bytes = {reinterpret_cast<const uint8_t*>(owned.data()), owned.size()};
  }

  uint32_t sum;
  switch (m) {
    case Method::crc32:
    case Method::adler32:
    case Method::tcp:
      if (spec) refuse_with(spec);
      sum = m == Method::crc32 ? codec::crc32(bytes) : m == Method::adler32 ? codec::adler32(bytes) : checksum::tcp(bytes);
      {
        Cell r{T_INTEGER, 0, sum, 0};
        stack::set_result_trim(&r);
      }
      return;
    case Method::hash:
      if (!spec || !is_type(spec, T_INTEGER)) {
        Cell none = fixed_none;
        refuse_with(spec ? spec : &none);
      }
      fail_text("** /hash support not yet implemented; algorithm TBD.");
    default: break;
  }

  platform::digest::Algo a = *algo_of(m);
  if (!platform::digest::available())
    fail_text(std::string("cannot load the digest library (") + platform::digest::LIBRARY + ")");
  uint8_t out[platform::digest::kMaxSize];
  bool ok;
  if (spec) {
    if (is_type(spec, T_INTEGER)) refuse_with(spec);
    std::string key_text;
    std::span<const uint8_t> key;
    if (is_type(spec, T_BINARY)) {
      int32_t n = binary::xs_length_q(spec);
      key = {reinterpret_cast<const uint8_t*>(binary::xs_head(spec)), static_cast<size_t>(n > 0 ? n : 0)};
    } else {
      key_text = string::utf8_of(spec);  // allocates nothing managed
      key = {reinterpret_cast<const uint8_t*>(key_text.data()), key_text.size()};
    }
    ok = platform::digest::hmac(a, key, bytes, out);
  } else {
    ok = platform::digest::hash(a, bytes, out);
  }
  if (!ok) fail_text("The platform's digest library failed");
  Cell* r = binary::load(out, platform::digest::size(a));
  stack::set_result_trim(r);
}

}  // namespace natives
}  // namespace xeb
