#pragma once
// Writes the working bitmap to a file whose format follows the extension.

#include <string>

#include "platform/bitmap.h"

namespace zelk {

// By the upper-cased extension of path: .BMP a 24-bit bitmap file, .JPG/.JPEG a
// baseline JPEG of quality 90, .PNG a PNG at zlib level 9, .WMF a placeable Windows
// metafile, anything else (no extension included) an enhanced metafile. The file is
// replaced only once completely written, so a failure leaves neither a partial file
// nor a damaged older one. Throws ImageError (the encoder refuses) or
// std::system_error with errno ("cannot write <path>: <reason>").
void SaveImageFile(const std::string& path, const Bitmap& image);

}  // namespace zelk
