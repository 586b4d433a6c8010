#include "app/print_command.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/print/print_layout.h"
#include "needed_tool.h"
#include "platform/bitmap.h"
#include "qt_test_application.h"
#include "scripted_desktop.h"
#include "support/support.h"

namespace zelk {
namespace {

constexpr double kMarginPoints = 36;  // half an inch all round

// Where the picture's non-white pixels lie in the rendered page; right and bottom
// exclusive, all zero when the page is blank.
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
};

class PrintCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty() ||
        QStandardPaths::findExecutable("pdftocairo").isEmpty() ||
        QStandardPaths::findExecutable("pdftotext").isEmpty())
      ZELK_SKIP_WITHOUT_TOOL("poppler-utils not installed");
    ASSERT_TRUE(dir_.isValid());
    zelk::testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer"});
    pdf_ = dir_.filePath("page.pdf");
  }

  // Answers the titling question, then plays the print dialog: a PDF file at dpi,
  // A4, half-inch margins and the orientation the image does not want.
  void Print(const Bitmap& image, bool titled, int dpi = 72,
             const std::string& caption = "2/5 /pics/a b.png  1,234 bytes  W 3  H 4  Mag X 1.5") {
    scripted_.desktop.question_answers.push_back(titled);
    scripted_.desktop.on_choose_printer = [&, dpi](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(pdf_);
      printer.setResolution(dpi);
      printer.setPageSize(QPageSize(QPageSize::A4));
      printer.setPageMargins(QMarginsF(kMarginPoints, kMarginPoints, kMarginPoints, kMarginPoints),
                             QPageLayout::Point);
      printer.setPageOrientation(image.Width() > image.Height() ? QPageLayout::Portrait
                                                                : QPageLayout::Landscape);
      return true;
    };
    RunPrintCommand(scripted_.desktop, image, caption, "/pics/a b.png");
    dpi_ = dpi;
  }

  // The page as a raster at the printer's resolution. pdftoppm blends one device
  // pixel at colour edges even for pictures drawn one to one; pdftocairo does not, so
  // the sharpness check uses it.
  // crop: only that part of the page, in device pixels.
  QImage Rendered(const char* tool = "pdftoppm", const QRect& crop = QRect()) {
    const QString base = dir_.filePath("page");
    QStringList args{"-r", QString::number(dpi_), "-png", "-singlefile"};
    if (!crop.isNull())
      args << "-x" << QString::number(crop.x()) << "-y" << QString::number(crop.y()) << "-W"
           << QString::number(crop.width()) << "-H" << QString::number(crop.height());
    EXPECT_EQ(QProcess::execute(tool, args << pdf_ << base), 0);
    return QImage(base + ".png").convertToFormat(QImage::Format_RGB32);
  }

  QString Text(const char* tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput());
  }

  // The picture's rectangle on the paper: the printable area starts at the margins.
  PrintRect Expected(const QImage& page, const Bitmap& image) const {
    const QPageLayout layout(QPageSize(QPageSize::A4),
                             PrintsLandscape(image.Width(), image.Height()) ? QPageLayout::Landscape
                                                                            : QPageLayout::Portrait,
                             QMarginsF(kMarginPoints, kMarginPoints, kMarginPoints, kMarginPoints),
                             QPageLayout::Point);
    const QRect area = layout.paintRectPixels(dpi_);
    EXPECT_NEAR(area.left(), kMarginPoints * dpi_ / 72, 1);
    EXPECT_LE(area.right(), page.width());
    PrintRect rect = PrintPictureRect(area.width(), area.height(), image.Width(), image.Height());
    rect.left += area.left();
    rect.right += area.left();
    rect.top += area.top();
    rect.bottom += area.top();
    return rect;
  }

  static Box NonWhite(const QImage& page, int from_row = 0) {
    Box box{page.width(), page.height(), 0, 0};
    for (int y = from_row; y < page.height(); ++y) {
      const QRgb* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
      for (int x = 0; x < page.width(); ++x) {
        if (qRed(row[x]) > 240 && qGreen(row[x]) > 240 && qBlue(row[x]) > 240) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
    }
    if (box.right == 0) box = Box{};
    return box;
  }

  static void ExpectBoxIs(const Box& box, const PrintRect& rect) {
    EXPECT_NEAR(box.left, rect.left, 1);
    EXPECT_NEAR(box.top, rect.top, 1);
    EXPECT_NEAR(box.right, rect.right, 1);
    EXPECT_NEAR(box.bottom, rect.bottom, 1);
  }

  static Bitmap Filled(int width, int height, std::uint32_t rgb) {
    Bitmap bitmap;
    bitmap.Reset(width, height);
    bitmap.Fill(rgb);
    return bitmap;
  }

  ScopedScriptedDesktop scripted_;
  QTemporaryDir dir_;
  QString pdf_;
  int dpi_ = 72;
};

