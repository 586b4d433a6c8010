#include "codecs/bmp_writer.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include "codecs/bmp_bytes.h"
#include "codecs/dib.h"

namespace zelk {

void WriteBmp(const Bitmap& image, std::FILE* file) {
  if (image.Empty()) throw ImageError("an empty image cannot be saved as a bitmap");
  const std::vector<std::uint8_t> info = Dib24Header(image);
  const std::uint64_t off_bits = 14 + info.size();
  const std::uint64_t file_size = off_bits + Dib24PixelBytes(image);
  // The file header's size is 32 bits; other programs refuse or misread larger files.
  if (file_size > 0xFFFFFFFFu)
    throw ImageError(
        "the image is too large for a bitmap file (over 4 GiB); choose another format");

  std::uint8_t header[14] = {'B', 'M'};
  WriteU32(header + 2, static_cast<std::uint32_t>(file_size));
  WriteU32(header + 10, static_cast<std::uint32_t>(off_bits));
  errno = 0;
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header ||
      std::fwrite(info.data(), 1, info.size(), file) != info.size())
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                            "cannot write the bitmap");
  WriteDib24Pixels(image, file);
}

}  // namespace zelk
