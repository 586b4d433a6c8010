#pragma once
// Little-endian field access for the icon and metafile readers. Every read is
// checked against the end of the span it comes from, so a damaged count or offset
// can never take a reader outside the file.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/bitmap.h"

namespace zelk {

// A read-only window onto bytes of a file or of one record.
class ByteSpan {
 public:
  ByteSpan() = default;
  ByteSpan(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  const std::uint8_t* Data() const noexcept { return data_; }
  std::size_t Size() const noexcept { return size_; }
  bool Has(std::size_t offset, std::size_t count) const noexcept {
    return offset <= size_ && count <= size_ - offset;
  }
  // The part [offset, offset + count); throws when it is not all inside.
  ByteSpan Sub(std::size_t offset, std::size_t count) const {
    Require(offset, count);
    return ByteSpan(data_ + offset, count);
  }

  std::uint8_t U8(std::size_t at) const {
    Require(at, 1);
    return data_[at];
  }
  std::uint16_t U16(std::size_t at) const {
    Require(at, 2);
    return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
  }
  std::int16_t S16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
  std::uint32_t U32(std::size_t at) const {
    Require(at, 4);
    return std::uint32_t{data_[at]} | (std::uint32_t{data_[at + 1]} << 8) |
           (std::uint32_t{data_[at + 2]} << 16) | (std::uint32_t{data_[at + 3]} << 24);
  }
  std::int32_t S32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
  float F32(std::size_t at) const {
    const std::uint32_t bits = U32(at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

 private:
  void Require(std::size_t offset, std::size_t count) const {
    if (!Has(offset, count)) throw ImageError("the file ends inside a record");
  }

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace zelk
