#pragma once
// The one-line status shown in the window caption after every render.

#include <cstdint>
#include <string>

namespace zelk {

// "3/12 <path>  1,234,567 bytes  W 2,048  H 1,536  Mag X 0.38": position in the list
// (file_index counts from 0), path as listed, file size, pixel size and magnification
// to two decimals, whole numbers with the locale's thousands separator.
std::string BuildStatusLine(int file_index, int file_count, const std::string& path,
                            std::int64_t file_size, int image_w, int image_h, double magnification);

}  // namespace zelk
