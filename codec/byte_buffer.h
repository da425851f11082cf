// byte_buffer.h: a growable byte buffer outside the managed heap, for codec
// output whose size is known only at the end. The collector never moves it,
// so a codec can hold raw pointers into it while it works.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <utility>

namespace xeb::codec {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& o) noexcept
      : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)), cap_(std::exchange(o.cap_, 0)) {}
  ~ByteBuffer() { std::free(data_); }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return cap_; }

  // Makes room for cap bytes in all; false when memory runs out (the
  // contents are kept either way).
  bool reserve(size_t cap) {
    if (cap <= cap_) return true;
    void* p = std::realloc(data_, cap);
    if (!p) return false;
    data_ = static_cast<uint8_t*>(p);
    cap_ = cap;
    return true;
  }
  // n must not pass the capacity; the bytes up to n are the writer's.
  void set_size(size_t n) { size_ = n; }
  bool append(const uint8_t* p, size_t n) {
    if (size_ + n > cap_ && !reserve(std::max(size_ + n, cap_ * 2))) return false;
    if (n) std::memcpy(data_ + size_, p, n);
    size_ += n;
    return true;
  }
  void clear() { size_ = 0; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t cap_ = 0;
};

}  // namespace xeb::codec
