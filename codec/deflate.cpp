// deflate.cpp: the DEFLATE encoder. Matches are found through hash chains
// over three-byte prefixes with lazy evaluation (a match is taken only when
// the next position has no longer one); every 16,384 symbols a block is
// written in whichever of the stored, fixed and dynamic forms costs the
// fewest bits, counted exactly.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "codec/deflate.h"
#include "codec/deflate_tables.h"
#include "codec/huffman.h"

namespace xeb::codec {
namespace {

using namespace dtab;

constexpr int kMaxHashBits = 15;
constexpr int kWindowMask = kWindow - 1;
constexpr int kSymBuffer = 16384;
constexpr int kTooFar = 4096;      // a 3-byte match farther back costs more than its literals
constexpr int kMaxLazy = 16;       // no search after a match this long
constexpr int kGoodLength = 8;     // after a match this long, search a quarter of the chain
constexpr int kMaxChain = 128;
constexpr int kNiceLength = 128;   // a match this long ends the search
constexpr int32_t kNone = -65536;  // an empty hash slot: farther back than any window

// Length 3..258 (as length - 3) to its length code 0..28.
constexpr auto kLengthCode = [] {
  std::array<uint8_t, 256> t{};
  for (int code = 0; code < 29; ++code) {
    int first = kLenBase[code] - 3;
    int last = code == 28 ? 255 : kLenBase[code + 1] - 4;
    for (int l = first; l <= last; ++l) t[size_t(l)] = uint8_t(code);
  }
  return t;
}();

// Distance 1..32768 to its distance code 0..29: (distance - 1) below 256
// directly, above by (distance - 1) >> 7.
constexpr auto kDistCode = [] {
  std::array<uint8_t, 512> t{};
  for (int code = 0; code < 30; ++code) {
    int first = kDistBase[code] - 1;
    int last = code == 29 ? 32767 : kDistBase[code + 1] - 2;
    for (int d = first; d <= last; ++d) {
      if (d < 256) t[size_t(d)] = uint8_t(code);
      else t[size_t(256 + (d >> 7))] = uint8_t(code);
    }
  }
  return t;
}();

inline int dist_code(uint32_t dist) {
  uint32_t d = dist - 1;
  return d < 256 ? kDistCode[d] : kDistCode[256 + (d >> 7)];
}

inline uint16_t load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Bits least-significant first into a caller's buffer; past the limit the
// cursor goes on counting so that the needed size is known at the end.
class BitWriter {
 public:
  BitWriter(uint8_t* out, size_t limit) : out_(out), limit_(limit) {}

