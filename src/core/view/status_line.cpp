#include "core/view/status_line.h"

#include "support/support.h"

namespace zelk {

std::string BuildStatusLine(int file_index, int file_count, const std::string& path,
                            std::int64_t file_size, int image_w, int image_h,
                            double magnification) {
  std::string line;
  line.reserve(path.size() + 64);
  line += FormatWholeNumber(std::int64_t{file_index} + 1);
  line += '/';
  line += FormatWholeNumber(file_count);
  line += ' ';
  line += path;
  line += "  ";
  line += FormatWholeNumber(file_size);
  line += " bytes  W ";
  line += FormatWholeNumber(image_w);
  line += "  H ";
  line += FormatWholeNumber(image_h);
  line += "  Mag X ";
  line += FormatDecimals(magnification, 2);
  return line;
}

}  // namespace zelk
