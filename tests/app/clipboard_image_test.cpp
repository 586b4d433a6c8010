// What the clipboard offers after a copy: PNG and BMP bytes that decode to exactly
// the copied pixels (whatever happens to the window's bitmap afterwards), Qt's image
// for a paste into this program, and a worker that is stopped cleanly when the
// clipboard moves on.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <cstring>

#include "app/clipboard_image.h"
#include "app/qt_desktop.h"
#include "codecs/dib.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

Bitmap Pattern(int width, int height) {
  Bitmap image;
  image.ResetUninitialised(width, height);
  for (int y = 0; y < height; ++y) {
    std::memset(image.Row(y), 0xAB, static_cast<std::size_t>(image.Stride()));  // padding
    for (int x = 0; x < width; ++x)
      image.SetPixelRgb(x, y, static_cast<std::uint32_t>(x * 0x10203 + y * 0x30507) & 0xFFFFFF);
  }
  return image;
}

void ExpectSamePixels(const Bitmap& got, const Bitmap& want) {
  ASSERT_EQ(got.Width(), want.Width());
  ASSERT_EQ(got.Height(), want.Height());
  for (int y = 0; y < want.Height(); ++y)
    ASSERT_EQ(std::memcmp(got.Row(y), want.Row(y), static_cast<std::size_t>(want.Width()) * 3), 0)
        << "row " << y;
}

TEST(ClipboardImageTest, OffersPngBmpAndQtImageOfThePixelsAsCopied) {
  Bitmap image = Pattern(31, 17);
  const Bitmap want = image.Clone();
  ClipboardImage clip(image);
  image.Fill(0x000000);  // the window's image changes after the copy

  EXPECT_EQ(clip.formats(), QStringList({"image/png", "image/bmp"}));
  EXPECT_TRUE(clip.hasImage());
  EXPECT_TRUE(clip.data("image/jpeg").isEmpty());

  // A paste gets whichever PNG is ready; once the worker is done, the small one.
  const QByteArray png = clip.WaitForSmallPng();
  EXPECT_LT(png.size(), 31 * 17 * 3);
  EXPECT_EQ(clip.data("image/png"), png);
  Bitmap from_png;
  ReadPngBytes(reinterpret_cast<const std::uint8_t*>(png.constData()),
               static_cast<std::size_t>(png.size()), from_png);
  ExpectSamePixels(from_png, want);
  EXPECT_EQ(clip.data("application/x-qt-image"), png);

  const QByteArray bmp = clip.data("image/bmp");
  ASSERT_GT(bmp.size(), 14);
  EXPECT_EQ(bmp.left(2), "BM");
  EXPECT_EQ(static_cast<std::uint8_t>(bmp[2]) | static_cast<std::uint8_t>(bmp[3]) << 8, bmp.size());
  Bitmap from_bmp;
  DecodeDib(reinterpret_cast<const std::uint8_t*>(bmp.constData()) + 14,
            static_cast<std::size_t>(bmp.size() - 14), from_bmp);
  ExpectSamePixels(from_bmp, want);
  // The padding of every row is zero, not whatever the bitmap held.
  EXPECT_EQ(bmp.right(1)[0], '\0');

  const QImage qt_image = qvariant_cast<QImage>(clip.imageData());
  ASSERT_EQ(qt_image.size(), QSize(31, 17));
  EXPECT_EQ(qt_image.pixel(30, 16) & 0xFFFFFF, want.PixelRgb(30, 16));

  Bitmap pasted;
  clip.CopyTo(pasted);
  ExpectSamePixels(pasted, want);
}

TEST(ClipboardImageTest, ThrowingAwayTheCopyWhileEncodingStopsTheWorker) {
  // Each copy is thrown away long before its PNG is done. The test's time limit
  // catches a worker that does not stop, a sanitizer build one that outlives its
  // object.
  for (int i = 0; i < 3; ++i) {
    const Bitmap image = Pattern(4000, 3000);
    ClipboardImage clip(image);
  }
}

TEST(ClipboardImageTest, DesktopPastesBackWhatItCopied) {
  int argc = 1;
  char name[] = "clipboard_image_test";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QtDesktop desktop;
  const Bitmap image = Pattern(45, 9);
  desktop.SetClipboardImage(image);
  ClipboardPicture pasted;
  std::string error;
  ASSERT_EQ(desktop.GetClipboardImage(pasted, error), ClipboardImageStatus::kImage) << error;
  EXPECT_TRUE(pasted.file_bytes.empty());
  ExpectSamePixels(pasted.pixels, image);
}

}  // namespace
}  // namespace zelk
