#pragma once
// What the clipboard holds after the user copies the image. The pixels are kept as
// a BMP file from the moment of copying, and a background task encodes PNGs at once:
// a quick one with uncompressed blocks, then a small one that takes its place. When
// another program pastes, the bytes are ready (or nearly) rather than encoded on
// the GUI thread while the window stands still.

#include <QByteArray>
#include <QMimeData>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/background_task.h"
#include "codecs/png_codec.h"
#include "platform/bitmap.h"

namespace zelk {

class ClipboardImage final : public QMimeData {
  Q_OBJECT

 public:
  // Keeps a copy of image and starts encoding it. Throws when the copy or the
  // worker cannot be had (std::bad_alloc, std::system_error).
  explicit ClipboardImage(const Bitmap& image);
  // Stops the encoding between two rows and waits for the worker.
  ~ClipboardImage() override;

  // image/png and, while the file fits BMP's 4 GiB, image/bmp. Qt's own image
  // type is answered (hasFormat, retrieveData) but not listed: listed, Qt would
  // also offer JPEG, TIFF and the rest, encoded on the GUI thread when asked.
  QStringList formats() const override;
  bool hasFormat(const QString& mime_type) const override;

  // The copied pixels, for a paste into this program.
  void CopyTo(Bitmap& out) const;
  // The PNG on offer, waiting for the quick one when it is not there yet; empty
  // when encoding failed.
  QByteArray WaitForPng() const;
  // The PNG on offer once the worker has finished (the small one when it could be
  // had).
  QByteArray WaitForSmallPng() const;

 protected:
  QVariant retrieveData(const QString& mime_type, QMetaType type) const override;

 private:
  void EncodeBothPngs(const std::atomic<bool>& stop);
  QByteArray EncodePng(const FastPngSettings& settings, qsizetype expected_size,
                       const std::atomic<bool>& stop);
  void Publish(QByteArray png, bool last);
  const std::uint8_t* PixelRow(int y) const;

  int width_ = 0;
  int height_ = 0;
  std::ptrdiff_t stride_ = 0;
  bool bmp_fits_ = false;
  QByteArray bmp_;  // header, then the rows bottom-up

  mutable std::mutex mutex_;
  mutable std::condition_variable png_changed_;
  bool all_done_ = false;
  QByteArray png_;
  BackgroundTask encoder_;  // last: stopped and joined before anything it reads goes
};

}  // namespace zelk
