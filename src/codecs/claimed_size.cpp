#include "codecs/claimed_size.h"

#include <sys/stat.h>

#include <string>

namespace zelk {

std::optional<std::uint64_t> BytesLeftIn(std::FILE* file) noexcept {
  struct stat st {};
  if (file == nullptr || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const long position = std::ftell(file);
  if (position < 0 || st.st_size < position) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size - position);
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
