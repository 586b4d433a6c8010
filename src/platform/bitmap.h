#pragma once
// The working bitmap: 24 bits per pixel, bytes B, G, R, rows top-down, each row
// padded to a multiple of 4 bytes (the layout of a Windows DIB row). Decoders write
// straight into its rows; the colour replacement walks them in place.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace zelk {

// Thrown by readers and by Bitmap::Reset when an image cannot be had; what() is a
// reason a user understands ("the file ends before the image data", ...).
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest image accepted: 2^31 pixels (6 GiB of working bitmap), no side over
// 2^24 pixels. Checked before anything is allocated.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 31;
inline constexpr std::int64_t kMaxImageSide = std::int64_t{1} << 24;

// Throws ImageError naming the limit when width x height may not be allocated.
void CheckImageSize(std::int64_t width, std::int64_t height);

// The memory the system can still give a process without swapping others out:
// MemAvailable from /proc/meminfo, else the free pages sysconf reports; nothing
// when neither can be read.
std::optional<std::uint64_t> SystemAvailableMemory();

// Where bitmaps learn the available memory: SystemAvailableMemory unless a test
// puts a source of its own in its place (nullptr puts the system's back).
using AvailableMemorySource = std::optional<std::uint64_t> (*)();
void SetAvailableMemorySource(AvailableMemorySource source) noexcept;
// The available memory as bitmaps learn it (from the source above).
std::optional<std::uint64_t> AvailableMemory();

// Throws ImageError naming both sizes when a bitmap of width x height needs more
// memory than there is available. Every bitmap is allocated through this check, so
// a decoder learns before it has allocated anything that a picture cannot be had,
// instead of the system swapping itself to a halt or killing the program.
void CheckMemoryAvailable(std::int64_t width, std::int64_t height);

class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  Bitmap(Bitmap&&) noexcept = default;
  Bitmap& operator=(Bitmap&&) noexcept = default;

  // Makes the bitmap width x height, every pixel white. The old pixels are released
  // before the new ones are allocated, so two full images are never held at once.
  // Throws ImageError when the size is out of range or larger than the memory the
  // system has available (the old image stays), or when the memory cannot be had
  // (the bitmap is then empty). 0 x 0 holds nothing.
  void Reset(int width, int height);
  // Same as Reset, but the pixels are left uninitialised (for decoders that write
  // every byte themselves).
  void ResetUninitialised(int width, int height);
  // Same as ResetUninitialised, with at least `room` bytes at Data() even when the
  // pixels need fewer: for a decoder that stages its input in the bitmap's own memory
  // and writes the pixels over it. The available-memory check covers the room;
  // ShrinkToPixels then gives back what the pixels do not need.
  void ResetUninitialisedWithRoom(int width, int height, std::size_t room);
  void ShrinkToPixels() noexcept;
  void Release() noexcept;

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  bool Empty() const noexcept { return width_ == 0 || height_ == 0; }
  std::ptrdiff_t Stride() const noexcept { return stride_; }
  std::size_t ByteSize() const noexcept { return static_cast<std::size_t>(stride_) * height_; }

  std::uint8_t* Row(int y) noexcept {
    return data_.get() + static_cast<std::ptrdiff_t>(y) * stride_;
  }
  const std::uint8_t* Row(int y) const noexcept {
    return data_.get() + static_cast<std::ptrdiff_t>(y) * stride_;
  }
  std::uint8_t* Data() noexcept { return data_.get(); }
  const std::uint8_t* Data() const noexcept { return data_.get(); }

  // 0x00RRGGBB of pixel (x, y); no bounds check beyond a debug assertion.
  std::uint32_t PixelRgb(int x, int y) const noexcept;
  void SetPixelRgb(int x, int y, std::uint32_t rgb) noexcept;
  void Fill(std::uint32_t rgb) noexcept;

  // An independent copy (explicit, so no hidden full-size copies are made).
  Bitmap Clone() const;

  static std::ptrdiff_t StrideFor(int width) noexcept {
    return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~std::ptrdiff_t{3};
  }

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept;
  };
  void Allocate(int width, int height, std::size_t room = 0);

  std::unique_ptr<std::uint8_t[], FreeDeleter> data_;
  int width_ = 0;
  int height_ = 0;
  std::ptrdiff_t stride_ = 0;
};

}  // namespace zelk
