#include "app/print_command.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QStringList>
#include <algorithm>
#include <stdexcept>

#include "app/qt_desktop.h"
#include "core/print/print_layout.h"
#include "core/print/print_resample.h"
#include "platform/bitmap.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {

// The picture goes to the printer in bands of at most this many device pixels, so a
// large image at 600 dpi needs tens of megabytes, not a second full-size copy.
constexpr int kBandPixels = 4 * 1024 * 1024;

// The top bar's font: a serif face at 9 points. Point sizes follow the printer's
// resolution, so the title has the same physical size on every printer.
QFont TitleFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif"),
                    QStringLiteral("Times New Roman")});
  font.setStyleHint(QFont::Serif);
  font.setPointSize(9);
  return font;
}

// The top bar's font colour.
const QColor kTitleColour(0x00, 0x00, 0x80);

std::string Utf8(const QString& text) {
  return text.toUtf8().toStdString();
}

std::string WhyTheJobDidNotStart(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    const QString file = printer.outputFileName();
    if (file.isEmpty()) return "no output file was named";
    const QFileInfo info(file);
    if (!info.absoluteDir().exists())
      return "the folder " + Utf8(info.absolutePath()) + " does not exist";
    return "the file " + Utf8(info.absoluteFilePath()) + " cannot be written";
  }
  if (printer.printerName().isEmpty()) return "no printer is available";
  return "the printer " + Utf8(printer.printerName()) + " refused the job";
}

// Sends the picture in bands, each drawn one image pixel per device pixel, so nothing
// downstream rescales (or smooths) it.
void DrawPicture(QPainter& painter, const Bitmap& image, const PrintRect& rect) {
  PrintResampler resampler(image, rect.Width(), rect.Height());
  const int band_rows = std::max(1, kBandPixels / rect.Width());
  for (int first = 0; first < rect.Height(); first += band_rows) {
    const int rows = std::min(band_rows, rect.Height() - first);
    QImage band(rect.Width(), rows, QImage::Format_RGB32);
    if (band.isNull()) throw std::runtime_error("not enough memory to print the picture");
    resampler.RenderRows(first, rows, reinterpret_cast<std::uint32_t*>(band.bits()),
                         band.bytesPerLine() / 4);
    painter.drawImage(QPoint(rect.left, rect.top + first), band);
  }
}

}  // namespace

void PrintImagePage(QPrinter& printer, const Bitmap& image, const std::string& title) {
  // The printable area in device pixels, after the orientation has been set; this is
  // also the painter's device size.
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  const PrintRect rect =
      PrintPictureRect(page.width(), page.height(), image.Width(), image.Height());

  QPainter painter;
  if (!painter.begin(&printer))
    throw std::runtime_error("the printer could not start the job: " +
                             WhyTheJobDidNotStart(printer));
  try {
    // Lossless: the PDF engine would otherwise store the picture as JPEG.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (!title.empty()) {
      painter.setFont(TitleFont());
      painter.setPen(kTitleColour);
      // The text's top edge at the top of the printable area; a title taller than the
      // band is covered by the picture drawn after it.
      painter.drawText(0, painter.fontMetrics().ascent(), DisplayText(title));
    }
    DrawPicture(painter, image, rect);
  } catch (...) {
    printer.abort();
    painter.end();
    throw;
  }
  if (!painter.end() || printer.printerState() == QPrinter::Error)
    throw std::runtime_error("the printer could not finish the job: " +
                             WhyTheJobDidNotStart(printer));
}

constexpr int kPdfResolution = 600;

void RunPrintCommand(Desktop& desktop, const Bitmap& image, const std::string& caption,
                     const std::string& current_path, const WorkRunner& run_page) {
  const bool titled = ConfirmWithSound("Print Titling");
  QPrinter printer(QPrinter::HighResolution);
  if (!desktop.ChoosePrinter(printer)) return;
  // A PDF at 1200 dpi makes the 9-point title taller than its 100-unit band, so the
  // picture would cover it; 600 dpi fits. Real printers keep their own resolution.
  if (printer.outputFormat() == QPrinter::PdfFormat && printer.resolution() > kPdfResolution)
    printer.setResolution(kPdfResolution);
  // The image's shape decides, whatever the dialog said.
  printer.setPageOrientation(PrintsLandscape(image.Width(), image.Height())
                                 ? QPageLayout::Landscape
                                 : QPageLayout::Portrait);
  printer.setDocName(DisplayText("Printing " + current_path));
  const std::string title = titled ? PrintTitleFromCaption(caption) : std::string();
  run_page([&] { PrintImagePage(printer, image, title); });
}

}  // namespace zelk
