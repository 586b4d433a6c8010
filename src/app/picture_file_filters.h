#pragma once
// The file-type filters shared by the load and the convert dialogs.

#include <string>
#include <vector>

namespace zelk {

// Qt splits a filter's patterns on blanks, so each list is blank-separated after the
// caption that users see.
inline std::vector<std::string> PictureFileFilters() {
  return {
      "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.png) (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf "
      "*.png)",
      "JPEG Image File (*.jpg;*.jpeg) (*.jpg *.jpeg)",
      "Bitmaps (*.bmp) (*.bmp)",
      "Icons (*.ico) (*.ico)",
      "Enhanced Metafiles (*.emf) (*.emf)",
      "Metafiles (*.wmf) (*.wmf)",
      "PNG Files (*.png) (*.png)",
  };
}

}  // namespace zelk
