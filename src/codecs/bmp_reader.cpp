#include "codecs/bmp_reader.h"

#include "codecs/bmp_bytes.h"
#include "codecs/dib.h"

namespace zelk {

namespace {
constexpr std::size_t kFileHeaderSize = 14;
}

void ReadBmp(const std::uint8_t* data, std::size_t size, Bitmap& out, DecodeControl* control) {
  if (data == nullptr || size < 2 || data[0] != 'B' || data[1] != 'M')
    throw ImageError("this is not a Windows bitmap file");
  if (size < kFileHeaderSize) throw ImageError("the bitmap file header is incomplete");
  // The file size field is often wrong and is not needed; the bits offset is.
  const std::uint32_t off_bits = ReadU32(data + 10);
  DibDecodeOptions options;
  options.control = control;
  if (off_bits > kFileHeaderSize) options.bits_offset = off_bits - kFileHeaderSize;
  DecodeDib(data + kFileHeaderSize, size - kFileHeaderSize, out, options);
}

}  // namespace zelk