TEST_F(PrintCommandTest, ShapeDecidesOrientationAndPictureFillsTheRoomBelowTheBand) {
  struct Case {
    int width, height;
    bool landscape;
  };
  // Wide and flat (limited by the width), square, tall (limited by the height).
  for (const Case& c : {Case{300, 60, true}, Case{200, 200, false}, Case{90, 300, false}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Print(Filled(c.width, c.height, 0x203040), false);
    const QImage page = Rendered();
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width() > page.height(), c.landscape);
    const PrintRect expected = Expected(page, Filled(c.width, c.height, 0));
    ExpectBoxIs(NonWhite(page), expected);
    const int room_w = page.width() - 2 * 36;
    const int room_h = page.height() - 2 * 36 - kPrintTitleBand;
    if (c.width >= c.height) {
      EXPECT_NEAR(expected.Width(), room_w, 2);  // the width limits
      EXPECT_LT(expected.Height(), room_h);
    } else {
      EXPECT_NEAR(expected.Height(), room_h, 2);  // the height below the band limits
      EXPECT_LE(expected.Width(), room_w);
    }
  }
}

TEST_F(PrintCommandTest, HighResolutionKeepsTheBandAndSendsThePictureWithoutSeams) {
  // At 600 dpi the band is still 100 device pixels, and the picture (several bands of
  // rows on its way to the printer) arrives whole: a strip down the page is dark
  // from the band to the bottom edge, with no white row between bands.
  const Bitmap image = Filled(400, 300, 0x000000);
  Print(image, false, 600);
  const QImage strip = Rendered("pdftoppm", QRect(1000, 0, 40, 4961));
  ASSERT_EQ(strip.width(), 40);
  const PrintRect expected = Expected(QImage(7016, 4961, QImage::Format_RGB32), image);
  EXPECT_EQ(expected.top, 300 + 100);
  EXPECT_GT(expected.Width() * static_cast<long long>(expected.Height()), 3 * 4 * 1024 * 1024);
  const Box box = NonWhite(strip);
  EXPECT_NEAR(box.top, expected.top, 1);
  EXPECT_NEAR(box.bottom, expected.bottom, 1);
  int light_rows = 0;
  for (int y = expected.top + 1; y < expected.bottom - 1; ++y)
    if (qRed(strip.pixel(20, y)) > 16) ++light_rows;
  EXPECT_EQ(light_rows, 0);
}

TEST_F(PrintCommandTest, APdfAskedAt1200DpiIsPrintedAt600SoTheTitleFitsItsBand) {
  // At 1200 dpi the 9-point title is 150 device pixels, taller than its 100-pixel band,
  // and the picture covered its lower half.
  const Bitmap image = Filled(400, 300, 0x000000);
  Print(image, true, 1200);
  dpi_ = 600;
  const PrintRect expected = Expected(QImage(7016, 4961, QImage::Format_RGB32), image);
  const QImage top = Rendered("pdftoppm", QRect(0, 0, 7016, expected.top + 50));
  ASSERT_FALSE(top.isNull());
  // Rows just above the picture may take its edge's antialiasing.
  const Box title = NonWhite(top.copy(0, 0, top.width(), expected.top - 3));
  EXPECT_GT(title.bottom, title.top);
  EXPECT_LT(title.bottom, expected.top - 10);
  EXPECT_NEAR(NonWhite(top, expected.top - 2).top, expected.top, 1);
}

