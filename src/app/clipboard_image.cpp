#include "app/clipboard_image.h"

#include <QImage>
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "codecs/bmp_bytes.h"
#include "codecs/dib.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

constexpr qsizetype kBmpFileHeaderSize = 14;
constexpr auto kPngType = "image/png";
constexpr auto kBmpType = "image/bmp";
constexpr auto kQtImageType = "application/x-qt-image";

// First a PNG with stored (uncompressed) zlib blocks: about as quick as copying the
// pixels, so a paste right after the copy waits a fraction of a second. Then the
// small one that replaces it: the Up filter at zlib level 1 was the quickest of the
// fast settings on both a smooth and a noisy, photograph-like picture (libpng's
// adaptive filters took two to three times as long). zlib's run-length matching
// was a little quicker and smaller on noise, but nearly three times larger on
// smooth shading, so it is not used.
constexpr FastPngSettings kQuickPng{0, PngRowFilter::kNone, false};
constexpr FastPngSettings kSmallPng{1, PngRowFilter::kUp, false};

}  // namespace

ClipboardImage::ClipboardImage(const Bitmap& image)
    : width_(image.Width()), height_(image.Height()), stride_(image.Stride()) {
  if (image.Empty()) throw ImageError("an empty image cannot be copied");
  const std::vector<std::uint8_t> info = Dib24Header(image);
  const qsizetype header_size = kBmpFileHeaderSize + static_cast<qsizetype>(info.size());
  const std::uint64_t file_size = static_cast<std::uint64_t>(header_size) + Dib24PixelBytes(image);
  // The file header's size field is 32 bits; other programs misread larger files.
  bmp_fits_ = file_size <= 0xFFFFFFFFu;
  bmp_ = QByteArray(static_cast<qsizetype>(file_size), Qt::Uninitialized);
  auto* bytes = reinterpret_cast<std::uint8_t*>(bmp_.data());
  std::memset(bytes, 0, kBmpFileHeaderSize);
  bytes[0] = 'B';
  bytes[1] = 'M';
  if (bmp_fits_) WriteU32(bytes + 2, static_cast<std::uint32_t>(file_size));
  WriteU32(bytes + 10, static_cast<std::uint32_t>(header_size));
  std::memcpy(bytes + kBmpFileHeaderSize, info.data(), info.size());
  const std::size_t pixel_bytes = static_cast<std::size_t>(width_) * 3;
  for (int y = 0; y < height_; ++y) {
    auto* row = const_cast<std::uint8_t*>(PixelRow(y));
    std::memcpy(row, image.Row(y), pixel_bytes);
    // Padding is part of the file; the bitmap's own may be uninitialised.
    std::memset(row + pixel_bytes, 0, static_cast<std::size_t>(stride_) - pixel_bytes);
  }
  encoder_.Start(nullptr, [this](const std::atomic<bool>& stop) { EncodeBothPngs(stop); }, {});
}

ClipboardImage::~ClipboardImage() {
  encoder_.CancelAndWait();
}

const std::uint8_t* ClipboardImage::PixelRow(int y) const {
  const auto* pixels = reinterpret_cast<const std::uint8_t*>(bmp_.constData()) +
                       (bmp_.size() - static_cast<qsizetype>(stride_) * height_);
  return pixels + static_cast<std::ptrdiff_t>(height_ - 1 - y) * stride_;
}

QByteArray ClipboardImage::EncodePng(const FastPngSettings& settings, qsizetype expected_size,
                                     const std::atomic<bool>& stop) {
  QByteArray png;
  try {
    const BgrRows rows{PixelRow(0), -stride_, width_, height_};
    png.reserve(expected_size);
    const bool done = EncodePngFast(
        rows, settings,
        [&png](const std::uint8_t* data, std::size_t size) {
          png.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        },
        &stop);
    if (!done) return {};
    png.squeeze();
  } catch (const std::exception&) {
    return {};  // nothing to offer from this stage
  }
  return png;
}

void ClipboardImage::EncodeBothPngs(const std::atomic<bool>& stop) {
  const qsizetype raw = static_cast<qsizetype>(stride_) * height_;
  Publish(EncodePng(kQuickPng, raw + raw / 256 + 4096, stop), false);
  // Typical photographs come to about half their raw size.
  Publish(EncodePng(kSmallPng, raw / 2, stop), true);
}

void ClipboardImage::Publish(QByteArray png, bool last) {
  {
    std::lock_guard lock(mutex_);
    // A later stage that failed leaves the earlier PNG on offer.
    if (!png.isEmpty()) png_ = std::move(png);
    if (last) all_done_ = true;
  }
  png_changed_.notify_all();
}

QByteArray ClipboardImage::WaitForPng() const {
  std::unique_lock lock(mutex_);
  png_changed_.wait(lock, [this] { return !png_.isEmpty() || all_done_; });
  return png_;
}

QByteArray ClipboardImage::WaitForSmallPng() const {
  std::unique_lock lock(mutex_);
  png_changed_.wait(lock, [this] { return all_done_; });
  return png_;
}

QStringList ClipboardImage::formats() const {
  QStringList list{QString::fromLatin1(kPngType)};
  if (bmp_fits_) list << QString::fromLatin1(kBmpType);
  return list;
}

bool ClipboardImage::hasFormat(const QString& mime_type) const {
  return mime_type == QLatin1String(kQtImageType) || formats().contains(mime_type);
}

void ClipboardImage::CopyTo(Bitmap& out) const {
  out.ResetUninitialised(width_, height_);
  for (int y = 0; y < height_; ++y)
    std::memcpy(out.Row(y), PixelRow(y), static_cast<std::size_t>(stride_));
}

QVariant ClipboardImage::retrieveData(const QString& mime_type, QMetaType type) const {
  if (mime_type == QLatin1String(kPngType)) return WaitForPng();
  if (mime_type == QLatin1String(kBmpType)) return bmp_fits_ ? bmp_ : QByteArray();
  if (mime_type != QLatin1String(kQtImageType)) return {};
  // Qt's image type travels between programs as PNG bytes.
  if (type.id() != QMetaType::QImage) return WaitForPng();
  QImage image(width_, height_, QImage::Format_BGR888);
  if (image.isNull()) return {};
  for (int y = 0; y < height_; ++y)
    std::memcpy(image.scanLine(y), PixelRow(y), static_cast<std::size_t>(width_) * 3);
  return image;
}

}  // namespace zelk
