// The whole-file PNG decoding of --diff: never a crash, and whatever it takes must
// decode to the same bytes through the normal reader.

#include <cstdlib>
#include <cstring>

#include "codecs/png_codec.h"
#include "codecs/png_whole_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::Bitmap whole;
  if (!zelk::TryDecodePngWhole(data, size, whole)) return 0;
  zelk::Bitmap normal;
  try {
    zelk::ReadPngBytes(data, size, normal);
  } catch (const zelk::ImageError&) {
    std::abort();  // taken whole, refused by the normal reader
  }
  if (normal.Width() != whole.Width() || normal.Height() != whole.Height() ||
      std::memcmp(normal.Data(), whole.Data(), normal.ByteSize()) != 0)
    std::abort();
  return 0;
}
