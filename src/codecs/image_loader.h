#pragma once
// Turns an image file into the working bitmap, choosing the decoder by the file
// name's extension (or, for bytes in memory, by their first bytes).

#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/decode_control.h"
#include "codecs/image_formats.h"  // UpperExtension
#include "platform/bitmap.h"

namespace zelk {

// Files read whole into memory for decoding (BMP, ICO, WMF, EMF) may be at most this
// large; a bitmap file that size already holds more than 700 million pixels.
inline constexpr std::uint64_t kMaxWholeFileBytes = std::uint64_t{2} << 30;

// Decodes the file at path into out by its extension: .BMP, .PNG, .JPG/.JPEG, .ICO,
// .EMF and .WMF, in any letter case. path is a byte string and need not be UTF-8.
// Throws ImageError with the reason (unknown extension, cannot open, damaged file,
// a header claiming far more than the file holds, a file too costly to draw); out
// may then be cleared or resized.
//
// With a control, another thread may cancel the load (DecodeCancelled is thrown,
// out is left empty) and follow its progress. The JPEG, PNG, BMP and ICO decoders
// look at it every few rows; WMF and EMF between records and before each drawing.
//
// With `opened`, also says what was decoded: the size of the file actually opened,
// from its open descriptor once decoded. A file renamed over `path` meanwhile does
// not change it, as a later look-up by name would.
struct OpenedFile {
  std::int64_t size = -1;  // bytes; -1 until known
};
void LoadImageFile(const std::string& path, Bitmap& out, DecodeControl* control = nullptr,
                   OpenedFile* opened = nullptr);

// Decodes a PNG, BMP or JPEG file held in memory (as another program puts one on the
// clipboard), telling the format by its first bytes. Throws as LoadImageFile does.
void LoadImageBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                    DecodeControl* control = nullptr);

}  // namespace zelk
