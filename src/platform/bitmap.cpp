#include "platform/bitmap.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zelk {

void CheckImageSize(std::int64_t width, std::int64_t height) {
  if (width < 0 || height < 0) throw ImageError("the image has a negative width or height");
  if (width > kMaxImageSide || height > kMaxImageSide)
    throw ImageError("the image is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels; no side may exceed " + std::to_string(kMaxImageSide) + " pixels");
  if (width * height > kMaxImagePixels)
    throw ImageError("the image is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels, more than the " + std::to_string(kMaxImagePixels) +
                     " pixels this program accepts");
}

namespace {

std::atomic<AvailableMemorySource> available_memory_source{nullptr};

std::string Mebibytes(std::uint64_t bytes) {
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  char text[64];
  if (mib >= 1024.0) {
    std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.0f MiB", mib < 1.0 ? 1.0 : mib);
  }
  return text;
}

}  // namespace

std::optional<std::uint64_t> SystemAvailableMemory() {
  std::FILE* meminfo = std::fopen("/proc/meminfo", "re");
  if (meminfo != nullptr) {
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, meminfo) != nullptr)
      found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(meminfo);
    if (found) return std::uint64_t{kib} * 1024;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

void SetAvailableMemorySource(AvailableMemorySource source) noexcept {
  available_memory_source.store(source);
}

std::optional<std::uint64_t> AvailableMemory() {
  const AvailableMemorySource source = available_memory_source.load();
  return source != nullptr ? source() : SystemAvailableMemory();
}

void CheckMemoryAvailable(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return;
  const std::optional<std::uint64_t> available = AvailableMemory();
  const std::uint64_t needed =
      static_cast<std::uint64_t>(Bitmap::StrideFor(static_cast<int>(width))) *
      static_cast<std::uint64_t>(height);
  if (available && needed > *available)
    throw ImageError("the image is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels and needs " + Mebibytes(needed) + " of memory, more than the " +
                     Mebibytes(*available) + " the system has available");
}

void Bitmap::FreeDeleter::operator()(std::uint8_t* p) const noexcept {
  std::free(p);
}

void Bitmap::Release() noexcept {
  data_.reset();
  width_ = height_ = 0;
  stride_ = 0;
}

void Bitmap::Allocate(int width, int height, std::size_t room) {
  CheckImageSize(width, height);
  CheckMemoryAvailable(width, height);
  const std::uint64_t pixel_bytes = static_cast<std::uint64_t>(StrideFor(width)) *
                                    static_cast<std::uint64_t>(std::max(height, 0));
  if (room > pixel_bytes) {
    const std::optional<std::uint64_t> available = AvailableMemory();
    if (available && room > *available)
      throw ImageError("reading the image needs " + Mebibytes(room) + " of memory, more than the " +
                       Mebibytes(*available) + " the system has available");
  }
  Release();
  if (width == 0 || height == 0) {
    // Keep the size of a degenerate image but hold no pixels.
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width);
    return;
  }
  const std::ptrdiff_t stride = StrideFor(width);
  const std::size_t bytes =
      std::max(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), room);
  auto* p = static_cast<std::uint8_t*>(std::malloc(bytes));
  if (p == nullptr)
    throw ImageError("not enough memory for an image of " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels");
  data_.reset(p);
  width_ = width;
  height_ = height;
  stride_ = stride;
}

void Bitmap::Reset(int width, int height) {
  Allocate(width, height);
  if (data_) std::memset(data_.get(), 0xFF, ByteSize());
}

void Bitmap::ResetUninitialised(int width, int height) {
  Allocate(width, height);
}

void Bitmap::ResetUninitialisedWithRoom(int width, int height, std::size_t room) {
  Allocate(width, height, room);
}

void Bitmap::ShrinkToPixels() noexcept {
  if (!data_) return;
  // Shrinking never fails in practice; if it did, the larger block simply stays.
  if (auto* p = static_cast<std::uint8_t*>(std::realloc(data_.get(), ByteSize()))) {
    (void)data_.release();
    data_.reset(p);
  }
}

std::uint32_t Bitmap::PixelRgb(int x, int y) const noexcept {
  assert(x >= 0 && y >= 0 && x < width_ && y < height_);
  const std::uint8_t* p = Row(y) + x * 3;
  return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

void Bitmap::SetPixelRgb(int x, int y, std::uint32_t rgb) noexcept {
  assert(x >= 0 && y >= 0 && x < width_ && y < height_);
  std::uint8_t* p = Row(y) + x * 3;
  p[0] = static_cast<std::uint8_t>(rgb);
  p[1] = static_cast<std::uint8_t>(rgb >> 8);
  p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

void Bitmap::Fill(std::uint32_t rgb) noexcept {
  if (!data_) return;
  const auto b = static_cast<std::uint8_t>(rgb), g = static_cast<std::uint8_t>(rgb >> 8),
             r = static_cast<std::uint8_t>(rgb >> 16);
  if (b == g && g == r) {
    std::memset(data_.get(), b, ByteSize());
    return;
  }
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* p = Row(y);
    for (int x = 0; x < width_; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

Bitmap Bitmap::Clone() const {
  Bitmap copy;
  copy.ResetUninitialised(width_, height_);
  if (data_) std::memcpy(copy.data_.get(), data_.get(), ByteSize());
  return copy;
}

}  // namespace zelk
