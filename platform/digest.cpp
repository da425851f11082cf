// Digests through EVP, loaded on first use (platform/dynlib.h). HMAC is
// built here from the digest calls (the key hashed when longer than a block,
// padded, the inner and outer hashes), so its result is the published
// construction's whatever the library offers.
#include "platform/digest.h"

#include <openssl/evp.h>

#include <cstring>

#include "platform/dynlib.h"

namespace xeb::platform::digest {

namespace {

#define CRYPTO_ENTRIES(X)                                                                        \
  X(EVP_md5) X(EVP_sha1) X(EVP_sha256) X(EVP_sha384) X(EVP_sha512) X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) \
  X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex)

struct Crypto {
  CRYPTO_ENTRIES(XEB_DYNLIB_ENTRY)
};

const Crypto* crypto() {
  return dynlib::load<Crypto>(LIBRARY, [](void* lib, Crypto& api) { return true CRYPTO_ENTRIES(XEB_DYNLIB_FIND); });
}

const EVP_MD* md_of(const Crypto& c, Algo a) {
  switch (a) {
    case Algo::md5: return c.EVP_md5();
    case Algo::sha1: return c.EVP_sha1();
    case Algo::sha256: return c.EVP_sha256();
    case Algo::sha384: return c.EVP_sha384();
    case Algo::sha512: return c.EVP_sha512();
  }
  return nullptr;
}

// One digest over up to two pieces: hash(first followed by second).
bool digest2(Algo a, std::span<const uint8_t> first, std::span<const uint8_t> second, uint8_t* out) {
  const Crypto* c = crypto();
  if (!c) return false;
  const EVP_MD* md = md_of(*c, a);
  if (!md) return false;
  EVP_MD_CTX* ctx = c->EVP_MD_CTX_new();
  if (!ctx) return false;
  unsigned int n = 0;
  bool ok = c->EVP_DigestInit_ex(ctx, md, nullptr) == 1 &&
            (first.empty() || c->EVP_DigestUpdate(ctx, first.data(), first.size()) == 1) &&
            (second.empty() || c->EVP_DigestUpdate(ctx, second.data(), second.size()) == 1) &&
            c->EVP_DigestFinal_ex(ctx, out, &n) == 1;
  c->EVP_MD_CTX_free(ctx);
  return ok && static_cast<int>(n) == size(a);
}

}  // namespace

bool available() { return crypto() != nullptr; }

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
