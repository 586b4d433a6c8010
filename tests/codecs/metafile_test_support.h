#pragma once
// Helpers for the icon and metafile tests: byte builders for records and files, a
// GUI application for text, temporary folders and bitmap comparison.

#include <QGuiApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace zelk::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// Fonts need a GUI application; tests run on the offscreen platform.
inline void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "metafile_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

// A WMF assembled record by record; parameters are 16-bit words in file order.
class WmfBuilder {
 public:
  WmfBuilder& Rec(std::uint16_t function, std::initializer_list<int> words) {
    return Raw(function, [&] {
      Bytes b;
      for (int w : words) Put16(b, static_cast<std::uint32_t>(w));
      return b;
    }());
  }
  WmfBuilder& Raw(std::uint16_t function, const Bytes& params) {
    Put32(records_, static_cast<std::uint32_t>(3 + params.size() / 2));
    Put16(records_, function);
    records_.insert(records_.end(), params.begin(), params.end());
    return *this;
  }
  // Placeable when units_per_inch is not 0.
  Bytes Build(int right = 0, int bottom = 0, int units_per_inch = 0, int objects = 8) const {
    Bytes b;
    if (units_per_inch != 0) {
      const std::uint16_t words[10] = {0xCDD7,
                                       0x9AC6,
                                       0,
                                       0,
                                       0,
                                       static_cast<std::uint16_t>(right),
                                       static_cast<std::uint16_t>(bottom),
                                       static_cast<std::uint16_t>(units_per_inch),
                                       0,
                                       0};
      std::uint16_t sum = 0;
      for (auto w : words) Put16(b, w), sum ^= w;
      Put16(b, sum);
    }
    Put16(b, 1), Put16(b, 9), Put16(b, 0x300);
    Put32(b, static_cast<std::uint32_t>(9 + records_.size() / 2 + 3));
    Put16(b, static_cast<std::uint32_t>(objects));
    Put32(b, 0), Put16(b, 0);
    b.insert(b.end(), records_.begin(), records_.end());
    Put32(b, 3), Put16(b, 0);
    return b;
  }

 private:
  Bytes records_;
};

// An EMF assembled record by record; payloads are 32-bit values after type and size.
class EmfBuilder {
 public:
  EmfBuilder& Rec(std::uint32_t type, std::initializer_list<std::int64_t> values) {
    Bytes b;
    for (auto v : values) Put32(b, static_cast<std::uint32_t>(v));
    return Raw(type, b);
  }
  EmfBuilder& Raw(std::uint32_t type, const Bytes& payload) {
    Put32(records_, type);
    Put32(records_, static_cast<std::uint32_t>(8 + payload.size()));
    records_.insert(records_.end(), payload.begin(), payload.end());
    ++count_;
    return *this;
  }
  // A picture of width x height pixels on a 96 dots-per-inch reference device.
  Bytes Build(int width, int height) const {
    Bytes b;
    Put32(b, 1), Put32(b, 108);
    for (int v : {0, 0, width - 1, height - 1}) Put32(b, static_cast<std::uint32_t>(v));
    for (int v : {0, 0, static_cast<int>(width * 2540.0 / 96 + 0.5) - 1,
                  static_cast<int>(height * 2540.0 / 96 + 0.5) - 1})
      Put32(b, static_cast<std::uint32_t>(v));
    Put32(b, 0x464D4520), Put32(b, 0x10000);
    Put32(b, static_cast<std::uint32_t>(108 + records_.size() + 20));
    Put32(b, static_cast<std::uint32_t>(count_ + 2));
    Put16(b, 16), Put16(b, 0);
    for (int v : {0, 0, 0, 1920, 1440, 508, 381, 0, 0, 0, 508000, 381000})
      Put32(b, static_cast<std::uint32_t>(v));
    b.insert(b.end(), records_.begin(), records_.end());
    for (int v : {14, 20, 0, 16, 20}) Put32(b, static_cast<std::uint32_t>(v));
    return b;
  }

 private:
  Bytes records_;
  int count_ = 0;
};

// A 24-bit bottom-up DIB (header and bits) of the given top-down 0xRRGGBB pixels.
inline Bytes Dib24(int width, int height, const std::vector<std::uint32_t>& rgb) {
  Bytes b;
  const int stride = (width * 3 + 3) & ~3;
  for (std::uint32_t v :
       {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
    Put32(b, v);
  Put16(b, 1), Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, i == 1 ? static_cast<std::uint32_t>(stride * height) : 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = rgb[static_cast<std::size_t>(y * width + x)];
      b.push_back(static_cast<std::uint8_t>(c));
      b.push_back(static_cast<std::uint8_t>(c >> 8));
      b.push_back(static_cast<std::uint8_t>(c >> 16));
    }
    for (int p = width * 3; p < stride; ++p) b.push_back(0);
  }
  return b;
}

inline void FillRandom(Bitmap& image, unsigned seed) {
  std::mt19937 random(seed);
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) image.SetPixelRgb(x, y, random() & 0xFFFFFF);
}

// The first differing pixel as text, or empty when the bitmaps are equal.
inline std::string Difference(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return "size " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + " vs " +
           std::to_string(b.Width()) + "x" + std::to_string(b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelRgb(x, y) != b.PixelRgb(x, y))
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
  return {};
}

// A folder of its own for a test, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelk-mf-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline Bytes ReadAll(const std::filesystem::path& path) {
  Bytes b;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) b.insert(b.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return b;
}

// Runs a writer into a temporary stream and returns the bytes it wrote.
template <typename Writer>
Bytes WriteToBytes(Writer writer) {
  std::FILE* f = std::tmpfile();
  writer(f);
  Bytes b(static_cast<std::size_t>(std::ftell(f)));
  std::rewind(f);
  const std::size_t got = std::fread(b.data(), 1, b.size(), f);
  b.resize(got);
  std::fclose(f);
  return b;
}

}  // namespace zelk::test
