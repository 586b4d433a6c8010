// zelk_make_samples <folder>: writes a few sample images made by the program's own
// writers, so the viewer can be tried without any outside files.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <numbers>
#include <string>
#include <system_error>

#include "codecs/image_writer.h"
#include "platform/bitmap.h"

namespace {

using zelk::Bitmap;

std::uint32_t Rgb(double r, double g, double b) {
  auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
  };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

// Hue around the centre, saturation growing outwards, white outside the disc.
Bitmap ColourWheel(int width, int height) {
  Bitmap image;
  image.Reset(width, height);
  const double cx = width / 2.0, cy = height / 2.0, radius = std::min(cx, cy) - 10;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double distance = std::hypot(dx, dy);
      if (distance > radius) continue;
      const double hue = (std::atan2(-dy, dx) / (2 * std::numbers::pi) + 1.0) * 6.0;
      const double s = distance / radius;
      auto part = [&](double offset) {
        const double k = std::fmod(hue + offset, 6.0);
        const double c = std::clamp(std::min(k, 4.0 - k), 0.0, 1.0);
        return 1.0 - s * c;
      };
      image.SetPixelRgb(x, y, Rgb(part(5), part(3), part(1)));
    }
  }
  return image;
}

// A checkerboard of 8-pixel squares with a row of pure named colours and single
// marked corner pixels: something to zoom into and read colours from.
Bitmap PixelArt() {
  Bitmap image;
  image.Reset(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      image.SetPixelRgb(x, y, ((x / 8 + y / 8) % 2) ? 0xC0C0C0 : 0x808080);
  const std::uint32_t named[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                 0x00FFFF, 0xFF00FF, 0x000000, 0xFFFFFF};
  for (int i = 0; i < 8; ++i)
    for (int y = 20; y < 28; ++y)
      for (int x = i * 8; x < i * 8 + 8; ++x) image.SetPixelRgb(x, y, named[i]);
  image.SetPixelRgb(0, 0, 0xFF0000);
  image.SetPixelRgb(63, 0, 0x00FF00);
  image.SetPixelRgb(0, 47, 0x0000FF);
  image.SetPixelRgb(63, 47, 0x000000);
  return image;
}

// Sky, sun, hills and a rippled lake in smooth gradients, like a photograph.
Bitmap GradientPhoto(int width, int height) {
  Bitmap image;
  image.Reset(width, height);
  const double horizon = height * 0.55;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double hill =
          horizon - height * (0.08 + 0.06 * std::sin(u * 7.0) + 0.03 * std::sin(u * 23.0));
      double r, g, b;
      if (y < hill) {
        r = 0.35 + 0.6 * v, g = 0.55 + 0.35 * v, b = 0.95 - 0.2 * v;
        const double sun = std::hypot(u - 0.72, (v - 0.22) * height / width);
        if (sun < 0.05)
          r = 1.0, g = 0.92, b = 0.6;
        else if (sun < 0.15) {
          const double glow = (0.15 - sun) / 0.1;
          r += 0.4 * glow, g += 0.25 * glow;
        }
      } else if (y < horizon) {
        const double depth = (y - hill) / (horizon - hill + 1);
        r = 0.15 + 0.2 * depth, g = 0.4 - 0.1 * depth + 0.05 * std::sin(x * 0.3), b = 0.15;
      } else {
        const double ripple = 0.05 * std::sin(y * 0.8 + std::sin(x * 0.02) * 3);
        r = 0.2 + ripple, g = 0.35 + 0.3 * (1 - v) + ripple, b = 0.55 + 0.3 * (1 - v) + ripple;
      }
      image.SetPixelRgb(x, y, Rgb(r, g, b));
    }
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  if (ec) {
    std::fprintf(stderr, "cannot make %s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  const Bitmap art = PixelArt();
  struct Sample {
    std::string name;
    const Bitmap* image;
    bool required;
  };
  const Bitmap wheel = ColourWheel(800, 600);
  const Bitmap photo = GradientPhoto(1600, 1200);
  const Sample samples[] = {
      {"colour_wheel.png", &wheel, true},   {"pixel_art.bmp", &art, true},
      {"gradient_photo.jpg", &photo, true}, {"pixel_art.wmf", &art, false},
      {"colour_wheel.emf", &wheel, false},
  };
  int status = 0;
  for (const Sample& s : samples) {
    try {
      zelk::SaveImageFile(folder + s.name, *s.image);
      std::printf("%s%s\n", folder.c_str(), s.name.c_str());
    } catch (const std::exception& e) {
      // Metafiles are a bonus: the viewer is still worth starting without them.
      std::fprintf(stderr, "%s%s: %s\n", folder.c_str(), s.name.c_str(), e.what());
      if (s.required) status = 1;
    }
  }
  return status;
}
