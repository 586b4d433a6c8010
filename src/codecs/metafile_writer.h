#pragma once
#include <cstdio>

#include "platform/bitmap.h"

namespace zelk {

// A placeable Windows metafile holding one bitmap drawing of the whole image at full
// resolution. Throws std::system_error (errno) or ImageError.
void WriteWmf(const Bitmap& image, std::FILE* file);
// An enhanced metafile holding one bitmap drawing of the whole image.
void WriteEmf(const Bitmap& image, std::FILE* file);

}  // namespace zelk
