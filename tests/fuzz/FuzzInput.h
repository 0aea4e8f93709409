// FuzzInput: reads the fuzzer's bytes as a stream of little fields. Past the
// end every read gives zeros, so a target never needs to check the length.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return pos_ >= size_; }
  size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

  uint8_t u8() {
    uint8_t v = 0;
    bytes(&v, 1);
    return v;
  }
  uint16_t u16() {
    uint16_t v = 0;
    bytes(&v, 2);
    return v;
  }
  uint32_t u32() {
    uint32_t v = 0;
    bytes(&v, 4);
    return v;
  }
  // Copies up to n bytes into out and zero-fills the rest.
  void bytes(void* out, size_t n) {
    const size_t take = std::min(n, remaining());
    if (take) std::memcpy(out, data_ + pos_, take);
    if (n > take) std::memset(static_cast<uint8_t*>(out) + take, 0, n - take);
    pos_ += take;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
