// zelk_make_bench_image <out.jpg|out.png> <width> <height> [jpeg quality | png level]
//                       [jpeg restart rows] [marks]
// Writes a photograph-like test image for speed measurements: soft gradients, a few
// hundred filled shapes and pixel noise, so that neither codec meets flat areas
// only. The same size and seed always give the same pixels. With restart rows, the
// JPEG has a restart marker after every that many MCU rows (as cameras write them),
// otherwise it is what the program itself saves. With marks, that many small boxes
// (16 x 8 pixels) have their colours inverted at places of their own seed, and every
// other pixel is as without them: the second image of a comparison.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/jpeg_codec.h"
#include "codecs/png_codec.h"
#include "platform/bitmap.h"

namespace {

using zelk::Bitmap;

struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
};

void Paint(Bitmap& image) {
  const int w = image.Width(), h = image.Height();
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = image.Row(y);
    const int g = 255 * y / h;
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(255 * x / w);
      row[3 * x + 1] = static_cast<std::uint8_t>(g);
      row[3 * x + 2] = static_cast<std::uint8_t>((x / 3 + y / 2) & 0xFF);
    }
  }
  Random random{0x9E3779B97F4A7C15ull};
  for (int shape = 0; shape < 300; ++shape) {
    const int sw = 1 + random.Below(std::max(1, w / 6)), sh = 1 + random.Below(std::max(1, h / 6));
    const int left = random.Below(w), top = random.Below(h);
    const std::uint8_t b = static_cast<std::uint8_t>(random.Next()),
                       gr = static_cast<std::uint8_t>(random.Next()),
                       r = static_cast<std::uint8_t>(random.Next());
    const bool ellipse = shape % 2 == 1;
    for (int y = top; y < std::min(h, top + sh); ++y) {
      std::uint8_t* row = image.Row(y);
      for (int x = left; x < std::min(w, left + sw); ++x) {
        if (ellipse) {
          const double dx = (x - left) * 2.0 / sw - 1, dy = (y - top) * 2.0 / sh - 1;
          if (dx * dx + dy * dy > 1) continue;
        }
        row[3 * x] = b;
        row[3 * x + 1] = gr;
        row[3 * x + 2] = r;
      }
    }
  }
  // Sensor-like noise of a few levels on every sample.
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = image.Row(y);
    for (int i = 0; i < 3 * w;) {
      std::uint64_t bits = random.Next();
      for (int k = 0; k < 16 && i < 3 * w; ++k, ++i, bits >>= 4) {
        const int v = row[i] + static_cast<int>(bits & 7) - 3;
        row[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
      }
    }
  }
}

void InvertMarks(Bitmap& image, int marks) {
  Random random{0x5EEDu};
  for (int i = 0; i < marks; ++i) {
    const int left = random.Below(std::max(image.Width() - 16, 1));
    const int top = random.Below(std::max(image.Height() - 8, 1));
    for (int y = top; y < std::min(top + 8, image.Height()); ++y)
      for (int x = 3 * left; x < 3 * std::min(left + 16, image.Width()); ++x)
        image.Row(y)[x] = static_cast<std::uint8_t>(255 - image.Row(y)[x]);
  }
}

// The program's own JPEG settings (4:2:0, accurate DCT) plus restart markers.
void WriteJpegWithRestarts(const Bitmap& image, std::FILE* file, int quality, int restart_rows) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);  // exits on error: fine for a tool
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.restart_in_rows = restart_rows;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: %s <out.jpg|out.png> <width> <height> [quality|level] [restart rows] "
                 "[marks]\n",
                 argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const bool png = path.size() > 4 && path.substr(path.size() - 4) == ".png";
  const int setting = argc > 4 ? std::atoi(argv[4]) : (png ? 6 : 90);
  const int restart_rows = argc > 5 ? std::atoi(argv[5]) : 0;
  const int marks = argc > 6 ? std::atoi(argv[6]) : 0;
  try {
    Bitmap image;
    image.ResetUninitialised(width, height);
    Paint(image);
    InvertMarks(image, marks);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    if (png)
      zelk::WritePng(image, file, setting);
    else if (restart_rows > 0)
      WriteJpegWithRestarts(image, file, setting, restart_rows);
    else
      zelk::WriteJpeg(image, file, setting);
    if (std::fclose(file) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
    return 1;
  }
  return 0;
}
