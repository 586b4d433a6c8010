#pragma once
// The inspector beside the view (I): the pixel under the pointer (hex, decimal R G B,
// HSV, the nearest colour name, its 9 x 9 neighbourhood enlarged) and the statistics
// of the zoom box or of the part of the image a zoomed view shows.

#include <QLabel>
#include <QWidget>
#include <optional>
#include <string>

#include "core/inspect/pixel_probe.h"
#include "core/inspect/region_stats.h"

namespace zelk {

class NeighbourhoodView;

class InspectorPanel final : public QWidget {
 public:
  explicit InspectorPanel(QWidget* parent = nullptr);

  // The pixel (x, y) of the image, its colour as the readout names it (the hex
  // digits and the name, as LookUpColourName gives them), and its neighbourhood.
  void ShowPixel(int x, int y, const Neighbourhood& around, const std::string& named_colour);
  void ShowNoPixel();
  // The region's statistics; nullopt while they are being computed.
  void ShowRegion(const PixelRect& rect, const std::optional<RegionStats>& stats);
  // While two images are compared: both pixels and the differences; empty hides it.
  void ShowComparison(const std::string& text);

 private:
  QLabel* pixel_text_ = nullptr;
  NeighbourhoodView* neighbourhood_ = nullptr;
  QLabel* region_text_ = nullptr;
  QLabel* comparison_text_ = nullptr;
};

}  // namespace zelk