TEST_F(PrintCommandTest, TitleIsPrintedOnlyWhenAskedFor) {
  const Bitmap image = Filled(30, 40, 0x101010);
  Print(image, true);
  ASSERT_EQ(scripted_.desktop.questions.size(), 1u);
  EXPECT_NE(scripted_.desktop.questions[0].text.find("Print Titling ?"), std::string::npos);
  QString text = Text("pdftotext", {pdf_, "-"}).simplified();
  EXPECT_TRUE(text.contains("/pics/a b.png 1,234 bytes W 3 H 4")) << text.toStdString();
  EXPECT_FALSE(text.contains("Mag")) << text.toStdString();
  EXPECT_FALSE(text.contains("2/5")) << text.toStdString();
  if (!QStandardPaths::findExecutable("pdfinfo").isEmpty()) {
    EXPECT_TRUE(Text("pdfinfo", {pdf_}).contains("Printing /pics/a b.png"));
  }
  QImage page = Rendered();
  const PrintRect expected = Expected(page, image);
  const Box title = NonWhite(page.copy(0, 0, page.width(), expected.top));
  EXPECT_NEAR(title.left, 36, 2);
  EXPECT_GE(title.top, 36);
  EXPECT_LT(title.bottom, 36 + 20);  // 9 points high, at the top of the printable area
  ExpectBoxIs(NonWhite(page, expected.top - 2), expected);

  Print(image, false);
  text = Text("pdftotext", {pdf_, "-"}).simplified();
  EXPECT_TRUE(text.isEmpty()) << text.toStdString();
  page = Rendered();
  ExpectBoxIs(NonWhite(page), expected);  // picture alone, still below the band
}

TEST_F(PrintCommandTest, EnlargedPixelsStayHardAndReducedDetailAverages) {
  // 3 x 2 colours blown up about 150 times: only the source colours appear.
  Bitmap small;
  small.Reset(3, 2);
  const std::uint32_t colours[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xFFFF00};
  for (int i = 0; i < 6; ++i) small.SetPixelRgb(i % 3, i / 3, colours[i]);
  Print(small, false);
  QImage page = Rendered("pdftocairo");
  PrintRect rect = Expected(page, small);
  int foreign = 0;
  for (int y = rect.top + 1; y < rect.bottom - 1; ++y)
    for (int x = rect.left + 1; x < rect.right - 1; ++x) {
      const QRgb px = page.pixel(x, y) & 0xFFFFFF;
      if (std::find(std::begin(colours), std::end(colours), px) == std::end(colours)) ++foreign;
    }
  EXPECT_EQ(foreign, 0);
  // The edge between the first two columns is one device pixel sharp.
  const int mid_y = rect.top + rect.Height() / 4;
  int changes = 0;
  for (int x = rect.left + 1; x < rect.right - 1; ++x)
    if (page.pixel(x, mid_y) != page.pixel(x - 1, mid_y)) ++changes;
  EXPECT_EQ(changes, 2);

  // A one-pixel checkerboard about 4x too fine for the page prints mid-grey.
  Bitmap board;
  board.Reset(3200, 1600);
  for (int y = 0; y < 1600; ++y) {
    std::uint8_t* row = board.Row(y);
    for (int x = 0; x < 3200; ++x) std::fill_n(row + 3 * x, 3, (x + y) % 2 ? 255 : 0);
  }
  Print(board, false);
  page = Rendered();
  rect = Expected(page, board);
  int min_grey = 255, max_grey = 0;
  for (int y = rect.top + 1; y < rect.bottom - 1; ++y)
    for (int x = rect.left + 1; x < rect.right - 1; ++x) {
      const int grey = qGreen(page.pixel(x, y));
      min_grey = std::min(min_grey, grey);
      max_grey = std::max(max_grey, grey);
    }
  EXPECT_GE(min_grey, 110);
  EXPECT_LE(max_grey, 146);
}

TEST_F(PrintCommandTest, CancelPrintsNothingAndAnUnwritableOutputThrowsWithAReason) {
  const Bitmap image = Filled(10, 10, 0);
  scripted_.desktop.question_answers.push_back(true);
  bool dialog_shown = false;
  scripted_.desktop.on_choose_printer = [&](QPrinter& printer) {
    dialog_shown = true;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf_);
    return false;
  };
  RunPrintCommand(scripted_.desktop, image, "1/1 x  Mag X 1", "x");
  EXPECT_TRUE(dialog_shown);
  EXPECT_EQ(scripted_.desktop.questions.size(), 1u);
  EXPECT_FALSE(QFile::exists(pdf_));

  const QString missing = dir_.filePath("no such folder/page.pdf");
  scripted_.desktop.question_answers.push_back(false);
  scripted_.desktop.on_choose_printer = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(missing);
    return true;
  };
  try {
    RunPrintCommand(scripted_.desktop, image, "1/1 x  Mag X 1", "x");
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("could not start the job"), std::string::npos) << what;
    EXPECT_NE(what.find("no such folder"), std::string::npos) << what;
  }
  EXPECT_FALSE(QFile::exists(missing));
}

}  // namespace
}  // namespace zelk
