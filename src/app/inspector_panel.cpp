#include "app/inspector_panel.h"

#include <QFontDatabase>
#include <QPainter>
#include <QVBoxLayout>
#include <cstdio>

#include "app/qt_desktop.h"
#include "support/support.h"

namespace zelk {

// The 9 x 9 neighbours as enlarged cells; the centre one outlined, cells outside the
// image crossed out.
class NeighbourhoodView final : public QWidget {
 public:
  explicit NeighbourhoodView(QWidget* parent) : QWidget(parent) {
    setFixedSize(kNeighbourhoodSide * kCell + 1, kNeighbourhoodSide * kCell + 1);
  }
  void Show(const std::optional<Neighbourhood>& around) {
    around_ = around;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!around_) return;
    for (int row = 0; row < kNeighbourhoodSide; ++row)
      for (int column = 0; column < kNeighbourhoodSide; ++column) {
        const NeighbourPixel& pixel = (*around_)[row * kNeighbourhoodSide + column];
        const QRect cell(column * kCell, row * kCell, kCell, kCell);
        if (pixel.inside) {
          painter.fillRect(cell, QColor::fromRgb(pixel.rgb));
        } else {
          painter.setPen(Qt::gray);
          painter.drawLine(cell.topLeft(), cell.bottomRight());
        }
      }
    const int centre = kNeighbourhoodRadius * kCell;
    painter.setPen(Qt::black);
    painter.drawRect(centre, centre, kCell, kCell);
    painter.setPen(Qt::white);
    painter.drawRect(centre + 1, centre + 1, kCell - 2, kCell - 2);
  }

 private:
  static constexpr int kCell = 13;
  std::optional<Neighbourhood> around_;
};

namespace {
std::string Hex(std::uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFFu);
  return text;
}
}  // namespace

InspectorPanel::InspectorPanel(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  pixel_text_ = new QLabel(this);
  pixel_text_->setFont(fixed);
  pixel_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  neighbourhood_ = new NeighbourhoodView(this);
  region_text_ = new QLabel(this);
  region_text_->setFont(fixed);
  region_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(pixel_text_);
  layout->addWidget(neighbourhood_);
  layout->addWidget(region_text_);
  comparison_text_ = new QLabel(this);
  comparison_text_->setFont(fixed);
  comparison_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  comparison_text_->hide();
  layout->addWidget(comparison_text_);
  layout->addStretch(1);
  setFixedWidth(280);
  ShowNoPixel();
}

void InspectorPanel::ShowPixel(int x, int y, const Neighbourhood& around,
                               const std::string& named_colour) {
  const NeighbourPixel& pixel =
      around[kNeighbourhoodRadius * kNeighbourhoodSide + kNeighbourhoodRadius];
  if (!pixel.inside) {
    ShowNoPixel();
    return;
  }
  const std::uint32_t rgb = pixel.rgb;
  const Hsv hsv = HsvOf(rgb);
  char text[256];
  std::snprintf(text, sizeof text,
                "Pixel  X %d  Y %d\n#%s\nR %3u  G %3u  B %3u\nH %5.1f  S %5.1f%%  V %5.1f%%", x, y,
                named_colour.c_str(), (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, hsv.hue,
                hsv.saturation * 100, hsv.value * 100);
  pixel_text_->setText(DisplayText(text));
  neighbourhood_->Show(around);
}

void InspectorPanel::ShowNoPixel() {
  pixel_text_->setText(QStringLiteral("Pixel  (pointer not over the image)\n\n\n"));
  neighbourhood_->Show(std::nullopt);
}

void InspectorPanel::ShowRegion(const PixelRect& rect, const std::optional<RegionStats>& stats) {
  std::string text = "Region  (" + FormatWholeNumber(rect.Left) + ", " +
                     FormatWholeNumber(rect.Top) + ") - (" + FormatWholeNumber(rect.Right) + ", " +
                     FormatWholeNumber(rect.Bottom) + ")\n";
  if (!stats) {
    region_text_->setText(DisplayText(text + "counting..."));
    return;
  }
  text += FormatWholeNumber(stats->width) + " x " + FormatWholeNumber(stats->height) + " = " +
          FormatWholeNumber(static_cast<std::int64_t>(stats->pixels)) + " pixels\n";
  char line[128];
  const auto channel = [&](const char* name, const ChannelStats& c) {
    std::snprintf(line, sizeof line, "%s  min %3d  mean %6.2f  max %3d\n", name, c.min, c.mean,
                  c.max);
    text += line;
  };
  channel("R", stats->red);
  channel("G", stats->green);
  channel("B", stats->blue);
  text += FormatWholeNumber(static_cast<std::int64_t>(stats->distinct)) + " distinct colours\n";
  for (const ColourCount& c : stats->most_frequent)
    text += Hex(c.rgb) + "  " + FormatWholeNumber(static_cast<std::int64_t>(c.count)) + "\n";
  region_text_->setText(DisplayText(text));
}

void InspectorPanel::ShowComparison(const std::string& text) {
  comparison_text_->setVisible(!text.empty());
  comparison_text_->setText(DisplayText(text));
}

}  // namespace zelk
