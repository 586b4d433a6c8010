#pragma once
#include <cstdio>

#include "platform/bitmap.h"

namespace zelk {

// Writes image as a 24-bit bottom-up Windows bitmap file (file header and 40-byte
// info header, no colour table), row by row. Throws ImageError for an empty image or
// one too large for the format's 32-bit sizes, std::system_error (errno) when a write
// fails.
void WriteBmp(const Bitmap& image, std::FILE* file);

}  // namespace zelk
