// Bounds-checked little-endian reading of metafile records. Every read names
// an offset inside a known span; a read that would leave the span throws
// ShortRecord, which the record loops catch to skip the damaged record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zindrel::metafile {

struct ShortRecord {};

class Bytes {
 public:
  Bytes() = default;
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }

  // True when [offset, offset + length) lies inside the span.
  bool Has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }
  void Need(size_t offset, size_t length) const {
    if (!Has(offset, length)) throw ShortRecord{};
  }

  uint8_t U8(size_t offset) const {
    Need(offset, 1);
    return data_[offset];
  }
  uint16_t U16(size_t offset) const {
    Need(offset, 2);
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const {
    Need(offset, 4);
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  float F32(size_t offset) const {
    uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // The part [offset, offset + length), checked.
  Bytes Sub(size_t offset, size_t length) const {
    Need(offset, length);
    return Bytes(data_ + offset, length);
  }
  // Everything from offset to the end (empty when offset is past the end).
  Bytes From(size_t offset) const {
    if (offset >= size_) return Bytes(data_ + size_, 0);
    return Bytes(data_ + offset, size_ - offset);
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace zindrel::metafile
