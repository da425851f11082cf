// inflate.cpp: the DEFLATE decoder. Huffman codes decode through two-level
// lookup tables built in the call frame; a 64-bit bit buffer is refilled a
// word at a time while eight input bytes remain, and byte by byte (reading
// zeros past the end and counting them) near the end. Every code is checked
// before use: over-subscribed and incomplete codes, symbols the format does
// not define, runs of code lengths that pass their count, distances before
// the start of the output, and any bit taken from past the input's end are
// errors.
#include <cstring>

#include "codec/deflate.h"
#include "codec/deflate_tables.h"
#include "platform/bytes.h"

namespace xeb::codec {
namespace {

using namespace dtab;

// A table entry: bits 0-3 the code length (all of it, also in a subtable),
// bits 8-11 the extra bits of a length or distance (or the index bits of a
// subtable), bits 12-15 flags, bits 16-31 the value (literal byte, base
// length or distance, precode symbol, or the subtable's start).
constexpr uint32_t kLiteral = 0x8000;
constexpr uint32_t kSpecial = 0x4000;  // end of block or an invalid code
constexpr uint32_t kEob = 0x2000;
constexpr uint32_t kSub = 0x1000;
constexpr uint32_t kInvalid = kSpecial;

constexpr int kLitLenBits = 11;
constexpr int kDistBits = 8;
constexpr int kPrecodeBits = 7;
// Main table plus one subtable (2^(15 - bits) entries) per long code at most.
constexpr int kLitLenTable = (1 << kLitLenBits) + kUsedLitLen * (1 << (kMaxCodeLen - kLitLenBits));
constexpr int kDistTable = (1 << kDistBits) + kUsedDist * (1 << (kMaxCodeLen - kDistBits));
constexpr int kPrecodeTable = 1 << kPrecodeBits;

enum class Kind { litlen, dist, precode };

inline uint32_t reverse_bits(uint32_t code, int len) {
  uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

uint32_t entry_for(Kind kind, int sym, int len) {
  switch (kind) {
    case Kind::litlen:
      if (sym < 256) return uint32_t(sym) << 16 | kLiteral | uint32_t(len);
      if (sym == kEndOfBlock) return kSpecial | kEob | uint32_t(len);
      if (sym < kUsedLitLen)
        return uint32_t(kLenBase[sym - 257]) << 16 | uint32_t(kLenExtra[sym - 257]) << 8 | uint32_t(len);
      return kInvalid | uint32_t(len);
    case Kind::dist:
      if (sym < kUsedDist) return uint32_t(kDistBase[sym]) << 16 | uint32_t(kDistExtra[sym]) << 8 | uint32_t(len);
      return kInvalid | uint32_t(len);
    case Kind::precode:
      return uint32_t(sym) << 16 | uint32_t(len);
  }
  return kInvalid;
}

// Builds the decoding table of a canonical code from its lengths. False for
// an over-subscribed code, and for an incomplete one except where the format
// allows it: a literal/length or distance code of a single 1-bit code, and a
// distance code with no codes at all (a block without matches).
bool build_table(const uint8_t* lens, int n, Kind kind, int bits, uint32_t* table, int capacity) {
  int count[kMaxCodeLen + 1] = {};
  for (int i = 0; i < n; ++i) ++count[lens[i]];
  count[0] = 0;
  int max = 0;
  for (int l = 1; l <= kMaxCodeLen; ++l)
    if (count[l]) max = l;
  int32_t left = 1;
  for (int l = 1; l <= kMaxCodeLen; ++l) {
    left = (left << 1) - count[l];
    if (left < 0) return false;  // over-subscribed
  }
  if (left > 0) {
    bool single = max == 1 && count[1] == 1;
    bool empty = max == 0;
    if (kind == Kind::precode || !(single || (empty && kind == Kind::dist))) return false;
  }
  const int size = 1 << bits;
  for (int i = 0; i < size; ++i) table[i] = kInvalid;
  if (max == 0) return true;

  // The first code of each length, as in RFC 1951.
  uint32_t next_code[kMaxCodeLen + 1];
  uint32_t code = 0;
  for (int l = 1; l <= kMaxCodeLen; ++l) {
    code = (code + uint32_t(l > 1 ? count[l - 1] : 0)) << 1;
    next_code[l] = code;
  }
  const int sub_bits = max > bits ? max - bits : 0;
  int free_at = size;
  for (int s = 0; s < n; ++s) {
    const int len = lens[s];
    if (!len) continue;
    const uint32_t rev = reverse_bits(next_code[len]++, len);
    const uint32_t e = entry_for(kind, s, len);
    if (len <= bits) {
      for (uint32_t i = rev; i < uint32_t(size); i += 1u << len) table[i] = e;
      continue;
    }
    const uint32_t prefix = rev & uint32_t(size - 1);
    if (!(table[prefix] & kSub)) {
      if (free_at + (1 << sub_bits) > capacity) return false;
      for (int i = 0; i < (1 << sub_bits); ++i) table[free_at + i] = kInvalid;
      table[prefix] = uint32_t(free_at) << 16 | kSub | uint32_t(sub_bits) << 8;
      free_at += 1 << sub_bits;
    }
    uint32_t* sub = table + (table[prefix] >> 16);
    for (uint32_t i = rev >> bits; i < (1u << sub_bits); i += 1u << (len - bits)) sub[i] = e;
  }
  return true;
}

struct FixedTables {
  uint32_t litlen[kLitLenTable];
  uint32_t dist[kDistTable];
  FixedTables() {
    uint8_t lens[kLitLenSyms];
    for (int s = 0; s < kLitLenSyms; ++s) lens[s] = uint8_t(fixed_litlen_len(s));
    build_table(lens, kLitLenSyms, Kind::litlen, kLitLenBits, litlen, kLitLenTable);
    uint8_t dl[kDistSyms];
    for (int s = 0; s < kDistSyms; ++s) dl[s] = kFixedDistLen;
    build_table(dl, kDistSyms, Kind::dist, kDistBits, dist, kDistTable);
  }
};

const FixedTables& fixed_tables() {
  static const FixedTables t;
  return t;
}

inline uint64_t low_bits(uint64_t v, unsigned n) { return v & ((uint64_t(1) << n) - 1); }

// Room the fast loop needs: one symbol reads at most 48 bits (refilled from
// 8 input bytes), and a match copies in 8-byte words up to 7 bytes past its
// end.
constexpr size_t kFastIn = 16;
constexpr size_t kFastOut = kMaxMatch + 16;

class Inflater {
 public:
  Inflater(std::span<const uint8_t> in, ByteBuffer& out, size_t limit)
      : in_start_(in.data()), next_(in.data()), end_(in.data() + in.size()), out_(out), limit_(limit) {
    out_base_ = out.size();
    rebase_output();
    out_next_ = out_start_ + out.size();
  }

  Status run(size_t* consumed) {
    Status st = decode_all();
    out_.set_size(size_t(out_next_ - out_start_));
    if (consumed) {
      uint64_t bits = uint64_t(next_ - in_start_ + overrun_) * 8 - left_;
      uint64_t bytes = (bits + 7) / 8;
      *consumed = size_t(bytes > uint64_t(end_ - in_start_) ? end_ - in_start_ : bytes);
    }
    return st;
  }

 private:
  const uint8_t* in_start_;
  const uint8_t* next_;
  const uint8_t* end_;
  uint64_t buf_ = 0;
  unsigned left_ = 0;    // valid bits in buf_ (bits above may hold input not yet counted)
  size_t overrun_ = 0;   // zero bytes read past the end
  ByteBuffer& out_;
  size_t limit_;
  size_t out_base_;      // where this stream's output starts in out_
  uint8_t* out_start_ = nullptr;  // out_'s data
  uint8_t* out_next_ = nullptr;
  uint8_t* out_end_ = nullptr;    // end of the capacity usable (never past limit)

  uint32_t litlen_[kLitLenTable];
  uint32_t dist_[kDistTable];

  void rebase_output() {
    out_start_ = out_.data();
    size_t cap = out_.capacity() < limit_ ? out_.capacity() : limit_;
    out_end_ = out_start_ + cap;
  }

  // Room for need more bytes: grows the buffer (doubling) up to the limit.
  Status room(size_t need) {
    size_t have = size_t(out_end_ - out_next_);
    if (have >= need) return Status::ok;
    size_t used = size_t(out_next_ - out_start_);
    if (limit_ - used < need) return Status::too_small;
    size_t want = used + need;
    size_t grow = out_.capacity() * 2;
    if (grow < 65536) grow = 65536;
    if (grow > want) want = grow < limit_ ? grow : limit_;
    if (!out_.reserve(want) && !out_.reserve(used + need)) return Status::too_small;
    rebase_output();
    out_next_ = out_start_ + used;
    return Status::ok;
  }

  // Padding bits (read past the end) were taken when fewer remain in the
  // buffer than were added.
  bool overran() const { return uint64_t(overrun_) * 8 > left_; }

  void refill_fast() {
    buf_ |= platform::load_le64(next_) << left_;
    next_ += (63 - left_) >> 3;
    left_ |= 56;
  }

  // Tops the buffer up to at least 56 bits; false once bits past the end
  // have been taken (the stream is truncated).
  bool refill() {
    if (end_ - next_ >= 8) {
      refill_fast();
      return true;
    }
    while (left_ <= 56) {
      if (next_ < end_) {
        buf_ |= uint64_t(*next_++) << left_;
      } else {
        if (overran()) return false;
        ++overrun_;
      }
      left_ += 8;
    }
    return true;
  }

  uint32_t take(unsigned n) {
    uint32_t v = uint32_t(low_bits(buf_, n));
    buf_ >>= n;
    left_ -= n;
    return v;
  }

  static uint32_t lookup(const uint32_t* table, int bits, uint64_t buf) {
    uint32_t e = table[buf & ((1u << bits) - 1)];
    if (e & kSub) e = table[(e >> 16) + low_bits(buf >> bits, (e >> 8) & 0xF)];
    return e;
  }

  Status decode_all() {
    for (;;) {
      if (!refill()) return Status::truncated;
      const uint32_t final = take(1);
      const uint32_t type = take(2);
      Status st;
      if (type == 0) {
        st = stored();
      } else if (type == 1) {
        const FixedTables& f = fixed_tables();
        st = huffman(f.litlen, f.dist);
      } else if (type == 2) {
        st = dynamic_header();
        if (st == Status::ok) st = huffman(litlen_, dist_);
      } else {
        return Status::bad_block;
      }
      if (st != Status::ok) return st;
      if (overran()) return Status::truncated;
      if (final) return Status::ok;
    }
  }

  Status stored() {
    take(left_ & 7);  // to the byte boundary
    if (!refill()) return Status::truncated;
    const uint32_t len = take(16);
    const uint32_t nlen = take(16);
    if (overran()) return Status::truncated;
    if ((len ^ 0xFFFF) != nlen) return Status::bad_data;
    // Hand the whole bytes still buffered back to the input.
    const size_t buffered = left_ / 8;
    next_ -= buffered - overrun_;  // overran() is false: buffered >= overrun_
    overrun_ = 0;
    buf_ = 0;
    left_ = 0;
    if (size_t(end_ - next_) < len) return Status::truncated;
    Status st = room(len);
    if (st != Status::ok) return st;
    if (len) std::memcpy(out_next_, next_, len);  // the output may have no buffer yet
    out_next_ += len;
    next_ += len;
    return Status::ok;
  }

  Status dynamic_header() {
    if (!refill()) return Status::truncated;
    const int hlit = int(take(5)) + 257;
    const int hdist = int(take(5)) + 1;
    const int hclen = int(take(4)) + 4;
    if (hlit > kUsedLitLen || hdist > kUsedDist) return Status::bad_data;
    uint8_t pre_lens[19] = {};
    for (int i = 0; i < hclen; ++i) {
      if (left_ < 3 && !refill()) return Status::truncated;
      pre_lens[kPrecodeOrder[i]] = uint8_t(take(3));
    }
    uint32_t pre[kPrecodeTable];
    if (!build_table(pre_lens, 19, Kind::precode, kPrecodeBits, pre, kPrecodeTable)) return Status::bad_data;

    uint8_t lens[kUsedLitLen + kUsedDist];
    const int total = hlit + hdist;
    for (int i = 0; i < total;) {
      if (left_ < 7 + 7 && !refill()) return Status::truncated;
      const uint32_t e = pre[buf_ & (kPrecodeTable - 1)];
      if (e & kSpecial) return Status::bad_data;
      take(e & 0xF);
      const int sym = int(e >> 16);
      if (sym < 16) {
        lens[i++] = uint8_t(sym);
        continue;
      }
      int run;
      uint8_t value = 0;
      if (sym == 16) {
        if (i == 0) return Status::bad_data;
        value = lens[i - 1];
        run = 3 + int(take(2));
      } else if (sym == 17) {
        run = 3 + int(take(3));
      } else {
        run = 11 + int(take(7));
      }
      if (run > total - i) return Status::bad_data;
      std::memset(lens + i, value, size_t(run));
      i += run;
    }
    if (overran()) return Status::truncated;
    if (lens[kEndOfBlock] == 0) return Status::bad_data;  // a block could never end
    if (!build_table(lens, hlit, Kind::litlen, kLitLenBits, litlen_, kLitLenTable)) return Status::bad_data;
    if (!build_table(lens + hlit, hdist, Kind::dist, kDistBits, dist_, kDistTable)) return Status::bad_data;
    return Status::ok;
  }

  // Copies a match of len bytes from dist back; the room is checked.
  static inline void copy_match(uint8_t* dst, size_t dist, size_t len, bool wide) {
    const uint8_t* src = dst - dist;
    if (wide && dist >= 8) {
      uint8_t* end = dst + len;
      do {
        uint64_t w;
        std::memcpy(&w, src, 8);
        std::memcpy(dst, &w, 8);
        src += 8;
        dst += 8;
      } while (dst < end);
    } else if (dist == 1) {
      std::memset(dst, *src, len);
    } else {
      for (size_t i = 0; i < len; ++i) dst[i] = src[i];
    }
  }

  // Decodes while there is input for a word refill and room for the widest
  // copy. The state lives in locals: the byte stores to the output would
  // otherwise make the compiler reload every member after each one.
  // Answers ok (with eob set at the end of the block) or an error.
  Status fast_loop(const uint32_t* lt, const uint32_t* dt, bool& eob) {
    if (end_ - next_ < ptrdiff_t(kFastIn) || out_end_ - out_next_ < ptrdiff_t(kFastOut)) return Status::ok;
    uint64_t buf = buf_;
    unsigned left = left_;
    const uint8_t* next = next_;
    uint8_t* out = out_next_;
    const uint8_t* const in_limit = end_ - kFastIn;
    uint8_t* const out_limit = out_end_ - kFastOut;
    uint8_t* const out_first = out_start_ + out_base_;
    Status st = Status::ok;
    while (next <= in_limit && out <= out_limit) {
      buf |= platform::load_le64(next) << left;
      next += (63 - left) >> 3;
      left |= 56;
      uint32_t e = lookup(lt, kLitLenBits, buf);
      buf >>= e & 0xF;
      left -= e & 0xF;
      if (e & kLiteral) {
        *out++ = uint8_t(e >> 16);
        // Two more literals fit in what is left of the refill (15 bits each).
        e = lookup(lt, kLitLenBits, buf);
        if (!(e & kLiteral)) continue;
        buf >>= e & 0xF;
        left -= e & 0xF;
        *out++ = uint8_t(e >> 16);
        e = lookup(lt, kLitLenBits, buf);
        if (!(e & kLiteral)) continue;
        buf >>= e & 0xF;
        left -= e & 0xF;
        *out++ = uint8_t(e >> 16);
        continue;
      }
      if (e & kSpecial) {
        if (e & kEob) eob = true;
        else st = Status::bad_data;
        break;
      }
      unsigned x = (e >> 8) & 0xF;
      const size_t len = (e >> 16) + size_t(low_bits(buf, x));
      buf >>= x;
      left -= x;
      uint32_t d = lookup(dt, kDistBits, buf);
      if (d & kSpecial) {
        st = Status::bad_data;
        break;
      }
      buf >>= d & 0xF;
      left -= d & 0xF;
      x = (d >> 8) & 0xF;
      const size_t dist = (d >> 16) + size_t(low_bits(buf, x));
      buf >>= x;
      left -= x;
      if (dist > size_t(out - out_first)) {
        st = Status::bad_distance;
        break;
      }
      copy_match(out, dist, len, true);
      out += len;
    }
    buf_ = buf;
    left_ = left;
    next_ = next;
    out_next_ = out;
    return st;
  }

  Status huffman(const uint32_t* lt, const uint32_t* dt) {
    for (;;) {
      bool eob = false;
      const Status fast = fast_loop(lt, dt, eob);
      if (fast != Status::ok || eob) return fast;
      // One symbol with every bound checked; grow the output first so that
      // the fast loop can go on.
      if (size_t(out_end_ - out_next_) < kFastOut && out_.capacity() < limit_) {
        size_t used = size_t(out_next_ - out_start_);
        size_t need = limit_ - used < kFastOut ? limit_ - used : kFastOut;
        Status st = room(need);
        if (st != Status::ok) return st;
        if (size_t(end_ - next_) >= kFastIn && size_t(out_end_ - out_next_) >= kFastOut) continue;
      }
      if (!refill()) return Status::truncated;
      uint32_t e = lookup(lt, kLitLenBits, buf_);
      take(e & 0xF);
      if (e & kLiteral) {
        if (out_next_ == out_end_) {
          Status st = room(1);
          if (st != Status::ok) return st;
        }
        *out_next_++ = uint8_t(e >> 16);
        continue;
      }
      if (e & kSpecial) {
        if (e & kEob) return Status::ok;
        return Status::bad_data;
      }
      const size_t len = (e >> 16) + take((e >> 8) & 0xF);
      if (!refill()) return Status::truncated;
      uint32_t d = lookup(dt, kDistBits, buf_);
      if (d & kSpecial) return Status::bad_data;
      take(d & 0xF);
      const size_t dist = (d >> 16) + take((d >> 8) & 0xF);
      if (overran()) return Status::truncated;
      if (dist > size_t(out_next_ - out_start_) - out_base_) return Status::bad_distance;
      Status st = room(len);
      if (st != Status::ok) return st;
      copy_match(out_next_, dist, len, false);
      out_next_ += len;
    }
  }
};

}  // namespace

Status inflate(std::span<const uint8_t> in, ByteBuffer& out, size_t limit, size_t* consumed) {
  if (limit < out.size()) limit = out.size();
  Inflater inf(in, out, limit);
  return inf.run(consumed);
}

}  // namespace xeb::codec
