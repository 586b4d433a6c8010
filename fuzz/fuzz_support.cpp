#include "fuzz_support.h"

#include <QGuiApplication>
#include <cstdio>

#include "scripted_desktop.h"

namespace zelk::fuzz {

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

bool Verbose() {
  static const bool verbose = std::getenv("ZELK_FUZZ_VERBOSE") != nullptr;
  return verbose;
}

void ReportOutcome(const std::string& outcome) {
  std::fprintf(stderr, "  -> %s\n", outcome.c_str());
}

std::uint32_t CheckDecodedImage(const Bitmap& image) {
  Require(image.Width() >= 0 && image.Height() >= 0, "negative image size");
  Require(static_cast<std::int64_t>(image.Width()) * image.Height() <= kMaxImagePixels,
          "image larger than the pixel limit");
  Require(image.Width() <= kMaxImageSide && image.Height() <= kMaxImageSide,
          "image side over the limit");
  if (image.Empty()) return 0;
  Require(image.Stride() == Bitmap::StrideFor(image.Width()), "stride not padded to 4 bytes");
  std::uint32_t sum = 0;
  const std::size_t row_bytes = static_cast<std::size_t>(image.Width()) * 3;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.Row(y);
    // First and last byte of every row, and every byte of the first and last rows.
    sum += row[0] + row[row_bytes - 1];
    if (y == 0 || y == image.Height() - 1)
      for (std::size_t i = 0; i < row_bytes; ++i) sum += row[i];
  }
  return sum;
}

void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "zelk-fuzz";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

struct QuietDesktop::Impl {
  ScriptedDesktop desktop;
};

QuietDesktop::QuietDesktop() : impl_(new Impl) {
  SetDesktop(&impl_->desktop);
}

QuietDesktop::~QuietDesktop() {
  SetDesktop(nullptr);
  delete impl_;
}

int QuietDesktop::MessagesShown() const {
  return static_cast<int>(impl_->desktop.messages.size());
}

}  // namespace zelk::fuzz
