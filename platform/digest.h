// Cryptographic digests and HMAC over OpenSSL's EVP interface: MD5, SHA-1,
// SHA-256, SHA-384 and SHA-512, the library loaded at the first digest.
// Nothing here raises: every library call's result is checked, and a failure
// (the library missing included) answers false with the output undefined.
#pragma once
#include <cstdint>
#include <span>

namespace xeb::platform::digest {

enum class Algo { md5, sha1, sha256, sha384, sha512 };

constexpr int kMaxSize = 64;  // the largest digest, SHA-512's

constexpr int size(Algo a) {
  constexpr int kSize[] = {16, 20, 32, 48, 64};
  return kSize[static_cast<int>(a)];
}
// The block size HMAC pads its key to.
constexpr int block_size(Algo a) { return a == Algo::sha384 || a == Algo::sha512 ? 128 : 64; }

// The library the digests come from, loaded at the first use.
constexpr const char* LIBRARY = "libcrypto.so.3";
// Whether it loads (loading it if not yet done).
bool available();

// The digest of the data into out[0 .. size(a)).
bool hash(Algo a, std::span<const uint8_t> data, uint8_t* out);
// HMAC (RFC 2104) of the data under the key into out[0 .. size(a)).
bool hmac(Algo a, std::span<const uint8_t> key, std::span<const uint8_t> data, uint8_t* out);

}  // namespace xeb::platform::digest