  void put(uint32_t v, unsigned n) {
    bits_ |= uint64_t(v) << count_;
    count_ += n;
    if (count_ >= 32) flush32();
  }
  unsigned pending_bits() const { return count_; }
  // Zero bits to the byte boundary, and every whole byte out.
  void align() {
    count_ = (count_ + 7) & ~7u;
    while (count_ > 0) {
      byte(uint8_t(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  // Raw bytes; the writer is aligned.
  void bytes(const uint8_t* p, size_t n) {
    if (pos_ < limit_) std::memcpy(out_ + pos_, p, std::min(n, limit_ - pos_));
    pos_ += n;
  }
  size_t size() const { return pos_; }

 private:
  uint8_t* out_;
  size_t limit_;
  size_t pos_ = 0;
  uint64_t bits_ = 0;
  unsigned count_ = 0;

  void byte(uint8_t b) {
    if (pos_ < limit_) out_[pos_] = b;
    ++pos_;
  }
  void flush32() {
    if (pos_ <= limit_ && limit_ - pos_ >= 4) {
      uint32_t w = uint32_t(bits_);
      std::memcpy(out_ + pos_, &w, 4);
      pos_ += 4;
    } else {
      for (int i = 0; i < 4; ++i) byte(uint8_t(bits_ >> (8 * i)));
    }
    bits_ >>= 32;
    count_ -= 32;
  }
};

struct FixedCode {
  uint8_t litlen_len[kLitLenSyms];
  uint16_t litlen_code[kLitLenSyms];
  uint8_t dist_len[kDistSyms];
  uint16_t dist_code[kDistSyms];
  FixedCode() {
    for (int s = 0; s < kLitLenSyms; ++s) litlen_len[s] = uint8_t(fixed_litlen_len(s));
    huffman::canonical_codes(litlen_len, kLitLenSyms, litlen_code);
    for (int s = 0; s < kDistSyms; ++s) dist_len[s] = kFixedDistLen;
    huffman::canonical_codes(dist_len, kDistSyms, dist_code);
  }
};

const FixedCode& fixed_code() {
  static const FixedCode f;
  return f;
}

// The encoder's work area: one allocation per call.
struct Work {
  int32_t head[1 << kMaxHashBits];
  int32_t prev[kWindow];
  uint32_t syms[kSymBuffer];
  uint32_t litlen_freq[kLitLenSyms];
  uint32_t dist_freq[kDistSyms];
  uint32_t precode_freq[19];
};

class Encoder {
 public:
  Encoder(std::span<const uint8_t> in, std::span<uint8_t> out, Work& w)
      : in_(in.data()), n_(in.size()), bw_(out.data(), out.size()), w_(w) {}

  size_t run();

 private:
  const uint8_t* in_;
  size_t n_;
  BitWriter bw_;
  Work& w_;
  int nsyms_ = 0;
  size_t block_start_ = 0;  // first input byte of the current block
  size_t emitted_end_ = 0;  // one past the last byte the symbols cover
  size_t base_ = 0;         // positions in the hash tables count from here

  void literal(uint8_t b) {
    w_.syms[nsyms_++] = b;
    ++w_.litlen_freq[b];
    ++emitted_end_;
    if (nsyms_ == kSymBuffer) flush_block(false);
  }
  void match(uint32_t dist, int len) {
    w_.syms[nsyms_++] = dist << 8 | uint32_t(len - kMinMatch);
    ++w_.litlen_freq[257 + kLengthCode[size_t(len - kMinMatch)]];
    ++w_.dist_freq[dist_code(dist)];
    emitted_end_ += size_t(len);
    if (nsyms_ == kSymBuffer) flush_block(false);
  }

  int longest_match(size_t p, int32_t cand, int prev_len, uint32_t& dist);
  void rebase(size_t p);
  void flush_block(bool final);
  void write_symbols(const uint8_t* llen, const uint16_t* lcode, const uint8_t* dlen, const uint16_t* dcode);
};

// Length of the common prefix of s and m beyond their first two (equal)
// bytes, up to max.
inline int extend(const uint8_t* s, const uint8_t* m, int max) {
  int k = 2;
  while (k + 8 <= max) {
    uint64_t x = load64(s + k) ^ load64(m + k);
    if (x) return k + (__builtin_ctzll(x) >> 3);
    k += 8;
  }
  while (k < max && s[k] == m[k]) ++k;
  return k;
}

int Encoder::longest_match(size_t p, int32_t cand, int prev_len, uint32_t& dist) {
  const int max_len = int(std::min<size_t>(kMaxMatch, n_ - p));
  int best = prev_len;
  if (best >= max_len) return best;
  const int nice = std::min(max_len, kNiceLength);
  int chain = prev_len >= kGoodLength ? kMaxChain >> 2 : kMaxChain;
  const uint8_t* s = in_ + p;
  const int32_t cur = int32_t(p - base_);
  const int32_t limit = cur - kWindow;
  const uint16_t start = load16(s);
  uint16_t end = load16(s + best - 1);
  do {
    const uint8_t* m = in_ + base_ + size_t(cand);
    if (load16(m + best - 1) == end && load16(m) == start) {
      int len = extend(s, m, max_len);
      if (len > best) {
        best = len;
        dist = uint32_t(cur - cand);
        if (len >= nice) break;
        end = load16(s + best - 1);
      }
    }
    cand = w_.prev[cand & kWindowMask];
  } while (cand > limit && --chain != 0);
  return best;
}

// Keeps positions within 32 bits on inputs of 2 GiB and more: every slot is
// moved down by the same amount, those that leave the window emptied.
void Encoder::rebase(size_t p) {
  const int64_t delta = int64_t(p - base_) - kWindow * 2;
  for (int32_t& h : w_.head) h = h - delta >= -kWindow ? int32_t(h - delta) : kNone;
  for (int32_t& h : w_.prev) h = h - delta >= -kWindow ? int32_t(h - delta) : kNone;
  base_ += size_t(delta);
}

size_t Encoder::run() {
  std::memset(w_.litlen_freq, 0, sizeof w_.litlen_freq);
  std::memset(w_.dist_freq, 0, sizeof w_.dist_freq);
  int hash_bits = 8;
  while (hash_bits < kMaxHashBits && (size_t(1) << hash_bits) < n_) ++hash_bits;
  const uint32_t mask = (1u << hash_bits) - 1;
  std::fill(w_.head, w_.head + (1 << hash_bits), kNone);

  uint32_t h = n_ > 2 ? (uint32_t(in_[0]) << 5 ^ in_[1]) & mask : 0;
  int prev_len = kMinMatch - 1;  // the match of the previous position
  uint32_t prev_dist = 0;
  bool pending = false;  // the previous position's byte is not yet emitted
  int skip = 0;
  for (size_t p = 0; p < n_; ++p) {
    if (p - base_ >= 0x7FFF0000u) rebase(p);
    int32_t cand = kNone;
    if (p + 2 < n_) {
      h = ((h << 5) ^ in_[p + 2]) & mask;
      cand = w_.head[h];
      w_.prev[p & kWindowMask] = cand;
      w_.head[h] = int32_t(p - base_);
    }
    if (skip) {
      --skip;
      continue;
    }
    int cur_len = kMinMatch - 1;
    uint32_t cur_dist = 0;
    if (prev_len < kMaxLazy && cand > int32_t(p - base_) - kWindow) {
      int len = longest_match(p, cand, prev_len, cur_dist);
      if (len > prev_len) {
        cur_len = len;
        if (cur_len == kMinMatch && cur_dist > kTooFar) cur_len = kMinMatch - 1;
      }
    }
    if (prev_len >= kMinMatch && cur_len <= prev_len) {
      match(prev_dist, prev_len);
      skip = prev_len - 2;
      pending = false;
      prev_len = kMinMatch - 1;
    } else {
      if (pending) literal(in_[p - 1]);
      pending = true;
      prev_len = cur_len;
      prev_dist = cur_dist;
    }
  }
  if (pending) literal(in_[n_ - 1]);
  flush_block(true);
  bw_.align();
  return bw_.size();
}

// The code-length sequence of the two alphabets, each run-length coded on
// its own; counts the precode symbols, or (with out) lists them as
// symbol | extra << 8.
int run_length(const uint8_t* lens, int n, uint32_t* freq, uint32_t* out, int nout) {
  int prev = -1, count = 0, max_count = 7, min_count = 4;
  int next = lens[0];
  if (next == 0) max_count = 138, min_count = 3;
  auto emit = [&](int sym, int extra) {
    ++freq[sym];
    out[nout++] = uint32_t(sym) | uint32_t(extra) << 8;
  };
  for (int i = 0; i < n; ++i) {
    const int cur = next;
    next = i + 1 < n ? lens[i + 1] : -1;
    if (++count < max_count && cur == next) continue;
    if (count < min_count) {
      for (int k = 0; k < count; ++k) emit(cur, 0);
    } else if (cur != 0) {
      if (cur != prev) {
        emit(cur, 0);
        --count;
      }
      emit(16, count - 3);
    } else if (count <= 10) {
      emit(17, count - 3);
    } else {
      emit(18, count - 11);
    }
    count = 0;
    prev = cur;
    if (next == 0) max_count = 138, min_count = 3;
    else if (cur == next) max_count = 6, min_count = 3;
    else max_count = 7, min_count = 4;
  }
  return nout;
}

void Encoder::write_symbols(const uint8_t* llen, const uint16_t* lcode, const uint8_t* dlen, const uint16_t* dcode) {
  for (int i = 0; i < nsyms_; ++i) {
    const uint32_t s = w_.syms[i];
    if (s < 256) {
      bw_.put(lcode[s], llen[s]);
      continue;
    }
    const int len = int(s & 0xFF);
    const int lc = kLengthCode[size_t(len)];
    bw_.put(lcode[257 + lc] | uint32_t(len + 3 - kLenBase[lc]) << llen[257 + lc], llen[257 + lc] + kLenExtra[lc]);
    const uint32_t dist = s >> 8;
    const int dc = dist_code(dist);
    bw_.put(dcode[dc] | (dist - kDistBase[dc]) << dlen[dc], dlen[dc] + kDistExtra[dc]);
  }
  bw_.put(lcode[kEndOfBlock], llen[kEndOfBlock]);
}

void Encoder::flush_block(bool final) {
  uint32_t* lf = w_.litlen_freq;
  uint32_t* df = w_.dist_freq;
  ++lf[kEndOfBlock];

  uint8_t llen[kLitLenSyms] = {}, dlen[kDistSyms] = {};
  huffman::code_lengths(lf, kUsedLitLen, kMaxCodeLen, llen);
  huffman::code_lengths(df, kUsedDist, kMaxCodeLen, dlen);
  int hlit = kUsedLitLen, hdist = kUsedDist;
  while (llen[hlit - 1] == 0) --hlit;
  while (hdist > 1 && dlen[hdist - 1] == 0) --hdist;

  uint32_t* pf = w_.precode_freq;
  std::memset(pf, 0, sizeof w_.precode_freq);
  uint32_t rle[kUsedLitLen + kUsedDist];
  int nrle = run_length(llen, hlit, pf, rle, 0);
  nrle = run_length(dlen, hdist, pf, rle, nrle);
  uint8_t plen[19];
  huffman::code_lengths(pf, 19, kMaxPrecodeLen, plen);
  int hclen = 19;
  while (hclen > 4 && plen[kPrecodeOrder[hclen - 1]] == 0) --hclen;

  // Exact costs in bits.
  const FixedCode& fx = fixed_code();
  uint64_t extra = 0, dyn = 17 + 3 * uint64_t(hclen), fixed = 3;
  for (int s = 0; s < kUsedLitLen; ++s) {
    dyn += uint64_t(lf[s]) * llen[s];
    fixed += uint64_t(lf[s]) * fx.litlen_len[s];
  }
  for (int c = 0; c < 29; ++c) extra += uint64_t(lf[257 + c]) * kLenExtra[c];
  for (int c = 0; c < kUsedDist; ++c) {
    extra += uint64_t(df[c]) * kDistExtra[c];
    dyn += uint64_t(df[c]) * dlen[c];
    fixed += uint64_t(df[c]) * kFixedDistLen;
  }
  dyn += extra;
  fixed += extra;
  for (int s = 0; s < 19; ++s) dyn += uint64_t(pf[s]) * plen[s];
  dyn += 2 * uint64_t(pf[16]) + 3 * uint64_t(pf[17]) + 7 * uint64_t(pf[18]);

  const size_t span = emitted_end_ - block_start_;
  const size_t chunks = span == 0 ? 1 : (span + 65534) / 65535;
  const unsigned pad = (8 - (bw_.pending_bits() + 3) % 8) % 8;
  const uint64_t stored = 3 + pad + 32 + 40 * uint64_t(chunks - 1) + 8 * uint64_t(span);

  if (stored <= fixed && stored <= dyn) {
    const uint8_t* p = in_ + block_start_;
    size_t left = span;
    for (size_t c = 0; c < chunks; ++c) {
      const uint32_t len = uint32_t(std::min<size_t>(left, 65535));
      bw_.put(final && c + 1 == chunks ? 1 : 0, 3);
      bw_.align();
      bw_.put(len | (len ^ 0xFFFF) << 16, 32);
      bw_.align();
      bw_.bytes(p, len);
      p += len;
      left -= len;
    }
  } else if (dyn < fixed) {
    uint16_t lcode[kLitLenSyms], dcode[kDistSyms], pcode[19];
    huffman::canonical_codes(llen, kLitLenSyms, lcode);
    huffman::canonical_codes(dlen, kDistSyms, dcode);
    huffman::canonical_codes(plen, 19, pcode);
    bw_.put((final ? 1 : 0) | 2 << 1, 3);
    bw_.put(uint32_t(hlit - 257) | uint32_t(hdist - 1) << 5 | uint32_t(hclen - 4) << 10, 14);
    for (int i = 0; i < hclen; ++i) bw_.put(plen[kPrecodeOrder[i]], 3);
    for (int i = 0; i < nrle; ++i) {
      const int sym = int(rle[i] & 0xFF);
      const uint32_t x = rle[i] >> 8;
      const unsigned xbits = sym == 16 ? 2 : sym == 17 ? 3 : sym == 18 ? 7 : 0;
      bw_.put(pcode[sym] | x << plen[sym], plen[sym] + xbits);
    }
    write_symbols(llen, lcode, dlen, dcode);
  } else {
    bw_.put((final ? 1 : 0) | 1 << 1, 3);
    write_symbols(fx.litlen_len, fx.litlen_code, fx.dist_len, fx.dist_code);
  }

  std::memset(lf, 0, sizeof w_.litlen_freq);
  std::memset(df, 0, sizeof w_.dist_freq);
  nsyms_ = 0;
  block_start_ = emitted_end_;
}

}  // namespace

Status deflate(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& size) {
  std::unique_ptr<Work> work(new (std::nothrow) Work);
  if (!work) {
    size = deflate_bound(in.size());
    return Status::too_small;
  }
  Encoder enc(in, out, *work);
  size = enc.run();
  return size <= out.size() ? Status::ok : Status::too_small;
}

}  // namespace xeb::codec
