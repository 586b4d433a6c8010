#pragma once
// The rule that a file may claim only the pixels its bytes could encode. Every
// reader allows an image of up to kPixelsAlwaysAllowed whatever its size (a
// truncated file shows what it holds, the rest white); beyond that, each format
// compares its own lower bound of the bytes the picture needs with the file's.

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/bitmap.h"

namespace zelk {

// 16 Mi pixels: a 48 MiB working bitmap.
inline constexpr std::int64_t kPixelsAlwaysAllowed = std::int64_t{1} << 24;

// The bytes from file's current position to its end, for a regular file or a
// memory stream; nothing for pipes and devices, whose size is not known beforehand
// (for them only the pixel limit applies).
std::optional<std::uint64_t> BytesLeftIn(std::FILE* file) noexcept;

// The refusal for a header claiming more pixels than the file could encode.
ImageError TooShortForClaimedSize(std::int64_t width, std::int64_t height);

// The refusal for an image inside another file larger than its container allows.
ImageError LargerThanItsContainer(std::int64_t width, std::int64_t height, std::int64_t max_width,
                                  std::int64_t max_height);

}  // namespace zelk
