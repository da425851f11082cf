// Digests through EVP. HMAC is built here from the digest calls (the key
// hashed when longer than a block, padded, the inner and outer hashes), so
// its result is the published construction's whatever the library offers.
#include "platform/digest.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace xeb::platform::digest {

namespace {

const EVP_MD* md_of(Algo a) {
  switch (a) {
    case Algo::md5: return EVP_md5();
    case Algo::sha1: return EVP_sha1();
    case Algo::sha256: return EVP_sha256();
    case Algo::sha384: return EVP_sha384();
    case Algo::sha512: return EVP_sha512();
  }
  return nullptr;
}

struct CtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Ctx = std::unique_ptr<EVP_MD_CTX, CtxFree>;

// One digest over up to two pieces: hash(first followed by second).
bool digest2(Algo a, std::span<const uint8_t> first, std::span<const uint8_t> second, uint8_t* out) {
  const EVP_MD* md = md_of(a);
  if (!md) return false;
  Ctx ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return false;
  if (!first.empty() && EVP_DigestUpdate(ctx.get(), first.data(), first.size()) != 1) return false;
  if (!second.empty() && EVP_DigestUpdate(ctx.get(), second.data(), second.size()) != 1) return false;
  unsigned int n = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out, &n) != 1) return false;
  return static_cast<int>(n) == size(a);
}

}  // namespace

bool hash(Algo a, std::span<const uint8_t> data, uint8_t* out) { return digest2(a, data, {}, out); }

bool hmac(Algo a, std::span<const uint8_t> key, std::span<const uint8_t> data, uint8_t* out) {
  const int b = block_size(a), l = size(a);
  uint8_t k[128] = {};
  if (key.size() > static_cast<size_t>(b)) {
    if (!hash(a, key, k)) return false;
  } else if (!key.empty()) {
    std::memcpy(k, key.data(), key.size());
  }
  uint8_t pad[128], inner[kMaxSize];
  for (int i = 0; i < b; i++) pad[i] = k[i] ^ 0x36;
  if (!digest2(a, {pad, static_cast<size_t>(b)}, data, inner)) return false;
  for (int i = 0; i < b; i++) pad[i] = k[i] ^ 0x5C;
  return digest2(a, {pad, static_cast<size_t>(b)}, {inner, static_cast<size_t>(l)}, out);
}

}  // namespace xeb::platform::digest
