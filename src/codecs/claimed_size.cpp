#include "codecs/claimed_size.h"

#include <sys/stat.h>

#include <string>

namespace zelk {

std::optional<std::uint64_t> BytesLeftIn(std::FILE* file) noexcept {
  if (file == nullptr) return std::nullopt;
  const long position = std::ftell(file);
  if (position < 0) return std::nullopt;  // pipes and devices
  struct stat st {};
  const int fd = fileno(file);
  if (fd >= 0 && fstat(fd, &st) == 0) {
    if (!S_ISREG(st.st_mode) || st.st_size < position) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size - position);
  }
  // A stream without a descriptor (a memory stream): its end, found by seeking.
  if (std::fseek(file, 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(file);
  if (std::fseek(file, position, SEEK_SET) != 0 || end < position) return std::nullopt;
  return static_cast<std::uint64_t>(end - position);
}

ImageError TooShortForClaimedSize(std::int64_t width, std::int64_t height) {
  return ImageError("the file is far too short for the " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels its header claims");
}

ImageError LargerThanItsContainer(std::int64_t width, std::int64_t height, std::int64_t max_width,
                                  std::int64_t max_height) {
  return ImageError("the image inside the file is " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels, larger than the " +
                    std::to_string(max_width) + " x " + std::to_string(max_height) +
                    " its header allows");
}

}  // namespace zelk
